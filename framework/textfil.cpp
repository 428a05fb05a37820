// The program's log: the buffer, its line format and counters, and its file.
#include "framework/textfil.h"

#include "framework/uihooks.h"
#include "platform/environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kClearedText = QStringLiteral(" LOGGFIL TØMT (TextFile.ClearLog).");

QDateTime Now()
{
    const LogState& s = logState();
    return s.clock ? s.clock() : QDateTime::currentDateTime();
}

// Counts a message by the prefix at its very first character.
void CountPrefix(const QString& message)
{
    LogState& s = logState();
    if (message.startsWith(QLatin1String("ERROR:")) || message.startsWith(QLatin1String("FEIL:")))
        ++s.ErrorCount;
    else if (message.startsWith(QLatin1String("WARNING:")) ||
             message.startsWith(QLatin1String("ADVARSEL:")))
        ++s.WarningCount;
    else if (message.startsWith(QLatin1String("HINT:")))
        ++s.HintCount;
}

// The file name of the program with its extension (from the last dot) replaced by ".log".
QString LogFileName(const QString& programPath)
{
    QString name = QFileInfo(programPath).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return name + ".log";
}

// Lines of a text, split at CR LF, LF or CR; a final line break ends the last line rather than
// starting an empty one.
QStringList SplitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

// The file text of the buffer: every entry ended by CR LF, and a line break inside an entry
// (CR LF, LF or CR) written as CR LF, so that it starts a line of its own.
QString JoinLines(const QStringList& entries)
{
    QString text;
    for (const QString& entry : entries) {
        for (qsizetype i = 0; i < entry.size(); ++i) {
            const QChar c = entry.at(i);
            if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
                if (c == QLatin1Char('\r') && i + 1 < entry.size() && entry.at(i + 1) == QLatin1Char('\n'))
                    ++i;
                text += QLatin1String("\r\n");
            } else {
                text += c;
            }
        }
        text += QLatin1String("\r\n");
    }
    return text;
}

enum class ReadOutcome { Missing, Read, Unreadable };

// Reads the log file. A folder at the path is no log file.
ReadOutcome ReadLogFile(const QString& path, DecodedText* out)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return ReadOutcome::Missing;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReadOutcome::Unreadable;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ReadOutcome::Unreadable;
    *out = DecodeText(bytes);
    return ReadOutcome::Read;
}

// The encoding of an existing log file by its byte-order mark; Windows-1252 when it has none or
// cannot be read.
TextEncoding EncodingOfFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return TextEncoding::Ansi;
    return DecodeText(file.read(3)).encoding;
}

struct NewFileOutcome {
    int createError = 0;      // errno of the step that could not make the file; 0 when made
    bool writeFailed = false; // the file was made but its content could not be written
};

bool WriteAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return ::fsync(fd) == 0;
}

// Makes the file at path anew with the given content: a new file is written beside it and
// renamed over the old one, so that a failure leaves the old file as it was. Keeps the old
// file's permission bits. A read-only file (no write bit) is refused with EACCES, as the
// framework never replaces one. When the folder refuses the new file, an existing file that may
// be written is written in place.
NewFileOutcome MakeNewFile(const QString& path, const QByteArray& bytes)
{
    NewFileOutcome outcome;
    if (path.isEmpty()) {
        outcome.createError = ENOENT;
        return outcome;
    }
    // A log file that is a link is replaced where the link points, as SaveLog does, so the link
    // itself stays.
    const QFileInfo info(path);
    const QString real = info.isSymLink() && !info.canonicalFilePath().isEmpty() ? info.canonicalFilePath() : path;
    const QByteArray target = QFile::encodeName(real);
    struct stat old {};
    const bool existed = ::stat(target.constData(), &old) == 0;
    if (existed && S_ISDIR(old.st_mode)) {
        outcome.createError = EISDIR;
        return outcome;
    }
    if (existed && IsReadOnlyFile(real)) {
        outcome.createError = EACCES;
        return outcome;
    }
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = target + ".new" + QByteArray::number(::getpid()) + "-" + QByteArray::number(attempt);
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt > 100)) {
            outcome.createError = errno;
            // The folder refuses a new file, but the log file itself may be writable: then it
            // is written in place.
            if (existed && (errno == EACCES || errno == EPERM)) {
                int code = 0;
                if (WriteFileInPlace(real, bytes, &code))
                    outcome.createError = 0;
                else if (code == ENOSPC || code == EDQUOT || code == EFBIG || code == EIO)
                    outcome = NewFileOutcome{0, true};
            }
            return outcome;
        }
    }
    if (existed)
        ::fchmod(fd, old.st_mode & 07777);
    const bool written = WriteAll(fd, bytes);
    if (::close(fd) != 0 || !written) {
        ::unlink(temp.constData());
        outcome.writeFailed = true;
        return outcome;
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        outcome.createError = errno;
        ::unlink(temp.constData());
    }
    return outcome;
}

