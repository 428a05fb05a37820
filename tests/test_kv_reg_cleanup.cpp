// Temporary-file clean-up: emptying folders (never following links), its log lines, and which
// folders a clean-up run takes on.
#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "framework/uihooks.h"
#include "platform/environment.h"
#include "platform/fake/printqueue_fake.h"
#include "platform/fake/registry_fake.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

// A folder's real absolute path with its '/', found without the code under test.
QString RealFolder(const QString& path) { return QFileInfo(path).canonicalFilePath() + "/"; }

const QString kOwnLine = QStringLiteral("Sletter midlertidige filer opprettet av Tavlund programmer");
const QString kWindowsLine = QStringLiteral("Sletter midlertidige filer i Windows");
const QString kSpoolLine = QStringLiteral("Sletter skriverkøer");

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

// A folder moved elsewhere inside the top folder while the walk is below it: going back up, the
// walk finds the folder it came from again by the names it entered through, and goes on there.
TEST_F(CleanupTest, FolderMovedMeanwhileIsFoundAgain)
{
    const QString top = tmp();
    MakeFile(top + "a/b/c/f.txt");
    MakeFile(top + "a/b/g.txt");
    MakeFile(top + "a/h.txt");
    MakeFile(top + "z.txt");
    // Folders entered: 1 top, 2 a, 3 b, 4 c.
    onBusy = [&](qsizetype entered) {
        if (entered == 4)
            ASSERT_TRUE(QDir().rename(top + "a/b", top + "b2"));
    };

    CleanFolder(top);

    EXPECT_EQ(LogMessages(), QStringList{});
    // b2 came after the listing of the top folder; what was in it went with the walk.
    EXPECT_EQ(EntriesOf(top), QStringList{"b2"});
    EXPECT_EQ(EntriesOf(top + "b2"), QStringList{});
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

// Which paths CleanFolder takes on. Every path is resolved to its real absolute form first, so
// a relative path or one through a link names the folder it leads to.
struct FolderCase {
    const char* title;
    const char* path;
    const char* content;  // the file that must go, or stay
    const char* real;     // the folder cleaned, relative to the test root ("" when none)
};

class CleanFolderTable : public CleanupTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(CleanFolderTable, ResolvesThePathAndNeedsAnExistingFolder)
{
    const FolderCase& c = GetParam();
    MakeFile("ab/cd/f.txt");
    MakeFile("ab/cde/f.txt");
    MakeFile("en-fil.txt");
    MakeFile(env.path("maal/f.txt"));
    MakeLink(env.path("maal"), "lenke-til");
    logState().VerboseLogging = true;

    CleanFolder(c.path);

    const bool cleaned = *c.real != 0;
    EXPECT_EQ(Exists(c.content), !cleaned) << c.title;
    EXPECT_EQ(LogMessages().isEmpty(), !cleaned) << c.title;
    if (cleaned)
        EXPECT_EQ(LogMessages().value(0), "Sletter mappen " + RealFolder(env.path(c.real))) << c.title;
    // Nothing above or beside the named folder is touched.
    EXPECT_TRUE(Exists("en-fil.txt")) << c.title;
    EXPECT_TRUE(QFileInfo("lenke-til").isSymLink()) << c.title;
    EXPECT_TRUE(QFileInfo(env.path("maal")).isDir()) << c.title;
}

INSTANTIATE_TEST_SUITE_P(
    Cleanup, CleanFolderTable,
    ::testing::Values(FolderCase{"empty path", "", "ab/cde/f.txt", ""},
                      FolderCase{"a relative path is its folder below the working folder", "ab/cd", "ab/cd/f.txt", "work/ab/cd"},
                      FolderCase{"dots and doubled slashes", "./ab//cd/../cde/.", "ab/cde/f.txt", "work/ab/cde"},
                      FolderCase{"missing folder", "ab/cdef", "ab/cde/f.txt", ""},
                      FolderCase{"missing folder through ..", "ab/mangler/../cd", "ab/cd/f.txt", ""},
                      FolderCase{"a file, not a folder", "en-fil.txt", "ab/cde/f.txt", ""},
                      FolderCase{"a link to a folder counts as the folder", "lenke-til", "../maal/f.txt", "maal"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// ---------------------------------------------------------------------------------------------
// Folders that are never emptied, however the path reaches them: the home folder (HOME, and
// USERPROFILE where it is another), the settings folder, the data root and every folder above
// one of them. The test home's name holds TMP and TEMP, so the folder tests on the text of the
// real path pass and only the protection stands between the request and the home's files.

enum class Asked { Temp, TmpFolder, Direct };

struct ProtectCase {
    const char* title;
    Asked asked;
    const char* given;   // {H} home, {P} profile, {S} settings folder (with its '/'), {A} APPDATA
    const char* reason;  // the text after the real path in the warning
};

class ProtectTable : public CleanupTest, public ::testing::WithParamInterface<ProtectCase> {};

TEST_P(ProtectTable, WarnsAndDeletesNothing)
{
    const ProtectCase& c = GetParam();
    const QString home = env.path("Temp-hjem-tmp");
    const QString profile = env.path("profil-temp");
    const QString settings = env.path("innstillinger-tmp/");
    env.setEnv("HOME", home);
    env.setEnv("USERPROFILE", profile);
    settingsState().SettingsFolder = settings;
    const QStringList kept = {home + "/viktig.txt", home + "/TEMP/a.txt", home + "/tmpx/b.txt",
                              home + "/.skjult/c.txt", profile + "/d.txt", settings + "tavlund.ini",
                              env.appData() + "/Tavlund/data/e.txt", env.appData() + "/f.txt",
                              env.path("g.txt")};
    for (const QString& file : kept)
        MakeFile(file);
    MakeLink(home, home + "/lenke-TEMP");
    QDir().mkpath(tmp());
    QString given = c.given;
    given.replace("{H}", home).replace("{P}", profile).replace("{S}", settings).replace("{A}", env.appData());
    platform::ScopedFakeRegistry registry;
    platform::ScopedFakePrintQueue queue;

    QStringList lines;
    switch (c.asked) {
    case Asked::Temp:
        env.setEnv("TEMP", given.chopped(1));
        CleanTemporaryFiles(true);
        lines = QStringList{kOwnLine, kWindowsLine};
        break;
    case Asked::TmpFolder:
        StoreFolder("tmp", given);
        CleanTemporaryFiles(false);
        lines = QStringList{kOwnLine};
        break;
    case Asked::Direct:
        CleanFolder(given);
        break;
    }

    const QString real = RealFolder(given);
    lines.append("ADVARSEL: " + real + " " + c.reason + " og vil ikke bli tømt" +
                 (real == given ? QString() : " (oppgitt som " + given + ")") + ".");
    EXPECT_EQ(LogMessages(), lines);
    EXPECT_EQ(logState().WarningCount, 1);
    for (const QString& file : kept)
        EXPECT_TRUE(Exists(file)) << file.toStdString();
    EXPECT_TRUE(QFileInfo(home + "/lenke-TEMP").isSymLink());
}

INSTANTIATE_TEST_SUITE_P(
    Cleanup, ProtectTable,
    ::testing::Values(
        ProtectCase{"TEMP through .. to the home folder", Asked::Temp, "{H}/TEMP/../", "er hjemmemappen"},
        ProtectCase{"tmp folder through .. to the home folder", Asked::TmpFolder, "{H}/tmpx/../", "er hjemmemappen"},
        ProtectCase{"TEMP through a link to the home folder", Asked::Temp, "{H}/lenke-TEMP/", "er hjemmemappen"},
        ProtectCase{"dots and doubled slashes", Asked::Direct, "{H}//.//", "er hjemmemappen"},
        ProtectCase{"the home folder as it is", Asked::Direct, "{H}/", "er hjemmemappen"},
        ProtectCase{"a folder above the home folder", Asked::Direct, "{H}/../", "ligger over hjemmemappen"},
        ProtectCase{"the USERPROFILE folder", Asked::Temp, "{P}/../profil-temp/", "er hjemmemappen"},
        ProtectCase{"the settings folder", Asked::Direct, "{S}", "er innstillingsmappen"},
        ProtectCase{"the data root", Asked::TmpFolder, "{A}/Tavlund/tmp/../", "er datamappen"},
        ProtectCase{"a folder above the data root", Asked::Direct, "{A}/", "ligger over datamappen"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// The file-system root, and the length test on real paths. Emptying "/" must not be tried on
// the machine running the tests, so it is tried in a child process shut into a folder of its
// own (chroot, which needs root; CI runs as root).
TEST_F(CleanupTest, NeverEmptiesTheRootAndSkipsShortPaths)
{
    const QString rot = env.path("rot/");
    const QStringList kept = {rot + "behold.txt", rot + "ab/f.txt", rot + "usr/f.txt"};
    for (const QString& file : kept)
        MakeFile(file);
    MakeFile(rot + "abcde/f.txt");

    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(out[0]);
        if (::chroot(Native(rot).constData()) != 0 || ::chdir("/") != 0)
            ::_exit(2);
        logState().LogBuffer.clear();
        CleanFolder("/");
        CleanFolder("/usr/..");
        CleanFolder("/ab");     // 4 characters with its slash
        CleanFolder("/abcde");  // 7
        const QByteArray text = LogMessages().join('\n').toUtf8();
        const bool written = ::write(out[1], text.constData(), text.size()) == text.size();
        ::_exit(written ? 0 : 3);
    }
    ::close(out[1]);
    QByteArray text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "chroot needs root: the root folder's protection is not tried here";
    ASSERT_EQ(WEXITSTATUS(status), 0);

    EXPECT_EQ(QString::fromUtf8(text).split('\n'),
              (QStringList{"ADVARSEL: / er rotmappen og vil ikke bli tømt.",
                           "ADVARSEL: / er rotmappen og vil ikke bli tømt (oppgitt som /usr/..)."}));
    for (const QString& file : kept)
        EXPECT_TRUE(Exists(file)) << file.toStdString();
    EXPECT_FALSE(Exists(rot + "abcde/f.txt"));
    EXPECT_TRUE(QFileInfo(rot + "abcde").isDir());
}

// ---------------------------------------------------------------------------------------------
// Other file systems inside the folder: mount points and what they hold stay. Real mounts (bind
// mounts and tmpfs), which need root; CI runs as root.

class ScopedMount {
public:
    ScopedMount(const QString& source, const QString& target, const char* type, unsigned long flags)
        : m_target(Native(target))
    {
        m_ok = ::mount(Native(source).constData(), m_target.constData(), type, flags, nullptr) == 0;
        m_error = errno;
    }
    ~ScopedMount()
    {
        if (m_ok)
            ::umount2(m_target.constData(), MNT_DETACH);
    }
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;
    bool ok() const { return m_ok; }
    std::string error() const { return std::strerror(m_error); }

private:
    QByteArray m_target;
    bool m_ok = false;
    int m_error = 0;
};

#define ASSERT_MOUNTED(mount)                                                                     \
    do {                                                                                          \
        if (!(mount).ok() && ::geteuid() != 0)                                                    \
            GTEST_SKIP() << "mounting needs root: " << (mount).error();                           \
        ASSERT_TRUE((mount).ok()) << (mount).error();                                             \
    } while (false)

enum class MountKind { BindFolder, Tmpfs, BindFile };

struct MountCase {
    const char* title;
    MountKind kind;
    const char* at;  // below the top folder
    QStringList lines;  // with T/ for the top folder
};

class MountTable : public CleanupTest, public ::testing::WithParamInterface<MountCase> {};

TEST_P(MountTable, LeavesOtherFileSystemsAlone)
{
    const MountCase& c = GetParam();
    const QString top = tmp();
    const QString outside = env.path("utenfor/");
    MakeFile(outside + "verdifull.txt", "verdifull");
    MakeFile(outside + "mappe/dyp.txt", "dyp");
    MakeFile(top + "a/f.txt");
    MakeFile(top + "b.txt");
    MakeFile(top + "z/g.txt");
    const QString at = top + c.at;
    if (c.kind == MountKind::BindFile)
        MakeFile(at);
    else
        QDir().mkpath(at);
    const QString source = c.kind == MountKind::BindFile ? outside + "verdifull.txt" : outside;
    ScopedMount mount(c.kind == MountKind::Tmpfs ? QString("tmpfs") : source, at,
                      c.kind == MountKind::Tmpfs ? "tmpfs" : nullptr, c.kind == MountKind::Tmpfs ? 0 : MS_BIND);
    ASSERT_MOUNTED(mount);
    if (c.kind == MountKind::Tmpfs)
        MakeFile(at + "/inne.txt", "inne");

    CleanFolder(top);

    QStringList expected;
    for (const QString& line : c.lines)
        expected.append(QString(line).replace("T/", top));
    EXPECT_EQ(LogMessages(), expected);
    EXPECT_EQ(TestEnv::readFile(outside + "verdifull.txt"), "verdifull");
    EXPECT_EQ(TestEnv::readFile(outside + "mappe/dyp.txt"), "dyp");
    if (c.kind == MountKind::Tmpfs)
        EXPECT_EQ(TestEnv::readFile(at + "/inne.txt"), "inne");
    // What lies on the top folder's own file system went.
    EXPECT_FALSE(Exists(top + "b.txt"));
    EXPECT_FALSE(Exists(top + "a/f.txt"));
    EXPECT_FALSE(Exists(top + "z"));
    EXPECT_TRUE(Exists(at));
}

INSTANTIATE_TEST_SUITE_P(
    Cleanup, MountTable,
    ::testing::Values(
        MountCase{"a folder bound from the same file system", MountKind::BindFolder, "a/mnt",
                  {"FEIL: kan ikke slette mappen T/a/mnt/", "FEIL: kan ikke slette mappen T/a/"}},
        MountCase{"a tmpfs", MountKind::Tmpfs, "a/mnt",
                  {"FEIL: kan ikke slette mappen T/a/mnt/", "FEIL: kan ikke slette mappen T/a/"}},
        MountCase{"a tmpfs right in the top folder", MountKind::Tmpfs, "mnt",
                  {"FEIL: kan ikke slette mappen T/mnt/"}},
        MountCase{"a file bound over a file", MountKind::BindFile, "a/fil.txt",
                  {"FEIL: kan ikke slette filen T/a/fil.txt", "FEIL: kan ikke slette mappen T/a/"}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// A top folder that is a mount point of its own is emptied like any other.
TEST_F(CleanupTest, TopFolderOnItsOwnFileSystemIsEmptied)
{
    const QString top = tmp();
    QDir().mkpath(top);
    ScopedMount mount("tmpfs", top, "tmpfs", 0);
    ASSERT_MOUNTED(mount);
    MakeFile(top + "a/b/c.txt");
    MakeFile(top + "d.txt", "d", 0444);

    CleanFolder(top);

    EXPECT_EQ(LogMessages(), QStringList{});
    EXPECT_EQ(EntriesOf(top), QStringList{});
}

// A bind mount of the home folder is the home folder under another name.
TEST_F(CleanupTest, HomeFolderBoundElsewhereIsStillTheHomeFolder)
{
    const QString home = env.path("home");
    const QString alias = env.path("hjem-bundet-temp/");
    MakeFile(home + "/viktig.txt", "viktig");
    QDir().mkpath(alias);
    ScopedMount mount(home, alias, nullptr, MS_BIND);
    ASSERT_MOUNTED(mount);

    CleanFolder(alias);

    EXPECT_EQ(LogMessages(), QStringList{"ADVARSEL: " + alias + " er hjemmemappen og vil ikke bli tømt."});
    EXPECT_EQ(TestEnv::readFile(home + "/viktig.txt"), "viktig");
}

// ---------------------------------------------------------------------------------------------
// Deep trees: 100,000 levels, made one level at a time relative to the level above (no path
// could name the bottom: it is far longer than the system accepts). The trees live in a tmpfs
// mounted as the top folder: on a disk, removing 100,000 folders one after the other takes
// minutes, whoever does it.

constexpr int kDeep = 100000;

// Makes `levels` folders "d" each inside the one before, below the folder `top`, with a file at
// every thousandth level; returns the bottom folder, open (the caller closes it).
int MakeDeepTree(const QString& top, int levels)
{
    int fd = ::open(Native(top).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 1; fd >= 0 && level <= levels; ++level) {
        if (::mkdirat(fd, "d", 0755) != 0) {
            ::close(fd);
            return -1;
        }
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (next >= 0 && level % 1000 == 0) {
            const int file = ::openat(next, "fil.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0444);
            if (file >= 0)
                ::close(file);
        }
        ::close(fd);
        fd = next;
    }
    return fd;
}

// The open-file limit lowered for the test's lifetime.
class ScopedFileLimit {
public:
    explicit ScopedFileLimit(rlim_t limit)
    {
        ::getrlimit(RLIMIT_NOFILE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = limit;
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~ScopedFileLimit() { ::setrlimit(RLIMIT_NOFILE, &m_old); }
    ScopedFileLimit(const ScopedFileLimit&) = delete;
    ScopedFileLimit& operator=(const ScopedFileLimit&) = delete;

private:
    rlimit m_old {};
};

int OpenFileCount() { return int(QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size()); }

TEST_F(CleanupTest, DeepTreeIsEmptiedWithinAFewOpenFiles)
{
    const QString top = tmp();
    QDir().mkpath(top);
    ScopedMount memory("tmpfs", top, "tmpfs", 0);
    ASSERT_MOUNTED(memory);
    MakeFile(top + "etter.txt");
    const int bottom = MakeDeepTree(top, kDeep);
    ASSERT_GE(bottom, 0);
    ::close(bottom);
    // A dozen files more than the process holds now: one open folder per level would run out
    // after a few levels.
    const int open = OpenFileCount();
    ScopedFileLimit limit(rlim_t(open + 12));

    CleanFolder(top);

    EXPECT_EQ(LogMessages(), QStringList{});
    EXPECT_EQ(EntriesOf(top), QStringList{});
    EXPECT_EQ(OpenFileCount(), open);
    EXPECT_EQ(cursor.count(true), kDeep + 1);
    EXPECT_EQ(cursor.count(false), kDeep + 1);
}

// What cannot be deleted at the bottom (a mount point) stays, and so does every folder above it,
// each with its own line; lines stay short however deep the folder lies.
TEST_F(CleanupTest, DeepTreeWithSomethingThatStaysIsLogged)
{
    const QString top = tmp();
    QDir().mkpath(top);
    ScopedMount memory("tmpfs", top, "tmpfs", 0);
    ASSERT_MOUNTED(memory);
    const int bottom = MakeDeepTree(top, kDeep);
    ASSERT_GE(bottom, 0);
    // A tmpfs mounted at the bottom, through the open folder (no path reaches that deep).
    ASSERT_EQ(::mkdirat(bottom, "mnt", 0755), 0);
    const int mountPoint = ::openat(bottom, "mnt", O_PATH | O_CLOEXEC);
    const int mounted = ::mount("tmpfs", ("/proc/self/fd/" + std::to_string(mountPoint)).c_str(), "tmpfs", 0, nullptr);
    const int error = errno;
    ::close(mountPoint);
    if (mounted != 0) {
        ::close(bottom);
        if (::geteuid() != 0)
            GTEST_SKIP() << "mounting needs root: " << std::strerror(error);
        FAIL() << std::strerror(error);
    }
    // Held open on the mounted file system, to unmount it by, also when a check below fails.
    struct Unmount {
        explicit Unmount(int f) : fd(f) {}
        Unmount(const Unmount&) = delete;
        Unmount& operator=(const Unmount&) = delete;
        int fd;
        ~Unmount()
        {
            ::umount2(("/proc/self/fd/" + std::to_string(fd)).c_str(), MNT_DETACH);
            ::close(fd);
        }
    };
    std::optional<Unmount> inside(std::in_place, ::openat(bottom, "mnt", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ::close(bottom);
    const int keep = ::openat(inside->fd, "inne.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(keep, 0);
    ::close(keep);

    CleanFolder(top);

    const QStringList lines = LogMessages();
    ASSERT_EQ(lines.size(), kDeep + 1);
    const QString prefix = "FEIL: kan ikke slette mappen ";
    EXPECT_TRUE(lines.first().startsWith(prefix + top.left(60))) << lines.first().toStdString();
    EXPECT_TRUE(lines.first().endsWith("/d/d/mnt/")) << lines.first().toStdString();
    EXPECT_EQ(lines.at(kDeep - 1), prefix + top + "d/d/");
    EXPECT_EQ(lines.last(), prefix + top + "d/");
    qsizetype longest = 0;
    for (const QString& line : lines)
        longest = std::max(longest, line.size());
    EXPECT_LE(longest, prefix.size() + 260);
    EXPECT_EQ(logState().ErrorCount, kDeep + 1);
    // The file system mounted at the bottom keeps its file.
    struct stat st {};
    EXPECT_EQ(::fstatat(inside->fd, "inne.txt", &st, 0), 0);

    // Without the mount a second run empties the rest.
    inside.reset();
    logState().LogBuffer.clear();
    CleanFolder(top);
    EXPECT_EQ(LogMessages(), QStringList{});
    EXPECT_EQ(EntriesOf(top), QStringList{});
}

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
    QStringList cleaned;    // of "tmp", "temp", "windows"
    QStringList lines;
};

class RunTable : public CleanupTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(RunTable, CleansTheFoldersItIsToldTo)
{
    const RunCase& c = GetParam();
    // The test root lies in the system's temporary folder and has "TMP" in its real path; a
    // value beginning "shm:" lies in a folder whose real path has neither TMP nor TEMP in it.
    std::unique_ptr<QTemporaryDir> plain;
    const auto below = [&](const char* relative) {
        const QString text(relative);
        if (text.startsWith("./"))
            return text;
        if (!text.startsWith("shm:"))
            return env.path(text);
        if (!plain)
            plain = std::make_unique<QTemporaryDir>("/dev/shm/glimra-XXXXXX");
        return plain->path() + "/" + text.mid(4);
    };
    const QMap<QString, QString> folders = {
        {"tmp", *c.tmpFolder ? below(c.tmpFolder) : tmp()},
        {"temp", below(*c.temp && QString(c.temp) != "-" ? c.temp : "temp")},
        {"windows", below("windows/temp")},
        {"spool", below(*c.spool ? c.spool : "spool")},
    };
    if (plain && (!plain->isValid() || RealFolder(plain->path()).toUpper().contains("TMP")))
        GTEST_SKIP() << "no folder outside the temporary folder (/dev/shm) for this case";
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
    platform::ScopedFakePrintQueue queue;
    queue->addJob({7, "Kontor", "kari", "rapport"});
    queue->addJob({9, "Lager", "kari", "etiketter"});

    CleanTemporaryFiles(c.includeSystem);

    for (auto it = folders.begin(); it != folders.end(); ++it) {
        EXPECT_TRUE(QFileInfo(it.value()).isDir()) << c.title << ": " << it.key().toStdString();
        EXPECT_EQ(Exists(it.value() + "/rest.txt"), !c.cleaned.contains(it.key()))
            << c.title << ": " << it.key().toStdString();
    }
    EXPECT_EQ(LogMessages(), c.lines) << c.title;
    // The print queues are emptied through the print server, never by deleting its files.
    const bool queues = c.lines.contains(kSpoolLine);
    EXPECT_EQ(queue->cancelRequests(), (queues ? QList<int>{7, 9} : QList<int>{})) << c.title;
    EXPECT_EQ(queue->jobs().isEmpty(), queues) << c.title;
}

INSTANTIATE_TEST_SUITE_P(
    Cleanup, RunTable,
    ::testing::Values(
        RunCase{"own folder only", false, "", "temp", "windows", "spool", {"tmp"}, {kOwnLine}},
        RunCase{"system folders too", true, "", "temp", "windows", "spool",
                {"tmp", "temp", "windows"}, {kOwnLine, kWindowsLine, kSpoolLine}},
        RunCase{"TEMP without TEMP in it", true, "", "./sys/TMP", "windows", "spool",
                {"tmp"}, {kOwnLine, kSpoolLine}},
        RunCase{"TEMP unset: the system's /tmp is not touched", true, "", "-", "windows", "spool",
                {"tmp"}, {kOwnLine, kSpoolLine}},
        RunCase{"WINDIR unset", true, "", "temp", "-", "spool", {"tmp", "temp"},
                {kOwnLine, kWindowsLine, kSpoolLine}},
        RunCase{"tmp folder without TMP in it", true, "shm:arbeid/", "temp", "windows", "spool",
                {"temp", "windows"}, {kOwnLine, kWindowsLine, kSpoolLine}},
        RunCase{"no spool folder", true, "", "temp", "windows", "", {"tmp", "temp", "windows"},
                {kOwnLine, kWindowsLine}},
        RunCase{"spool folder without SPOOL in it", true, "", "temp", "windows", "./utskrift/ko",
                {"tmp", "temp", "windows"}, {kOwnLine, kWindowsLine}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// ---------------------------------------------------------------------------------------------
// The print queues through the print server: what each job's outcome logs.

struct QueueCase {
    const char* title;
    bool verbose;
    QStringList lines;  // after "Sletter skriverkøer"
};

class QueueTable : public CleanupTest, public ::testing::WithParamInterface<QueueCase> {};

TEST_P(QueueTable, CancelsEveryJobTheUserMayCancel)
{
    const QueueCase& c = GetParam();
    logState().VerboseLogging = c.verbose;
    env.setEnv("TEMP", "./ingen");
    platform::ScopedFakeRegistry registry;
    registry->setString(platform::RegistryRoot::LocalMachine, kPrintersKey, "DefaultSpoolDirectory",
                        env.path("spool"));
    MakeFile(env.path("spool/c00003"), "jobb");
    QDir().mkpath(tmp());
    platform::ScopedFakePrintQueue queue;
    using platform::CancelOutcome;
    queue->addJob({3, "Kontor", "kari", "rapport.pdf"});
    queue->addJob({4, "Kontor", "ola", "ola sin"}, CancelOutcome::NotAllowed);
    queue->addJob({5, "Lager", "kari", "etiketter"}, CancelOutcome::Gone);
    queue->addJob({6, "Lager", "kari", "fast"}, CancelOutcome::Failed, "skriveren svarer ikke");

    CleanTemporaryFiles(true);

    QStringList lines = {kOwnLine};
    if (c.verbose)
        lines.append("Sletter mappen " + tmp());
    lines.append(kSpoolLine);
    EXPECT_EQ(LogMessages(), lines + c.lines);
    EXPECT_EQ(queue->cancelRequests(), (QList<int>{3, 4, 5, 6}));
    EXPECT_EQ(TestEnv::readFile(env.path("spool/c00003")), "jobb");
    EXPECT_EQ(logState().ErrorCount, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cleanup, QueueTable,
    ::testing::Values(
        QueueCase{"quiet", false, {"FEIL: kan ikke slette utskriftsjobben Lager-6: skriveren svarer ikke"}},
        QueueCase{"verbose", true,
                  {"Sletter utskriftsjobben Kontor-3 (rapport.pdf)", "Sletter utskriftsjobben Lager-5 (etiketter)",
                   "Sletter utskriftsjobben Lager-6 (fast)",
                   "FEIL: kan ikke slette utskriftsjobben Lager-6: skriveren svarer ikke"}}),
    [](const auto& info) { return std::string(info.param.title); });

TEST_F(CleanupTest, PrintServerOutOfReachIsLogged)
{
    platform::ScopedFakeRegistry registry;
    registry->setString(platform::RegistryRoot::LocalMachine, kPrintersKey, "DefaultSpoolDirectory",
                        env.path("spool"));
    env.setEnv("TEMP", "./ingen");
    QDir().mkpath(tmp());
    platform::ScopedFakePrintQueue queue;
    queue->addJob({3, "Kontor", "kari", "rapport.pdf"});
    queue->setUnreachable("får ikke kontakt");

    CleanTemporaryFiles(true);

    EXPECT_EQ(LogMessages(), (QStringList{kOwnLine, kSpoolLine, "FEIL: kan ikke tømme skriverkøene: får ikke kontakt"}));
    EXPECT_EQ(queue->cancelRequests(), QList<int>{});
}

// The CUPS backend itself, without a print server to talk to: a missing one and one that never
// answers (a socket that takes the connection and says nothing). Either gives a reason at once
// or after the time allowed, never a hang.
TEST(CupsPrintQueue, ServerThatIsMissingOrSilentGivesAReason)
{
    TestEnv env;
    const QString missing = env.path("ingen-cups.sock");
    const QString silent = env.path("stille.sock");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray silentPath = Native(silent);
    ASSERT_LT(size_t(silentPath.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, silentPath.constData(), size_t(silentPath.size()));
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);

    for (const QString& server : {missing, silent}) {
        SCOPED_TRACE(server.toStdString());
        env.setEnv("CUPS_SERVER", server);
        const std::unique_ptr<platform::PrintQueue> queue = platform::CreateCupsPrintQueue({300});
        QList<platform::PrintJob> jobs;
        QString reason;
        EXPECT_FALSE(queue->activeJobs(&jobs, &reason));
        EXPECT_TRUE(reason.contains(server)) << reason.toStdString();
        EXPECT_TRUE(jobs.isEmpty());
        const platform::CancelResult result = queue->cancelJob({1, "Kontor", "kari", "x"});
        EXPECT_EQ(result.outcome, platform::CancelOutcome::Failed);
        EXPECT_FALSE(result.reason.isEmpty());
    }
    ::close(listener);
    qunsetenv("CUPS_SERVER");
}

}  // namespace
