#include "testenv.h"
#include "framework/kv_reg.h"
#include "framework/textfil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {
const char* const kIsolated[] = {"APPDATA", "TEMP", "HOME", "USERPROFILE", "USERNAME", "WINDIR",
                                 "SystemRoot", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "TMPDIR"};
}

TestEnv::TestEnv()
{
    if (!m_dir.isValid())
        throw std::runtime_error("no temporary folder");
    m_oldCwd = QDir::currentPath();
    for (const char* name : kIsolated) {
        if (qEnvironmentVariableIsSet(name))
            m_saved.append({name, qgetenv(name)});
        else
            m_savedUnset.append(name);
    }
    QDir().mkpath(path("appdata"));
    QDir().mkpath(path("home"));
    QDir().mkpath(path("temp"));
    QDir().mkpath(path("work"));
    setEnv("APPDATA", path("appdata"));
    setEnv("HOME", path("home"));
    setEnv("TEMP", path("temp"));
    for (const char* name : {"USERPROFILE", "USERNAME", "WINDIR", "SystemRoot", "XDG_DATA_HOME",
                             "XDG_CONFIG_HOME", "TMPDIR"})
        unsetEnv(name);
    QDir::setCurrent(path("work"));
    ResetFrameworkState();
}

TestEnv::~TestEnv()
{
    ResetFrameworkState();
    QDir::setCurrent(m_oldCwd);
    for (const auto& [name, value] : m_saved)
        qputenv(name.constData(), value);
    for (const auto& name : m_savedUnset)
        qunsetenv(name.constData());
}

QString TestEnv::root() const { return m_dir.path() + "/"; }
QString TestEnv::appData() const { return path("appdata"); }
QString TestEnv::path(const QString& relative) const { return root() + relative; }

void TestEnv::setEnv(const char* name, const QString& value) { qputenv(name, value.toUtf8()); }
void TestEnv::unsetEnv(const char* name) { qunsetenv(name); }

void TestEnv::writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error(("cannot write " + path).toStdString());
}

QByteArray TestEnv::readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void ResetFrameworkState()
{
    ResetSettingsState();
    ResetLogState();
}

const QDateTime kLogMoment(QDate(2011, 12, 8), QTime(23, 29, 1));

void FixLogClock()
{
    logState().clock = [] { return kLogMoment; };
}

QStringList LogMessages(const QStringList& lines)
{
    const QString stamp = LogTimeStamp(kLogMoment) + " ";
    QStringList out;
    for (const QString& line : lines)
        out.append(line.startsWith(stamp) ? line.mid(stamp.size()) : "<uten tidsstempel> " + line);
    return out;
}

QStringList LogMessages() { return LogMessages(logState().LogBuffer); }

const QStringList kFolderTree = {"archive", "backup", "data", "data/knuteban", "data/vekto", "data/rb2",
                                 "data/docs", "data/lsk", "etc", "export", "export/xml", "export/pdf",
                                 "export/csv", "export/html", "export/html/varer", "import", "images",
                                 "spool", "tmp", "xml", "log", "maler", "maler/docs", "maler/rb2"};

QStringList FolderTreeLines(const QString& root, const QSet<QString>& existing)
{
    QStringList lines;
    for (const QString& name : kFolderTree)
        lines.append(existing.contains(name) || existing.contains("*")
                         ? "FEIL: [mkdirsafe:17] kan ikke opprette mappen " + root + name
                         : "Oppretter mappen " + root + name);
    return lines;
}

void ExpectFolderTreeAt(const QString& root)
{
    for (const QString& name : kFolderTree)
        EXPECT_TRUE(QFileInfo(root + name).isDir()) << (root + name).toStdString();
}

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
    getrlimit(RLIMIT_FSIZE, &m_old);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
}
