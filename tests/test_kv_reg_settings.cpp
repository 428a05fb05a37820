// The settings document: file format, typed reads, locating and marking the file, placements,
// the user name and the command line.
#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "platform/fake/registry_fake.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QString Text(const QByteArray& bytes) { return QString::fromLatin1(bytes); }

// Opens a main settings file in the test's APPDATA the way start-up does.
void OpenMain()
{
    LocateSettingsFile();
    OpenSettingsFile();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// File format

TEST(IniFormat, ReadsWhatTheMakersProgramsWrite)
{
    const QByteArray file =
        "stray=before any section\r\n"
        "[Alpha]\r\n"
        "  key1 =  value one  \r\n"
        "; a comment\r\n"
        "\r\n"
        "quoted=\"kept\"\r\n"
        "eq=a=b\r\n"
        "no equals sign here\r\n"
        "[beta]\n"
        "Key=unix line\n";
    const IniDocument doc = IniDocument::fromBytes(file);
    EXPECT_EQ(doc.value("alpha", "KEY1"), "value one");
    EXPECT_EQ(doc.value("Alpha", "quoted"), "\"kept\"");
    EXPECT_EQ(doc.value("Alpha", "eq"), "a=b");
    EXPECT_EQ(doc.value("BETA", "key"), "unix line");
    EXPECT_FALSE(doc.contains("Alpha", "stray"));
    EXPECT_FALSE(doc.contains("Alpha", "a comment"));

    // Written back: comments and stray lines gone, the plain line kept, CR LF, an empty line
    // after each section.
    EXPECT_EQ(Text(doc.toBytes()),
              "[Alpha]\r\nkey1=value one\r\nquoted=\"kept\"\r\neq=a=b\r\nno equals sign here\r\n\r\n"
              "[beta]\r\nKey=unix line\r\n\r\n");
}

TEST(IniFormat, BlanksAroundASectionNameAreNoPartOfIt)
{
    const IniDocument doc =
        IniDocument::fromBytes("[ STANDARD ]\r\nA=1\r\n[\tstandard  ]\r\nB=2\r\n[  Annen del ]\r\nC=3\r\n");
    EXPECT_EQ(doc.value("STANDARD", "A"), "1");
    EXPECT_EQ(doc.value("STANDARD", "B"), "2");
    EXPECT_EQ(doc.value("Annen del", "C"), "3");
    EXPECT_EQ(Text(doc.toBytes()), "[STANDARD]\r\nA=1\r\nB=2\r\n\r\n[Annen del]\r\nC=3\r\n\r\n");

    // So a settings file written that way is read by the program as the user meant.
    TestEnv env;
    TestEnv::writeFile(env.appData() + "/Tavlund/etc/tavlund.ini", "[ STANDARD ]\r\nBilde-Strekk=1\r\n");
    OpenMain();
    EXPECT_TRUE(IniReadBool("Bilde-Strekk"));
}

TEST(IniFormat, ChangedKeysKeepTheirPlaceNewOnesGoLast)
{
    IniDocument doc = IniDocument::fromBytes("[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");
    doc.setValue("a", "X", "10");
    doc.setValue("A", "w", "4");
    doc.setValue("C", "v", "5");
    EXPECT_EQ(Text(doc.toBytes()), "[A]\r\nx=10\r\ny=2\r\nw=4\r\n\r\n[B]\r\nz=3\r\n\r\n[C]\r\nv=5\r\n\r\n");
}

TEST(IniFormat, ALineBreakInAValueCannotAddLinesToTheFile)
{
    IniDocument doc;
    doc.setValue("STANDARD", "SisteBildeMappe", "/bilder/a\n[INI_SELF]\r\nCREATED_USER=X/");
    const IniDocument back = IniDocument::fromBytes(doc.toBytes());
    ASSERT_EQ(back.sections().size(), 1);
    EXPECT_EQ(back.sections().first().entries.size(), 1);
    EXPECT_EQ(back.value("STANDARD", "SisteBildeMappe"), "/bilder/a [INI_SELF]  CREATED_USER=X/");
}

TEST(IniFormat, EncodingIsKeptOrChosenSoNothingIsLost)
{
    struct Case {
        const char* name;
        QByteArray bytes;
        QByteArray expectedStart;
    };
    const QString norwegian = QString::fromUtf8("blåbær€");
    const Case cases[] = {
        {"windows-1252", QByteArray("[S]\r\nk=bl\xE5" "b\xE6r\x80\r\n"), QByteArray("[S]")},
        {"utf-8 mark", QByteArray("\xEF\xBB\xBF[S]\r\nk=") + norwegian.toUtf8() + "\r\n", QByteArray("\xEF\xBB\xBF[S]")},
        {"utf-16le mark",
         QByteArray("\xFF\xFE", 2) +
             QByteArray(reinterpret_cast<const char*>(QString("[S]\r\nk=" + norwegian + "\r\n").utf16()),
                        (8 + norwegian.size()) * 2),
         QByteArray("\xFF\xFE[\0", 4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const IniDocument doc = IniDocument::fromBytes(c.bytes);
        EXPECT_EQ(doc.value("S", "k"), norwegian);
        const QByteArray written = doc.toBytes();
        EXPECT_TRUE(written.startsWith(c.expectedStart));
        EXPECT_EQ(IniDocument::fromBytes(written).value("S", "k"), norwegian);
    }

    // Text that Windows-1252 cannot hold is not turned into question marks: the file becomes
    // UTF-8 with a mark, which every reader of these files understands.
    IniDocument doc;
    doc.setValue("S", "folder", QString::fromUtf8("/bilder/東京/"));
    const QByteArray written = doc.toBytes();
    EXPECT_TRUE(written.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(IniDocument::fromBytes(written).value("S", "folder"), QString::fromUtf8("/bilder/東京/"));
}

// ---------------------------------------------------------------------------------------------
// Typed operations

TEST(IniTyped, ReadsIntegersAndBooleans)
{
    struct Case {
        const char* text;
        int integer;
        bool boolean;
    };
    const Case cases[] = {
        {"0", 0, false},         {"1", 1, true},          {"2", 2, true},
        {"-5", -5, true},        {"+7", 7, true},         {"0x1F", 31, true},
        {"0X1f", 31, true},      {"$1F", 31, true},       {"$FFFFFFFF", -1, true},
        {"-$10", -16, true},     {"2147483647", 2147483647, true},
        {"-2147483648", -2147483647 - 1, true},
        {"2147483648", 0, false}, {"$100000000", 0, false},
        {"true", 0, false},      {"", 0, false},          {"1.5", 0, false},
        {"12abc", 0, false},     {"0x", 0, false},        {"$", 0, false},
        {"- 3", 0, false},       {"٣", 0, false},
    };
    TestEnv env;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        IniWriteString("k", QString::fromUtf8(c.text));
        EXPECT_EQ(IniReadInteger("k"), c.integer);
        EXPECT_EQ(IniReadBool("k"), c.boolean);
    }
    EXPECT_EQ(IniReadInteger("missing"), 0);
    EXPECT_FALSE(IniReadBool("missing"));
    EXPECT_EQ(IniReadString("missing"), "");
}

TEST(IniTyped, WritesInTheCurrentSection)
{
    TestEnv env;
    EXPECT_EQ(settingsState().CurrentSection, "STANDARD");
    IniWriteBool("On", true);
    IniWriteBool("Off", false);
    IniWriteInteger("N", -42);
    IniSection("OTHER");
    IniWriteString("On", "elsewhere");
    EXPECT_EQ(IniReadString("ON"), "elsewhere");
    IniStandard();
    EXPECT_EQ(IniReadString("on"), "1");
    EXPECT_EQ(IniReadString("Off"), "0");
    EXPECT_EQ(IniReadString("N"), "-42");
}

// ---------------------------------------------------------------------------------------------
// Locating, opening and marking the main file

TEST(SettingsFile, FirstStartCreatesTheFolderAndMarksTheFile)
{
    TestEnv env;
    OpenMain();
    const QString etc = env.appData() + "/Tavlund/etc/";
    EXPECT_TRUE(QFileInfo(etc).isDir());
    EXPECT_EQ(settingsState().SettingsFolder, etc);
    EXPECT_EQ(settingsState().SettingsPath, etc + "tavlund.ini");
    EXPECT_EQ(settingsState().CurrentSection, "STANDARD");
    EXPECT_FALSE(QFileInfo::exists(etc + "tavlund.ini")) << "nothing is written before a flush";

    ASSERT_TRUE(FlushSettings());
    const IniDocument doc = ReadSettingsDocument(etc + "tavlund.ini");
    ASSERT_EQ(doc.sections().size(), 1);
    EXPECT_EQ(doc.sections().first().name, "INI_SELF");
    QStringList keys;
    for (const auto& e : doc.sections().first().entries)
        keys << e.key;
    EXPECT_EQ(keys, QStringList({"CREATED_TIME", "CREATED_NAME", "CREATED_PROGRAM", "CREATED_USER",
                                 "CREATED_INIVERSION", "MODIFIED_TIME", "MODIFIED_NAME", "MODIFIED_PROGRAM",
                                 "MODIFIED_USER", "MODIFIED_INIVERSION"}));
    EXPECT_EQ(doc.value("INI_SELF", "CREATED_NAME"), etc + "tavlund.ini");
    EXPECT_EQ(doc.value("INI_SELF", "CREATED_INIVERSION"), "5.36");
}

TEST(SettingsFile, SecondStartKeepsCreatedAndRewritesModified)
{
    TestEnv env;
    const QString path = env.appData() + "/Tavlund/etc/tavlund.ini";
    TestEnv::writeFile(path, "[INI_SELF]\r\nCREATED_TIME=01.01.2001 01:01:01\r\nCREATED_USER=OLA\r\n"
                             "MODIFIED_USER=OLA\r\nMODIFIED_TIME=01.01.2001 01:01:01\r\n");
    startupState().UserOverride = "kari";
    OpenMain();
    IniSection("INI_SELF");
    EXPECT_EQ(IniReadString("CREATED_TIME"), "01.01.2001 01:01:01");
    EXPECT_EQ(IniReadString("CREATED_USER"), "OLA");
    EXPECT_FALSE(settingsState().document.contains("INI_SELF", "CREATED_NAME"));
    EXPECT_EQ(IniReadString("MODIFIED_USER"), "KARI");
    EXPECT_NE(IniReadString("MODIFIED_TIME"), "01.01.2001 01:01:01");
    EXPECT_EQ(IniReadString("MODIFIED_NAME"), path);
    IniStandard();
}

TEST(SettingsFile, WorkingFolderFileWinsAndKeepsTheUserFilesBesideIt)
{
    TestEnv env;
    TestEnv::writeFile(env.path("work/tavlund.ini"), "[STANDARD]\r\nFrom=work\r\n");
    TestEnv::writeFile(env.appData() + "/Tavlund/etc/tavlund.ini", "[STANDARD]\r\nFrom=appdata\r\n");
    startupState().UserOverride = "per";
    OpenMain();
    EXPECT_EQ(settingsState().SettingsPath, QFileInfo(env.path("work/tavlund.ini")).absoluteFilePath());
    EXPECT_EQ(IniReadString("From"), "work");
    EXPECT_EQ(UserSettingsFile(), settingsState().SettingsFolder + "PER.INI");
    EXPECT_TRUE(UserSettingsFile().startsWith(QFileInfo(env.path("work")).absoluteFilePath() + "/"));
}

TEST(SettingsFile, AFileThatCannotBeReadStopsTheStart)
{
    TestEnv env;
    // A folder where the file should be: it exists, but cannot be read as a file.
    QDir().mkpath(env.appData() + "/Tavlund/etc/tavlund.ini");
    LocateSettingsFile();
    EXPECT_THROW(OpenSettingsFile(), SettingsError);

    // The program says so on stderr and ends with an error before any window.
    QProcess glimra;
    QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    pe.insert("APPDATA", env.appData());
    pe.insert("QT_QPA_PLATFORM", "offscreen");
    glimra.setProcessEnvironment(pe);
    glimra.setWorkingDirectory(env.path("work"));
    glimra.start(GLIMRA_BINARY, {});
    ASSERT_TRUE(glimra.waitForFinished(20000));
    EXPECT_EQ(glimra.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(glimra.exitCode(), 0);
    const QString stderrText = QString::fromLocal8Bit(glimra.readAllStandardError());
    EXPECT_TRUE(stderrText.contains("tavlund.ini")) << stderrText.toStdString();
    EXPECT_TRUE(stderrText.contains("det er en mappe, ikke en fil")) << stderrText.toStdString();
}

TEST(SettingsFile, AFailedWriteLeavesThePreviousFileWhole)
{
    TestEnv env;
    OpenMain();
    ASSERT_TRUE(FlushSettings());
    const QByteArray before = TestEnv::readFile(settingsState().SettingsPath);
    for (int i = 0; i < 200; ++i)
        IniWriteString(QString("Key%1").arg(i), QString(40, 'x'));

    // A file-size limit makes the write fail part-way, as a full disk would.
    bool refused = false;
    {
        FileSizeLimit limit(before.size() + 64);
        try {
            FlushSettings();
        } catch (const SettingsError&) {
            refused = true;
        }
    }
    EXPECT_TRUE(refused);

    EXPECT_EQ(TestEnv::readFile(settingsState().SettingsPath), before);
    EXPECT_EQ(QDir(settingsState().SettingsFolder).entryList(QDir::Files), QStringList({"tavlund.ini"}))
        << "no half-written file is left beside it";
    EXPECT_EQ(IniReadString("Key7"), QString(40, 'x')) << "the document in memory is kept";
}

TEST(SettingsFile, AReadOnlyFileIsNotReplaced)
{
    TestEnv env;
    OpenMain();
    ASSERT_TRUE(FlushSettings());
    const QString path = settingsState().SettingsPath;
    const QByteArray before = TestEnv::readFile(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    IniWriteString("Changed", "1");
    EXPECT_FALSE(FlushSettings());
    EXPECT_EQ(TestEnv::readFile(path), before);
    EXPECT_EQ(IniReadString("Changed"), "1");
}

// ---------------------------------------------------------------------------------------------
// The user name

TEST(CurrentUserName, OverrideThenLogonNameThenDefault)
{
    struct Case {
        const char* override;
        const char* logon;   // the logged-on user the environment reports
        const char* expected;
    };
    const Case cases[] = {
        {"kari", "ola", "KARI"},
        {"", "ola", "OLA"},
        {"", "", "BRUKER"},
        {"ærlig øyvind å", "", "ÆRLIG ØYVIND Å"},
        {"straße", "", "STRASSE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        TestEnv env;
        platform::ScopedFakeRegistry registry;
        registry->setString(platform::RegistryRoot::LocalMachine, "Network\\Logon", "Username",
                            QString::fromUtf8(c.logon));
        startupState().UserOverride = QString::fromUtf8(c.override);
        EXPECT_EQ(CurrentUser(), QString::fromUtf8(c.expected));
        EXPECT_EQ(settingsState().cachedUser.toUpper(), CurrentUser()) << "the cache keeps the name as found";
    }
}

TEST(CurrentUserName, IsLookedUpOnce)
{
    TestEnv env;
    platform::ScopedFakeRegistry registry;
    registry->setString(platform::RegistryRoot::LocalMachine, "Network\\Logon", "Username", "ola");
    EXPECT_EQ(CurrentUser(), "OLA");
    registry->setString(platform::RegistryRoot::LocalMachine, "Network\\Logon", "Username", "kari");
    EXPECT_EQ(CurrentUser(), "OLA");
}

// ---------------------------------------------------------------------------------------------
// Window placements

class Placement : public ::testing::Test {
protected:
    void SetUp() override
    {
        startupState().UserOverride = "tester";
        OpenMain();
    }
    QSize screen{1920, 1080};
    TestEnv env;

    void store(const QByteArray& section)
    {
        TestEnv::writeFile(settingsState().SettingsFolder + "TESTER.INI", section);
    }
};

TEST_F(Placement, WindowWithNothingStoredGoesToTheCorner)
{
    WindowPlacement w{280, 185, 700, 500, false};
    QString diverse = "in";
    LoadWindowPos(w, screen, "Bildeviser", diverse);
    EXPECT_EQ(w.left, 0);
    EXPECT_EQ(w.top, 0);
    EXPECT_EQ(w.width, 700);
    EXPECT_EQ(w.height, 500);
    EXPECT_FALSE(w.maximized);
    EXPECT_EQ(diverse, "");
    EXPECT_EQ(settingsState().CurrentSection, "STANDARD");
    // The switch back wrote both files: the per-user one (empty) and the main one.
    EXPECT_TRUE(QFileInfo::exists(settingsState().SettingsFolder + "TESTER.INI"));
    EXPECT_TRUE(QFileInfo::exists(settingsState().SettingsPath));
    EXPECT_EQ(settingsState().documentPath, settingsState().SettingsPath);
}

TEST_F(Placement, ClampsAndSizes)
{
    struct Case {
        const char* name;
        QByteArray stored;
        const char* diverseIn;
        WindowPlacement expected;
    };
    const WindowPlacement start{10, 20, 800, 600, false};
    const Case cases[] = {
        {"left beyond the screen", "Left=5000\r\nTop=100\r\n", "", {1120, 100, 800, 600, false}},
        {"top beyond the screen", "Left=5\r\nTop=2000\r\n", "", {5, 480, 800, 600, false}},
        {"equal to the screen stays", "Left=1920\r\nTop=1080\r\n", "", {1920, 1080, 800, 600, false}},
        {"negative stays", "Left=-30\r\nTop=-8\r\n", "", {-30, -8, 800, 600, false}},
        {"clamp uses the size before the stored one",
         "Left=3000\r\nTop=0\r\nWidth=400\r\nHeight=300\r\n", "", {1120, 0, 400, 300, false}},
        {"zero size keeps the current one", "Width=0\r\nHeight=-5\r\n", "", {0, 0, 800, 600, false}},
        {"maximized", "Maximized=1\r\nLeft=1\r\nTop=2\r\nWidth=3\r\nHeight=4\r\n", "", {1, 2, 3, 4, true}},
        {"OnlyPos ignores the size but not the state",
         "Maximized=1\r\nLeft=1\r\nTop=2\r\nWidth=3\r\nHeight=4\r\n", "OnlyPos", {1, 2, 800, 600, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        store("[VINDU-W]\r\n" + c.stored + "Diverse=extra\r\n");
        WindowPlacement w = start;
        QString diverse = c.diverseIn;
        LoadWindowPos(w, screen, "W", diverse);
        EXPECT_EQ(w.left, c.expected.left);
        EXPECT_EQ(w.top, c.expected.top);
        EXPECT_EQ(w.width, c.expected.width);
        EXPECT_EQ(w.height, c.expected.height);
        EXPECT_EQ(w.maximized, c.expected.maximized);
        EXPECT_EQ(diverse, "extra");
    }
}

TEST_F(Placement, SaveWritesTheKeysInOrderAndSeparatesUsers)
{
    SaveWindowPos(WindowPlacement{11, 22, 333, 444, true}, "Bildeviser");
    const QByteArray tester = TestEnv::readFile(settingsState().SettingsFolder + "TESTER.INI");
    EXPECT_EQ(Text(tester), "[VINDU-Bildeviser]\r\nMaximized=1\r\nLeft=11\r\nTop=22\r\nHeight=444\r\n"
                            "Width=333\r\nDiverse=\r\n\r\n");
    EXPECT_FALSE(settingsState().document.contains("VINDU-Bildeviser", "Left"))
        << "placements never land in the main file";

    settingsState().cachedUser = "annen";
    SaveWindowPos(WindowPlacement{1, 2, 3, 4, false}, "Bildeviser", "x");
    EXPECT_TRUE(QFileInfo::exists(settingsState().SettingsFolder + "ANNEN.INI"));
    EXPECT_EQ(TestEnv::readFile(settingsState().SettingsFolder + "TESTER.INI"), tester);

    WindowPlacement w{};
    QString diverse;
    LoadWindowPos(w, screen, "Bildeviser", diverse);
    EXPECT_EQ(w.left, 1);
    EXPECT_EQ(diverse, "x");
}

TEST_F(Placement, AUserNameWithASeparatorStaysInTheSettingsFolder)
{
    settingsState().cachedUser = "a/b";
    EXPECT_EQ(UserSettingsFile(), settingsState().SettingsFolder + "A_B.INI");
    SaveWindowPos(WindowPlacement{1, 2, 3, 4, false}, "Bildeviser");
    EXPECT_TRUE(QFileInfo::exists(settingsState().SettingsFolder + "A_B.INI"));
}

TEST_F(Placement, MainDocumentSurvivesAFailedSwitch)
{
    IniWriteString("Unsaved", "yes");
    IniSection("SOMEWHERE");
    // A folder in the per-user file's place: reading it fails half-way through the operation.
    QDir().mkpath(settingsState().SettingsFolder + "TESTER.INI");
    WindowPlacement w{};
    QString diverse;
    EXPECT_THROW(LoadWindowPos(w, screen, "Bildeviser", diverse), SettingsError);
    EXPECT_EQ(settingsState().CurrentSection, "SOMEWHERE");
    EXPECT_EQ(settingsState().documentPath, settingsState().SettingsPath);
    IniStandard();
    EXPECT_EQ(IniReadString("Unsaved"), "yes");
}

TEST_F(Placement, ReadOnlyMainFileKeepsTheRunsChanges)
{
    ASSERT_TRUE(FlushSettings());
    QFile::setPermissions(settingsState().SettingsPath, QFile::ReadOwner);
    IniWriteString("SisteBildeMappe", "/bilder/");
    SaveWindowPos(WindowPlacement{1, 2, 3, 4, false}, "Bildeviser");
    EXPECT_EQ(IniReadString("SisteBildeMappe"), "/bilder/");
    EXPECT_TRUE(QFileInfo::exists(settingsState().SettingsFolder + "TESTER.INI"));
}

// ---------------------------------------------------------------------------------------------
// The command line

TEST(CommandLine, ScanRules)
{
    struct Case {
        const char* name;
        QStringList args;
        bool logToFile;
        bool verbose;
        bool install;
        const char* ip;
        const char* user;
    };
    const Case cases[] = {
        {"nothing", {}, false, false, false, "", ""},
        {"--debug", {"--debug"}, true, true, false, "", ""},
        {"-install", {"-install"}, true, true, true, "", ""},
        {"-ip with value", {"-ip", "10.1.2.3"}, false, false, false, "10.1.2.3", ""},
        {"-ip last", {"-ip"}, false, false, false, "", ""},
        {"later value wins", {"--user", "A", "--user", "B"}, false, false, false, "", "B"},
        {"a value that is an option acts too", {"--user", "-install"}, true, true, true, "", "-install"},
        {"other letter case is no option", {"--DEBUG", "-Install", "-IP", "x"}, false, false, false, "", ""},
        {"whole argument only", {"--debug=1", "x-install"}, false, false, false, "", ""},
        {"value of -ip taken as --user's name", {"-ip", "--user", "ola"}, false, false, false, "--user", "ola"},
        {"repeated switch", {"-install", "-install"}, true, true, true, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestEnv env;
        ScanCommandLine(QStringList{"/usr/bin/glimra"} + c.args);
        EXPECT_EQ(logState().LogToFile, c.logToFile);
        EXPECT_EQ(logState().VerboseLogging, c.verbose);
        EXPECT_EQ(startupState().installRequest, c.install);
        EXPECT_EQ(startupState().IpOverride, c.ip);
        EXPECT_EQ(startupState().UserOverride, c.user);
    }
}

TEST(CommandLine, ArgumentZeroIsNeverExamined)
{
    TestEnv env;
    ScanCommandLine({"--debug"});
    EXPECT_FALSE(logState().LogToFile);
}

// ---------------------------------------------------------------------------------------------
// Line ends, trimming and byte-order marks as files from other editors have them

TEST(IniReading, EveryKindOfLineEndEndsALine)
{
    struct Case {
        const char* name;
        QByteArray eol;
    };
    const Case cases[] = {{"CR LF", "\r\n"}, {"LF", "\n"}, {"CR", "\r"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray file = "[STANDARD]" + c.eol + "LogToFile=1" + c.eol + "Firma_Navn=Tavlund AS" + c.eol +
                                c.eol + "[FOLDERS]" + c.eol + "log_folder=/var/log/x/";
        const IniDocument doc = IniDocument::fromBytes(file);
        EXPECT_EQ(doc.value("STANDARD", "LogToFile"), "1");
        EXPECT_EQ(doc.value("STANDARD", "Firma_Navn"), "Tavlund AS");
        EXPECT_EQ(doc.value("FOLDERS", "log_folder"), "/var/log/x/");
        // A save keeps every setting: the written file reads back the same.
        EXPECT_EQ(Text(doc.toBytes()), "[STANDARD]\r\nLogToFile=1\r\nFirma_Navn=Tavlund AS\r\n\r\n"
                                       "[FOLDERS]\r\nlog_folder=/var/log/x/\r\n\r\n");
    }
    // Ends mixed in one file, and a CR alone between two keys.
    const IniDocument mixed = IniDocument::fromBytes("[A]\r\na=1\rb=2\nc=3\r\n\r[B]\rd=4");
    EXPECT_EQ(mixed.value("A", "a"), "1");
    EXPECT_EQ(mixed.value("A", "b"), "2");
    EXPECT_EQ(mixed.value("A", "c"), "3");
    EXPECT_EQ(mixed.value("B", "d"), "4");
}

TEST(IniReading, TrimmingTakesBlanksAndControlCharactersOnly)
{
    const QString nbsp = QString(QChar(0x00A0));
    const QString ideographic = QString(QChar(0x3000));
    const QString file = "[ S" + nbsp + "]\r\n"
                         "\t a \x01= b" + nbsp + "\r\n"
                         "c=" + ideographic + "d\x1F\x7F\t\r\n"
                         "e=\x02\x03 f \t\r\n";
    const IniDocument doc = IniDocument::fromBytes(EncodeText(file, TextEncoding::Utf8Bom));
    ASSERT_EQ(doc.sections().size(), 1);
    EXPECT_EQ(doc.sections().first().name, "S" + nbsp);
    EXPECT_EQ(doc.value("S" + nbsp, "a"), "b" + nbsp) << "a no-break space is part of the value";
    EXPECT_EQ(doc.value("S" + nbsp, "c"), ideographic + "d\x1F\x7F") << "DEL and wide blanks stay";
    EXPECT_EQ(doc.value("S" + nbsp, "e"), "f");
}

TEST(IniReading, OnlyTheFirstByteOrderMarkIsTaken)
{
    const QString mark(QChar(0xFEFF));
    for (const TextEncoding encoding : {TextEncoding::Utf8Bom, TextEncoding::Utf16LeBom, TextEncoding::Utf16BeBom}) {
        SCOPED_TRACE(int(encoding));
        // Four marks: one is the file's, three are text.
        const QByteArray four = EncodeText(mark + mark + mark, encoding);
        const DecodedText decoded = DecodeText(four);
        EXPECT_EQ(decoded.encoding, encoding);
        EXPECT_EQ(decoded.text, mark + mark + mark);
        EXPECT_EQ(EncodeText(decoded.text, decoded.encoding), four) << "a round trip loses none";

        // In a settings value too, load after load.
        QByteArray bytes = EncodeText("[S]\r\nk=" + mark + mark + "v\r\n", encoding);
        for (int round = 0; round < 3; ++round)
            bytes = IniDocument::fromBytes(bytes).toBytes();
        EXPECT_EQ(IniDocument::fromBytes(bytes).value("S", "k"), mark + mark + "v");
    }
}

// ---------------------------------------------------------------------------------------------
// Two copies of the program with one settings file: a save puts this run's changes onto the
// file as it is on disk then. The other copy is played by writing the file between the steps.

namespace {

// Changes one key of the settings file on disk, as another copy's save would.
void OtherCopyWrites(const QString& path, const QString& section, const QString& key, const QString& value)
{
    IniDocument doc = IniDocument::fromBytes(TestEnv::readFile(path));
    doc.setValue(section, key, value);
    TestEnv::writeFile(path, doc.toBytes());
}

}  // namespace

TEST(SettingsMerge, EachCopyKeepsItsChangesAndTheOthers)
{
    TestEnv env;
    const QString path = env.appData() + "/Tavlund/etc/tavlund.ini";
    TestEnv::writeFile(path, "[STANDARD]\r\nBilde-Strekk=0\r\nBilde-Proposjonalt=0\r\nFirma_Navn=Gammel\r\n");
    OpenMain();
    ASSERT_TRUE(FlushSettings());

    // The other copy changes a key and adds a section while this one runs.
    OtherCopyWrites(path, "STANDARD", "Bilde-Proposjonalt", "1");
    OtherCopyWrites(path, "SERVER-SETTING-FTP", "server", "ftp.example.no");
    // This run changes another key, and writes back one it did not change.
    IniWriteString("Firma_Navn", "Ny");
    IniWriteBool("Bilde-Proposjonalt", false);
    ASSERT_TRUE(FlushSettings());

    const IniDocument onDisk = IniDocument::fromBytes(TestEnv::readFile(path));
    EXPECT_EQ(onDisk.value("STANDARD", "Firma_Navn"), "Ny");
    EXPECT_EQ(onDisk.value("STANDARD", "Bilde-Proposjonalt"), "1") << "an unchanged value undid the other's change";
    EXPECT_EQ(onDisk.value("SERVER-SETTING-FTP", "server"), "ftp.example.no");
    EXPECT_EQ(IniReadString("Bilde-Proposjonalt"), "1") << "after a save the document is what the file holds";

    // A real change of this run wins over the file, and is written once: after the save the
    // other copy may change the key again, and this run's next save keeps that.
    IniWriteBool("Bilde-Strekk", true);
    OtherCopyWrites(path, "STANDARD", "Firma_Navn", "Annen");
    ASSERT_TRUE(FlushSettings());
    const IniDocument second = IniDocument::fromBytes(TestEnv::readFile(path));
    EXPECT_EQ(second.value("STANDARD", "Bilde-Strekk"), "1");
    EXPECT_EQ(second.value("STANDARD", "Firma_Navn"), "Annen");
}

TEST(SettingsMerge, APlacementSwitchInBetweenDoesNotTurnOldValuesIntoChanges)
{
    // The viewer's close: it saves its placement (which writes and reads the main file again),
    // then writes its two choices, which the user did not change in this copy.
    TestEnv env;
    const QString path = env.appData() + "/Tavlund/etc/tavlund.ini";
    TestEnv::writeFile(path, "[STANDARD]\r\nBilde-Strekk=0\r\n");
    startupState().UserOverride = "tester";
    OpenMain();
    OtherCopyWrites(path, "STANDARD", "Bilde-Strekk", "1");
    SaveWindowPos(WindowPlacement{10, 20, 300, 400, false}, "Bildeviser");
    IniWriteBool("Bilde-Strekk", false);
    FrameworkShutdown();
    EXPECT_EQ(IniDocument::fromBytes(TestEnv::readFile(path)).value("STANDARD", "Bilde-Strekk"), "1");
}

TEST(SettingsMerge, FirstValuesStayWithTheCopyThatMadeTheFile)
{
    TestEnv env;
    const QString path = env.appData() + "/Tavlund/etc/tavlund.ini";
    startupState().UserOverride = "andre";
    OpenMain();  // no file yet: this run writes CREATED_ keys too
    // Meanwhile the other copy, started at the same time, made the file first.
    TestEnv::writeFile(path, "[INI_SELF]\r\nCREATED_TIME=01.01.2001 01:01:01\r\nCREATED_USER=FORSTE\r\n"
                             "MODIFIED_USER=FORSTE\r\n");
    ASSERT_TRUE(FlushSettings());
    const IniDocument onDisk = IniDocument::fromBytes(TestEnv::readFile(path));
    EXPECT_EQ(onDisk.value("INI_SELF", "CREATED_TIME"), "01.01.2001 01:01:01");
    EXPECT_EQ(onDisk.value("INI_SELF", "CREATED_USER"), "FORSTE");
    EXPECT_EQ(onDisk.value("INI_SELF", "CREATED_INIVERSION"), "5.36") << "a first value the file lacks is added";
    EXPECT_EQ(onDisk.value("INI_SELF", "MODIFIED_USER"), "ANDRE");

    // A file that is gone by the save gets the whole document as this run has it.
    QFile::remove(path);
    ASSERT_TRUE(FlushSettings());
    EXPECT_EQ(IniDocument::fromBytes(TestEnv::readFile(path)).value("INI_SELF", "CREATED_USER"), "FORSTE");
}

TEST(SettingsMerge, TheFilesEncodingAndLinesAreKept)
{
    TestEnv env;
    const QString path = env.appData() + "/Tavlund/etc/tavlund.ini";
    TestEnv::writeFile(path, "[STANDARD]\r\nA=1\r\n");
    OpenMain();
    // The other copy rewrote the file in UTF-16 with a line that has no "=".
    TestEnv::writeFile(path, EncodeText("[STANDARD]\r\nA=1\r\nlinje uten likhetstegn\r\nB=ø\r\n",
                                        TextEncoding::Utf16LeBom));
    IniWriteString("C", "3");
    ASSERT_TRUE(FlushSettings());
    const QByteArray written = TestEnv::readFile(path);
    EXPECT_TRUE(written.startsWith("\xFF\xFE"));
    const DecodedText text = DecodeText(written);
    EXPECT_TRUE(text.text.startsWith("[STANDARD]\r\nA=1\r\nlinje uten likhetstegn\r\nB=ø\r\n"));
    EXPECT_TRUE(text.text.contains("C=3\r\n"));
}

TEST(SettingsMerge, ASaveWaitsWhileTheOtherCopySaves)
{
    TestEnv env;
    const QString path = env.appData() + "/Tavlund/etc/tavlund.ini";
    TestEnv::writeFile(path, "[STANDARD]\r\nA=1\r\n");
    OpenMain();
    IniWriteString("Mine", "1");

    // The other copy is in the middle of its save: it holds the file's lock.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    std::atomic<bool> done{false};
    bool saved = false;
    std::thread saver([&] {
        saved = FlushSettings();
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const bool savedWhileLocked = done;
    OtherCopyWrites(path, "STANDARD", "Theirs", "2");
    ::close(fd);
    saver.join();

    EXPECT_FALSE(savedWhileLocked) << "the save did not wait for the other copy's";
    EXPECT_TRUE(saved);
    const IniDocument onDisk = IniDocument::fromBytes(TestEnv::readFile(path));
    EXPECT_EQ(onDisk.value("STANDARD", "Mine"), "1");
    EXPECT_EQ(onDisk.value("STANDARD", "Theirs"), "2");
}
