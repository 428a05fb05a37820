#pragma once
// The settings unit: the one settings document and its typed operations, window placements,
// the command line and the framework's start and end, the data folders, temporary-file
// clean-up, environment queries, the desktop shortcut and the updater start.
//
// Everything here runs on the GUI thread; the process-wide state lives in settingsState() and
// startupState() and is put back by ResetSettingsState().
#include <QSize>
#include <QString>
#include <QStringList>
#include <stdexcept>

#include "framework/inidocument.h"

// A settings file that could not be read or written.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------------------------
// Process-wide state

struct SettingsState {
    IniDocument document;                    // the document in place (main or per-user)
    QString documentPath;                    // the file it was read from and is flushed to
    QString CurrentSection = QStringLiteral("STANDARD");
    QString SettingsPath = QStringLiteral("tavlund.ini");  // full path once located
    QString SettingsFolder;                  // folder of SettingsPath, ending in '/'
    QString cachedUser;                      // CurrentUser's name as found, not upper-cased
    bool opened = false;                     // the main document has been read
};

struct StartupState {
    bool installRequest = false;
    QString IpOverride;
    QString UserOverride;
    QString programPath;                     // the program's full path (argument 0)
    QStringList arguments;                   // arguments 1..N as given
    bool started = false;                    // FrameworkStartup has run
    bool shutDown = false;                   // FrameworkShutdown has run
    bool updateRequested = false;            // StartProgramUpdate ended the event loop
};

SettingsState& settingsState();
StartupState& startupState();
void ResetSettingsState();

// The program's title text, shown as the heading of the system-information window.
QString& ProgramTitle();

// ---------------------------------------------------------------------------------------------
// Program entry

// Scans arguments 1..N (args[0] is the program): whole-argument, case-sensitive option words;
// a value option takes the next argument, which is still examined in its own turn; later values
// win. "--debug" and "-install" switch LogToFile and VerboseLogging on, "-install" also asks for
// the folder tree, "-ip" and "--user" take values.
void ScanCommandLine(const QStringList& args);

// The framework's start, once per process: command line, settings file, data folders, the
// start-up switches and the start lines. Throws SettingsError when the settings file exists but
// cannot be read.
void FrameworkStartup(const QStringList& args);

// The framework's end, once per process: saves the settings file (unless read-only) and, in
// detailed logging, writes the summary of the run.
void FrameworkShutdown();

// ---------------------------------------------------------------------------------------------
// Settings document. The typed operations work on CurrentSection and never write to disk.
// Names of sections and keys are matched without regard to letter case. Booleans are stored as
// "1"/"0" and read as integers (non-zero is true). Integers are read as decimal with an optional
// sign, or hexadecimal after "0x", "0X" or "$"; what does not parse reads as the default.

void IniSection(const QString& section);
void IniStandard();
QString IniReadString(const QString& key);
void IniWriteString(const QString& key, const QString& value);
bool IniReadBool(const QString& key);
void IniWriteBool(const QString& key, bool value);
int IniReadInteger(const QString& key);
void IniWriteInteger(const QString& key, int value);

// Parses an integer setting; false when the text is no integer.
bool ParseIniInteger(const QString& text, int* value);

// Locates the main settings file (working folder first, else APPDATA/Tavlund/etc/, created when
// missing) and fixes SettingsPath and SettingsFolder.
void LocateSettingsFile();
// Reads the main document from SettingsPath and writes the INI_SELF keys (CREATED_ only for a
// new file). Throws SettingsError when the file exists but cannot be read.
void OpenSettingsFile();

// Writes the document in place to its file (atomically). A read-only file is left as it is and
// false is returned; a file that cannot be written throws SettingsError.
bool FlushSettings();

// Reads the document of a settings file: empty when the file does not exist; throws
// SettingsError when it exists but cannot be read.
IniDocument ReadSettingsDocument(const QString& path);

// The user name, upper-cased with full case mapping: the "--user" value, else the logged-on
// user, else "BRUKER". Looked up once per process.
QString CurrentUser();

// The per-user placement file: SettingsFolder + CurrentUser + ".INI".
QString UserSettingsFile();

// A window's placement in screen pixels (outer bounds).
struct WindowPlacement {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool maximized = false;
};

// Stores the placement in section "VINDU-" + name of the per-user file.
void SaveWindowPos(const WindowPlacement& window, const QString& name, const QString& diverse = {});
// Restores the placement from the per-user file into window; screen is the primary screen's
// size. A stored left/top beyond the screen is pulled back by the window's current size. With
// diverse "OnlyPos" the stored size is not applied. On return diverse holds the stored text.
void LoadWindowPos(WindowPlacement& window, const QSize& screen, const QString& name, QString& diverse);

// ---------------------------------------------------------------------------------------------
// Data folders. Folder paths end in '/'.

QString DataRoot();                            // APPDATA + "/Tavlund/"
QString tavlundpath(const QString& name);      // logical folder name to folder path
void StoreFolder(const QString& name, const QString& path);
void mkdirsafe(const QString& path);
void CreateFolderTree();
QString LogFolder();
QString BinFolder();

// The 24 folders of the data tree, in creation order, with '/' between levels.
const QStringList& FolderTreeNames();

// ---------------------------------------------------------------------------------------------
// Start-up housekeeping

void LoginInfoLine();

// ---------------------------------------------------------------------------------------------
// Temporary-file clean-up. Deleting never leaves the folder asked for: its path is resolved
// to its real absolute form before any test; the root, the home folder, the settings folder,
// the data root and the folders above them are never emptied; links are not followed; entries
// on another file system (mount points) are left alone; the print spool is emptied through the
// print server, never by deleting its files.

// The start-up run: the tmp folder, and with includeSystem the TEMP folder, WINDIR's temp
// folder and the print queues.
void CleanTemporaryFiles(bool includeSystem);
// Empties one folder and keeps it.
void CleanFolder(const QString& path);

// ---------------------------------------------------------------------------------------------
// Environment queries: each asks again on every call.

QString TempFolder();
QString HostsFolder();
QString NotesDataFolder();
QString MachineName();
QString NetworkDomain();
QString SpoolFolder();
QString LogonUserName();
QString MachineAddress();
QString OsVersionText();
extern const QStringList PlatformNames;

// ---------------------------------------------------------------------------------------------
// Desktop shortcut and updater

QString DesktopFolder();
void CreateDesktopShortcut();
void StartProgramUpdate();

// The maker's web site, opened by the viewer's "Tavlund på internett".
inline constexpr const char* MakerWebAddress = "https://www.tavlund.no/";
