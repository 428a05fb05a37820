// The FTP module against a real FTP server (pyftpdlib, tests/ftp/ftpserver.py) on 127.0.0.1:
// uploads and downloads with their log lines, error numbers and file rotation, a server that
// refuses, drops, stalls or says nothing, FTPS, and the connection record.
#include "transfer/ftpunit.h"

#include "framework/felles.h"
#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "testenv.h"
#include "transfer/serveroppsett.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kLimitSeconds = 2;  // the client's limits in these tests
const QString kUser = QStringLiteral("tester");
const QString kPassword = QStringLiteral("hemmelig");
const QString kHost = QStringLiteral("127.0.0.1");

// One FTP server process, stopped when this goes.
class FtpServer {
public:
    struct Options {
        QString mode = QStringLiteral("normal");
        int after = 65536;
        QString cert;
        bool readonly = false;
    };

    FtpServer(const QString& root, const Options& options)
    {
        QDir().mkpath(root);
        m_log = root + "/../ftp-commands-" + QString::number(QRandomGenerator::global()->generate()) + ".log";
        QStringList args{QStringLiteral(GLIMRA_FTP_SERVER), "--root", root, "--user", kUser, "--password",
                         kPassword, "--mode", options.mode, "--after", QString::number(options.after), "--log", m_log};
        if (!options.cert.isEmpty())
            args << "--cert" << options.cert;
        if (options.readonly)
            args << "--readonly";
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(QStringLiteral("/usr/bin/python3"), args);
        QByteArray out;
        while (!out.contains('\n') && m_process.waitForReadyRead(15000))
            out += m_process.readAllStandardOutput();
        if (!out.startsWith("PORT "))
            throw std::runtime_error("FTP server did not start: " + m_process.readAllStandardError().toStdString());
        m_port = out.mid(5).trimmed().toInt();
    }
    ~FtpServer()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    int port() const { return m_port; }
    // Connections ("CONNECT") and commands as the server received them.
    QStringList commands() const
    {
        return QString::fromUtf8(TestEnv::readFile(m_log)).split('\n', Qt::SkipEmptyParts);
    }

private:
    QProcess m_process;
    QString m_log;
    int m_port = 0;
};

// A port on 127.0.0.1 that nothing listens on.
int ClosedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

QByteArray RandomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    auto* words = reinterpret_cast<quint32*>(bytes.data());
    QRandomGenerator::global()->fillRange(words, size / 4);
    // Line ends and a NUL, so that a text-mode transfer would show.
    if (size >= 8)
        bytes.replace(0, 8, QByteArray("\r\n\n\r\0\x1a\xff\x80", 8));
    return bytes;
}

void WriteRecord(const QString& server, int port, const QString& user, const QString& password, bool ssl = false,
                 const QString& folder = {})
{
    IniSection("SERVER-SETTING-FTP");
    IniWriteString("server", server);
    IniWriteString("username", user);
    IniWriteString("password", ScrambleText(password));
    IniWriteString("port", QString::number(port));
    IniWriteString("folder", folder);
    IniWriteBool("SSL", ssl);
    IniStandard();
}

QStringList FtpLog()
{
    QStringList out;
    for (const QString& line : LogMessages())
        if (line.startsWith("FTP: "))
            out << line;
    return out;
}

// Runs `answer` on the next modal server settings dialog and closes it as its close box does.
void AnswerServerDialog(const std::function<void(TServerOppsettForm&)>& answer)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        auto* dialog = qobject_cast<TServerOppsettForm*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        answer(*dialog);
        dialog->close();
    });
    poll->start(10);
}

class FtpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FixLogClock();
        logState().LogToFile = true;
        ResetFtpState();
        useClient({});
        root = env.path("server");
        local = env.path("local/");
        QDir().mkpath(root);
        QDir().mkpath(local);
    }
    void TearDown() override
    {
        form.reset();
        ResetFtpState();
    }

    // The client of the next window: the test limits and, for TLS, the test's certificate.
    void useClient(const QString& caFile)
    {
        ftpState().clientFactory = [caFile] {
            return platform::CreateCurlFtpClient({kLimitSeconds, kLimitSeconds, caFile});
        };
    }

    TFTPform& window()
    {
        if (!form)
            form = std::make_unique<TFTPform>();
        return *form;
    }

    QString panel(int i) { return window().StatusPanel(i)->text(); }

    TestEnv env;
    QString root;
    QString local;
    std::unique_ptr<TFTPform> form;
};

