// The framework's start and end: the start-up switches of the settings file, the start lines,
// the data-folder tree at start, and the shutdown report.
#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "platform/environment.h"
#include "platform/fake/registry_fake.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

namespace {

using platform::RegistryRoot;

// The messages in the log file on disk.
QStringList FileMessages(const QString& path)
{
    QString text = DecodeText(TestEnv::readFile(path)).text;
    if (text.endsWith("\r\n"))
        text.chop(2);
    return text.isEmpty() ? QStringList{} : LogMessages(text.split("\r\n"));
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetProgramFilePath(program);
        // A known machine: the login line reads these.
        registry->setString(RegistryRoot::LocalMachine, "Network\\Logon", "Username", "kari");
        registry->setString(RegistryRoot::LocalMachine,
                            "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                            "ComputerName", "PC-7");
        registry->setString(RegistryRoot::LocalMachine,
                            "System\\CurrentControlSet\\Services\\TCPIP\\Parameters", "Domain", "firma.local");
        registry->setString(RegistryRoot::LocalMachine,
                            "System\\CurrentControlSet\\Services\\TCPIP\\Parameters\\Interfaces\\eth0",
                            "DhcpIPAddress", "192.168.1.20");
    }
    void TearDown() override { platform::SetProgramFilePath(QString()); }

    QString root() const { return env.appData() + "/Tavlund/"; }
    QString settingsPath() const { return root() + "etc/tavlund.ini"; }
    QString logPath() const { return root() + "log/glimra.log"; }

    // A settings file with the given keys of section STANDARD.
    void writeSettings(const QStringList& standard)
    {
        QByteArray text = "[STANDARD]\r\n";
        for (const QString& entry : standard)
            text += entry.toLatin1() + "\r\n";
        TestEnv::writeFile(settingsPath(), text);
    }

    // The data tree is there already, as at every start after the first.
    void makeTree()
    {
        for (const QString& name : kFolderTree)
            QDir().mkpath(root() + name);
    }

    // The program's framework start, as the program entry runs it.
    void start(const QStringList& args = {})
    {
        LogStart();
        logState().clock = [] { return kLogMoment; };
        FrameworkStartup(QStringList{program} + args);
    }

    // The framework's end and the log's last step; the log file's messages afterwards.
    QStringList finish()
    {
        FrameworkShutdown();
        LogEnd();
        return FileMessages(logPath());
    }

    TestEnv env;
    const QString program = env.path("prog/glimra");
    platform::ScopedFakeRegistry registry;
};

// ---------------------------------------------------------------------------------------------
// The switches, and the lines they give at start and end.

struct SwitchCase {
    const char* title;
    QStringList keys;
    QStringList args;
    bool logToFile;
    bool verbose;
    bool startLines;
    bool loginLine;
    bool summary;
};

class SwitchTable : public StartupTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(SwitchTable, SetTheLogSwitchesAndTheLinesOfTheRun)
{
    const SwitchCase& c = GetParam();
    writeSettings(c.keys);
    makeTree();

    start(c.args);

    EXPECT_EQ(logState().LogToFile, c.logToFile) << c.title;
    EXPECT_EQ(logState().VerboseLogging, c.verbose) << c.title;
    QStringList expected;
    if (c.startLines)
        expected << "START: " + program << "INIFIL: " + settingsPath() << "BRUKER: KARI";
    if (c.loginLine)
        expected << "LOGIN: kari  node: PC-7.firma.local IP:192.168.1.20";
    EXPECT_EQ(LogMessages(), expected) << c.title;

