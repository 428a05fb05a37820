// The log: line format and time stamp, prefix counters, and the log file (clear, load, save)
// in each encoding, with the failures that must not cost the user the log.
#include "framework/textfil.h"
#include "framework/uihooks.h"
#include "platform/environment.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringEncoder>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>
#include <cerrno>
#include <sys/stat.h>

namespace {

const QString kCleared = QStringLiteral(" LOGGFIL TØMT (TextFile.ClearLog).");

QByteArray Cp1252(const QString& text)
{
    QStringEncoder enc("windows-1252");
    return enc(text);
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QStringLiteral("nb_NO")));
        platform::SetProgramFilePath(env.path("program/glimra"));
        LogStart();
        logState().clock = [this] { return now; };
        uiHooks().message = [this](const QString& caption, const QString& text) {
            messages.append(caption + "|" + text);
        };
    }
    void TearDown() override
    {
        uiHooks() = UiHooks{};
        platform::SetProgramFilePath(QString());
        QLocale::setDefault(QLocale::system());
    }

    QString logPath() const { return logState().LogFilePath; }
    QString stamp() const { return LogTimeStamp(now); }
    void makeLogFolder() const { QDir().mkpath(QFileInfo(logPath()).path()); }

    TestEnv env;
    QDateTime now{QDate(2011, 12, 8), QTime(23, 29, 1)};
    QStringList messages;
};

// ---------------------------------------------------------------------------------------------
// Path, format, counters

TEST_F(LogTest, LogFilePathIsNamedAfterTheProgramFile)
{
    const struct {
        const char* program;
        const char* log;
    } cases[] = {
        {"glimra", "glimra.log"},
        {"glimra.exe", "glimra.log"},
        {"my.prog.bin", "my.prog.log"},
    };
    for (const auto& c : cases) {
        platform::SetProgramFilePath(env.path(QString("bin dir/") + c.program));
        LogStart();
        EXPECT_EQ(logState().LogFilePath, env.appData() + "/Tavlund/log/" + c.log) << c.program;
    }
}

TEST_F(LogTest, LogFilePathStaysWhereLogStartFixedIt)
{
    const QString fixed = logPath();
    env.setEnv("APPDATA", env.path("elsewhere"));
    logState().LogToFile = true;
    LogLine("x");
    ASSERT_TRUE(SaveLog());
    EXPECT_EQ(logPath(), fixed);
    EXPECT_TRUE(QFileInfo::exists(fixed));
}

TEST_F(LogTest, LineIsTimeStampBlankAndMessage)
{
    logState().LogToFile = true;
    LogLine("START: /opt/glimra");
    LogLine("  to blanke  ");
    EXPECT_EQ(logState().LogBuffer,
              QStringList({"08.12.2011 23:29:01 START: /opt/glimra", "08.12.2011 23:29:01   to blanke  "}));
}

TEST_F(LogTest, NothingIsLoggedOrCountedWhileLogToFileIsOff)
{
    LogLine("FEIL: noe");
    LogLine("ADVARSEL: noe");
    EXPECT_TRUE(logState().LogBuffer.isEmpty());
    EXPECT_EQ(logState().ErrorCount, 0);
    EXPECT_EQ(logState().WarningCount, 0);
}

TEST_F(LogTest, FirstSecondAfterMidnightCarriesTheDateAlone)
{
    logState().LogToFile = true;
    const struct {
        QTime time;
        const char* line;
    } cases[] = {
        {QTime(0, 0, 0), "09.12.2011 x"},
        {QTime(0, 0, 0, 999), "09.12.2011 x"},
        {QTime(0, 0, 1), "09.12.2011 00:00:01 x"},
        {QTime(0, 1, 0), "09.12.2011 00:01:00 x"},
        {QTime(12, 0, 0), "09.12.2011 12:00:00 x"},
    };
    for (const auto& c : cases) {
        now = QDateTime(QDate(2011, 12, 9), c.time);
        logState().LogBuffer.clear();
        LogLine("x");
        EXPECT_EQ(logState().LogBuffer, QStringList{c.line}) << c.time.toString().toStdString();
    }
}

