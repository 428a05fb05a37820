#pragma once
// The program's log: held in memory as a list of lines for the whole run, read from its file at
// start-up and written back over it at the end. LogLine never touches the file.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

#include "framework/textcodec.h"

struct LogState {
    QStringList LogBuffer;
    QString LogFilePath;          // fixed by LogStart, never moved during the run
    bool LogToFile = false;       // master switch: while off, LogLine does nothing
    bool VerboseLogging = false;  // detail switch, read by the callers that write detail lines
    int ErrorCount = 0;
    int WarningCount = 0;
    int HintCount = 0;
    TextEncoding encoding = TextEncoding::Ansi;  // of the file LoadLog read
    // How many lines at the start of LogBuffer are the file's, as it was last read or written;
    // the lines after them are this run's new ones, which SaveLog appends to the file as it
    // stands on disk then (another copy of the program may have written it meanwhile).
    qsizetype fileLines = 0;
    // The clock of the time stamps; empty means the current local time (tests set it).
    std::function<QDateTime()> clock;
};

// The one log of the process.
LogState& logState();
// Puts the log back to its state before LogStart (tests).
void ResetLogState();

// The log's start-up step: an empty buffer, LogFilePath = APPDATA/Tavlund/log/<program>.log.
void LogStart();
// The log's finishing step: SaveLog, then the buffer is released.
void LogEnd();

// Appends "<time stamp> <message>" when LogToFile is on, and counts the message by its prefix
// ("ERROR:"/"FEIL:" errors, "WARNING:"/"ADVARSEL:" warnings, "HINT:" hints; case-sensitive, first
// character only).
void LogLine(const QString& message);

// Empties the log, whether LogToFile is on or off: the buffer and a new file (replacing the old
// one atomically, in the encoding the old one had) hold just "<time stamp> LOGGFIL TØMT ...";
// ErrorCount is reset. When the file cannot be made, a "FEIL" message names the path and the
// errno, ErrorCount goes up by one instead and the old file stays as it was; when the line cannot
// be written, ErrorCount goes up silently. The log folder is not created here.
void ClearLog();
// Replaces the buffer with the lines of the log file (split at CR LF, LF or CR), when there is
// one, and remembers its encoding. A file that exists but cannot be read leaves the buffer as it
// is (its lines then count as new, see SaveLog).
void LoadLog();
// Writes the log file atomically: the file as it stands on disk now, read again, followed by
// this run's new lines (those the buffer gained since the file was last read or written), so
// that the lines another copy of the program wrote meanwhile stay; with no file, the whole
// buffer. Afterwards the buffer holds what the file holds. Every entry is one line (a line break
// inside an entry makes more lines), each ended by CR LF, in the encoding of the file on disk
// (Windows-1252 for a file without a byte-order mark; UTF-8 with a mark when the text does not
// fit that code page). The log folder is created when missing. A file that cannot be read is
// left alone. False when the file was not written (also for a read-only file); the old file is
// then whole.
bool SaveLog();

// Short date and long time in the process's locale ("08.12.2011 23:29:01" under nb_NO).
QString DateTimeText(const QDateTime& moment);
// The log's time stamp: DateTimeText, but the date alone when the time is 00:00:00.
QString LogTimeStamp(const QDateTime& moment);