// A Qt time format without its time-zone field ("t", and the blanks before it). Quoted literal
// text is kept as it stands.
QString WithoutTimeZone(const QString& format)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
        } else if (!quoted && c == QLatin1Char('t')) {
            while (!out.isEmpty() && out.back() == QLatin1Char(' '))
                out.chop(1);
            while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('t'))
                ++i;
            continue;
        }
        out += c;
    }
    return out.trimmed();
}

}  // namespace

LogState& logState()
{
    static LogState state;
    return state;
}

void ResetLogState() { logState() = LogState{}; }

void LogStart()
{
    LogState& s = logState();
    s = LogState{};
    s.LogFilePath = platform::EnvironmentValue("APPDATA") + "/Tavlund/log/" +
                    LogFileName(platform::ProgramFilePath());
}

void LogEnd()
{
    SaveLog();
    logState().LogBuffer.clear();
}

void LogLine(const QString& message)
{
    LogState& s = logState();
    if (!s.LogToFile)
        return;
    s.LogBuffer.append(LogTimeStamp(Now()) + QLatin1Char(' ') + message);
    CountPrefix(message);
}

void ClearLog()
{
    LogState& s = logState();
    const QString line = LogTimeStamp(Now()) + kClearedText;
    s.LogBuffer = QStringList{line};

    // The new file keeps the encoding of the one it replaces.
    const TextEncoding encoding = EncodingForWrite(line, EncodingOfFile(s.LogFilePath));
    const NewFileOutcome outcome = MakeNewFile(s.LogFilePath, EncodeText(JoinLines(s.LogBuffer), encoding));
    if (outcome.createError != 0) {
        ShowMessage(QStringLiteral("FEIL"), "Feil under oppretting av ny fil: " + s.LogFilePath +
                                                 "  (" + QString::number(outcome.createError) + ")");
        ++s.ErrorCount;
        return;
    }
    if (outcome.writeFailed) {
        ++s.ErrorCount;
        return;
    }
    s.encoding = encoding;
    s.fileLines = s.LogBuffer.size();
    s.ErrorCount = 0;
}

void LoadLog()
{
    LogState& s = logState();
    DecodedText file;
    switch (ReadLogFile(s.LogFilePath, &file)) {
    case ReadOutcome::Missing:
        return;
    case ReadOutcome::Unreadable:
        return;
    case ReadOutcome::Read:
        s.LogBuffer = SplitLines(file.text);
        s.encoding = file.encoding;
        s.fileLines = s.LogBuffer.size();
        return;
    }
}

bool SaveLog()
{
    LogState& s = logState();
    if (s.LogFilePath.isEmpty())
        return false;
    const QFileInfo info(s.LogFilePath);
    if (!info.dir().exists())
        QDir().mkpath(info.absolutePath());
    if (IsReadOnlyFile(s.LogFilePath))
        return false;
    // This run's new lines go after the file as it is now: another copy of the program may have
    // written its own lines, or cleared the log, since this run last read or wrote it. The lock
    // keeps the other copy's save from falling between the read and the replace.
    const FileLock lock(s.LogFilePath);
    QStringList lines = s.LogBuffer;
    TextEncoding encoding = s.encoding;
    DecodedText file;
    switch (ReadLogFile(s.LogFilePath, &file)) {
    case ReadOutcome::Unreadable:
        return false;
    case ReadOutcome::Read:
        lines = SplitLines(file.text) + s.LogBuffer.mid(qBound<qsizetype>(0, s.fileLines, s.LogBuffer.size()));
        encoding = file.encoding;
        break;
    case ReadOutcome::Missing:
        break;
    }
    const QString text = JoinLines(lines);
    encoding = EncodingForWrite(text, encoding);
    if (!ReplaceFile(s.LogFilePath, EncodeText(text, encoding)))
        return false;
    s.LogBuffer = lines;
    s.fileLines = lines.size();
    s.encoding = encoding;
    return true;
}

QString DateTimeText(const QDateTime& moment)
{
    const QLocale locale;
    return locale.toString(moment.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(moment.time(), WithoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

QString LogTimeStamp(const QDateTime& moment)
{
    const QTime t = moment.time();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0)
        return QLocale().toString(moment.date(), QLocale::ShortFormat);
    return DateTimeText(moment);
}