TEST_F(LogTest, TimeStampFollowsTheLocaleWithoutTimeZone)
{
    EXPECT_EQ(DateTimeText(now), "08.12.2011 23:29:01");
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    EXPECT_EQ(DateTimeText(now), "12/8/11 11:29:01 PM");
    EXPECT_EQ(LogTimeStamp(QDateTime(QDate(2011, 12, 8), QTime(0, 0))), "12/8/11");
}

TEST_F(LogTest, PrefixSelectsTheCounter)
{
    enum Counter { None, Error, Warning, Hint };
    const struct {
        const char* message;
        Counter counter;
    } cases[] = {
        {"FEIL: kan ikke slette filen /tmp/x", Error},
        {"FEIL:uten blank", Error},
        {"ERROR: disk", Error},
        {"ERROR:", Error},
        {"FEIL: [mkdirsafe: /x]", Error},
        {" FEIL: blank foran", None},
        {"feil: små bokstaver", None},
        {"Feil: stor forbokstav", None},
        {"FEIL uten kolon", None},
        {"FTP: Feil nr. 500, kan ikke laste ned filen", None},
        {"ADVARSEL: skrivebeskyttet", Warning},
        {"WARNING: low", Warning},
        {"Teksten har ADVARSEL: senere", None},
        {"ADVARSEL uten kolon", None},
        {"WARNING without a colon", None},
        {"HINT uten kolon", None},
        {"HINT: prøv", Hint},
        {"hint: prøv", None},
        {"", None},
    };
    logState().LogToFile = true;
    for (const auto& c : cases) {
        LogState& s = logState();
        s.ErrorCount = s.WarningCount = s.HintCount = 0;
        LogLine(QString::fromUtf8(c.message));
        EXPECT_EQ(s.ErrorCount, c.counter == Error ? 1 : 0) << c.message;
        EXPECT_EQ(s.WarningCount, c.counter == Warning ? 1 : 0) << c.message;
        EXPECT_EQ(s.HintCount, c.counter == Hint ? 1 : 0) << c.message;
    }
}

// ---------------------------------------------------------------------------------------------
// The file in each encoding

struct EncodingCase {
    const char* name;
    TextEncoding encoding;
};

class LogFileEncodingTest : public LogTest, public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(LogFileEncodingTest, LoadThenSaveKeepsTheEncodingAndEveryLine)
{
    const TextEncoding enc = GetParam().encoding;
    TestEnv::writeFile(logPath(), EncodeText("07.12.2011 10:00:00 æøå € ÆØÅ\r\n07.12.2011 10:00:01 to\r\n", enc));
    logState().LogToFile = true;
    LogLine("før lasting");  // dropped: the file replaces the buffer
    LoadLog();
    EXPECT_EQ(logState().LogBuffer,
              QStringList({"07.12.2011 10:00:00 æøå € ÆØÅ", "07.12.2011 10:00:01 to"}));
    LogLine("FEIL: blåbær");
    ASSERT_TRUE(SaveLog());
    EXPECT_EQ(TestEnv::readFile(logPath()),
              EncodeText("07.12.2011 10:00:00 æøå € ÆØÅ\r\n07.12.2011 10:00:01 to\r\n"
                         "08.12.2011 23:29:01 FEIL: blåbær\r\n",
                         enc));
}

