#pragma once
// The program's log: held in memory as a list of lines for the whole run, read from its file at
// start-up and written back over it at the end. LogLine never touches the file.
#include <QDateTime>
#include <QString>
#include <QStringList>

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

// Empties the log: the buffer and the file hold just the clearing line; ErrorCount is reset.
void ClearLog();
// Replaces the buffer with the lines of the log file, when there is one.
void LoadLog();
// Writes the buffer over the log file (atomically), CR LF line ends. False when it could not.
bool SaveLog();

// Short date and long time in the process's locale ("08.12.2011 23:29:01" under nb_NO).
QString DateTimeText(const QDateTime& moment);
// The log's time stamp: DateTimeText, but the date alone when the time is 00:00:00.
QString LogTimeStamp(const QDateTime& moment);
