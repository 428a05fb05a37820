// Fuzz target: the log file. Any bytes are a log the program may find at start (in
// Windows-1252, or in the encoding a byte-order mark names). Loaded, given a line of this run,
// saved and loaded again, it gives the same lines followed by the new one; no line holds a line
// break, and the file keeps its encoding unless its text does not fit Windows-1252.
#include "fuzz/fuzzrule.h"
#include "framework/textfil.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QString& LogPath()
{
    static QTemporaryDir dir;
    static const QString path = dir.path() + QStringLiteral("/fuzz.log");
    return path;
}

QStringList Load(TextEncoding* encoding)
{
    ResetLogState();
    logState().LogFilePath = LogPath();
    LoadLog();
    *encoding = logState().encoding;
    return logState().LogBuffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        QFile file(LogPath());
        Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        Require(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }
    TextEncoding first = TextEncoding::Ansi;
    const QStringList lines = Load(&first);
    for (const QString& line : lines)
        Require(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')));

    LogState& log = logState();
    log.clock = [] { return QDateTime(QDate(2011, 12, 8), QTime(23, 29, 1)); };
    log.LogToFile = true;
    LogLine(QStringLiteral("HINT: en linje fra denne kjøringen"));
    const QString added = log.LogBuffer.last();
    Require(SaveLog());
    TextEncoding second = TextEncoding::Ansi;
    Require(Load(&second) == lines + QStringList{added});
    if (first == TextEncoding::Ansi)
        Require(second == TextEncoding::Ansi || second == TextEncoding::Utf8Bom);
    else
        Require(second == first);
    ResetLogState();
    return 0;
}