    if (c.summary)
        expected << "Oppdaterer " + settingsPath() << "AVSLUTTER PROGRAM. 0 feilmeldinger og 0 advarsler";
    EXPECT_EQ(finish(), expected) << c.title;
}

INSTANTIATE_TEST_SUITE_P(
    Startup, SwitchTable,
    ::testing::Values(
        SwitchCase{"fresh settings file", {}, {}, false, false, false, false, false},
        SwitchCase{"LogToFile alone", {"LogToFile=1"}, {}, true, false, true, false, false},
        SwitchCase{"LogToFile and VerboseLogging", {"LogToFile=1", "VerboseLogging=1"}, {}, true, true,
                   true, true, true},
        SwitchCase{"VerboseLogging without LogToFile stays off", {"VerboseLogging=1"}, {}, false, false,
                   false, false, false},
        SwitchCase{"--debug with LogToFile logs in detail", {"LogToFile=1"}, {"--debug"}, true, true,
                   true, true, true},
        SwitchCase{"--debug does not switch LogToFile on for the run", {}, {"--debug"}, false, true,
                   false, false, false},
        SwitchCase{"a switch written as a word is off", {"LogToFile=true"}, {}, false, false, false,
                   false, false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(StartupTest, LoginLineWritesTheDotWithoutADomain)
{
    registry->setString(RegistryRoot::LocalMachine, "System\\CurrentControlSet\\Services\\TCPIP\\Parameters",
                        "Domain", "");
    logState().LogToFile = true;
    logState().clock = [] { return kLogMoment; };

    LoginInfoLine();

    EXPECT_EQ(LogMessages(), QStringList{"LOGIN: kari  node: PC-7. IP:"});
}

// ---------------------------------------------------------------------------------------------
// The shutdown report.

TEST_F(StartupTest, SummaryCountsTheWholeRun)
{
    writeSettings({"LogToFile=1", "VerboseLogging=1"});
    makeTree();
    start();
    LogLine("FEIL: en");
    LogLine("ADVARSEL: to");
    LogLine("FEIL: tre");

    const QStringList lines = finish();

    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.mid(lines.size() - 2),
              (QStringList{"Oppdaterer " + settingsPath(), "AVSLUTTER PROGRAM. 2 feilmeldinger og 1 advarsler"}));
}

TEST_F(StartupTest, HintsGetALineAfterTheSummary)
{
    for (int hints : {0, 1, 3}) {
        SCOPED_TRACE(hints);
        ResetFrameworkState();
        QFile::remove(logPath());
        writeSettings({"LogToFile=1", "VerboseLogging=1"});
        makeTree();
        start();
        for (int i = 0; i < hints; ++i)
            LogLine("HINT: nummer " + QString::number(i));

        const QStringList lines = finish();

        QStringList tail{"Oppdaterer " + settingsPath(), "AVSLUTTER PROGRAM. 0 feilmeldinger og 0 advarsler"};
        if (hints > 0)
            tail << "Det ble gitt " + QString::number(hints) + " hint i programmet";
        EXPECT_EQ(lines.mid(lines.size() - tail.size()), tail);
    }
}

TEST_F(StartupTest, ReadOnlySettingsFileIsLeftAsItIsAndWarnedAbout)
{
    writeSettings({"LogToFile=1", "VerboseLogging=1"});
    makeTree();
    // Read-only means no write bit in the mode; root could still write the file, so the framework
    // must not try.
    ASSERT_EQ(::chmod(QFile::encodeName(settingsPath()).constData(), 0444), 0);
    const QByteArray before = TestEnv::readFile(settingsPath());
    start();
    IniWriteString("SisteBildeMappe", "/bilder/");

    const QStringList lines = finish();

    EXPECT_EQ(lines.mid(lines.size() - 2),
              (QStringList{"ADVARSEL: " + settingsPath() + " er skrivebeskyttet og vil ikke bli lagret.",
                           "AVSLUTTER PROGRAM. 0 feilmeldinger og 1 advarsler"}));
    EXPECT_EQ(TestEnv::readFile(settingsPath()), before);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(settingsPath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
}

struct SaveFailureCase {
    bool verbose;
    QStringList tail;  // the last lines, with {S} for the settings path
};

class SaveFailureTable : public StartupTest, public ::testing::WithParamInterface<SaveFailureCase> {};

TEST_P(SaveFailureTable, FailedSaveIsLoggedAndTheShutdownGoesOn)
{
    writeSettings(GetParam().verbose ? QStringList{"LogToFile=1", "VerboseLogging=1"} : QStringList{"LogToFile=1"});
    makeTree();
    start();
    // A folder where the settings file was: the save cannot put the file there.
    ASSERT_TRUE(QFile::remove(settingsPath()));
    ASSERT_TRUE(QDir().mkpath(settingsPath()));

    const QStringList lines = finish();

    QStringList tail;
    for (const QString& line : GetParam().tail)
        tail.append(QString(line).replace("{S}", settingsPath()));
    EXPECT_EQ(lines.mid(lines.size() - tail.size()), tail);
    EXPECT_TRUE(settingsState().document.sections().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Startup, SaveFailureTable,
                         ::testing::Values(SaveFailureCase{false, {"BRUKER: KARI", "INI-CRASH i KV_REG: {S}"}},
                                           SaveFailureCase{true,
                                                           {"INI-CRASH i KV_REG: {S}", "Oppdaterer {S}",
                                                            "AVSLUTTER PROGRAM. 0 feilmeldinger og 0 advarsler"}}),
                         [](const auto& info) { return info.param.verbose ? "verbose" : "quiet"; });

TEST_F(StartupTest, SettingsReachTheFileAtShutdown)
{
    writeSettings({"LogToFile=1"});
    makeTree();
    start();
    IniWriteString("SisteBildeMappe", "/bilder/");

    finish();

    const IniDocument saved = IniDocument::fromBytes(TestEnv::readFile(settingsPath()));
    EXPECT_EQ(saved.value("STANDARD", "SisteBildeMappe"), "/bilder/");
    EXPECT_EQ(saved.value("FOLDERS", "log_folder"), root() + "log/");
}

TEST_F(StartupTest, StartAndEndRunOnce)
{
    writeSettings({"LogToFile=1", "VerboseLogging=1"});
    makeTree();
    start();
    FrameworkStartup(QStringList{program});
    FrameworkShutdown();

    const QStringList lines = finish();

    EXPECT_EQ(lines.count("START: " + program), 1);
    EXPECT_EQ(lines.count("AVSLUTTER PROGRAM. 0 feilmeldinger og 0 advarsler"), 1);
}

// ---------------------------------------------------------------------------------------------
// The data-folder tree at start.

TEST_F(StartupTest, InstallOnACleanMachineMakesTheTreeOnce)
{
    start({"-install", "-install"});

    // The settings folder was made just before, when the settings file was located. The
    // settings file has no LogToFile, so only the lines made under the option's switch are there.
    EXPECT_EQ(LogMessages(), FolderTreeLines(root(), {"etc"}));
    EXPECT_FALSE(logState().LogToFile);
    ExpectFolderTreeAt(root());
    const IniDocument saved = IniDocument::fromBytes(TestEnv::readFile(settingsPath()));
    EXPECT_EQ(saved.value("FOLDERS", "etc_folder"), root() + "etc/");
    EXPECT_EQ(saved.value("FOLDERS", "doc_folder"), env.path("doc/"));
    EXPECT_EQ(saved.value("FOLDERS", "bin_folder"), env.path("prog/"));
}

TEST_F(StartupTest, InstallOverAnExistingTreeMakesItAgain)
{
    makeTree();
    writeSettings({});
    TestEnv::writeFile(settingsPath(), TestEnv::readFile(settingsPath()) + "[FOLDERS]\r\ntmp_folder=/annet/tmp/\r\n");

    start({"-install"});

    EXPECT_EQ(LogMessages(), FolderTreeLines(root(), {"*"}));
    EXPECT_EQ(logState().ErrorCount, kFolderTree.size());
    const IniDocument saved = IniDocument::fromBytes(TestEnv::readFile(settingsPath()));
    EXPECT_EQ(saved.value("FOLDERS", "tmp_folder"), root() + "tmp/");
}

TEST_F(StartupTest, MissingDataFolderBringsTheTreeBackWithoutInstall)
{
    writeSettings({"LogToFile=1"});
    makeTree();
    start();
    finish();
    QDir(root() + "data").removeRecursively();
    QDir(root() + "export").removeRecursively();
    ResetFrameworkState();

    start({"--debug"});

    EXPECT_TRUE(QFileInfo(root() + "data/knuteban").isDir());
    EXPECT_TRUE(QFileInfo(root() + "export/html/varer").isDir());
}

TEST_F(StartupTest, PresentDataFolderMeansNoTree)
{
    QDir().mkpath(root() + "data");
    start({"--debug"});
    // No tree; the log folder is there all the same, made by its own lookup.
    EXPECT_EQ(LogMessages(), QStringList{});
    EXPECT_FALSE(QFileInfo::exists(root() + "archive"));
    EXPECT_TRUE(QFileInfo(root() + "log").isDir());
}

// ---------------------------------------------------------------------------------------------
// The log at start: the lines of the run, after what the log file held, what clearing leaves, and
// the lines made before the log was loaded.

struct StartLogCase {
    const char* title;
    QStringList keys;
    QStringList args;
    bool oldLog;               // a log file from an earlier run is there: "forrige kjoring"
    bool firstStart;           // no settings file and no data tree yet
    QStringList buffer;        // the log buffer after the start, {P} the program, {S} the settings
};

class StartLogTable : public StartupTest, public ::testing::WithParamInterface<StartLogCase> {};

TEST_P(StartLogTable, LogBufferAfterTheStart)
{
    const StartLogCase& c = GetParam();
    if (!c.firstStart) {
        writeSettings(c.keys);
        makeTree();
    }
    if (c.oldLog)
        TestEnv::writeFile(logPath(), (LogTimeStamp(kLogMoment) + " forrige kjoring\r\n").toUtf8());

    start(c.args);

    QStringList expected;
    for (const QString& line : c.buffer)
        expected << QString(line).replace("{P}", program).replace("{S}", settingsPath());
    EXPECT_EQ(LogMessages(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Startup, StartLogTable,
    ::testing::Values(
        // The user named on the command line is the run's user; the login line keeps the
        // logged-on one.
        StartLogCase{"start lines name the program, the settings and the user",
                     {"LogToFile=1", "VerboseLogging=1"}, {"--user", "ola", "-ip", "10.1.2.3"}, false, false,
                     {"START: {P}", "INIFIL: {S}", "BRUKER: OLA", "LOGIN: kari  node: PC-7.firma.local IP:10.1.2.3"}},
        StartLogCase{"an existing log file is continued", {"LogToFile=1"}, {}, true, false,
                     {"forrige kjoring", "START: {P}", "INIFIL: {S}", "BRUKER: KARI"}},
        StartLogCase{"clearing empties the log before the start lines", {"LogToFile=1", "ClearLogFileOnStartup=1"},
                     {}, true, false, {"LOGGFIL TØMT (TextFile.ClearLog).", "START: {P}", "INIFIL: {S}", "BRUKER: KARI"}},
        // -install makes the tree before the log is loaded: its lines give way to the file's.
        StartLogCase{"install lines are lost when a log file is there", {}, {"-install"}, true, true,
                     {"forrige kjoring"}},
        StartLogCase{"clean-up lines come before the start lines", {"LogToFile=1", "DeleteTemporaryFiles=1"}, {},
                     false, false,
                     {"Sletter midlertidige filer opprettet av Tavlund programmer", "START: {P}", "INIFIL: {S}",
                      "BRUKER: KARI"}},
        // The old log is read first, so the clean-up's lines come after it instead of being lost.
        StartLogCase{"clean-up lines follow the lines read from the log file",
                     {"LogToFile=1", "DeleteTemporaryFiles=1"}, {}, true, false,
                     {"forrige kjoring", "Sletter midlertidige filer opprettet av Tavlund programmer", "START: {P}",
                      "INIFIL: {S}", "BRUKER: KARI"}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// ---------------------------------------------------------------------------------------------
// Temporary files at start.

struct CleanCase {
    const char* title;
    QStringList keys;
    bool ownCleaned;
    bool tempCleaned;
};

class CleanAtStartTable : public StartupTest, public ::testing::WithParamInterface<CleanCase> {};

TEST_P(CleanAtStartTable, FollowsTheTwoKeys)
{
    const CleanCase& c = GetParam();
    writeSettings(c.keys);
    makeTree();
    TestEnv::writeFile(root() + "tmp/gammel.tmp", "x");
    TestEnv::writeFile(env.path("temp/gammel.tmp"), "x");

    start();

    EXPECT_EQ(!QFileInfo::exists(root() + "tmp/gammel.tmp"), c.ownCleaned) << c.title;
    EXPECT_EQ(!QFileInfo::exists(env.path("temp/gammel.tmp")), c.tempCleaned) << c.title;
    EXPECT_TRUE(QFileInfo(root() + "tmp").isDir()) << c.title;
}

INSTANTIATE_TEST_SUITE_P(
    Startup, CleanAtStartTable,
    ::testing::Values(CleanCase{"no keys", {}, false, false},
                      CleanCase{"own folder", {"DeleteTemporaryFiles=1"}, true, false},
                      CleanCase{"system folders too", {"DeleteTemporaryFiles=1", "DeleteSystemTemporaryFiles=1"},
                                true, true},
                      CleanCase{"system flag alone does nothing", {"DeleteSystemTemporaryFiles=1"}, false, false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(StartupTest, TheVerboseKeyTakesEffectOnlyAfterTheCleanup)
{
    // The key settles detailed logging after the clean-up, so only an option gives the
    // clean-up's per-file lines.
    struct Case {
        QStringList args;
        bool detailLines;
    };
    for (const Case& c : {Case{{}, false}, Case{{"--debug"}, true}}) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        ResetFrameworkState();
        writeSettings({"LogToFile=1", "VerboseLogging=1", "DeleteTemporaryFiles=1"});
        makeTree();
        TestEnv::writeFile(root() + "tmp/gammel.tmp", "x");
        QFile::remove(logPath());

        start(c.args);

        EXPECT_EQ(LogMessages().contains("Sletter " + root() + "tmp/gammel.tmp"), c.detailLines);
        EXPECT_EQ(LogMessages().contains("Sletter mappen " + root() + "tmp/"), c.detailLines);
        EXPECT_TRUE(logState().VerboseLogging) << "on after the start either way";
    }
}

}  // namespace