// ---------------------------------------------------------------------------------------------
// Upload

TEST_F(FtpTest, UploadStoresTheFileUnderItsNameAndLogsEachStep)
{
    FtpServer server(root, {});
    WriteRecord(kHost, server.port(), kUser, kPassword);
    const QString file = local + "mitt bilde #1.jpg";  // a blank and a '#' reach the server as they are
    const QByteArray bytes = RandomBytes(300000);
    TestEnv::writeFile(file, bytes);

    QStringList states;
    auto begin = window().IdFTP1->OnWorkBegin;
    window().IdFTP1->OnWorkBegin = [&](platform::FtpClient::WorkMode mode) {
        begin(mode);
        states << panel(1);
    };
    window().SendFil(file);

    EXPECT_EQ(ftpState().FtpError, 0);
    EXPECT_EQ(TestEnv::readFile(root + "/mitt bilde #1.jpg"), bytes);
    EXPECT_EQ(FtpLog(), QStringList({"FTP: Starter ny sesjon for opplasting av " + file,
                                     "FTP: Kobler til 127.0.0.1 som bruker tester", "FTP: Kobler fra."}));
    EXPECT_EQ(states, QStringList{"Laster opp data"});
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(panel(1), "Frakoblet");
    EXPECT_EQ(panel(0), "300000");
    EXPECT_EQ(window().ProgressBar1->maximum(), 300000);
    EXPECT_EQ(window().ProgressBar1->value(), 300000);
    EXPECT_EQ(window().ftpfil->text(), "mitt bilde #1.jpg");
    EXPECT_EQ(window().windowTitle(), QString(MakerFtpHost));  // shown before the record was read
    EXPECT_EQ(settingsState().CurrentSection, "STANDARD");
}

TEST_F(FtpTest, UploadFolderFromTheCallerOrTheRecordKeepsItsSlash)
{
    struct Case {
        QString callerFolder, recordFolder, storedAs, folderAfter;
    } cases[] = {
        {"", "", "bilde.jpg", ""},
        {"pub", "", "pub/bilde.jpg", "pub/"},
        {"pub/", "", "pub/bilde.jpg", "pub/"},
        {"", "arkiv", "arkiv/bilde.jpg", "arkiv/"},
        {"pub", "arkiv", "pub/bilde.jpg", "pub/"},  // the caller's folder wins over the record
    };
    FtpServer server(root, {});
    QDir(root).mkpath("pub");
    QDir(root).mkpath("arkiv");
    const QString file = local + "bilde.jpg";
    for (const Case& c : cases) {
        SCOPED_TRACE(("caller " + c.callerFolder + ", record " + c.recordFolder).toStdString());
        ResetFtpState();
        useClient({});
        form.reset();
        WriteRecord(kHost, server.port(), kUser, kPassword, false, c.recordFolder);
        const QByteArray bytes = RandomBytes(1000);
        TestEnv::writeFile(file, bytes);
        ftpState().FtpFolder = c.callerFolder;
        window().SendFil(file);
        EXPECT_EQ(ftpState().FtpError, 0);
        EXPECT_EQ(TestEnv::readFile(root + "/" + c.storedAs), bytes);
        EXPECT_EQ(ftpState().FtpFolder, c.folderAfter);
    }
}

TEST_F(FtpTest, ARecordFolderChangedBetweenTransfersTakesEffect)
{
    FtpServer server(root, {});
    QDir(root).mkpath("a");
    QDir(root).mkpath("b");
    const QString file = local + "x.bin";
    TestEnv::writeFile(file, "123");
    WriteRecord(kHost, server.port(), kUser, kPassword, false, "a");
    window().SendFil(file);
    WriteRecord(kHost, server.port(), kUser, kPassword, false, "b");
    window().SendFil(file);
    EXPECT_TRUE(QFile::exists(root + "/a/x.bin"));
    EXPECT_TRUE(QFile::exists(root + "/b/x.bin"));
}

