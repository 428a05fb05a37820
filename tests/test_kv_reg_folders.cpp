// The data folders: logical names, the folder register in section FOLDERS, the default tree.
#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "platform/environment.h"
#include "testenv.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

bool IsFolder(const QString& path) { return QFileInfo(path).isDir(); }

// A test with the settings document open (as after start-up) and the log recording.
class FoldersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetProgramFilePath(env.path("prog/bin/glimra"));
        LocateSettingsFile();
        OpenSettingsFile();
        logState().LogToFile = true;
        FixLogClock();
    }
    void TearDown() override { platform::SetProgramFilePath(QString()); }

    QString root() const { return env.appData() + "/Tavlund/"; }
    QString settingsPath() const { return settingsState().SettingsPath; }
    // The FOLDERS entry as it stands in the file on disk.
    QString onDisk(const QString& name) const
    {
        return IniDocument::fromBytes(TestEnv::readFile(settingsPath())).value("FOLDERS", name + "_folder");
    }
    QString inMemory(const QString& name) const
    {
        return settingsState().document.value("FOLDERS", name + "_folder");
    }

    TestEnv env;
};

TEST_F(FoldersTest, DataRootIsTheApplicationDataFolderPlusTavlund)
{
    EXPECT_EQ(DataRoot(), env.appData() + "/Tavlund/");
}

TEST_F(FoldersTest, MissingLogFolderIsCreatedLoggedRegisteredAndFlushed)
{
    ASSERT_FALSE(IsFolder(root() + "log"));
    ASSERT_FALSE(QFileInfo::exists(settingsPath()));
    IniSection("UTSKRIFTFORM");

    const QString path = tavlundpath("log");

    EXPECT_EQ(path, root() + "log/");
    EXPECT_TRUE(IsFolder(path));
    EXPECT_EQ(LogMessages(), QStringList{"kv_reg.tavlundpath(log): Lager mappen " + root() + "log/"});
    EXPECT_EQ(onDisk("log"), root() + "log/");
    EXPECT_EQ(settingsState().CurrentSection, "UTSKRIFTFORM");
}

TEST_F(FoldersTest, RedirectionOutsideDataRootIsNotCreatedAndGetsItsSlash)
{
    const QString scratch = env.path("scratch");
    IniSection("FOLDERS");
    IniWriteString("tmp_folder", scratch);
    IniStandard();

    const QString path = tavlundpath("tmp");

    EXPECT_EQ(path, scratch + "/");
    EXPECT_FALSE(QFileInfo::exists(scratch));
    EXPECT_TRUE(LogMessages().isEmpty());
    EXPECT_EQ(inMemory("tmp"), scratch + "/");
    EXPECT_EQ(onDisk("tmp"), scratch + "/");
    EXPECT_EQ(settingsState().CurrentSection, "STANDARD");
}

// Which lookups create their folder: a missing folder inside DataRoot, never "bin", never a
// path outside; the substring test is exact in letter case.
struct LookupCase {
    const char* title;
    const char* name;
    const char* stored;  // relative to the test root, "@" for DataRoot; empty: nothing stored
    const char* expected;
    bool created;
};

class LookupTable : public FoldersTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(LookupTable, CreatesOnlyMissingFoldersInsideDataRoot)
{
    const LookupCase& c = GetParam();
    const auto resolve = [&](QString text) {
        return text.startsWith('@') ? root() + text.mid(1) : env.root() + text;
    };
    if (*c.stored) {
        IniSection("FOLDERS");
        IniWriteString(QString(c.name) + "_folder", resolve(c.stored));
        IniStandard();
    }
    const QString expected = resolve(c.expected);

    const QString path = tavlundpath(c.name);

    EXPECT_EQ(path, expected) << c.title;
    EXPECT_EQ(IsFolder(expected), c.created) << c.title;
    const QStringList lines = LogMessages();
    if (c.created) {
        QString logged = expected;
        if (*c.stored && !QString(c.stored).endsWith('/'))
            logged.chop(1);  // logged as stored, before the slash is added
        EXPECT_EQ(lines, QStringList{"kv_reg.tavlundpath(" + QString(c.name) + "): Lager mappen " + logged})
            << c.title;
    } else {
        EXPECT_TRUE(lines.isEmpty()) << c.title;
    }
    EXPECT_EQ(onDisk(c.name), expected) << c.title;
}

