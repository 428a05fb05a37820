// File size, scramble, extension replacement and the shell hand-off, the Linux shell backend
// tried for real with stand-in programs.
#include "framework/felles.h"
#include "framework/uihooks.h"
#include "platform/fake/shell_fake.h"
#include "platform/shell.h"
#include "testenv.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// ---------------------------------------------------------------------------------------------
// FileSizeOf

class FileSizeTest : public ::testing::Test {
protected:
    // A file of the given size without its blocks (sparse).
    QString sparseFile(const QString& name, qint64 size)
    {
        const QString path = env.path(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        EXPECT_EQ(::ftruncate(f.handle(), size), 0) << strerror(errno);
        return path;
    }
    TestEnv env;
};

TEST_F(FileSizeTest, SizeOfOrdinaryFiles)
{
    TestEnv::writeFile(env.path("tom.txt"), "");
    TestEnv::writeFile(env.path("fem.txt"), "12345");
    EXPECT_EQ(FileSizeOf(env.path("tom.txt")), 0);
    EXPECT_EQ(FileSizeOf(env.path("fem.txt")), 5);
    EXPECT_EQ(FileSizeOf(sparseFile("stor.bin", 2147483647)), 2147483647);
}

TEST_F(FileSizeTest, WhatCannotBeOpenedForWritingOrMeasuredGivesMinusOne)
{
    TestEnv::writeFile(env.path("lesbar.txt"), "12345");
    ASSERT_TRUE(QFile::setPermissions(env.path("lesbar.txt"), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    ASSERT_EQ(::mkfifo(QFile::encodeName(env.path("kø")).constData(), 0666), 0);
    EXPECT_EQ(FileSizeOf(env.path("lesbar.txt")), -1);  // read-only by its mode, even for root
    EXPECT_EQ(FileSizeOf(env.path("finnes-ikke.txt")), -1);
    EXPECT_EQ(FileSizeOf(env.path("work")), -1);  // a folder
    EXPECT_EQ(FileSizeOf(env.path("kø")), -1);    // a pipe has no size
    EXPECT_EQ(FileSizeOf(QString()), -1);
}

TEST_F(FileSizeTest, FilesOf2GiBOrMoreGiveTheLargestResult)
{
    EXPECT_EQ(FileSizeOf(sparseFile("2gib.bin", 2147483648LL)), INT_MAX);
    EXPECT_EQ(FileSizeOf(sparseFile("4gib.bin", 4294967296LL + 10)), INT_MAX);  // not 10
}

// ---------------------------------------------------------------------------------------------
// Scramble

TEST(Scramble, Examples)
{
    EXPECT_EQ(ScrambleText("abc"), "zbdf2");
    EXPECT_EQ(ScrambleText(""), "z2");
    EXPECT_EQ(UnscrambleText("zbdf2"), "abc");
    EXPECT_EQ(UnscrambleText("z2"), "");
    EXPECT_EQ(UnscrambleText(""), "");
    EXPECT_EQ(UnscrambleText("x"), "");
    EXPECT_EQ(UnscrambleText("xy"), "");
    // Never scrambled: two units shorter and shifted back; the ends are not checked.
    EXPECT_EQ(UnscrambleText("hello"), "dji");
}

TEST(Scramble, ShiftWrapsAroundTheTopOfTheCodeUnitRange)
{
    const QString top = QString(QChar(0xFFFF)) + QChar(0xFFFE);
    const QString scrambled = ScrambleText(top);
    ASSERT_EQ(scrambled.size(), 4);
    EXPECT_EQ(scrambled.at(1).unicode(), 0x0000);
    EXPECT_EQ(scrambled.at(2).unicode(), 0x0000);
    EXPECT_EQ(UnscrambleText(scrambled), top);
}

TEST(Scramble, RoundTripsGiveTheTextBack)
{
    QString units;
    for (char16_t u : {0xFFF0, 0xFFFA, 0xFFFD, 0xFFFE, 0xFFFF, 0xD800, 0xDFFF, 0x0000, 0x0001})
        units += QChar(u);
    QString long70k;
    for (int i = 0; i < 70000; ++i)
        long70k += QChar(static_cast<char16_t>(0xFF00 + i % 256));  // positions past 65535 wrap too
    const QString texts[] = {
        "fjordvind", "Blåbærsyltetøy på Ærøskøbing, ÆØÅ æøå", "passord med blanke  ", "😀 og € og ☃",
        units, long70k, QString(QChar(0xFFFF)),
    };
    for (const QString& text : texts) {
        const QString scrambled = ScrambleText(text);
        EXPECT_EQ(scrambled.size(), text.size() + 2);
        EXPECT_TRUE(scrambled.startsWith('z') && scrambled.endsWith('2'));
        EXPECT_EQ(UnscrambleText(scrambled), text) << text.left(40).toStdString();
    }
}

// ---------------------------------------------------------------------------------------------
// ReplaceExtension

TEST(ReplaceExtension, CutsAtTheFirstDot)
{
    const struct {
        const char* name;
        const char* extension;
        const char* result;
    } cases[] = {
        {"archive.tar.gz", "zip", "archive.zip"},
        {"readme", "txt", "readme.txt"},
        {"bilde.jpg", "tmp", "bilde.tmp"},
        {"bilde.jpg", "old", "bilde.old"},
        {"navn.", "tmp", "navn.tmp"},
        {".skjult", "tmp", ".tmp"},
        {"/data/v1.2/fil.txt", "old", "/data/v1.old"},
        {"", "tmp", ".tmp"},
        {"fil.txt", "", "fil."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplaceExtension(c.name, c.extension), c.result) << c.name;
}

// ---------------------------------------------------------------------------------------------
// ShellOpen

TEST(ShellOpen, HandsTheRequestToTheShellUnderTheBusyCursor)
{
    TestEnv env;
    platform::ScopedFakeShell shell;
    QStringList events;
    uiHooks().busyCursor = [&](bool busy) {
        events.append(QString("busy=%1 requests=%2").arg(busy).arg(shell->requests().size()));
    };
    ShellOpen("notepad.exe", "/srv/tavlund.ini", "");
    uiHooks() = UiHooks{};
    ASSERT_EQ(shell->requests().size(), 1);
    EXPECT_EQ(shell->requests().at(0).target, "notepad.exe");
    EXPECT_EQ(shell->requests().at(0).parameters, "/srv/tavlund.ini");
    EXPECT_EQ(shell->requests().at(0).workingFolder, "");
    EXPECT_EQ(events, QStringList({"busy=1 requests=0", "busy=0 requests=1"}));
}

// The Linux backend for real: a stand-in xdg-open on PATH and a stand-in program, both writing
// down what they were given.
class LinuxShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        records = env.path("records/");
        bin = env.path("bin/");
        QDir().mkpath(records);
        QDir().mkpath(bin);
        writeScript(bin + "xdg-open",
                    "f=$(mktemp \"" + records + "xdg.XXXXXX\")\n"
                    "printf '%s\\n' \"$#\" \"$@\" > \"$f\"\n"
                    "mv \"$f\" \"$f.rec\"\n");
        oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(env.path("bin")) + ":" + oldPath);
        shell = platform::CreateLinuxShell();
    }
    void TearDown() override { qputenv("PATH", oldPath); }

    static void writeScript(const QString& path, const QString& body)
    {
        TestEnv::writeFile(path, ("#!/bin/sh\n" + body).toUtf8());
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // A program that writes down its arguments and working folder, then waits for "release".
    void writeProgram(const QString& path)
    {
        writeScript(path, "{ printf '%s\\n' \"$#\" \"$@\"; pwd; } > \"" + records + "prog.tmp\"\n"
                          "mv \"" + records + "prog.tmp\" \"" + records + "prog.rec\"\n"
                          "i=0\n"
                          "while [ ! -e \"" + records + "release\" ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done\n"
                          "touch \"" + records + "done\"\n");
    }

    // The lines of the next record, waited for; empty when none came.
    QStringList nextRecord()
    {
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired()) {
            const QStringList found = QDir(records).entryList({"*.rec"}, QDir::Files, QDir::Time | QDir::Reversed);
            if (!found.isEmpty()) {
                const QString path = records + found.first();
                QStringList lines = QString::fromUtf8(TestEnv::readFile(path)).split('\n');
                QFile::remove(path);
                if (!lines.isEmpty() && lines.last().isEmpty())
                    lines.removeLast();
                return lines;
            }
            QThread::msleep(20);
        }
        return {};
    }

    // Lets the waiting program end, and waits until it has.
    void releaseProgram()
    {
        TestEnv::writeFile(records + "release", "");
        QDeadlineTimer deadline(15000);
        while (!QFileInfo::exists(records + "done") && !deadline.hasExpired())
            QThread::msleep(20);
    }

    int pendingRecords() const { return QDir(records).entryList({"*.rec"}, QDir::Files).size(); }

    TestEnv env;
    QString records, bin;
    QByteArray oldPath;
    std::unique_ptr<platform::Shell> shell;
};

TEST_F(LinuxShellTest, AddressesFoldersAndDocumentsGoToXdgOpen)
{
    TestEnv::writeFile(env.path("dok/brev.txt"), "hei");
    QDir().mkpath(env.path("en mappe"));
    // A picture with execute bits, as on a FAT stick: a document all the same.
    TestEnv::writeFile(env.path("dok/bilde.jpg"), "\xff\xd8\xff\xe0");
    QFile::setPermissions(env.path("dok/bilde.jpg"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const struct {
        platform::ShellRequest request;
        QStringList given;  // what xdg-open was given: the argument count, then the arguments
    } cases[] = {
        {{"https://www.tavlund.no/", "", ""}, {"1", "https://www.tavlund.no/"}},
        {{"mailto:post@tavlund.no", "ignorert", ""}, {"1", "mailto:post@tavlund.no"}},
        {{env.path("en mappe"), "", ""}, {"1", env.path("en mappe")}},
        {{env.path("dok/brev.txt"), "", ""}, {"1", env.path("dok/brev.txt")}},
        {{"brev.txt", "", env.path("dok")}, {"1", env.path("dok/brev.txt")}},
        {{env.path("dok/bilde.jpg"), "", ""}, {"1", env.path("dok/bilde.jpg")}},
        {{"notepad.exe", env.path("dok/brev.txt"), ""}, {"1", env.path("dok/brev.txt")}},
        {{"NOTEPAD.EXE", "\"" + env.path("dok/brev.txt") + "\"", ""}, {"1", env.path("dok/brev.txt")}},
        {{"/explorer.exe", env.path("en mappe"), env.path("en mappe")}, {"1", env.path("en mappe")}},
        {{"C:\\Windows\\explorer.exe", "", env.path("dok")}, {"1", env.path("dok")}},
    };
    for (const auto& c : cases) {
        shell->open(c.request);
        EXPECT_EQ(nextRecord(), c.given) << c.request.target.toStdString();
    }
}

TEST_F(LinuxShellTest, ProgramGetsTheParameterTextAsOneArgumentAndItsWorkingFolder)
{
    const QString folder = env.path("arbeids mappe");
    QDir().mkpath(folder);
    writeProgram(bin + "oppdater");
    shell->open({bin + "oppdater", "/opt/Tavlund Program/glimra", folder});
    // The call has returned while the program still runs: it was not waited for.
    EXPECT_FALSE(QFileInfo::exists(records + "done"));
    EXPECT_EQ(nextRecord(), QStringList({"1", "/opt/Tavlund Program/glimra", folder}));
    releaseProgram();
    // Started detached: this process has no child left to reap, so no zombie either.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(LinuxShellTest, NameDotExeStartsTheProgramOfThatName)
{
    writeProgram(bin + "knuteban");
    shell->open({bin + "knuteban.exe", "", ""});
    EXPECT_EQ(nextRecord(), QStringList({"0", QDir::currentPath()}));
    releaseProgram();
}

TEST_F(LinuxShellTest, TargetThatIsNotThereStartsNothing)
{
    shell->open({env.path("ingen/oppdater"), "x", env.path("ingen")});
    shell->open({bin + "mangler.exe", "", ""});
    shell->open({"ikke-et-program-noe-sted", "", ""});
    shell->open({"", "", ""});
    shell->open({"https://www.tavlund.no/", "", ""});
    EXPECT_EQ(nextRecord(), QStringList({"1", "https://www.tavlund.no/"}));
    EXPECT_EQ(pendingRecords(), 0);
    EXPECT_FALSE(QFileInfo::exists(records + "prog.rec"));
}

}  // namespace
