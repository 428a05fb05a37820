// The desktop folder, the desktop shortcut file and the updater start.
#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "platform/fake/shell_fake.h"
#include "testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// ---------------------------------------------------------------------------------------------
// DesktopFolder

TEST(DesktopFolder, UserProfileWithTheNorwegianName)
{
    TestEnv env;
    env.setEnv("USERPROFILE", "/home/kari");
    EXPECT_EQ(DesktopFolder(), "/home/kari/Skrivebord/");
}

TEST(DesktopFolder, XdgDesktopWithoutUserProfile)
{
    TestEnv env;
    const QString home = env.path("home");
    EXPECT_EQ(DesktopFolder(), home + "/Desktop/");  // no user-dirs file

    const struct {
        const char* file;
        QString desktop;
    } cases[] = {
        {"# kommentar\nXDG_DOWNLOAD_DIR=\"$HOME/Nedlastinger\"\nXDG_DESKTOP_DIR=\"$HOME/Skrivebord\"\n",
         home + "/Skrivebord/"},
        {"XDG_DESKTOP_DIR=\"/srv/skrivebord/\"\n", "/srv/skrivebord/"},
        {"XDG_DESKTOP_DIR=\"${HOME}/Arbeidsflate\"\n", home + "/Arbeidsflate/"},
        {"#XDG_DESKTOP_DIR=\"$HOME/Skjult\"\n", home + "/Desktop/"},
        {"XDG_DESKTOP_DIR=\"relativ/sti\"\n", home + "/Desktop/"},
    };
    for (const auto& c : cases) {
        TestEnv::writeFile(home + "/.config/user-dirs.dirs", c.file);
        EXPECT_EQ(DesktopFolder(), c.desktop) << c.file;
    }

    env.setEnv("XDG_CONFIG_HOME", env.path("config"));
    TestEnv::writeFile(env.path("config/user-dirs.dirs"), "XDG_DESKTOP_DIR=\"$HOME/Fra XDG_CONFIG_HOME\"\n");
    EXPECT_EQ(DesktopFolder(), home + "/Fra XDG_CONFIG_HOME/");
}

// ---------------------------------------------------------------------------------------------
// CreateDesktopShortcut

class ShortcutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        env.setEnv("USERPROFILE", env.path("profil"));
        QDir().mkpath(desktop);
        startupState().programPath = "/opt/Tavlund Program/glimra";
    }

    TestEnv env;
    QString desktop = env.path("profil/Skrivebord/");
    QString file = desktop + "glimra.URL";
};

const QByteArray kShortcut = "[InternetShortcut]\r\n"
                             "URL=file:///opt/Tavlund Program/glimra\r\n"
                             "IconIndex=0\r\n"
                             "IconFile=/opt/Tavlund Program/glimra\r\n"
                             "\r\n";

TEST_F(ShortcutTest, WritesTheThreeKeysOnceHoweverOftenItRuns)
{
    for (int runs : {1, 2}) {
        SCOPED_TRACE(runs);
        QFile::remove(file);
        for (int i = 0; i < runs; ++i)
            CreateDesktopShortcut();
        EXPECT_EQ(TestEnv::readFile(file), kShortcut);
        EXPECT_EQ(QDir(desktop).entryList(QDir::Files | QDir::Hidden), QStringList{"glimra.URL"});
    }
}

TEST_F(ShortcutTest, OtherSectionsAndKeysAreKept)
{
    TestEnv::writeFile(file, "[InternetShortcut]\r\nURL=file:///gammel\r\nHotKey=0\r\n\r\n"
                             "[{000214A0-0000-0000-C000-000000000046}]\r\nProp3=19,0\r\n\r\n");
    CreateDesktopShortcut();
    EXPECT_EQ(TestEnv::readFile(file),
              "[InternetShortcut]\r\n"
              "URL=file:///opt/Tavlund Program/glimra\r\n"
              "HotKey=0\r\n"
              "IconIndex=0\r\n"
              "IconFile=/opt/Tavlund Program/glimra\r\n"
              "\r\n"
              "[{000214A0-0000-0000-C000-000000000046}]\r\n"
              "Prop3=19,0\r\n"
              "\r\n");
}

TEST_F(ShortcutTest, MissingFolderIsAnErrorAndIsNotCreated)
{
    QDir(desktop).removeRecursively();
    try {
        CreateDesktopShortcut();
        FAIL() << "no error";
    } catch (const SettingsError& e) {
        EXPECT_EQ(QString::fromStdString(e.what()), "Unable to write to " + file);
    }
    EXPECT_FALSE(QFileInfo::exists(desktop));
}