TEST_F(FtpTest, FileNamesReachTheServerAsTheyAreAndNeverAsCommands)
{
    FtpServer server(root, {});
    WriteRecord(kHost, server.port(), kUser, kPassword);
    for (const QString name : {QString::fromUtf8("blåbær.jpg"), QString("100% ekte?.jpg")}) {
        TestEnv::writeFile(local + name, "abc");
        window().SendFil(local + name);
        EXPECT_EQ(ftpState().FtpError, 0);
        EXPECT_EQ(TestEnv::readFile(root + "/" + name), "abc") << name.toStdString();
    }

    TestEnv::writeFile(root + "/offer.txt", "blir");
    const QString sneaky = local + "x\r\nDELE offer.txt";
    TestEnv::writeFile(sneaky, "abc");
    EXPECT_THROW(window().SendFil(sneaky), platform::FtpClientError);
    EXPECT_EQ(ftpState().FtpError, 502);
    EXPECT_TRUE(QFile::exists(root + "/offer.txt"));
    for (const QString& command : server.commands())
        EXPECT_FALSE(command.startsWith("DELE")) << command.toStdString();
}

TEST_F(FtpTest, UploadOfAFileWithoutSizeStopsBeforeConnecting)
{
    const QString readOnly = local + "skrivebeskyttet.txt";
    TestEnv::writeFile(readOnly, "abc");
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner);
    for (const QString& file : {local + "mangler.txt", readOnly}) {
        logState().LogBuffer.clear();
        window().SendFil(file);
        EXPECT_EQ(FtpLog(), QStringList({"FTP: Starter ny sesjon for opplasting av " + file,
                                         QString::fromUtf8("FTP: Kan ikke finne filstørrelse, avbryter.")}));
        EXPECT_EQ(ftpState().FtpError, 0);
        EXPECT_FALSE(window().isVisible());
    }
}

TEST_F(FtpTest, AFailedStoreIsLoggedClosedAndNumberedBeforeItReachesTheCaller)
{
    FtpServer server(root, {.readonly = true});
    WriteRecord(kHost, server.port(), kUser, kPassword);
    const QString file = local + "bilde.jpg";
    TestEnv::writeFile(file, RandomBytes(5000));

    EXPECT_THROW(window().SendFil(file), platform::FtpClientError);

    EXPECT_EQ(ftpState().FtpError, 502);
    EXPECT_FALSE(window().isVisible());
    EXPECT_FALSE(window().IdFTP1->Connected());
    EXPECT_EQ(panel(1), "Frakoblet");
    const QStringList log = FtpLog();
    ASSERT_EQ(log.size(), 4);
    EXPECT_TRUE(log[2].startsWith("FTP: Feil nr. 502, kunne ikke laste opp " + file + " som bilde.jpg: ")) << log[2].toStdString();
    EXPECT_EQ(log[3], "FTP: Kobler fra.");
    EXPECT_TRUE(server.commands().contains("QUIT"));
    EXPECT_FALSE(QFile::exists(root + "/bilde.jpg"));
}

// ---------------------------------------------------------------------------------------------
// Download

