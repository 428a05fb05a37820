// Emptying the temporary folders at start-up: always the framework's own tmp folder, on request
// also the user's TEMP folder, the Windows temp folder and the printer spool folder. Each named
// folder stays, emptied; every file and subfolder inside it goes.
//
// Links are never followed. A symbolic link inside a cleaned folder is an entry of its own and is
// removed as a link; the folder or file it points to is not touched. Subfolders are opened
// relative to their parent and without following a link, so a subfolder that is swapped for a
// link while the clean-up runs is not entered either. Only the folder the caller names may itself
// be a link to a folder.
#include "framework/kv_reg.h"
#include "framework/kv_reg_internal.h"
#include "framework/textfil.h"
#include "framework/uihooks.h"
#include "platform/environment.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kvreg;

namespace {

const QChar kSlash = QLatin1Char('/');

// One entry of a folder listing, classified as the listing found it.
struct FolderEntry {
    QByteArray raw;         // the name as the file system holds it (any bytes)
    QString name;           // the name as text, for the log
    QString sortKey;        // the name upper-cased
    bool folder = false;    // a real folder; a link to a folder is not one
    bool readOnly = false;  // a file whose mode grants no write bit
    mode_t mode = 0;
};

// Every entry of the open folder, hidden ones included, without "." and "..", in the order the
// framework's folder search gives them: by upper-cased name (code units), names that differ only
// in letter case in their byte order.
QList<FolderEntry> ListFolder(int dirFd)
{
    QList<FolderEntry> entries;
    // fdopendir takes over the descriptor it is given; the caller keeps its own.
    const int listFd = ::dup(dirFd);
    if (listFd < 0)
        return entries;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return entries;
    }
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray raw(e->d_name);
        if (raw == "." || raw == "..")
            continue;
        FolderEntry entry;
        entry.raw = raw;
        entry.name = QFile::decodeName(raw);
        entry.sortKey = entry.name.toUpper();
        struct stat st {};
        if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            entry.mode = st.st_mode;
            entry.folder = S_ISDIR(st.st_mode);
            entry.readOnly = !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode) &&
                             (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
        } else {
            entry.folder = e->d_type == DT_DIR;
        }
        entries.append(entry);
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        if (a.sortKey != b.sortKey)
            return a.sortKey < b.sortKey;
        return a.raw < b.raw;
    });
    return entries;
}

// Empties `folder` (text ending in '/', for the log and the top-folder test) and removes it
// unless it is the top folder. `parentFd` and `entry` locate the folder: a name inside the open
// parent folder, or a path relative to the working folder with AT_FDCWD. Only the top folder is
// opened through a link.
void DeleteContents(int parentFd, const QByteArray& entry, const QString& folder, const QString& top)
{
    BusyCursor busy;
    if (logState().VerboseLogging)
        LogLine("Sletter mappen " + folder);

    const bool isTop = folder == top;
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (isTop ? 0 : O_NOFOLLOW);
    // A folder that cannot be opened or listed is treated as empty.
    const int dirFd = ::openat(parentFd, entry.constData(), flags);
    if (dirFd >= 0) {
        for (const FolderEntry& e : ListFolder(dirFd)) {
            if (e.folder) {
                DeleteContents(dirFd, e.raw, folder + e.name + kSlash, top);
                continue;
            }
            // Read-only means no write bit; clearing it means giving the owner the write bit.
            // The entry is known not to be a link, and the change is made without following one.
            if (e.readOnly)
                ::fchmodat(dirFd, e.raw.constData(), (e.mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW);
            if (logState().VerboseLogging)
                LogLine("Sletter " + folder + e.name);
            // An entry that is gone already (removed by someone else meanwhile) needs no deleting.
            if (::unlinkat(dirFd, e.raw.constData(), 0) != 0 && errno != ENOENT)
                LogLine("FEIL: kan ikke slette filen " + folder + e.name);
        }
        ::close(dirFd);
    }

    if (!isTop && ::unlinkat(parentFd, entry.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT)
        LogLine("FEIL: kan ikke slette mappen " + folder);
}

}  // namespace

// Deletes every file in `folder` (ending in '/') and every subfolder with its content, in
// listing order, logging "Sletter mappen " and "Sletter " lines in detailed logging and a "FEIL:"
// line for each file or folder that stays; `folder` itself goes too unless it is `topFolder`.
// Read-only files get the owner's write bit first. Shows the busy cursor while it runs.
void DeleteFolderContents(const QString& folder, const QString& topFolder)
{
    QByteArray entry = QFile::encodeName(folder);
    // A folder below the top is opened without following a link; that needs its own name as the
    // last part of the path, not a trailing slash (which would make the system follow the link).
    if (folder != topFolder) {
        while (entry.size() > 1 && entry.endsWith('/'))
            entry.chop(1);
    }
    DeleteContents(AT_FDCWD, entry, folder, topFolder);
}

// Empties one folder and keeps it. Skipped silently when the path (with its '/') is shorter
// than 7 characters or names no folder; a link to a folder counts as the folder.
void CleanFolder(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString folder = WithSlash(path);
    // The length test keeps the root and very short paths out.
    if (folder.size() < 7)
        return;
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    DeleteFolderContents(folder, folder);
}

// The clean-up run of start-up: the framework's tmp folder, and with includeSystem the TEMP
// folder, WINDIR's temp folder and the spool folder, each only when its path passes its test.
void CleanTemporaryFiles(bool includeSystem)
{
    LogLine(QStringLiteral("Sletter midlertidige filer opprettet av Tavlund programmer"));

    // The containment tests look at the whole path, upper-cased, not at its last folder name.
    const QString tmp = tavlundpath(QStringLiteral("tmp"));
    if (tmp.size() > 3 && tmp.toUpper().contains(QLatin1String("TMP")))
        CleanFolder(tmp);

    if (!includeSystem)
        return;

    const QString temp = TempFolder() + kSlash;
    if (temp.size() > 3 && temp.toUpper().contains(QLatin1String("TEMP"))) {
        LogLine(QStringLiteral("Sletter midlertidige filer i Windows"));
        CleanFolder(temp);
        // Linux has no Windows folder: WINDIR is normally unset, and an unset or empty WINDIR
        // must not become "/temp/", a folder at the root of the file system. The length test of
        // CleanFolder would refuse that six-letter path as well; the clean-up does not lean on it.
        const QString windir = platform::EnvironmentValue(QStringLiteral("WINDIR"));
        if (!windir.isEmpty())
            CleanFolder(windir + "/temp/");
    }

    const QString spool = SpoolFolder();
    if (spool.toUpper().contains(QLatin1String("SPOOL"))) {
        LogLine(QStringLiteral("Sletter skriverkøer"));
        CleanFolder(spool);
    }
}
