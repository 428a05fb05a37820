// Temporary-file clean-up: emptying folders (never following links), its log lines, and which
// folders a clean-up run takes on.
#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "framework/uihooks.h"
#include "platform/environment.h"
#include "platform/fake/registry_fake.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

mode_t ModeOf(const QString& path)
{
    struct stat st {};
    if (::lstat(Native(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

bool Exists(const QString& path)
{
    struct stat st {};
    return ::lstat(Native(path).constData(), &st) == 0;
}

// The names in a folder, hidden ones included.
QStringList EntriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

void MakeFile(const QString& path, const QByteArray& bytes = "innhold", mode_t mode = 0644)
{
    TestEnv::writeFile(path, bytes);
    ASSERT_EQ(::chmod(Native(path).constData(), mode), 0);
}

void MakeLink(const QString& target, const QString& link)
{
    ASSERT_EQ(::symlink(Native(target).constData(), Native(link).constData()), 0) << link.toStdString();
}

class CleanupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logState().LogToFile = true;
        FixLogClock();
        uiHooks().busyCursor = [this](bool busy) {
            cursor.append(busy);
            if (busy && onBusy)
                onBusy(cursor.count(true));
        };
    }
    void TearDown() override { uiHooks().busyCursor = nullptr; }

    QString tmp() const { return env.appData() + "/Tavlund/tmp/"; }

    TestEnv env;
    QList<bool> cursor;                       // every busy-cursor call, in order
    std::function<void(qsizetype)> onBusy;    // called with the number of the folder entered
};

// A folder full of what a temporary folder collects: nested folders, hidden and read-only
// files, links to things outside that must survive, a name that is no valid UTF-8.
TEST_F(CleanupTest, EmptiesTheFolderAndLeavesWhatLinksPointTo)
{
    const QString top = tmp();
    const QString outside = env.path("utenfor/");
    MakeFile(outside + "mappe/behold.txt", "behold");
    MakeFile(outside + "mappe/under/dyp.txt", "dyp");
    MakeFile(outside + "skrivebeskyttet.txt", "ro", 0444);
    MakeFile(outside + "hard.txt", "hard", 0444);

    MakeFile(top + "a.txt");
    MakeFile(top + ".skjult");
    MakeFile(top + "Lesebeskyttet.txt", "ro", 0444);
    MakeFile(top + "ingen-rettigheter", "x", 0000);
    ASSERT_EQ(::link(Native(outside + "hard.txt").constData(), Native(top + "hardlenke.txt").constData()), 0);
    MakeLink(outside + "mappe", top + "mappelenke");
    MakeLink(outside + "skrivebeskyttet.txt", top + "fillenke");
    MakeLink(env.path("finnes-ikke"), top + "dinglende");
    MakeFile(top + "Under/b.txt");
    MakeFile(top + "Under/.skjult/c.txt");
    MakeFile(top + "Under/Dypere/d.txt", "d", 0444);
    MakeLink(outside + "mappe", top + "Under/Dypere/lenke");
    QDir().mkpath(top + "tom");
    // A name that is no valid UTF-8 (Latin-1 "å"), made from its raw bytes: as text it cannot
    // be spelled back, so only its raw name reaches it.
    const QByteArray latin1Name = Native(top) + "r\xe5-latin1.txt";
    {
        FILE* f = ::fopen(latin1Name.constData(), "w");
        ASSERT_NE(f, nullptr);
        ::fclose(f);
    }

    CleanFolder(top);

    EXPECT_TRUE(QFileInfo(top).isDir());
    EXPECT_EQ(EntriesOf(top), QStringList{});
    struct stat st {};
    EXPECT_NE(::lstat(latin1Name.constData(), &st), 0);
    EXPECT_EQ(LogMessages(), QStringList{});
    EXPECT_EQ(logState().ErrorCount, 0);
    // What the links pointed to is all there, unchanged.
    EXPECT_EQ(TestEnv::readFile(outside + "mappe/behold.txt"), "behold");
    EXPECT_EQ(TestEnv::readFile(outside + "mappe/under/dyp.txt"), "dyp");
    EXPECT_EQ(ModeOf(outside + "skrivebeskyttet.txt"), 0444u);
    // The read-only file got its write bit before it went: its other name outside shows it.
    EXPECT_EQ(TestEnv::readFile(outside + "hard.txt"), "hard");
    EXPECT_EQ(ModeOf(outside + "hard.txt"), 0644u);
    // One busy cursor per folder emptied, each put back.
    EXPECT_EQ(cursor.count(true), 5);
    EXPECT_EQ(cursor.count(false), 5);
    EXPECT_FALSE(cursor.last());
}

// The log lines, in listing order: by upper-cased name, a subfolder emptied where the listing
// reaches it.
struct LineCase {
    bool verbose;
    QStringList lines;  // with T for the top folder
};

class LineTable : public CleanupTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineTable, WritesDetailLinesOnlyInVerboseLogging)
{
    const QString top = tmp();
    MakeFile(top + "Zeta.txt");
    MakeFile(top + "alpha.txt");
    MakeFile(top + "Beta/x.txt");
    MakeFile(top + ".a");
    logState().VerboseLogging = GetParam().verbose;

    CleanFolder(top);

    QStringList expected;
    for (const QString& line : GetParam().lines)
        expected.append(QString(line).replace("T/", top));
    EXPECT_EQ(LogMessages(), expected);
    EXPECT_EQ(EntriesOf(top), QStringList{});
}

INSTANTIATE_TEST_SUITE_P(Cleanup, LineTable,
                         ::testing::Values(LineCase{false, {}},
                                           LineCase{true,
                                                    {"Sletter mappen T/", "Sletter T/.a",
                                                     "Sletter T/alpha.txt", "Sletter mappen T/Beta/",
                                                     "Sletter T/Beta/x.txt", "Sletter T/Zeta.txt"}}),
                         [](const auto& info) { return info.param.verbose ? "verbose" : "quiet"; });

// A file that cannot be deleted. Permissions do not stop root, so the fault is made the way it
// happens on a busy machine: another program replaces the file by a folder after the listing
// has seen a file and before the clean-up reaches it. The deletion then really fails.
TEST_F(CleanupTest, FileThatCannotBeDeletedKeepsTheFoldersAboveIt)
{
    const QString top = tmp();
    const QString inner = top + "ytre/indre/";
    MakeFile(inner + "foerst/f.txt");
    MakeFile(inner + "offer.dat");
    MakeFile(inner + "zz.txt");
    MakeFile(top + "ytre/siste.txt");
    MakeFile(top + "etter.txt");
    // Folders entered: 1 top, 2 ytre, 3 indre, 4 foerst (listed before offer.dat).
    onBusy = [&](qsizetype entered) {
        if (entered == 4) {
            QFile::remove(inner + "offer.dat");
            MakeFile(inner + "offer.dat/i-veien.txt");
        }
    };

    CleanFolder(top);

    EXPECT_EQ(LogMessages(), (QStringList{"FEIL: kan ikke slette filen " + inner + "offer.dat",
                                       "FEIL: kan ikke slette mappen " + inner,
                                       "FEIL: kan ikke slette mappen " + top + "ytre/"}));
    EXPECT_EQ(logState().ErrorCount, 3);
    // The clean-up went on with the entries after the failure, and the top folder stays.
    EXPECT_EQ(EntriesOf(inner), QStringList{"offer.dat"});
    EXPECT_EQ(EntriesOf(top + "ytre"), QStringList{"indre"});
    EXPECT_EQ(EntriesOf(top), QStringList{"ytre"});
}

// A subfolder swapped for a link to a folder elsewhere while the clean-up runs is not entered:
// the folder the link points to keeps its content. The swapped entry cannot be listed as a
// folder, counts as empty, and cannot be removed as one.
TEST_F(CleanupTest, SubfolderSwappedForALinkIsNotFollowed)
{
    const QString top = tmp();
    const QString outside = env.path("utenfor/");
    MakeFile(outside + "verdifull.txt", "verdifull");
    MakeFile(top + "a/inni.txt");
    MakeFile(top + "b/x.txt");
    MakeFile(top + "c.txt");
    // Folders entered: 1 top, 2 a, 3 b.
    onBusy = [&](qsizetype entered) {
        if (entered == 3) {
            QDir(top + "b").removeRecursively();
            MakeLink(outside, top + "b");
        }
    };
    logState().VerboseLogging = true;

    CleanFolder(top);

    EXPECT_EQ(LogMessages(), (QStringList{"Sletter mappen " + top, "Sletter mappen " + top + "a/",
                                       "Sletter " + top + "a/inni.txt", "Sletter mappen " + top + "b/",
                                       "FEIL: kan ikke slette mappen " + top + "b/",
                                       "Sletter " + top + "c.txt"}));
    EXPECT_EQ(TestEnv::readFile(outside + "verdifull.txt"), "verdifull");
    EXPECT_EQ(EntriesOf(top), QStringList{"b"});
    EXPECT_TRUE(QFileInfo(top + "b").isSymLink());
}

// An entry that someone else removed after the listing saw it is gone already: no failure.
TEST_F(CleanupTest, EntryRemovedMeanwhileIsNoFailure)
{
    const QString top = tmp();
    MakeFile(top + "a/inni.txt");
    MakeFile(top + "b.txt");
    MakeFile(top + "c/inni.txt");
    // Folders entered: 1 top, 2 a, 3 c.
    onBusy = [&](qsizetype entered) {
        if (entered == 2) {
            QFile::remove(top + "b.txt");
            QDir(top + "c").removeRecursively();
        }
    };

    CleanFolder(top);

    EXPECT_EQ(LogMessages(), QStringList{});
    EXPECT_EQ(logState().ErrorCount, 0);
    EXPECT_EQ(EntriesOf(top), QStringList{});
}

// Which paths CleanFolder takes on. Relative paths (below the working folder) give short ones.
struct FolderCase {
    const char* title;
    const char* path;
    const char* content;  // the file that must go, or stay
    bool cleaned;
};

class CleanFolderTable : public CleanupTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(CleanFolderTable, NeedsSevenCharactersAndAnExistingFolder)
{
    const FolderCase& c = GetParam();
    MakeFile("ab/cd/f.txt");
    MakeFile("ab/cde/f.txt");
    MakeFile("en-fil.txt");
    MakeFile(env.path("maal/f.txt"));
    MakeLink(env.path("maal"), "lenke-til");
    logState().VerboseLogging = true;

    CleanFolder(c.path);

    EXPECT_EQ(Exists(c.content), !c.cleaned) << c.title;
    EXPECT_EQ(LogMessages().isEmpty(), !c.cleaned) << c.title;
    if (c.cleaned) {
        const QString folder = QString(c.path).endsWith('/') ? QString(c.path) : QString(c.path) + "/";
        EXPECT_EQ(LogMessages().value(0), "Sletter mappen " + folder) << c.title;
    }
    // Nothing above or beside the named folder is touched.
    EXPECT_TRUE(Exists("en-fil.txt")) << c.title;
    EXPECT_TRUE(QFileInfo("lenke-til").isSymLink()) << c.title;
    EXPECT_TRUE(QFileInfo(env.path("maal")).isDir()) << c.title;
}

INSTANTIATE_TEST_SUITE_P(
    Cleanup, CleanFolderTable,
    ::testing::Values(FolderCase{"empty path", "", "ab/cde/f.txt", false},
                      FolderCase{"six characters with the slash", "ab/cd", "ab/cd/f.txt", false},
                      FolderCase{"six characters given with the slash", "ab/cd/", "ab/cd/f.txt", false},
                      FolderCase{"seven characters once the slash is added", "ab/cde", "ab/cde/f.txt", true},
                      FolderCase{"missing folder", "ab/cdef", "ab/cde/f.txt", false},
                      FolderCase{"a file, not a folder", "en-fil.txt", "ab/cde/f.txt", false},
                      FolderCase{"a link to a folder counts as the folder", "lenke-til", "../maal/f.txt", true}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// ---------------------------------------------------------------------------------------------
// A clean-up run: which folders it takes on.

const QString kPrintersKey = QStringLiteral("System\\CurrentControlSet\\Control\\Print\\Printers");

struct RunCase {
    const char* title;
    bool includeSystem;
    const char* tmpFolder;  // the "tmp" entry of FOLDERS; empty: the default
    const char* temp;       // TEMP relative to the test root ("-": unset)
    const char* windir;     // WINDIR relative to the test root ("-": unset)
    const char* spool;      // the spool folder relative to the test root (empty: none)
    QStringList cleaned;    // of "tmp", "temp", "windows", "spool"
    QStringList lines;
};

class RunTable : public CleanupTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(RunTable, CleansTheFoldersItIsToldTo)
{
    const RunCase& c = GetParam();
    const auto below = [&](const char* relative) {
        // Relative values stay relative (to the working folder): the test root itself lies in
        // the system's temporary folder and has "TMP" in its path.
        return QString(relative).startsWith("./") ? QString(relative) : env.path(relative);
    };
    const QMap<QString, QString> folders = {
        {"tmp", *c.tmpFolder ? below(c.tmpFolder) : tmp()},
        {"temp", below(*c.temp && QString(c.temp) != "-" ? c.temp : "temp")},
        {"windows", below("windows/temp")},
        {"spool", below(*c.spool ? c.spool : "spool")},
    };
    for (const QString& folder : folders)
        MakeFile(folder + "/rest.txt");
    if (*c.tmpFolder)
        StoreFolder("tmp", below(c.tmpFolder));
    if (QString(c.temp) == "-") {
        env.unsetEnv("TEMP");
    } else {
        env.setEnv("TEMP", below(c.temp));
    }
    if (QString(c.windir) != "-")
        env.setEnv("WINDIR", below(c.windir));
    platform::ScopedFakeRegistry registry;
    if (*c.spool)
        registry->setString(platform::RegistryRoot::LocalMachine, kPrintersKey, "DefaultSpoolDirectory",
                            below(c.spool));

    CleanTemporaryFiles(c.includeSystem);

    for (auto it = folders.begin(); it != folders.end(); ++it) {
        EXPECT_TRUE(QFileInfo(it.value()).isDir()) << c.title << ": " << it.key().toStdString();
        EXPECT_EQ(Exists(it.value() + "/rest.txt"), !c.cleaned.contains(it.key()))
            << c.title << ": " << it.key().toStdString();
    }
    EXPECT_EQ(LogMessages(), c.lines) << c.title;
}

const QString kOwnLine = QStringLiteral("Sletter midlertidige filer opprettet av Tavlund programmer");
const QString kWindowsLine = QStringLiteral("Sletter midlertidige filer i Windows");
const QString kSpoolLine = QStringLiteral("Sletter skriverkøer");

INSTANTIATE_TEST_SUITE_P(
    Cleanup, RunTable,
    ::testing::Values(
        RunCase{"own folder only", false, "", "temp", "windows", "spool", {"tmp"}, {kOwnLine}},
        RunCase{"system folders too", true, "", "temp", "windows", "spool",
                {"tmp", "temp", "windows", "spool"}, {kOwnLine, kWindowsLine, kSpoolLine}},
        RunCase{"TEMP without TEMP in it", true, "", "./sys/TMP", "windows", "spool",
                {"tmp", "spool"}, {kOwnLine, kSpoolLine}},
        RunCase{"TEMP unset: the system's /tmp is not touched", true, "", "-", "windows", "spool",
                {"tmp", "spool"}, {kOwnLine, kSpoolLine}},
        RunCase{"WINDIR unset", true, "", "temp", "-", "spool", {"tmp", "temp", "spool"},
                {kOwnLine, kWindowsLine, kSpoolLine}},
        RunCase{"tmp folder without TMP in it", true, "./arbeid/", "temp", "windows", "spool",
                {"temp", "windows", "spool"}, {kOwnLine, kWindowsLine, kSpoolLine}},
        RunCase{"no spool folder", true, "", "temp", "windows", "", {"tmp", "temp", "windows"},
                {kOwnLine, kWindowsLine}},
        RunCase{"spool folder without SPOOL in it", true, "", "temp", "windows", "./utskrift/ko",
                {"tmp", "temp", "windows"}, {kOwnLine, kWindowsLine}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

}  // namespace