TEST_F(FtpTest, DownloadIsInstalledWithTheThreeLoggedRenamesOverOneConnection)
{
    FtpServer server(root, {});
    WriteRecord(kHost, server.port(), kUser, kPassword);
    const QByteArray fresh = RandomBytes(200000);
    TestEnv::writeFile(root + "/liste.txt", fresh);
    const QString file = local + "liste.txt";
    TestEnv::writeFile(file, "gammel");
    TestEnv::writeFile(local + "liste.old", "eldre");

    QStringList states;
    auto begin = window().IdFTP1->OnWorkBegin;
    window().IdFTP1->OnWorkBegin = [&](platform::FtpClient::WorkMode mode) {
        begin(mode);
        states << panel(1);
    };
    window().HentFil(file);

    EXPECT_EQ(ftpState().FtpError, 0);
    EXPECT_EQ(TestEnv::readFile(file), fresh);
    EXPECT_EQ(TestEnv::readFile(local + "liste.old"), "gammel");
    EXPECT_FALSE(QFile::exists(local + "liste.tmp"));
    EXPECT_EQ(FtpLog(), QStringList({
                            "FTP: Starter ny sesjon for nedlasting av liste.txt til " + local,
                            "FTP: Kobler til 127.0.0.1 som bruker tester",
                            QString::fromUtf8("FTP: filstørrelse 200000"),
                            "FTP: Tilkoblet, henter filen liste.txt",
                            "FTP: Kobler fra.",
                            "FTP: slettet midlertidig fil: " + local + "liste.old",
                            QString::fromUtf8("FTP: endret navn på ") + file + " til " + local + "liste.old",
                            QString::fromUtf8("FTP: endret navn på ") + local + "liste.tmp til " + file,
                        }));
    EXPECT_EQ(states, QStringList{"Laster ned data"});
    EXPECT_EQ(window().ProgressBar1->maximum(), 200000);
    EXPECT_EQ(window().ProgressBar1->value(), 200000);
    EXPECT_EQ(panel(0), "200000");
    EXPECT_EQ(panel(1), "Frakoblet");
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(server.commands().count("CONNECT"), 1);
    EXPECT_TRUE(server.commands().contains("TYPE I"));
}

TEST_F(FtpTest, FirstDownloadWithoutLocalCopyOrOldCopyLogsOnlyTheLastRename)
{
    FtpServer server(root, {});
    WriteRecord(kHost, server.port(), kUser, kPassword);
    TestEnv::writeFile(root + "/ny.txt", "innhold");
    const QString file = local + "ny.txt";
    window().HentFil(file);
    EXPECT_EQ(TestEnv::readFile(file), "innhold");
    EXPECT_EQ(FtpLog().last(), QString::fromUtf8("FTP: endret navn på ") + local + "ny.tmp til " + file);
    EXPECT_FALSE(FtpLog().join('\n').contains("slettet"));
}

TEST_F(FtpTest, MissingRemoteFileLeavesEverythingAndTheWindowShown)
{
    FtpServer server(root, {});
    WriteRecord(kHost, server.port(), kUser, kPassword, false, "pub");
    QDir(root).mkpath("pub");
    const QString file = local + "liste.txt";
    TestEnv::writeFile(file, "gammel");

    window().HentFil(file);

    EXPECT_EQ(ftpState().FtpError, 0);
    EXPECT_EQ(FtpLog(), QStringList({"FTP: Starter ny sesjon for nedlasting av liste.txt til " + local,
                                     "FTP: Kobler til 127.0.0.1 som bruker tester",
                                     "FTP: finner ikke filen pub/liste.txt, avbryter forbindelse",
                                     "FTP: 127.0.0.1 frakoblet"}));
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(panel(1), "Frakoblet");
    EXPECT_EQ(TestEnv::readFile(file), "gammel");
    EXPECT_EQ(QDir(local).entryList(QDir::Files), QStringList{"liste.txt"});
}

TEST_F(FtpTest, ZeroByteDownloadIsNotInstalled)
{
    FtpServer server(root, {});
    WriteRecord(kHost, server.port(), kUser, kPassword);
    TestEnv::writeFile(root + "/tom.txt", "");
    const QString file = local + "tom.txt";
    TestEnv::writeFile(file, "gammel");

    window().HentFil(file);

    EXPECT_EQ(ftpState().FtpError, 0);
    EXPECT_EQ(TestEnv::readFile(file), "gammel");
    EXPECT_TRUE(QFile::exists(local + "tom.tmp"));
    EXPECT_EQ(QFileInfo(local + "tom.tmp").size(), 0);
    EXPECT_FALSE(QFile::exists(local + "tom.old"));
    EXPECT_EQ(FtpLog().last(), "FTP: Kobler fra.");
}

TEST_F(FtpTest, TwentyMegabytesComeBackByteForByte)
{
    FtpServer server(root, {});
    WriteRecord(kHost, server.port(), kUser, kPassword);
    const QByteArray bytes = RandomBytes(20 * 1024 * 1024);
    const QString file = local + "stor.bin";
    TestEnv::writeFile(file, bytes);
    window().SendFil(file);
    ASSERT_EQ(ftpState().FtpError, 0);
    TestEnv::writeFile(file, "lokal");
    window().HentFil(file);
    ASSERT_EQ(ftpState().FtpError, 0);
    EXPECT_TRUE(TestEnv::readFile(file) == bytes);
    EXPECT_EQ(TestEnv::readFile(local + "stor.old"), "lokal");
    EXPECT_EQ(window().ProgressBar1->value(), bytes.size());
}

