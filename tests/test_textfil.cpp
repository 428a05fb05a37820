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
