// TFTPform: the transfer window, its client's notifications, and the upload and download steps.
#include "transfer/ftpunit.h"

#include "framework/felles.h"
#include "framework/textfil.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QShowEvent>
#include <QStatusBar>

#include <algorithm>
#include <climits>

namespace {

TFTPform* s_instance = nullptr;

// Between two event rounds while a transfer runs; the progress callback comes far more often.
constexpr qint64 kPaintIntervalMs = 40;

QString FileNamePart(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }
QString FolderPart(const QString& path) { return path.left(path.lastIndexOf(QLatin1Char('/')) + 1); }

void Log(const QString& message) { LogLine(QStringLiteral("FTP: ") + message); }

std::unique_ptr<platform::FtpClient> NewClient()
{
    const auto& factory = ftpState().clientFactory;
    return factory ? factory() : platform::CreateCurlFtpClient();
}

}  // namespace

TFTPform::TFTPform(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FTPform"));
    setWindowTitle(QStringLiteral("FTP"));
    // A transfer window left open never keeps the program running on its own.
    setAttribute(Qt::WA_QuitOnClose, false);
    move(240, 180);
    resize(209, 64);

    ftpfil = new QLabel(QStringLiteral("filnavn.ending"), this);
    ftpfil->setObjectName(QStringLiteral("ftpfil"));
    ftpfil->setAlignment(Qt::AlignCenter);
    ftpfil->setGeometry(4, 2, 201, 16);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(4, 20, 201, 16);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    // Panel 0 is 60 pixels wide; the last panel, 50 pixels at the least, reaches the right edge,
    // as a status bar's last part does, so "Laster ned data" fits.
    m_panels[0] = new QLabel(QStringLiteral("0"), StatusBar1);
    m_panels[0]->setFixedWidth(60);
    m_panels[0]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_panels[1] = new QLabel(QStringLiteral("Klar"), StatusBar1);
    m_panels[1]->setMinimumWidth(50);
    StatusBar1->addWidget(m_panels[0]);
    StatusBar1->addWidget(m_panels[1], 1);

    m_client = NewClient();
    IdFTP1 = m_client.get();
    IdFTP1->OnConnected = [this] { IdFTP1Connected(); };
    IdFTP1->OnDisconnected = [this] { IdFTP1Disconnected(); };
    IdFTP1->OnWork = [this](qint64 count) { IdFTP1Work(count); };
    // The start of a transfer is shown too, so the state reads what is going on.
    IdFTP1->OnWorkBegin = [this](platform::FtpClient::WorkMode mode) { IdFTP1WorkBegin(mode); };

    s_instance = this;
}

TFTPform::~TFTPform()
{
    IdFTP1->OnConnected = nullptr;
    IdFTP1->OnDisconnected = nullptr;
    IdFTP1->OnWork = nullptr;
    IdFTP1->OnWorkBegin = nullptr;
    if (s_instance == this)
        s_instance = nullptr;
}

TFTPform* TFTPform::instance() { return s_instance; }

void TFTPform::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int h = StatusBar1->sizeHint().height();
    StatusBar1->setGeometry(0, height() - h, width(), h);
}

void TFTPform::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFTPform::FormShow()
{
    setWindowTitle(ftpState().FtpHost);
    ftpfil->clear();
    ftpfil->repaint();
}

void TFTPform::IdFTP1Connected()
{
    m_panels[1]->setText(QStringLiteral("Tilkoblet"));
    StatusBar1->repaint();
    keepPainted(true);
}

void TFTPform::IdFTP1Disconnected()
{
    m_panels[1]->setText(QStringLiteral("Frakoblet"));
    StatusBar1->repaint();
    keepPainted(true);
}

void TFTPform::IdFTP1WorkBegin(platform::FtpClient::WorkMode mode)
{
    m_panels[1]->setText(mode == platform::FtpClient::WorkMode::Read ? QStringLiteral("Laster ned data")
                                                                      : QStringLiteral("Laster opp data"));
    StatusBar1->repaint();
    keepPainted(true);
}

