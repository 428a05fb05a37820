// The data folders: logical names resolved through section "FOLDERS", the default tree under
// DataRoot, and the folders the program itself needs (log, bin).
//
// A logical name's entry is its name followed by "_folder"; the value is a folder path ending in
// '/'. Names may hold a '/' ("data/knuteban"), and so does their key then.
#include "framework/kv_reg.h"
#include "framework/kv_reg_internal.h"
#include "framework/textfil.h"
#include "platform/environment.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

using namespace kvreg;

namespace {

const QString kFolders = QStringLiteral("FOLDERS");

bool IsFolder(const QString& path) { return !path.isEmpty() && QFileInfo(path).isDir(); }

// The folder of the program file, with its trailing '/'.
QString ProgramFolder()
{
    return WithSlash(QFileInfo(ProgramPath()).absolutePath());
}

}  // namespace

const QStringList& FolderTreeNames()
{
    static const QStringList names = {
        "archive", "backup", "data", "data/knuteban", "data/vekto", "data/rb2", "data/docs",
        "data/lsk", "etc", "export", "export/xml", "export/pdf", "export/csv", "export/html",
        "export/html/varer", "import", "images", "spool", "tmp", "xml", "log", "maler",
        "maler/docs", "maler/rb2"};
    return names;
}

// APPDATA + "/Tavlund/"; every default folder lies below it.
QString DataRoot() { return platform::EnvironmentValue("APPDATA") + "/Tavlund/"; }

// The folder of a logical name, ending in '/'. The empty name is DataRoot itself and touches
// nothing. Any other name is looked up in FOLDERS (default DataRoot + name + '/'); a missing
// folder is created (and the creation logged) only when DataRoot occurs in its path, letter case
// counting, and never for "bin". The result is registered and the settings file flushed; a
// flush that fails throws SettingsError with CurrentSection put back.
QString tavlundpath(const QString& name)
{
    const QString base = DataRoot();
    if (name.isEmpty())
        return base;
    SectionGuard section(kFolders);
    QString path = IniReadString(name + "_folder");
    if (path.isEmpty())
        path = base + name + "/";
    if (!IsFolder(path) && name != QLatin1String("bin") && path.contains(base)) {
        LogLine("kv_reg.tavlundpath(" + name + "): Lager mappen " + path);
        QDir().mkpath(path);
    }
    path = WithSlash(path);
    StoreFolder(name, path);
    FlushSettings();
    return path;
}

// Registers a folder for a logical name, with a trailing '/' unless the path is empty. Not
// flushed.
void StoreFolder(const QString& name, const QString& path)
{
    SectionGuard section(kFolders);
    IniWriteString(name + "_folder", WithSlash(path));
}

// Creates one folder (its parent must exist) and logs the outcome: "Oppretter mappen " on
// success, else the "FEIL: [mkdirsafe:" line with errno. A folder that exists counts as failure.
void mkdirsafe(const QString& path)
{
    QString target = path;
    while (target.size() > 1 && target.endsWith(QLatin1Char('/')))
        target.chop(1);
    if (::mkdir(QFile::encodeName(target).constData(), 0777) != 0) {
        const int code = errno;
        LogLine("FEIL: [mkdirsafe:" + QString::number(code) + "] kan ikke opprette mappen " + path);
    } else {
        LogLine("Oppretter mappen " + path);
    }
}

// Makes the default tree: registers "bin" and "doc" (beside the program's folder, not made),
// then creates and registers every tree folder at its default place, replacing redirections.
void CreateFolderTree()
{
    const QString binpath = BinFolder();
    StoreFolder(QStringLiteral("doc"), QDir::cleanPath(binpath + "../doc"));
    const QString root = DataRoot();
    if (!IsFolder(root))
        QDir().mkpath(root);
    for (const QString& name : FolderTreeNames()) {
        mkdirsafe(root + name);
        StoreFolder(name, root + name);
    }
}

// The log folder, made when missing. A redirection to a folder that is not there falls back
// to the default APPDATA + "/Tavlund/log/".
QString LogFolder()
{
    const QString path = tavlundpath(QStringLiteral("log"));
    if (!IsFolder(path)) {
        StoreFolder(QStringLiteral("log"), platform::EnvironmentValue("APPDATA") + "/Tavlund/log/");
        QDir().mkpath(tavlundpath(QStringLiteral("log")));
    }
    return tavlundpath(QStringLiteral("log"));
}

// The program's own folder, registered anew as "bin" at every call. Never created.
QString BinFolder()
{
    StoreFolder(QStringLiteral("bin"), ProgramFolder());
    return tavlundpath(QStringLiteral("bin"));
}