INSTANTIATE_TEST_SUITE_P(
    Folders, LookupTable,
    ::testing::Values(
        LookupCase{"default tree folder", "log", "", "@log/", true},
        LookupCase{"nested default, parents made too", "data/knuteban", "", "@data/knuteban/", true},
        LookupCase{"any other name", "kunder", "", "@kunder/", true},
        LookupCase{"bin is never created", "bin", "", "@bin/", false},
        LookupCase{"redirected inside DataRoot, no slash", "tmp", "@andre/tmp", "@andre/tmp/", true},
        LookupCase{"redirected outside DataRoot", "tmp", "scratch/tmp/", "scratch/tmp/", false},
        LookupCase{"DataRoot in other letter case is outside", "tmp", "appdata/TAVLUND/tmp/",
                   "appdata/TAVLUND/tmp/", false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(FoldersTest, ExistingFolderIsReturnedWithoutALine)
{
    QDir().mkpath(root() + "images");
    EXPECT_EQ(tavlundpath("images"), root() + "images/");
    EXPECT_TRUE(LogMessages().isEmpty());
    EXPECT_EQ(onDisk("images"), root() + "images/");
}

TEST(FolderLookup, EmptyNameIsDataRootAndTouchesNothing)
{
    TestEnv env;
    // Without a settings file in place and before DataRoot exists: nothing is created.
    EXPECT_EQ(tavlundpath(""), env.appData() + "/Tavlund/");
    EXPECT_FALSE(QFileInfo::exists(env.appData() + "/Tavlund"));

    LocateSettingsFile();
    OpenSettingsFile();
    ASSERT_TRUE(FlushSettings());
    const QByteArray before = TestEnv::readFile(settingsState().SettingsPath);
    settingsState().document.setValue("STANDARD", "Endret", "1");  // unsaved change

    EXPECT_EQ(tavlundpath(""), env.appData() + "/Tavlund/");

    EXPECT_EQ(TestEnv::readFile(settingsState().SettingsPath), before);
    EXPECT_FALSE(settingsState().document.contains("FOLDERS", "_folder"));
}

TEST(FolderLookup, FailedFlushLeavesTheSectionRestored)
{
    TestEnv env;
    LocateSettingsFile();
    OpenSettingsFile();
    // A folder where the settings file should be: the flush cannot replace it.
    QDir().mkpath(settingsState().SettingsPath);
    IniSection("VINDU-Bildeviser");
    EXPECT_THROW(tavlundpath("log"), SettingsError);
    EXPECT_EQ(settingsState().CurrentSection, "VINDU-Bildeviser");
}

TEST_F(FoldersTest, StoreFolderAddsTheSlashAndRestoresTheSection)
{
    IniSection("SERVER-SETTING-FTP");
    StoreFolder("export", "/srv/eksport");
    StoreFolder("import", "/srv/import/");
    StoreFolder("arkiv", "");
    EXPECT_EQ(settingsState().CurrentSection, "SERVER-SETTING-FTP");
    EXPECT_EQ(inMemory("export"), "/srv/eksport/");
    EXPECT_EQ(inMemory("import"), "/srv/import/");
    EXPECT_TRUE(settingsState().document.contains("FOLDERS", "arkiv_folder"));
    EXPECT_EQ(inMemory("arkiv"), "");
    // StoreFolder itself does not write the file.
    EXPECT_FALSE(QFileInfo::exists(settingsPath()));
}

TEST_F(FoldersTest, BinIsTheProgramFolderOnceBinFolderHasRun)
{
    // Before BinFolder: the general default, not created.
    EXPECT_EQ(tavlundpath("bin"), root() + "bin/");
    EXPECT_FALSE(IsFolder(root() + "bin"));

    IniSection("FOLDERS");
    IniWriteString("bin_folder", "/opt/gammel/bin/");
    IniStandard();

    EXPECT_EQ(BinFolder(), env.path("prog/bin/"));
    EXPECT_EQ(tavlundpath("bin"), env.path("prog/bin/"));
    EXPECT_EQ(onDisk("bin"), env.path("prog/bin/"));
    EXPECT_FALSE(QFileInfo::exists(env.path("prog")));  // bin is never created

    platform::SetProgramFilePath(env.path("annet/glimra"));
    EXPECT_EQ(BinFolder(), env.path("annet/"));
    EXPECT_TRUE(LogMessages().isEmpty());
}

TEST_F(FoldersTest, LogFolderFallsBackToTheDefaultWhenTheRedirectionIsMissing)
{
    IniSection("FOLDERS");
    IniWriteString("log_folder", env.path("borte/log/"));
    IniStandard();

    EXPECT_EQ(LogFolder(), root() + "log/");
    EXPECT_TRUE(IsFolder(root() + "log"));
    EXPECT_FALSE(QFileInfo::exists(env.path("borte")));
    EXPECT_EQ(onDisk("log"), root() + "log/");
}

TEST_F(FoldersTest, LogFolderKeepsAnExistingRedirection)
{
    QDir().mkpath(env.path("logger"));
    IniSection("FOLDERS");
    IniWriteString("log_folder", env.path("logger"));
    IniStandard();

    EXPECT_EQ(LogFolder(), env.path("logger/"));
    EXPECT_FALSE(QFileInfo::exists(root() + "log"));
    EXPECT_TRUE(LogMessages().isEmpty());
}

// ---------------------------------------------------------------------------------------------

struct MkdirCase {
    const char* title;
    const char* path;  // relative to the test root
    int error;         // 0: created
};

class MkdirTable : public FoldersTest, public ::testing::WithParamInterface<MkdirCase> {};

TEST_P(MkdirTable, LogsTheOutcomeWithTheSystemErrorNumber)
{
    const MkdirCase& c = GetParam();
    QDir().mkpath(env.path("finnes"));
    TestEnv::writeFile(env.path("fil"), "x");
    const QString path = env.path(c.path);

    mkdirsafe(path);

    const QString expected = c.error == 0 ? "Oppretter mappen " + path
                                          : "FEIL: [mkdirsafe:" + QString::number(c.error) +
                                                "] kan ikke opprette mappen " + path;
    EXPECT_EQ(LogMessages(), QStringList{expected}) << c.title;
    if (c.error == 0)
        EXPECT_TRUE(IsFolder(path)) << c.title;
    EXPECT_EQ(logState().ErrorCount, c.error == 0 ? 0 : 1) << c.title;
}

INSTANTIATE_TEST_SUITE_P(Folders, MkdirTable,
                         ::testing::Values(MkdirCase{"new folder", "ny", 0},
                                           MkdirCase{"new folder given with slash", "ny/", 0},
                                           MkdirCase{"exists already", "finnes", EEXIST},
                                           MkdirCase{"a file in the way", "fil", EEXIST},
                                           MkdirCase{"parent missing", "mangler/ny", ENOENT},
                                           MkdirCase{"parent is a file", "fil/ny", ENOTDIR}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// ---------------------------------------------------------------------------------------------

TEST(FolderTree, FirstInstallCreatesTheTreeBesideTheSettingsFolder)
{
    TestEnv env;
    platform::SetProgramFilePath(env.path("prog/bin/glimra"));
    const QString root = env.appData() + "/Tavlund/";
    LocateSettingsFile();  // creates root + "etc/", as on a first start
    OpenSettingsFile();
    logState().LogToFile = true;
    FixLogClock();

    CreateFolderTree();

    EXPECT_EQ(LogMessages(), FolderTreeLines(root, {"etc"}));
    EXPECT_EQ(logState().ErrorCount, 1);
    ExpectFolderTreeAt(root);
    for (const QString& name : kFolderTree)
        EXPECT_EQ(settingsState().document.value("FOLDERS", name + "_folder"), root + name + "/");
    EXPECT_EQ(settingsState().document.value("FOLDERS", "bin_folder"), env.path("prog/bin/"));
    EXPECT_EQ(settingsState().document.value("FOLDERS", "doc_folder"), env.path("prog/doc/"));
    EXPECT_FALSE(QFileInfo::exists(env.path("prog/doc")));
    EXPECT_EQ(settingsState().CurrentSection, "STANDARD");
    platform::SetProgramFilePath(QString());
}

TEST(FolderTree, WithoutDataRootTheRootIsMadeFirst)
{
    TestEnv env;
    platform::SetProgramFilePath(env.path("glimra"));
    logState().LogToFile = true;
    FixLogClock();
    const QString root = env.appData() + "/Tavlund/";

    CreateFolderTree();

    EXPECT_EQ(LogMessages(), FolderTreeLines(root, {}));
    EXPECT_EQ(logState().ErrorCount, 0);
    platform::SetProgramFilePath(QString());
}

TEST(FolderTree, OverAnExistingTreeEveryFolderFailsAndIsRegisteredAgain)
{
    TestEnv env;
    platform::SetProgramFilePath(env.path("prog/bin/glimra"));
    const QString root = env.appData() + "/Tavlund/";
    LocateSettingsFile();
    OpenSettingsFile();
    CreateFolderTree();
    StoreFolder("tmp", env.path("scratch"));
    StoreFolder("etc", settingsState().SettingsFolder + "../annet/");
    logState().LogToFile = true;
    FixLogClock();

    CreateFolderTree();

    EXPECT_EQ(LogMessages(), FolderTreeLines(root, {"*"}));
    EXPECT_EQ(logState().ErrorCount, kFolderTree.size());
    EXPECT_EQ(settingsState().document.value("FOLDERS", "tmp_folder"), root + "tmp/");
    EXPECT_EQ(settingsState().document.value("FOLDERS", "etc_folder"), root + "etc/");
    platform::SetProgramFilePath(QString());
}

TEST(FolderTree, TheTreeListsParentsBeforeTheirChildren)
{
    const QStringList& names = FolderTreeNames();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const qsizetype slash = names[i].lastIndexOf('/');
        if (slash > 0)
            EXPECT_TRUE(names.mid(0, i).contains(names[i].left(slash))) << names[i].toStdString();
    }
}

}  // namespace
