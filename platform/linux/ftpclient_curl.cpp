// The FTP client over libcurl. One easy handle lives from Connect to Disconnect; libcurl keeps
// the logged-in control connection in it between requests, so the size request, the retrieve and
// the store of one transfer travel over the one connection that Connect opened.
#include "platform/ftpclient.h"

#include <QFile>
#include <QUrl>

#include <curl/curl.h>
#include <exception>
#include <mutex>

namespace platform {
namespace {

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool HasControlCharacter(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    return false;
}

// A host name as it may stand in an address: letters, digits, dots, hyphens and underscores
// after IDNA conversion. Anything else (a slash, an '@', a blank) would change what the address
// means.
bool IsPlainHost(const QByteArray& ace)
{
    if (ace.isEmpty())
        return false;
    for (const char c : ace) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '.' || c == '-' || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

// The path part of the address of a remote name: every part between slashes percent-encoded, so
// that blanks, '#', '?' and '%' in file names reach the server as they are. libcurl sends the
// decoded name in one command (no CWD per folder), and a name that starts with '/' stays
// absolute.
QByteArray RemotePath(const QString& remoteName)
{
    QByteArray out;
    const QStringList parts = remoteName.split(QLatin1Char('/'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += '/';
        out += QUrl::toPercentEncoding(parts.at(i));
    }
    return out;
}

QString Reason(CURLcode code, int limitSeconds)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("finner ikke serveren (ukjent navn)");
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("serveren svarer ikke på porten");
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("serveren har ikke svart på %1 sekunder").arg(limitSeconds);
    case CURLE_LOGIN_DENIED:
        return QStringLiteral("serveren avviste brukernavnet eller passordet");
    case CURLE_USE_SSL_FAILED:
        return QString::fromUtf8("serveren tilbyr ikke kryptert forbindelse (TLS); "
                                 "passordet ble ikke sendt");
    case CURLE_PEER_FAILED_VERIFICATION:
        return QString::fromUtf8("serverens sertifikat kunne ikke bekreftes");
    case CURLE_SSL_CONNECT_ERROR:
        return QString::fromUtf8("kryptert forbindelse (TLS) kunne ikke opprettes");
    case CURLE_SSL_CACERT_BADFILE:
        return QString::fromUtf8("sertifikatene serveren skal sjekkes mot kan ikke leses");
    case CURLE_REMOTE_FILE_NOT_FOUND:
        return QStringLiteral("filen finnes ikke på serveren");
    case CURLE_REMOTE_ACCESS_DENIED:
        return QStringLiteral("serveren nektet tilgang");
    case CURLE_FTP_COULDNT_RETR_FILE:
        return QStringLiteral("serveren kunne ikke sende filen");
    case CURLE_UPLOAD_FAILED:
        return QStringLiteral("serveren tok ikke imot filen");
    case CURLE_PARTIAL_FILE:
        return QString::fromUtf8("forbindelsen brøt før hele filen var overført");
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
        return QString::fromUtf8("forbindelsen til serveren brøt");
    case CURLE_FTP_WEIRD_SERVER_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
        return QStringLiteral("serveren svarte noe uventet");
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_ACCEPT_FAILED:
        return QStringLiteral("dataforbindelsen til serveren kunne ikke opprettes");
    case CURLE_URL_MALFORMAT:
        return QStringLiteral("filnavnet kan ikke brukes på serveren");
    case CURLE_WRITE_ERROR:
        return QStringLiteral("den lokale filen kan ikke skrives");
    case CURLE_READ_ERROR:
        return QStringLiteral("den lokale filen kan ikke leses");
    case CURLE_OUT_OF_MEMORY:
        return QStringLiteral("ikke nok minne");
    default:
        return QString::fromUtf8("FTP-overføringen feilet (%1)")
            .arg(QString::fromUtf8(curl_easy_strerror(code)));
    }
}

class CurlFtpClient : public FtpClient {
public:
    explicit CurlFtpClient(const FtpClientOptions& options) : m_options(options) { GlobalInit(); }
    ~CurlFtpClient() override { closeHandle(); }

