// The desktop folder, the desktop shortcut to the program and the start of the updater.
#include "framework/felles.h"
#include "framework/kv_reg.h"
#include "framework/kv_reg_internal.h"
#include "framework/textfil.h"
#include "platform/environment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace kvreg;

namespace {

// The desktop named by the XDG user-dirs file: XDG_DESKTOP_DIR="$HOME/Desktop" or an absolute
// path; ~/Desktop when the file or the entry is missing.
QString XdgDesktopFolder()
{
    const QString home = platform::HomeFolder();
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = home + "/.config";
    QString desktop;
    QFile file(config + "/user-dirs.dirs");
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& raw : file.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (!line.startsWith(QLatin1String("XDG_DESKTOP_DIR=")))
                continue;
            QString value = line.mid(int(sizeof "XDG_DESKTOP_DIR=") - 1).trimmed();
            if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
                value = value.mid(1, value.size() - 2);
            if (value.startsWith(QLatin1String("$HOME")))
                value = home + value.mid(5);
            else if (value.startsWith(QLatin1String("${HOME}")))
                value = home + value.mid(7);
            if (QDir::isAbsolutePath(value))
                desktop = value;  // the last entry counts, as when the file is sourced
        }
    }
    if (desktop.isEmpty())
        desktop = home + "/Desktop";
    return WithSlash(QDir::cleanPath(desktop));
}

}  // namespace

QString DesktopFolder()
{
    if (platform::EnvironmentIsSet("USERPROFILE"))
        return platform::EnvironmentValue("USERPROFILE") + "/Skrivebord/";
    return XdgDesktopFolder();
}

void CreateDesktopShortcut()
{
    const QString program = ProgramPath();
    const QString path = DesktopFolder() + QFileInfo(program).fileName() + ".URL";
    const std::string failure = ("Unable to write to " + path).toStdString();

    // The file keeps its other sections and keys; one that cannot be read is not replaced.
    IniDocument document;
    try {
        document = ReadSettingsDocument(path);
    } catch (const SettingsError&) {
        throw SettingsError(failure);
    }
    const QString section = QStringLiteral("InternetShortcut");
    const std::pair<QString, QString> keys[] = {
        {QStringLiteral("URL"), "file://" + program},
        {QStringLiteral("IconIndex"), QStringLiteral("0")},
        {QStringLiteral("IconFile"), program},
    };
    // Each key reaches the file as it is set, so a failure leaves the keys before it written
    // and the ones after it not.
    for (const auto& [key, value] : keys) {
        document.setValue(section, key, value);
        if (IsReadOnlyFile(path) || !QFileInfo(path).dir().exists() || !ReplaceFile(path, document.toBytes()))
            throw SettingsError(failure);
    }
}

namespace {

// The updater's file in folder: the Linux program "oppdater", or the same program under its
// Windows name "oppdater.exe" (copied over from a Windows installation). Empty when neither is
// a file there.
QString UpdaterIn(const QString& folder)
{
    for (const char* name : {"oppdater", "oppdater.exe"}) {
        const QFileInfo file(folder + QLatin1String(name));
        if (file.exists() && !file.isDir())
            return QLatin1String(name);
    }
    return {};
}

}  // namespace

void StartProgramUpdate()
{
    QString bin = tavlundpath(QStringLiteral("bin"));
    QString updater = UpdaterIn(bin);
    if (updater.isEmpty()) {
        bin = BinFolder();
        // The program's own folder is used whether the updater is there or not.
        updater = UpdaterIn(bin);
        if (updater.isEmpty())
            updater = QStringLiteral("oppdater");
    }
    const QString program = ProgramPath();
    LogLine(QStringLiteral("Starter oppdatering av programmet..."));
    ShellOpen(bin + updater, program, bin);
    LogLine("Avslutter " + program + " for å oppdatere i fra internett.");
    // Leave the event loop at once: no window is closed, so the viewer's close handling does
    // not run; the end steps after the loop (shutdown report, settings, log) still do.
    startupState().updateRequested = true;
    QCoreApplication::exit(0);
}