// ---------------------------------------------------------------------------------------------
// Failures: each ends with its number and log line, and a download leaves the local files alone.

TEST_F(FtpTest, ConnectFailuresGiveTheirNumbers)
{
    FtpServer server(root, {});
    TestEnv::writeFile(root + "/liste.txt", "ny");
    struct Case {
        const char* name;
        int port;
        QString password;
        QString reason;
    } cases[] = {
        {"wrong password", server.port(), "feil", "FTP: serveren avviste brukernavnet eller passordet"},
        {"closed port", ClosedPort(), kPassword, QString::fromUtf8("FTP: serveren svarer ikke på porten")},
    };
    const QString file = local + "liste.txt";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteRecord(kHost, c.port, kUser, c.password);
        TestEnv::writeFile(file, "gammel");

        logState().LogBuffer.clear();
        window().HentFil(file);
        EXPECT_EQ(ftpState().FtpError, 501);
        QStringList log = FtpLog();
        ASSERT_EQ(log.size(), 4) << "no connection, nothing retrieved";
        EXPECT_EQ(log[2], "FTP: Feil nr. 501, kunne ikke koble til 127.0.0.1 med brukernavn tester");
        EXPECT_EQ(log[3], c.reason);
        EXPECT_FALSE(window().isVisible());
        EXPECT_EQ(TestEnv::readFile(file), "gammel");

        logState().LogBuffer.clear();
        window().SendFil(file);
        EXPECT_EQ(ftpState().FtpError, 502);
        log = FtpLog();
        ASSERT_EQ(log.size(), 4);
        EXPECT_EQ(log[2], "FTP: Feil nr. 502, kunne ikke koble til");
        EXPECT_EQ(log[3], c.reason);
        EXPECT_FALSE(window().isVisible());
    }
}

TEST_F(FtpTest, AServerThatDropsOrStallsMidDownloadLeavesTheLocalFilesAsTheyWere)
{
    for (const QString mode : {"drop", "stall"}) {
        SCOPED_TRACE(mode.toStdString());
        FtpServer server(env.path("server-" + mode), {.mode = mode, .after = 100000});
        TestEnv::writeFile(env.path("server-" + mode + "/liste.txt"), RandomBytes(1000000));
        WriteRecord(kHost, server.port(), kUser, kPassword);
        const QString file = local + "liste.txt";
        TestEnv::writeFile(file, "gammel");
        TestEnv::writeFile(local + "liste.old", "eldre");

        logState().LogBuffer.clear();
        QElapsedTimer clock;
        clock.start();
        window().HentFil(file);

        EXPECT_EQ(ftpState().FtpError, 500);
        EXPECT_LT(clock.elapsed(), 10 * kLimitSeconds * 1000);
        const QStringList log = FtpLog();
        EXPECT_TRUE(log.contains("FTP: Feil nr. 500, kan ikke laste ned filen " + file +
                                 ". Sjekk at filen ikke er i bruk."))
            << log.join('\n').toStdString();
        EXPECT_EQ(log.last(), "FTP: Kobler fra.");
        EXPECT_EQ(TestEnv::readFile(file), "gammel");
        EXPECT_EQ(TestEnv::readFile(local + "liste.old"), "eldre");
        EXPECT_FALSE(window().isVisible());
    }
}

TEST_F(FtpTest, AServerThatSaysNothingEndsTheConnectWithinTheLimit)
{
    FtpServer server(root, {.mode = "silent"});
    WriteRecord(kHost, server.port(), kUser, kPassword);
    const QString file = local + "liste.txt";
    TestEnv::writeFile(file, "gammel");
    QElapsedTimer clock;
    clock.start();
    window().HentFil(file);
    EXPECT_EQ(ftpState().FtpError, 501);
    EXPECT_GE(clock.elapsed(), kLimitSeconds * 1000 - 100);
    EXPECT_LT(clock.elapsed(), 10 * kLimitSeconds * 1000);
    EXPECT_EQ(FtpLog()[3], QString("FTP: serveren har ikke svart på %1 sekunder").arg(kLimitSeconds));
    EXPECT_EQ(TestEnv::readFile(file), "gammel");
}