    void Connect() override
    {
        Disconnect();
        if (Host.trimmed().isEmpty())
            throw FtpClientError("ingen server er oppgitt");
        const QByteArray host = QUrl::toAce(Host.trimmed());
        if (!IsPlainHost(host))
            throw FtpClientError(QString::fromUtf8("servernavnet «%1» kan ikke brukes").arg(Host).toStdString());
        if (HasControlCharacter(Username) || HasControlCharacter(Password))
            throw FtpClientError("brukernavnet eller passordet inneholder kontrolltegn");
        // A port outside the valid range is no port: the standard one is used.
        const int port = Port > 0 && Port <= 65535 ? Port : 21;

        m_curl = curl_easy_init();
        if (!m_curl)
            throw FtpClientError("FTP-klienten kan ikke startes");
        m_base = "ftp://" + host + ':' + QByteArray::number(port) + '/';
        const QByteArray user = Username.toUtf8();
        const QByteArray password = Password.toUtf8();
        CURL* c = m_curl;
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, m_errorBuffer);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(c, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
        curl_easy_setopt(c, CURLOPT_PROXY, "");  // never a proxy, whatever the environment says
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
        // Passive data connections: they work behind firewalls and NAT, where active ones
        // (the server connecting back to us) mostly do not.
        curl_easy_setopt(c, CURLOPT_FTPPORT, static_cast<char*>(nullptr));
        // Binary transfers: pictures and other binary files come across unchanged.
        curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, 0L);
        curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(m_options.connectTimeoutSeconds));
        curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(m_options.stallSeconds));
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(m_options.stallSeconds));
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &CurlFtpClient::progress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, this);
        if (UseTls) {
            // Explicit FTPS: AUTH TLS before USER, and every data connection protected. When
            // the server will not do TLS the login stops there, so the password is never sent
            // in clear.
            curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
            curl_easy_setopt(c, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
            curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
            curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
            if (!m_options.caFile.isEmpty()) {
                const QByteArray ca = QFile::encodeName(m_options.caFile);
                curl_easy_setopt(c, CURLOPT_CAINFO, ca.constData());
            }
        }

        // Logging in: the server's home folder asked with no body sends USER, PASS and PWD.
        curl_easy_setopt(c, CURLOPT_URL, m_base.constData());
        curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
        const CURLcode rc = perform(WorkMode::Read, false);
        if (rc != CURLE_OK) {
            const QString reason = Reason(rc, limitFor(rc));
            closeHandle();
            throw FtpClientError(reason.toStdString());
        }
        m_connected = true;
        if (OnConnected)
            OnConnected();
    }

    qint64 Size(const QString& remoteName) override
    {
        requireConnection();
        setUrl(remoteName);
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
        const CURLcode rc = perform(WorkMode::Read, false);
        if (rc == CURLE_REMOTE_FILE_NOT_FOUND)
            return -1;
        if (rc != CURLE_OK)
            fail(rc);
        curl_off_t size = -1;
        if (curl_easy_getinfo(m_curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size) != CURLE_OK)
            return -1;
        return size < 0 ? -1 : static_cast<qint64>(size);
    }

    void Get(const QString& remoteName, const QString& localFile) override
    {
        requireConnection();
        QFile file(localFile);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw FtpClientError(QString::fromUtf8("kan ikke skrive filen %1").arg(localFile).toStdString());
        m_file = &file;
        setUrl(remoteName);
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &CurlFtpClient::write);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, this);
        const CURLcode rc = perform(WorkMode::Read, true);
        m_file = nullptr;
        const bool flushed = file.flush();
        file.close();
        if (rc != CURLE_OK)
            fail(rc);
        if (!flushed)
            fail(CURLE_WRITE_ERROR);
    }

    void Put(const QString& localFile, const QString& remoteName) override
    {
        requireConnection();
        QFile file(localFile);
        if (!file.open(QIODevice::ReadOnly))
            throw FtpClientError(QString::fromUtf8("kan ikke lese filen %1").arg(localFile).toStdString());
        m_file = &file;
        setUrl(remoteName);
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(m_curl, CURLOPT_APPEND, 0L);
        curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(file.size()));
        curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, &CurlFtpClient::read);
        curl_easy_setopt(m_curl, CURLOPT_READDATA, this);
        const CURLcode rc = perform(WorkMode::Write, true);
        curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
        m_file = nullptr;
        file.close();
        if (rc != CURLE_OK)
            fail(rc);
    }

    void Disconnect() override
    {
        // Cleaning up the handle sends QUIT over a connection that is still alive (bounded by
        // the reply limit) and closes it.
        closeHandle();
        if (m_connected) {
            m_connected = false;
            if (OnDisconnected)
                OnDisconnected();
        }
    }

    bool Connected() const override { return m_connected; }

