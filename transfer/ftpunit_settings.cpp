// The FTP module's values and its connection record.
#include "transfer/ftpunit.h"

#include "framework/felles.h"
#include "framework/kv_reg.h"
#include "transfer/serveroppsett.h"

#include <QFileInfo>

namespace {
const QString kFtpKind = QStringLiteral("FTP");

// The name with the extension replaced, in the file's own folder: only the name part goes
// through ReplaceExtension, so a dot in a folder name never moves the file to another folder.
QString DownloadName(const QString& fileName, const QString& extension)
{
    const qsizetype cut = fileName.lastIndexOf(QLatin1Char('/'));
    const QString folder = fileName.left(cut + 1);
    const QString name = fileName.mid(cut + 1);
    const QString replaced = folder + ReplaceExtension(name, extension);
    // "bilde.tmp" would download over itself: the extension goes after the whole name instead.
    return replaced == fileName ? fileName + QLatin1Char('.') + extension : replaced;
}
}  // namespace

FtpState& ftpState()
{
    static FtpState state;
    return state;
}

void ResetFtpState() { ftpState() = FtpState{}; }

int LocalFileSize(const QString& path) { return FileSizeOf(path); }

QString DownloadTempName(const QString& fileName) { return DownloadName(fileName, QStringLiteral("tmp")); }
QString DownloadOldName(const QString& fileName) { return DownloadName(fileName, QStringLiteral("old")); }

void LoadFtpSettings()
{
    FtpState& s = ftpState();
    IniSection(ServerSettingSection(kFtpKind));
    s.FtpHost = IniReadString(QStringLiteral("server"));
    s.FtpUser = IniReadString(QStringLiteral("username"));
    s.FtpPassword = UnscrambleText(IniReadString(QStringLiteral("password")));
    // The stored port is used for the connection (a missing or unusable one means 21).
    s.FtpPort = IniReadInteger(QStringLiteral("port"));
    // "SSL" on asks for an encrypted connection.
    s.FtpSsl = IniReadBool(QStringLiteral("SSL"));
    // The folder the user set in the dialog applies unless a caller chose one of its own.
    if (s.FtpFolder.isEmpty() || s.FtpFolder == s.recordFolder) {
        s.FtpFolder = IniReadString(QStringLiteral("folder"));
        s.recordFolder = s.FtpFolder;
    }
    IniStandard();
}

void WriteFtpDefaults()
{
    IniSection(ServerSettingSection(kFtpKind));
    IniWriteString(QStringLiteral("name"), QStringLiteral("Tavlund FTP-server"));
    IniWriteString(QStringLiteral("server"), QString::fromLatin1(MakerFtpHost));
    IniWriteString(QStringLiteral("folder"), QString());
    IniWriteString(QStringLiteral("username"), QString::fromLatin1(FtpGuestUser));
    IniWriteString(QStringLiteral("password"), ScrambleText(QString::fromLatin1(FtpGuestPassword)));
    IniWriteInteger(QStringLiteral("port"), FtpStandardPort);
    IniStandard();
}

void EnsureFtpSettings()
{
    LoadFtpSettings();
    FtpState& s = ftpState();
    if (s.FtpHost.isEmpty()) {
        WriteFtpDefaults();
        EditServerSetting(QStringLiteral("Oppsett FTP-server"), kFtpKind);
        LoadFtpSettings();
    }
    if (s.FtpUser.isEmpty())
        s.FtpUser = QString::fromLatin1(FtpGuestUser);
    if (s.FtpPassword.isEmpty())
        s.FtpPassword = QString::fromLatin1(FtpGuestPassword);
}