TEST_P(LogFileEncodingTest, ClearLogMakesTheFileAnewInItsEncoding)
{
    const TextEncoding enc = GetParam().encoding;
    TestEnv::writeFile(logPath(), EncodeText("gammel linje\r\n", enc));
    LogState& s = logState();
    s.LogBuffer = QStringList{"a", "b"};
    s.ErrorCount = 3;
    s.WarningCount = 2;
    s.HintCount = 1;
    ClearLog();  // LogToFile is off: clears all the same
    const QString line = "08.12.2011 23:29:01" + kCleared;
    EXPECT_EQ(s.LogBuffer, QStringList{line});
    EXPECT_EQ(TestEnv::readFile(logPath()), EncodeText(line + "\r\n", enc));
    EXPECT_EQ(s.ErrorCount, 0);
    EXPECT_EQ(s.WarningCount, 2);
    EXPECT_EQ(s.HintCount, 1);
    EXPECT_TRUE(messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Encodings, LogFileEncodingTest,
                         ::testing::Values(EncodingCase{"Cp1252", TextEncoding::Ansi},
                                           EncodingCase{"Utf8Bom", TextEncoding::Utf8Bom},
                                           EncodingCase{"Utf16LeBom", TextEncoding::Utf16LeBom}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogTest, PlainFileIsWindows1252)
{
    TestEnv::writeFile(logPath(), QByteArray("a \xe6\xf8\xe5\x80\r\n", 8));
    LoadLog();
    EXPECT_EQ(logState().LogBuffer, QStringList{"a æøå€"});
    ClearLog();
    EXPECT_EQ(TestEnv::readFile(logPath()), Cp1252("08.12.2011 23:29:01" + kCleared + "\r\n"));
    EXPECT_TRUE(TestEnv::readFile(logPath()).contains('\xd8'));  // Ø in Windows-1252
}

TEST_F(LogTest, TextOutsideTheCodePageIsKeptAsUtf8)
{
    TestEnv::writeFile(logPath(), Cp1252("æ\r\n"));
    LoadLog();
    logState().LogToFile = true;
    LogLine("pil → og ł");
    ASSERT_TRUE(SaveLog());
    EXPECT_EQ(TestEnv::readFile(logPath()),
              EncodeText("æ\r\n08.12.2011 23:29:01 pil → og ł\r\n", TextEncoding::Utf8Bom));
}

TEST_F(LogTest, LoadLogSplitsAtEveryKindOfLineEnd)
{
    TestEnv::writeFile(logPath(), "a\r\nb\nc\rd\r\n\r\ne");
    LoadLog();
    EXPECT_EQ(logState().LogBuffer, QStringList({"a", "b", "c", "d", "", "e"}));
}

TEST_F(LogTest, EmbeddedLineBreakBecomesTwoLines)
{
    logState().LogToFile = true;
    LogLine("første\nandre");
    EXPECT_EQ(logState().LogBuffer.size(), 1);
    ASSERT_TRUE(SaveLog());
    EXPECT_EQ(TestEnv::readFile(logPath()), Cp1252("08.12.2011 23:29:01 første\r\nandre\r\n"));
    LoadLog();
    EXPECT_EQ(logState().LogBuffer, QStringList({"08.12.2011 23:29:01 første", "andre"}));
}

TEST_F(LogTest, MissingFileLeavesTheBufferAndSaveCreatesFolderAndFile)
{
    logState().LogToFile = true;
    LogLine("en");
    LoadLog();
    EXPECT_EQ(logState().LogBuffer.size(), 1);
    ASSERT_FALSE(QFileInfo::exists(QFileInfo(logPath()).path()));
    ASSERT_TRUE(SaveLog());
    EXPECT_EQ(TestEnv::readFile(logPath()), "08.12.2011 23:29:01 en\r\n");
}

TEST_F(LogTest, EmptyBufferGivesAnEmptyFile)
{
    ASSERT_TRUE(SaveLog());
    EXPECT_TRUE(QFileInfo::exists(logPath()));
    EXPECT_EQ(TestEnv::readFile(logPath()).size(), 0);
}

TEST_F(LogTest, LogEndSavesAndReleasesTheBuffer)
{
    logState().LogToFile = true;
    LogLine("slutt");
    LogEnd();
    EXPECT_TRUE(logState().LogBuffer.isEmpty());
    EXPECT_EQ(TestEnv::readFile(logPath()), "08.12.2011 23:29:01 slutt\r\n");
}

TEST_F(LogTest, ALinkedLogFileStaysALinkThroughClearAndSave)
{
    const QString elsewhere = QFileInfo(logPath()).path() + "/../andre/glimra.log";
    TestEnv::writeFile(elsewhere, "gammel\r\n");
    QDir().mkpath(QFileInfo(logPath()).path());
    ASSERT_TRUE(QFile::link(QFileInfo(elsewhere).absoluteFilePath(), logPath()));
    ClearLog();
    EXPECT_TRUE(QFileInfo(logPath()).isSymLink());
    EXPECT_EQ(TestEnv::readFile(elsewhere), Cp1252("08.12.2011 23:29:01" + kCleared + "\r\n"));
    logState().LogToFile = true;
    LogLine("etter");
    ASSERT_TRUE(SaveLog());
    EXPECT_TRUE(QFileInfo(logPath()).isSymLink());
    EXPECT_TRUE(TestEnv::readFile(elsewhere).endsWith("etter\r\n"));
}

// ---------------------------------------------------------------------------------------------
// Failures

TEST_F(LogTest, ClearLogThatCannotMakeTheFileSaysWhyAndLeavesWhatIsThere)
{
    enum Place { NoFolder, FolderInTheFilesPlace, ReadOnlyFile };
    const struct {
        const char* what;
        Place place;
        int errorNumber;
    } cases[] = {
        {"the folder is missing and is not made here", NoFolder, ENOENT},
        {"a folder stands where the file should be", FolderInTheFilesPlace, EISDIR},
        {"the file has no write bit", ReadOnlyFile, EACCES},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(QFileInfo(logPath()).path()).removeRecursively();
        messages.clear();
        if (c.place == FolderInTheFilesPlace)
            QDir().mkpath(logPath());
        if (c.place == ReadOnlyFile) {
            TestEnv::writeFile(logPath(), "beholdes\r\n");
            ASSERT_TRUE(QFile::setPermissions(logPath(), QFile::ReadOwner | QFile::ReadGroup));
        }
        logState().ErrorCount = 4;

        ClearLog();

        EXPECT_EQ(messages, QStringList{"FEIL|Feil under oppretting av ny fil: " + logPath() + "  (" +
                                        QString::number(c.errorNumber) + ")"});
        EXPECT_EQ(logState().ErrorCount, 5);
        EXPECT_EQ(logState().LogBuffer, QStringList{"08.12.2011 23:29:01" + kCleared});
        EXPECT_EQ(QFileInfo::exists(QFileInfo(logPath()).path()), c.place != NoFolder);
        EXPECT_EQ(QFileInfo(logPath()).isDir(), c.place == FolderInTheFilesPlace);
        if (c.place == ReadOnlyFile) {
            EXPECT_EQ(TestEnv::readFile(logPath()), "beholdes\r\n");
            QFile::setPermissions(logPath(), QFile::ReadOwner | QFile::WriteOwner);
        }
    }
}

TEST_F(LogTest, ClearLogThatCannotWriteCountsSilentlyAndKeepsTheOldFile)
{
    TestEnv::writeFile(logPath(), "beholdes\r\n");
    logState().ErrorCount = 2;
    {
        FileSizeLimit limit(8);
        ClearLog();
    }
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(logState().ErrorCount, 3);
    EXPECT_EQ(TestEnv::readFile(logPath()), "beholdes\r\n");
    EXPECT_EQ(QDir(QFileInfo(logPath()).path()).entryList(QDir::Files), QStringList{"glimra.log"});
}

TEST_F(LogTest, SaveLogThatCannotWriteLeavesTheOldFileWhole)
{
    const QByteArray old = "07.12.2011 10:00:00 gammel linje\r\n";
    TestEnv::writeFile(logPath(), old);
    LoadLog();
    logState().LogToFile = true;
    for (int i = 0; i < 100; ++i)
        LogLine("en linje til som ikke får plass");
    bool saved = true;
    {
        FileSizeLimit limit(static_cast<rlim_t>(old.size()) + 100);
        saved = SaveLog();
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(TestEnv::readFile(logPath()), old);
    EXPECT_EQ(QDir(QFileInfo(logPath()).path()).entryList(QDir::Files), QStringList{"glimra.log"});
}

TEST_F(LogTest, SaveLogRefusesAReadOnlyFileOrAFolder)
{
    TestEnv::writeFile(logPath(), "beholdes\r\n");
    ASSERT_TRUE(QFile::setPermissions(logPath(), QFile::ReadOwner));
    logState().LogToFile = true;
    LogLine("ny");
    EXPECT_FALSE(SaveLog());
    EXPECT_EQ(TestEnv::readFile(logPath()), "beholdes\r\n");

    QFile::setPermissions(logPath(), QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(logPath());
    QDir().mkpath(logPath());
    EXPECT_FALSE(SaveLog());
    EXPECT_TRUE(QFileInfo(logPath()).isDir());
}

// A log file whose reading fails with an I/O error: a link to this process's memory, which
// cannot be read from its start.
void MakeUnreadableLog(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), path));
    QFile probe(path);
    ASSERT_TRUE(probe.open(QIODevice::ReadOnly));
    probe.readAll();
    ASSERT_NE(probe.error(), QFileDevice::NoError) << "the stand-in for an unreadable file reads";
}

TEST_F(LogTest, UnreadableFileIsNeverOverwrittenWithLess)
{
    MakeUnreadableLog(logPath());
    logState().LogToFile = true;
    LogLine("før");
    LoadLog();
    EXPECT_EQ(logState().LogBuffer, QStringList{"08.12.2011 23:29:01 før"});
    LogLine("etter");
    EXPECT_FALSE(SaveLog());
    EXPECT_EQ(QFileInfo(logPath()).symLinkTarget(), "/proc/self/mem");
}

TEST_F(LogTest, FileReadableAgainAtSaveKeepsItsLinesFirst)
{
    MakeUnreadableLog(logPath());
    logState().LogToFile = true;
    LogLine("før");
    LoadLog();
    LogLine("etter");
    // By the end the other program has let go of the file.
    QFile::remove(logPath());
    TestEnv::writeFile(logPath(), EncodeText("gammel\r\n", TextEncoding::Utf8Bom));
    ASSERT_TRUE(SaveLog());
    EXPECT_EQ(TestEnv::readFile(logPath()),
              EncodeText("gammel\r\n08.12.2011 23:29:01 før\r\n08.12.2011 23:29:01 etter\r\n",
                         TextEncoding::Utf8Bom));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Two copies of the program with one log: a save appends this run's new lines to the file as it
// stands on disk, so that the other copy's lines stay.

namespace {

class LogMerge : public LogTest {
protected:
    void appendToFile(const QByteArray& bytes)
    {
        QFile file(logPath());
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(bytes);
    }
};

TEST_F(LogMerge, NewLinesGoAfterWhatTheOtherCopyWrote)
{
    makeLogFolder();
    TestEnv::writeFile(logPath(), "a\r\nb\r\n");
    logState().LogToFile = true;
    LoadLog();
    LogLine("x");
    appendToFile("c\r\n");
    ASSERT_TRUE(SaveLog());
    EXPECT_EQ(TestEnv::readFile(logPath()), "a\r\nb\r\nc\r\n08.12.2011 23:29:01 x\r\n");

    // A second save (the information window saves during the run) adds only what came since.
    LogLine("y");
    appendToFile("d\r\n");
    ASSERT_TRUE(SaveLog());
    EXPECT_EQ(TestEnv::readFile(logPath()),
              "a\r\nb\r\nc\r\n08.12.2011 23:29:01 x\r\nd\r\n08.12.2011 23:29:01 y\r\n");
    EXPECT_EQ(logState().LogBuffer.size(), 6);
}

TEST_F(LogMerge, ASaveWaitsWhileTheOtherCopySaves)
{
    makeLogFolder();
    TestEnv::writeFile(logPath(), "a\r\n");
    logState().LogToFile = true;
    LoadLog();
    LogLine("x");
    const int fd = ::open(QFile::encodeName(logPath()).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    std::atomic<bool> done{false};
    std::thread saver([&] {
        SaveLog();
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const bool savedWhileLocked = done;
    appendToFile("b\r\n");
    ::close(fd);
    saver.join();
    EXPECT_FALSE(savedWhileLocked) << "the save did not wait for the other copy's";
    EXPECT_EQ(TestEnv::readFile(logPath()), "a\r\nb\r\n08.12.2011 23:29:01 x\r\n");
}

TEST_F(LogMerge, AClearingByTheOtherCopyStays)
{
    makeLogFolder();
    TestEnv::writeFile(logPath(), EncodeText("gammel\r\n", TextEncoding::Utf8Bom));
    logState().LogToFile = true;
    LoadLog();
    LogLine("min linje");
    // The other copy started with "ClearLogFileOnStartup" and made the file anew, in 1252.
    TestEnv::writeFile(logPath(), "08.12.2011 23:29:00 LOGGFIL T\xD8MT (TextFile.ClearLog).\r\n");
    ASSERT_TRUE(SaveLog());
    EXPECT_EQ(TestEnv::readFile(logPath()),
              "08.12.2011 23:29:00 LOGGFIL T\xD8MT (TextFile.ClearLog).\r\n08.12.2011 23:29:01 min linje\r\n");
}

TEST_F(LogMerge, LinesOfAStartThatNeverLoadedTheFileAreAppended)
{
    // A start that failed before the log file was read still leaves its lines after the old ones.
    makeLogFolder();
    TestEnv::writeFile(logPath(), "gammel\r\n");
    logState().LogToFile = true;
    LogLine("FEIL: innstillingsfilen kan ikke leses");
    LogEnd();
    EXPECT_EQ(TestEnv::readFile(logPath()), "gammel\r\n08.12.2011 23:29:01 FEIL: innstillingsfilen kan ikke leses\r\n");
}

TEST_F(LogMerge, ExtraByteOrderMarksAreTextAndSurvive)
{
    makeLogFolder();
    const QByteArray mark = "\xEF\xBB\xBF";
    const QByteArray file = mark + mark + mark + mark + "linje\r\n";
    TestEnv::writeFile(logPath(), file);
    for (int round = 0; round < 3; ++round) {
        LogStart();
        LoadLog();
        ASSERT_TRUE(SaveLog());
    }
    EXPECT_EQ(TestEnv::readFile(logPath()), file);
}

// ---------------------------------------------------------------------------------------------
// Writing in place, for a file the user may write in a folder that refuses new files

TEST(WriteInPlace, WritesTheSameFileWholeAndCutsItToLength)
{
    TestEnv env;
    const QString path = env.path("fil.txt");
    TestEnv::writeFile(path, "en lang gammel tekst som er lengre\r\n");
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);

    int code = -1;
    ASSERT_TRUE(WriteFileInPlace(path, "kort\r\n", &code));
    EXPECT_EQ(TestEnv::readFile(path), "kort\r\n");
    ASSERT_TRUE(WriteFileInPlace(path, QByteArray(100000, 'x'), &code));
    EXPECT_EQ(TestEnv::readFile(path), QByteArray(100000, 'x'));
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the same file, not a new one";

    // Refused: a missing file, a folder, a read-only file (which is left as it is).
    EXPECT_FALSE(WriteFileInPlace(env.path("mangler.txt"), "x", &code));
    EXPECT_EQ(code, ENOENT);
    EXPECT_FALSE(QFileInfo::exists(env.path("mangler.txt")));
    QDir().mkpath(env.path("mappe"));
    EXPECT_FALSE(WriteFileInPlace(env.path("mappe"), "x", &code));
    QFile::setPermissions(path, QFile::ReadOwner);
    EXPECT_FALSE(WriteFileInPlace(path, "y", &code));
    EXPECT_EQ(TestEnv::readFile(path), QByteArray(100000, 'x'));
}

TEST(WriteInPlace, AFullDiskIsFoundBeforeTheOldContentIsTouched)
{
    TestEnv env;
    const QString path = env.path("fil.txt");
    TestEnv::writeFile(path, "gammel\r\n");
    int code = 0;
    {
        FileSizeLimit limit(64);
        EXPECT_FALSE(WriteFileInPlace(path, QByteArray(4096, 'x'), &code));
    }
    EXPECT_EQ(code, EFBIG);
    EXPECT_EQ(TestEnv::readFile(path), "gammel\r\n");
}

TEST(WriteInPlace, ReplaceFileFallsBackWhenTheFolderRefusesANewFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may make files in any folder; the end-to-end test readonly_folder runs the "
                        "program as nobody for this";
    TestEnv env;
    const QString folder = env.path("delt");
    QDir().mkpath(folder);
    const QString path = folder + "/tavlund.ini";
    TestEnv::writeFile(path, "gammel");
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    QString error;
    const bool replaced = ReplaceFile(path, "ny", &error);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(replaced) << error.toStdString();
    EXPECT_EQ(TestEnv::readFile(path), "ny");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"tavlund.ini"});

    // A file that is not there cannot be written in place: the refusal is reported.
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_FALSE(ReplaceFile(folder + "/ny.ini", "x", &error));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(folder + "/ny.ini"));
}

}  // namespace