private:
    void closeHandle()
    {
        if (m_curl) {
            curl_easy_cleanup(m_curl);
            m_curl = nullptr;
        }
    }

    void requireConnection()
    {
        if (!m_curl || !m_connected)
            throw FtpClientError("ikke koblet til serveren");
    }

    void setUrl(const QString& remoteName)
    {
        m_url = m_base + RemotePath(remoteName);
        curl_easy_setopt(m_curl, CURLOPT_URL, m_url.constData());
    }

    // Runs one request. A failure thrown by a notification inside libcurl's callbacks stopped
    // the request; it goes on to the caller here.
    CURLcode perform(WorkMode mode, bool transfer)
    {
        m_mode = mode;
        m_lastCount = -1;
        m_reportWork = transfer;
        m_callbackError = nullptr;
        m_errorBuffer[0] = '\0';
        if (transfer && OnWorkBegin)
            OnWorkBegin(mode);
        const CURLcode rc = curl_easy_perform(m_curl);
        m_reportWork = false;
        if (m_callbackError) {
            std::exception_ptr error = m_callbackError;
            m_callbackError = nullptr;
            lostConnectionCheck();
            std::rethrow_exception(error);
        }
        if (rc == CURLE_OK && transfer && OnWork) {
            curl_off_t moved = 0;
            curl_easy_getinfo(m_curl, mode == WorkMode::Read ? CURLINFO_SIZE_DOWNLOAD_T : CURLINFO_SIZE_UPLOAD_T,
                              &moved);
            if (moved != m_lastCount)
                OnWork(static_cast<qint64>(moved));
        }
        return rc;
    }

    int limitFor(CURLcode rc) const
    {
        return rc == CURLE_OPERATION_TIMEDOUT && !m_connected ? m_options.connectTimeoutSeconds
                                                                : m_options.stallSeconds;
    }

    [[noreturn]] void fail(CURLcode rc)
    {
        const QString reason = Reason(rc, limitFor(rc));
        lostConnectionCheck();
        throw FtpClientError(reason.toStdString());
    }

    // After a failed request: when libcurl has closed the control connection, the client is no
    // longer connected, and says so.
    void lostConnectionCheck()
    {
        curl_socket_t socket = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(m_curl, CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK || socket == CURL_SOCKET_BAD)
            Disconnect();
    }

    static int progress(void* self, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow)
    {
        auto* client = static_cast<CurlFtpClient*>(self);
        if (!client->m_reportWork || !client->OnWork)
            return 0;
        const curl_off_t count = client->m_mode == WorkMode::Read ? dlnow : ulnow;
        if (count == client->m_lastCount)
            return 0;
        client->m_lastCount = count;
        try {
            client->OnWork(static_cast<qint64>(count));
        } catch (...) {
            client->m_callbackError = std::current_exception();
            return 1;  // stops the request
        }
        return 0;
    }

    static size_t write(char* data, size_t size, size_t count, void* self)
    {
        auto* client = static_cast<CurlFtpClient*>(self);
        const qint64 bytes = static_cast<qint64>(size * count);
        return client->m_file->write(data, bytes) == bytes ? size * count : 0;
    }

    static size_t read(char* buffer, size_t size, size_t count, void* self)
    {
        auto* client = static_cast<CurlFtpClient*>(self);
        const qint64 got = client->m_file->read(buffer, static_cast<qint64>(size * count));
        return got < 0 ? CURL_READFUNC_ABORT : static_cast<size_t>(got);
    }

    FtpClientOptions m_options;
    CURL* m_curl = nullptr;
    bool m_connected = false;
    QByteArray m_base;
    QByteArray m_url;
    QFile* m_file = nullptr;
    WorkMode m_mode = WorkMode::Read;
    bool m_reportWork = false;
    curl_off_t m_lastCount = -1;
    std::exception_ptr m_callbackError;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
};

}  // namespace

std::unique_ptr<FtpClient> CreateCurlFtpClient(const FtpClientOptions& options)
{
    return std::make_unique<CurlFtpClient>(options);
}

}  // namespace platform
