#pragma once
// A private home for one test: a temporary folder that stands in for APPDATA, TEMP, HOME and the
// working folder, with the framework's process-wide state put back to its start.
#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QStringList>
#include <ostream>

#include <csignal>
#include <sys/resource.h>

class TestEnv {
public:
    TestEnv();
    ~TestEnv();
    TestEnv(const TestEnv&) = delete;
    TestEnv& operator=(const TestEnv&) = delete;

    // The temporary folder, with a trailing '/'.
    QString root() const;
    // APPDATA of this test: root + "appdata".
    QString appData() const;
    // A path below the root (not created).
    QString path(const QString& relative) const;

    // Sets or clears an environment variable for the rest of this test.
    void setEnv(const char* name, const QString& value);
    void unsetEnv(const char* name);

    static void writeFile(const QString& path, const QByteArray& bytes);
    static QByteArray readFile(const QString& path);

private:
    QTemporaryDir m_dir;
    QString m_oldCwd;
    QList<QPair<QByteArray, QByteArray>> m_saved;   // variables to put back, with their old values
    QList<QByteArray> m_savedUnset;
};

// The log's clock for tests that read log lines: it stands still at kLogMoment, so every
// line's time stamp is known.
extern const QDateTime kLogMoment;
void FixLogClock();
// Log lines without their kLogMoment time stamps (a line without one is marked as such).
QStringList LogMessages(const QStringList& lines);
// The same for the log buffer.
QStringList LogMessages();

// The data-folder tree below the data root, parents before their children.
extern const QStringList kFolderTree;
// The log lines of making that tree under root ("/" at its end): "Oppretter mappen" for each
// folder, the failure of an existing folder for those in `existing` ("*" for all of them).
QStringList FolderTreeLines(const QString& root, const QSet<QString>& existing);
// Fails the test for each folder of the tree that is not there under root.
void ExpectFolderTreeAt(const QString& root);

// Limits the size of files this process may write, so that a write fails for real, as on a full
// disk. Nothing may print while it is in force (the test's own output may be a file).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

// Resets every process-wide framework state (settings, log, start-up switches).
void ResetFrameworkState();

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QSize& size, std::ostream* os) { *os << size.width() << "x" << size.height(); }