// ---------------------------------------------------------------------------------------------
// FTPS

class FtpsTest : public FtpTest {
protected:
    static void SetUpTestSuite()
    {
        s_certDir = std::make_unique<QTemporaryDir>();
        const QString dir = s_certDir->path();
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                  "-nodes", "-keyout", dir + "/key.pem", "-out", dir + "/cert.pem", "-days", "2",
                                  "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"});
        openssl.waitForFinished(60000);
        TestEnv::writeFile(dir + "/server.pem",
                           TestEnv::readFile(dir + "/cert.pem") + TestEnv::readFile(dir + "/key.pem"));
    }
    static void TearDownTestSuite() { s_certDir.reset(); }

    static QString cert() { return s_certDir->path() + "/cert.pem"; }
    static QString serverPem() { return s_certDir->path() + "/server.pem"; }

    static std::unique_ptr<QTemporaryDir> s_certDir;
};

std::unique_ptr<QTemporaryDir> FtpsTest::s_certDir;

TEST_F(FtpsTest, WithTlsOnTheServerBothWaysWorkEncrypted)
{
    ASSERT_TRUE(QFile::exists(serverPem()));
    FtpServer server(root, {.cert = serverPem()});
    WriteRecord(kHost, server.port(), kUser, kPassword, true);
    useClient(cert());
    const QByteArray bytes = RandomBytes(150000);
    const QString file = local + "bilde.jpg";
    TestEnv::writeFile(file, bytes);

    window().SendFil(file);
    EXPECT_EQ(ftpState().FtpError, 0);
    EXPECT_EQ(TestEnv::readFile(root + "/bilde.jpg"), bytes);
    TestEnv::writeFile(file, "lokal");
    window().HentFil(file);
    EXPECT_EQ(ftpState().FtpError, 0);
    EXPECT_TRUE(TestEnv::readFile(file) == bytes);

    const QStringList commands = server.commands();
    ASSERT_GE(commands.size(), 3);
    EXPECT_EQ(commands[1], "AUTH TLS");
    EXPECT_TRUE(commands.contains("PROT P"));
}

TEST_F(FtpsTest, NoTlsOrAnUnverifiedCertificateStopsBeforeThePassword)
{
    struct Case {
        const char* name;
        bool serverTls;
        bool trustCert;
        QString reason;
    } cases[] = {
        {"server without TLS", false, true,
         QString::fromUtf8("FTP: serveren tilbyr ikke kryptert forbindelse (TLS); passordet ble ikke sendt")},
        {"certificate not trusted", true, false, QString::fromUtf8("FTP: serverens sertifikat kunne ikke bekreftes")},
    };
    const QString file = local + "bilde.jpg";
    TestEnv::writeFile(file, "abc");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FtpServer server(env.path(QString("server-%1").arg(c.serverTls)), {.cert = c.serverTls ? serverPem() : ""});
        WriteRecord(kHost, server.port(), kUser, kPassword, true);
        useClient(c.trustCert ? cert() : QString());
        form.reset();

        logState().LogBuffer.clear();
        window().SendFil(file);
        EXPECT_EQ(ftpState().FtpError, 502);
        EXPECT_EQ(FtpLog().mid(2), QStringList({"FTP: Feil nr. 502, kunne ikke koble til", c.reason}));

        logState().LogBuffer.clear();
        window().HentFil(file);
        EXPECT_EQ(ftpState().FtpError, 501);
        EXPECT_EQ(FtpLog()[3], c.reason);

        for (const QString& command : server.commands())
            EXPECT_FALSE(command.startsWith("PASS") || command.startsWith("USER")) << command.toStdString();
    }
}

// ---------------------------------------------------------------------------------------------
// The record

