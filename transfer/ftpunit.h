#pragma once
// The FTP module: one file at a time between the local disk and the server of the settings
// section "SERVER-SETTING-FTP". SendFil uploads, HentFil downloads and puts the new copy in place
// of the local file, keeping the previous one with the extension "old". The window TFTPform shows
// the file name, the progress and the connection state while a transfer runs; every step is
// logged with the prefix "FTP: ". Nothing in this program starts a transfer: SendFil and HentFil
// stand ready for callers, who read FtpError afterwards.
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/ftpclient.h"

class QLabel;
class QProgressBar;
class QStatusBar;

// The maker's download server, the connection used until a record says otherwise.
inline constexpr const char* MakerFtpHost = "ftp.tavlund.no";
// The guest login of anonymous FTP (RFC 1635) and the password the maker's server expects of it.
inline constexpr const char* FtpGuestUser = "anonymous";
inline constexpr const char* FtpGuestPassword = "fjordvind";
inline constexpr int FtpStandardPort = 21;

// The module's process-wide values.
struct FtpState {
    QString FtpHost = QString::fromLatin1(MakerFtpHost);
    // Put in front of remote file names. A caller may set it; while it is empty (or still holds
    // what was taken from the record) it follows the record's "folder" key at every transfer.
    QString FtpFolder;
    QString FtpUser = QString::fromLatin1(FtpGuestUser);
    QString FtpPassword = QString::fromLatin1(FtpGuestPassword);
    int FtpPort = FtpStandardPort;
    bool FtpSsl = false;  // the record's "SSL": explicit FTPS
    // Outcome of the last transfer: 0, 500 (download failed), 501 (download: connecting or the
    // size request failed), 502 (upload: connecting or storing failed).
    int FtpError = 0;
    // The FtpFolder value last taken from the record, so that a value the caller set is told
    // apart from one that should follow the record.
    QString recordFolder;
    // Makes the client of a new TFTPform: libcurl with the standard limits unless replaced
    // (tests shorten the limits and name the certificate of their own TLS server).
    std::function<std::unique_ptr<platform::FtpClient>()> clientFactory;
};

FtpState& ftpState();
void ResetFtpState();

// The size of a local file in bytes, or -1 when it cannot be opened for reading and writing
// (missing, read-only, a folder, no access). A file of 2 GiB or more gives 2147483647.
int LocalFileSize(const QString& path);

// Reads the record "SERVER-SETTING-FTP": host, user name, unscrambled password, port and SSL,
// and the folder when FtpFolder is not the caller's own. STANDARD is current again afterwards.
void LoadFtpSettings();
// Writes the default record (the maker's server, guest login, port 21). STANDARD afterwards.
void WriteFtpDefaults();
// Loads the record; with no server in it, writes the defaults and lets the user edit them in the
// server settings dialog (modal), then loads again. An empty user name or password becomes the
// guest login.
void EnsureFtpSettings();

// The temporary and the old name of a download into fileName: its name with the extension "tmp"
// or "old" (cut after the name's first dot), in the same folder. When that is the file's own
// name, the extension is added to the whole name instead.
QString DownloadTempName(const QString& fileName);
QString DownloadOldName(const QString& fileName);

class TFTPform : public QWidget {
    Q_OBJECT
public:
    explicit TFTPform(QWidget* parent = nullptr);
    ~TFTPform() override;

    // The window created at start-up (the last one created), or null.
    static TFTPform* instance();

    // Uploads the local file (full path) to FtpFolder + its file name. A failure to store it is
    // logged, the connection and the window are closed and FtpError is 502 before the error
    // (platform::FtpClientError) goes on to the caller.
    void SendFil(const QString& Filnavn);
    // Downloads FtpFolder + the file name of Filnavn into the temporary name and, when that
    // succeeded with at least one byte, installs it as Filnavn, keeping the previous copy under
    // the old name. A failed download leaves Filnavn and the old copy as they were.
    void HentFil(const QString& Filnavn);

    platform::FtpClient* IdFTP1 = nullptr;
    QLabel* ftpfil = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    // The status bar's panels: 0 the bytes moved, 1 the connection state.
    QLabel* StatusPanel(int index) const { return m_panels[index]; }

    // Handlers, attached to the client's notifications.
    void IdFTP1Connected();
    void IdFTP1Disconnected();
    void IdFTP1Work(qint64 count);
    void IdFTP1WorkBegin(platform::FtpClient::WorkMode mode);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormShow();
    void showTransfer(const QString& Filnavn);
    void setProgressMaximum(qint64 size);
    void useSettings();
    void keepPainted(bool now);
    void installDownload(const QString& Filnavn, const QString& tempName, const QString& oldName);

    std::unique_ptr<platform::FtpClient> m_client;
    QLabel* m_panels[2] = {nullptr, nullptr};
    qint64 m_lastPaint = 0;
};
