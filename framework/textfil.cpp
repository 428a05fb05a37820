// Provisional log: enough for the settings unit to link; replaced by the full log unit.
#include "framework/textfil.h"

#include <QLocale>

LogState& logState()
{
    static LogState state;
    return state;
}

void ResetLogState() { logState() = LogState{}; }

void LogStart() { logState().LogBuffer.clear(); }
void LogEnd() { SaveLog(); logState().LogBuffer.clear(); }

void LogLine(const QString& message)
{
    if (!logState().LogToFile)
        return;
    logState().LogBuffer.append(LogTimeStamp(QDateTime::currentDateTime()) + " " + message);
}

void ClearLog() {}
void LoadLog() {}
bool SaveLog() { return true; }

QString DateTimeText(const QDateTime& moment)
{
    QLocale locale = QLocale::system();
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1String(" t")).remove(QLatin1Char('t'));
    return locale.toString(moment.date(), QLocale::ShortFormat) + " " +
           locale.toString(moment.time(), timeFormat.trimmed());
}

QString LogTimeStamp(const QDateTime& moment)
{
    const QTime t = moment.time();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0)
        return QLocale::system().toString(moment.date(), QLocale::ShortFormat);
    return DateTimeText(moment);
}
