// The command line, the framework's start-up (with its housekeeping switches and start lines)
// and its shutdown report.
#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "platform/environment.h"

#include <QDir>
#include <QFileInfo>

void ScanCommandLine(const QStringList& args)
{
    StartupState& st = startupState();
    LogState& log = logState();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        const QString next = i + 1 < args.size() ? args.at(i + 1) : QString();
        if (arg == QLatin1String("--debug")) {
            log.LogToFile = true;
            log.VerboseLogging = true;
        }
        if (arg == QLatin1String("-install")) {
            log.LogToFile = true;
            log.VerboseLogging = true;
            st.installRequest = true;
        }
        if (arg == QLatin1String("-ip"))
            st.IpOverride = next;
        if (arg == QLatin1String("--user"))
            st.UserOverride = next;
    }
}

// The framework's start, once per process. In this order: the command line; the settings file
// located, opened and marked; its folder registered as "etc"; the data tree made when its "data"
// folder is missing or "-install" asked for it (once, however often it was given); then the
// switches of section STANDARD: LogToFile, the log cleared and loaded, temporary files cleaned,
// the log folder resolved (which writes the settings file), VerboseLogging settled; and the
// start lines. Lines logged before the switches follow the options' LogToFile.
void FrameworkStartup(const QStringList& args)
{
    StartupState& st = startupState();
    if (st.started)
        return;
    st.started = true;
    st.programPath = platform::ProgramFilePath();
    st.arguments = args.mid(1);

    ScanCommandLine(args);
    LocateSettingsFile();
    OpenSettingsFile();
    StoreFolder(QStringLiteral("etc"), settingsState().SettingsFolder);
    if (!QFileInfo(platform::EnvironmentValue("APPDATA") + "/Tavlund/data").isDir() || st.installRequest)
        CreateFolderTree();

    // The switches are read from STANDARD whatever the steps above left current.
    IniStandard();
    LogState& log = logState();
    log.LogToFile = IniReadBool(QStringLiteral("LogToFile"));
    if (IniReadBool(QStringLiteral("ClearLogFileOnStartup")))
        ClearLog();
    if (QFileInfo::exists(log.LogFilePath))
        LoadLog();
    if (IniReadBool(QStringLiteral("DeleteTemporaryFiles")))
        CleanTemporaryFiles(IniReadBool(QStringLiteral("DeleteSystemTemporaryFiles")));
    LogFolder();
    // An option's "on" stays; the key counts only together with LogToFile.
    if (!log.VerboseLogging)
        log.VerboseLogging = IniReadBool(QStringLiteral("VerboseLogging")) && log.LogToFile;
    if (log.LogToFile) {
        LogLine("START: " + st.programPath);
        LogLine("INIFIL: " + settingsState().SettingsPath);
        LogLine("BRUKER: " + CurrentUser());
        if (log.VerboseLogging)
            LoginInfoLine();
    }
}

// Logs the user's machine: the logged-on user (not a "--user" name), node name and domain
// (the dot even without a domain), and the address.
void LoginInfoLine()
{
    LogLine("LOGIN: " + LogonUserName() + "  node: " + MachineName() + "." + NetworkDomain() +
            " IP:" + MachineAddress());
}

// The framework's end, once per process, after every window is gone and before the log writes
// its file: the settings file is saved unless it is read-only (a failed save is logged as
// "INI-CRASH i KV_REG: " and the shutdown goes on), and in detailed logging the run is closed
// with the read-only warning or "Oppdaterer ", the counts of errors and warnings, and the hints.
void FrameworkShutdown()
{
    StartupState& st = startupState();
    if (st.shutDown)
        return;
    st.shutDown = true;

    SettingsState& s = settingsState();
    const bool readOnly = IsReadOnlyFile(s.SettingsPath);
    if (s.opened) {
        try {
            if (!readOnly)
                FlushSettings();
        } catch (const std::exception&) {
            LogLine("INI-CRASH i KV_REG: " + s.SettingsPath);
        }
        s.document = IniDocument{};
        s.opened = false;
    }

    LogState& log = logState();
    if (log.VerboseLogging) {
        if (readOnly)
            LogLine("ADVARSEL: " + s.SettingsPath + " er skrivebeskyttet og vil ikke bli lagret.");
        else
            LogLine("Oppdaterer " + s.SettingsPath);
        LogLine("AVSLUTTER PROGRAM. " + QString::number(log.ErrorCount) + " feilmeldinger og " +
                QString::number(log.WarningCount) + " advarsler");
        if (log.HintCount > 0)
            LogLine("Det ble gitt " + QString::number(log.HintCount) + " hint i programmet");
    }
}