TEST_F(ShortcutTest, FileThatCannotBeWrittenOrReadIsLeftAsItWas)
{
    TestEnv::writeFile(file, "[Annet]\r\nA=1\r\n\r\n");
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner));
    EXPECT_THROW(CreateDesktopShortcut(), SettingsError);
    EXPECT_EQ(TestEnv::readFile(file), "[Annet]\r\nA=1\r\n\r\n");

    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(file);
    ASSERT_TRUE(QFile::link("/proc/self/mem", file));  // exists, but reading it fails
    EXPECT_THROW(CreateDesktopShortcut(), SettingsError);
    EXPECT_EQ(QFileInfo(file).symLinkTarget(), "/proc/self/mem");
}

// ---------------------------------------------------------------------------------------------
// StartProgramUpdate

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        startupState().programPath = env.path("Tavlund Program/glimra");
        TestEnv::writeFile(startupState().programPath, "");
        logState().LogToFile = true;
    }

    TestEnv env;
    platform::ScopedFakeShell shell;
};

TEST_F(UpdateTest, StartsTheUpdaterFromTheBinFolderElseFromTheProgramsFolder)
{
    enum InBin { Program, Nothing, Folder };
    const QString bin = DataRoot() + "bin/";
    const QString own = env.path("Tavlund Program/");
    const struct {
        const char* what;
        InBin inBin;
        QString folder;  // where the updater is started from
    } cases[] = {
        {"the updater in the bin folder", Program, bin},
        {"no updater in the bin folder", Nothing, own},
        {"a folder of the updater's name is no updater", Folder, own},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ResetFrameworkState();
        startupState().programPath = own + "glimra";
        logState().LogToFile = true;
        const qsizetype before = shell->requests().size();
        QDir(bin).removeRecursively();
        if (c.inBin == Program)
            TestEnv::writeFile(bin + "oppdater", "");
        if (c.inBin == Folder)
            QDir().mkpath(bin + "oppdater");

        StartProgramUpdate();

        ASSERT_EQ(shell->requests().size(), before + 1);
        const platform::ShellRequest& request = shell->requests().last();
        EXPECT_EQ(request.target, c.folder + "oppdater");
        EXPECT_EQ(request.parameters, own + "glimra");  // unquoted
        EXPECT_EQ(request.workingFolder, c.folder);
        EXPECT_EQ(tavlundpath("bin"), c.folder) << "the bin folder then names the program's folder";
        EXPECT_TRUE(startupState().updateRequested);
        const QStringList& log = logState().LogBuffer;
        ASSERT_EQ(log.size(), 2);
        EXPECT_TRUE(log.at(0).endsWith(" Starter oppdatering av programmet..."));
        EXPECT_TRUE(log.at(1).endsWith(" Avslutter " + own + "glimra for å oppdatere i fra internett."))
            << log.at(1).toStdString();
    }
}

// The updater is found under its Linux name and under its Windows name, in the bin folder and
// in the program's own folder; a folder of that name is no updater.
TEST_F(UpdateTest, FindsTheUpdaterUnderEitherName)
{
    struct Case {
        const char* what;
        QStringList binFiles;     // files made in the bin folder
        QStringList binFolders;   // folders made there
        QStringList ownFiles;     // files made beside the program
        bool fromBin;
        const char* started;
    };
    const Case cases[] = {
        {"Windows name in bin", {"oppdater.exe"}, {}, {}, true, "oppdater.exe"},
        {"both names in bin", {"oppdater", "oppdater.exe"}, {}, {}, true, "oppdater"},
        {"Windows name beside the program", {}, {}, {"oppdater.exe"}, false, "oppdater.exe"},
        {"folders named like it in bin", {}, {"oppdater", "oppdater.exe"}, {}, false, "oppdater"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestEnv fresh;
        platform::ScopedFakeShell freshShell;
        startupState().programPath = fresh.path("Tavlund Program/glimra");
        TestEnv::writeFile(startupState().programPath, "");
        const QString bin = DataRoot() + "bin/";
        const QString own = fresh.path("Tavlund Program/");
        for (const QString& f : c.binFiles)
            TestEnv::writeFile(bin + f, "");
        for (const QString& f : c.binFolders)
            ASSERT_TRUE(QDir().mkpath(bin + f));
        for (const QString& f : c.ownFiles)
            TestEnv::writeFile(own + f, "");
        StartProgramUpdate();
        const QString folder = c.fromBin ? bin : own;
        ASSERT_EQ(freshShell->requests().size(), 1);
        EXPECT_EQ(freshShell->requests().at(0).target, folder + c.started);
        EXPECT_EQ(freshShell->requests().at(0).workingFolder, folder);
    }
}

TEST_F(UpdateTest, LeavesTheEventLoopAtOnce)
{
    QTimer safety;  // ends the loop with another code should the update not
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    safety.start(10000);
    QTimer::singleShot(0, [] { StartProgramUpdate(); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(safety.isActive());
    EXPECT_EQ(shell->requests().size(), 1);
}

}  // namespace
