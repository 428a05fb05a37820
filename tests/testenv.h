#pragma once
// A private home for one test: a temporary folder that stands in for APPDATA, TEMP, HOME and the
// working folder, with the framework's process-wide state put back to its start.
#include <QString>
#include <QTemporaryDir>
#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <ostream>

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

// Resets every process-wide framework state (settings, log, start-up switches).
void ResetFrameworkState();

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