void TFTPform::IdFTP1Work(qint64 count)
{
    ProgressBar1->setValue(static_cast<int>(std::min<qint64>(count, ProgressBar1->maximum())));
    m_panels[0]->setText(QString::number(count));
    keepPainted(false);
}

// The transfer blocks the one thread, so the window is kept current here: the changed parts are
// repainted and the window-system events (exposure, moves) are handled. Input to the rest of the
// program waits until the transfer is over.
void TFTPform::keepPainted(bool now)
{
    const qint64 clock = QDateTime::currentMSecsSinceEpoch();
    if (!now && clock - m_lastPaint < kPaintIntervalMs)
        return;
    m_lastPaint = clock;
    if (!isVisible())
        return;
    ProgressBar1->repaint();
    StatusBar1->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TFTPform::showTransfer(const QString& Filnavn)
{
    show();
    raise();
    ftpfil->setText(FileNamePart(Filnavn));
    ftpfil->repaint();
    keepPainted(true);
}

void TFTPform::setProgressMaximum(qint64 size)
{
    // A range of 0..0 would make the bar a busy indicator; an empty file shows an empty bar.
    ProgressBar1->setMaximum(static_cast<int>(std::clamp<qint64>(size, 1, INT_MAX)));
}

void TFTPform::useSettings()
{
    const FtpState& s = ftpState();
    IdFTP1->Host = s.FtpHost;
    IdFTP1->Username = s.FtpUser;
    IdFTP1->Password = s.FtpPassword;
    IdFTP1->Port = s.FtpPort;
    IdFTP1->UseTls = s.FtpSsl;
}

// ---------------------------------------------------------------------------------------------
// Upload

void TFTPform::SendFil(const QString& Filnavn)
{
    FtpState& s = ftpState();
    s.FtpError = 0;
    showTransfer(Filnavn);
    Log(QStringLiteral("Starter ny sesjon for opplasting av ") + Filnavn);

    ProgressBar1->setValue(0);
    const int size = LocalFileSize(Filnavn);
    if (size < 0) {
        Log(QString::fromUtf8("Kan ikke finne filstørrelse, avbryter."));
        close();
        return;
    }
    setProgressMaximum(size);

    EnsureFtpSettings();
    useSettings();
    Log(QStringLiteral("Kobler til ") + IdFTP1->Host + QStringLiteral(" som bruker ") + IdFTP1->Username);
    try {
        IdFTP1->Connect();
    } catch (const platform::FtpClientError& e) {
        Log(QStringLiteral("Feil nr. 502, kunne ikke koble til"));
        Log(QString::fromStdString(e.what()));
        s.FtpError = 502;
    }

    if (IdFTP1->Connected()) {
        if (!s.FtpFolder.isEmpty() && !s.FtpFolder.endsWith(QLatin1Char('/'))) {
            const bool fromRecord = s.FtpFolder == s.recordFolder;
            s.FtpFolder += QLatin1Char('/');
            if (fromRecord)
                s.recordFolder = s.FtpFolder;
        }
        const QString remoteName = s.FtpFolder + FileNamePart(Filnavn);
        try {
            IdFTP1->Put(Filnavn, remoteName);
        } catch (const std::exception& e) {
            // A failed store is the transfer's failure too: it is logged, the connection and the
            // window are closed and the number set before the error goes on to the caller.
            const QString reason = QString::fromStdString(e.what());
            Log(QStringLiteral("Feil nr. 502, kunne ikke laste opp ") + Filnavn + QStringLiteral(" som ") +
                remoteName + QStringLiteral(": ") + reason);
            IdFTP1->Disconnect();
            Log(QStringLiteral("Kobler fra."));
            s.FtpError = 502;
            close();
            if (dynamic_cast<const platform::FtpClientError*>(&e))
                throw platform::FtpClientError(
                    (QStringLiteral("Kunne ikke laste opp ") + Filnavn + QStringLiteral(": ") + reason).toStdString());
            throw;
        }
        IdFTP1->Disconnect();
        Log(QStringLiteral("Kobler fra."));
    }
    close();
}

// ---------------------------------------------------------------------------------------------
// Download

void TFTPform::HentFil(const QString& Filnavn)
{
    FtpState& s = ftpState();
    s.FtpError = 0;
    showTransfer(Filnavn);
    const QString fileName = FileNamePart(Filnavn);
    Log(QStringLiteral("Starter ny sesjon for nedlasting av ") + fileName + QStringLiteral(" til ") +
        FolderPart(Filnavn));
    ProgressBar1->setValue(0);

    EnsureFtpSettings();
    // A folder without its closing slash still names a folder: "pub" asks for pub/<file>.
    if (!s.FtpFolder.isEmpty() && !s.FtpFolder.endsWith(QLatin1Char('/'))) {
        const bool fromRecord = s.FtpFolder == s.recordFolder;
        s.FtpFolder += QLatin1Char('/');
        if (fromRecord)
            s.recordFolder = s.FtpFolder;
    }
    const QString remoteName = s.FtpFolder + fileName;
    const QString tempName = DownloadTempName(Filnavn);
    const QString oldName = DownloadOldName(Filnavn);

    useSettings();
    Log(QStringLiteral("Kobler til ") + IdFTP1->Host + QStringLiteral(" som bruker ") + IdFTP1->Username);
    repaint();
    keepPainted(true);

    qint64 size = -1;
    QString failure;
    try {
        IdFTP1->Connect();
        size = IdFTP1->Size(remoteName);
        if (size > INT_MAX)
            failure = QStringLiteral("filen er for stor (%1 byte)").arg(size);
    } catch (const platform::FtpClientError& e) {
        failure = QString::fromStdString(e.what());
    }
    if (!failure.isEmpty()) {
        Log(QStringLiteral("Feil nr. 501, kunne ikke koble til ") + IdFTP1->Host + QStringLiteral(" med brukernavn ") +
            IdFTP1->Username);
        Log(failure);
        s.FtpError = 501;
    } else if (size == -1) {
        Log(QStringLiteral("finner ikke filen ") + remoteName + QStringLiteral(", avbryter forbindelse"));
        IdFTP1->Disconnect();
        Log(IdFTP1->Host + QStringLiteral(" frakoblet"));
        return;
    } else {
        setProgressMaximum(size);
        Log(QStringLiteral("filstørrelse ") + QString::number(size));
    }

    if (IdFTP1->Connected()) {
        Log(QStringLiteral("Tilkoblet, henter filen ") + remoteName);
        try {
            IdFTP1->Get(remoteName, tempName);
        } catch (const platform::FtpClientError& e) {
            Log(QStringLiteral("Feil nr. 500, kan ikke laste ned filen ") + Filnavn +
                QStringLiteral(". Sjekk at filen ikke er i bruk."));
            Log(QString::fromStdString(e.what()));
            s.FtpError = 500;
        }
        IdFTP1->Disconnect();
        Log(QStringLiteral("Kobler fra."));
    }
    close();

    if (s.FtpError == 0 && FileSizeOf(tempName) > 0)
        installDownload(Filnavn, tempName, oldName);
}

// Each step is tried whatever became of the one before; a file that cannot be moved aside leaves
// the new copy under the temporary name. A rename never replaces an existing file.
void TFTPform::installDownload(const QString& Filnavn, const QString& tempName, const QString& oldName)
{
    if (QFile::remove(oldName))
        Log(QStringLiteral("slettet midlertidig fil: ") + oldName);
    if (QFile::rename(Filnavn, oldName))
        Log(QString::fromUtf8("endret navn på ") + Filnavn + QStringLiteral(" til ") + oldName);
    if (QFile::rename(tempName, Filnavn))
        Log(QString::fromUtf8("endret navn på ") + tempName + QStringLiteral(" til ") + Filnavn);
}