TEST_F(FtpTest, FirstTransferWithEmptySettingsWritesDefaultsAndOpensTheDialog)
{
    FtpServer server(root, {});
    TServerOppsettForm dialog;
    const QString file = local + "bilde.jpg";
    TestEnv::writeFile(file, "abc");

    QString caption, kind, shownServer, shownUser, shownPort;
    AnswerServerDialog([&](TServerOppsettForm& d) {
        caption = d.windowTitle();
        kind = d.C_tag;
        shownServer = d.server->text();
        shownUser = d.brukernavn->text();
        shownPort = d.port->text();
        d.server->setText(kHost);
        d.port->setText(QString::number(server.port()));
        d.brukernavn->setText(kUser);
        d.passord->setText(kPassword);
    });
    window().SendFil(file);

    EXPECT_EQ(caption, "Oppsett FTP-server");
    EXPECT_EQ(kind, "FTP");
    EXPECT_EQ(shownServer, QString(MakerFtpHost));
    EXPECT_EQ(shownUser, "anonymous");
    EXPECT_EQ(shownPort, "21");
    EXPECT_EQ(ftpState().FtpError, 0);
    EXPECT_EQ(TestEnv::readFile(root + "/bilde.jpg"), "abc");
    IniSection("SERVER-SETTING-FTP");
    EXPECT_EQ(IniReadString("name"), "Tavlund FTP-server");
    EXPECT_EQ(IniReadString("server"), kHost);
    IniStandard();
}

TEST_F(FtpTest, AnEmptyServerLeftInTheDialogFailsTheConnect)
{
    const QString file = local + "bilde.jpg";
    TestEnv::writeFile(file, "abc");
    AnswerServerDialog([](TServerOppsettForm& d) { d.server->clear(); });
    window().SendFil(file);
    EXPECT_EQ(ftpState().FtpError, 502);
    EXPECT_EQ(FtpLog().mid(1), QStringList({"FTP: Kobler til  som bruker anonymous",
                                            "FTP: Feil nr. 502, kunne ikke koble til",
                                            "FTP: ingen server er oppgitt"}));
}

TEST(FtpSettings, LoadReadsTheRecordAndFallsBackToTheGuestLogin)
{
    TestEnv env;
    ResetFtpState();
    IniSection("SERVER-SETTING-FTP");
    IniWriteString("server", "ftp.example.org");
    IniWriteString("username", "");
    IniWriteString("password", "");
    IniWriteString("port", "2121");
    IniWriteBool("SSL", true);
    IniSection("ANNET");

    EnsureFtpSettings();

    const FtpState& s = ftpState();
    EXPECT_EQ(s.FtpHost, "ftp.example.org");
    EXPECT_EQ(s.FtpUser, "anonymous");
    EXPECT_EQ(s.FtpPassword, "fjordvind");
    EXPECT_EQ(s.FtpPort, 2121);
    EXPECT_TRUE(s.FtpSsl);
    EXPECT_EQ(settingsState().CurrentSection, "STANDARD");

    WriteFtpDefaults();
    IniSection("SERVER-SETTING-FTP");
    EXPECT_EQ(IniReadString("password"), ScrambleText("fjordvind"));
    EXPECT_EQ(IniReadString("port"), "21");
    EXPECT_EQ(IniReadString("username"), "anonymous");
    IniStandard();
    ResetFtpState();
}

TEST(FtpSettings, DownloadNamesStayInTheFilesFolderAndNeverNameTheFileItself)
{
    struct Case {
        QString file, temp, old;
    } cases[] = {
        {"/data/liste.txt", "/data/liste.tmp", "/data/liste.old"},
        {"/home/a/.local/x.y/liste.txt", "/home/a/.local/x.y/liste.tmp", "/home/a/.local/x.y/liste.old"},
        {"/data/arkiv.tar.gz", "/data/arkiv.tmp", "/data/arkiv.old"},
        {"/data/liste.tmp", "/data/liste.tmp.tmp", "/data/liste.old"},
        {"/data/liste.old", "/data/liste.tmp", "/data/liste.old.old"},
        {"/data/README", "/data/README.tmp", "/data/README.old"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DownloadTempName(c.file), c.temp);
        EXPECT_EQ(DownloadOldName(c.file), c.old);
    }
}

}  // namespace
