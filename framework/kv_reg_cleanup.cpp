// Emptying the temporary folders at start-up: always the framework's own tmp folder, on request
// also the user's TEMP folder and the Windows temp folder, and the print queues. Each named
// folder stays, emptied; every file and subfolder inside it goes.
//
// Deleting never leaves the folder asked for:
// - A folder path is resolved to its real absolute form ("..", ".", doubled slashes and links in
//   the path itself) before any test, and every test looks at that form. The file-system root,
//   the user's home folder, the settings folder, the data root and every folder above one of
//   them are never emptied, however the path reached them (a bind mount of one counts too).
// - Links are never followed. A symbolic link inside a cleaned folder is an entry of its own and
//   is removed as a link; the folder or file it points to is not touched. Subfolders are opened
//   relative to their parent and without following a link, so a subfolder that is swapped for a
//   link while the clean-up runs is not entered either.
// - The walk stays on the file system of the folder asked for: an entry on another device or
//   mount (a mount point, a bind mount) is left alone with its content.
// - The walk keeps its place in a list of its own, not on the call stack, and holds at most a
//   few folders open at a time: a tree of any depth is emptied with memory that grows with the
//   depth, within the open-file limit.
//
// The print server's spool folder is never touched: its queues are emptied by cancelling the
// jobs through the print server (platform/printqueue).
#include "framework/kv_reg.h"
#include "framework/kv_reg_internal.h"
#include "framework/textfil.h"
#include "framework/uihooks.h"
#include "platform/environment.h"
#include "platform/printqueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

using namespace kvreg;

namespace {

const QChar kSlash = QLatin1Char('/');

// A path as a log line names it. A path longer than 260 characters (the longest a path may be
// where the framework comes from) is shown by its beginning and its end around an ellipsis:
// in a very deep tree every folder left behind has its own line, and full paths would make the
// log grow with the square of the depth.
QString Shown(const QString& folder, const QString& name = {})
{
    constexpr qsizetype kLongest = 260;
    constexpr qsizetype kPart = (kLongest - 1) / 2;
    if (folder.size() + name.size() <= kLongest)
        return folder + name;
    // Taken apart, so that a deep folder's long text is not copied for every line.
    const QString head = folder.size() >= kPart ? folder.left(kPart) : (folder + name).left(kPart);
    const QString tail = name.size() >= kPart ? name.right(kPart) : folder.right(kPart - name.size()) + name;
    return head + QChar(0x2026) + tail;
}

// What the clean-up needs to know of a file-system entry, as lstat sees it (links not followed).
struct EntryInfo {
    mode_t mode = 0;
    dev_t dev = 0;
    ino_t ino = 0;
    quint64 mount = 0;       // the mount the entry belongs to
    bool knowsMount = false; // the system told the mount (statx with STATX_MNT_ID)
};

// Examines `name` inside the open folder `dirFd`, or the open folder itself for an empty name.
bool Examine(int dirFd, const char* name, EntryInfo* info)
{
    struct statx sx {};
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (*name ? 0 : AT_EMPTY_PATH);
    if (::statx(dirFd, name, flags, STATX_TYPE | STATX_MODE | STATX_INO | STATX_MNT_ID, &sx) == 0) {
        info->mode = sx.stx_mode;
        info->dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
        info->ino = sx.stx_ino;
        info->knowsMount = (sx.stx_mask & STATX_MNT_ID) != 0;
        info->mount = sx.stx_mnt_id;
        return true;
    }
    if (errno != ENOSYS && errno != EPERM)
        return false;
    // A system without statx: the device alone tells the file system apart.
    struct stat st {};
    if (::fstatat(dirFd, name, &st, flags) != 0)
        return false;
    *info = EntryInfo{st.st_mode, st.st_dev, st.st_ino, 0, false};
    return true;
}

bool SameFileSystem(const EntryInfo& a, const EntryInfo& b)
{
    return a.dev == b.dev && (!a.knowsMount || !b.knowsMount || a.mount == b.mount);
}

bool SameEntry(const EntryInfo& a, const EntryInfo& b) { return a.dev == b.dev && a.ino == b.ino; }

// One entry of a folder listing, classified as the listing found it.
struct FolderEntry {
    QByteArray raw;         // the name as the file system holds it (any bytes)
    EntryInfo info;
    bool known = false;     // lstat answered; else the listing's own type is all there is
    bool folder = false;    // a real folder; a link to a folder is not one
    bool readOnly = false;  // a file whose mode grants no write bit
};

// Appends every entry of the open folder, hidden ones included, without "." and "..", in the
// order the framework's folder search gives them: by upper-cased name (code units), names that
// differ only in letter case in their byte order. A folder that cannot be listed adds nothing.
void ListFolder(int dirFd, std::vector<FolderEntry>* out)
{
    // fdopendir takes over the descriptor it is given; the caller keeps its own.
    const int listFd = ::dup(dirFd);
    if (listFd < 0)
        return;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    std::vector<std::pair<QString, FolderEntry>> listed;
    while (const dirent* e = ::readdir(dir)) {
        FolderEntry entry;
        entry.raw = QByteArray(e->d_name);
        if (entry.raw == "." || entry.raw == "..")
            continue;
        entry.known = Examine(dirFd, e->d_name, &entry.info);
        if (entry.known) {
            const mode_t mode = entry.info.mode;
            entry.folder = S_ISDIR(mode);
            entry.readOnly = !S_ISDIR(mode) && !S_ISLNK(mode) && (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
        } else {
            entry.folder = e->d_type == DT_DIR;
        }
        listed.emplace_back(QFile::decodeName(entry.raw).toUpper(), std::move(entry));
    }
    ::closedir(dir);
    std::sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first)
            return a.first < b.first;
        return a.second.raw < b.second.raw;
    });
    for (auto& item : listed)
        out->push_back(std::move(item.second));
}

const int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The busy cursor, once for every folder being emptied; whatever is still shown when the walk
// ends (also by an exception) is put back.
class BusyCursors {
public:
    BusyCursors() = default;
    BusyCursors(const BusyCursors&) = delete;
    BusyCursors& operator=(const BusyCursors&) = delete;
    ~BusyCursors()
    {
        while (m_shown > 0)
            hide();
    }
    void show()
    {
        ++m_shown;
        if (uiHooks().busyCursor)
            uiHooks().busyCursor(true);
    }
    void hide()
    {
        --m_shown;
        if (uiHooks().busyCursor)
            uiHooks().busyCursor(false);
    }

private:
    qsizetype m_shown = 0;
};

// Empties one folder, entries in listing order, a subfolder emptied and removed where the listing
// reaches it. The folders being worked on are a list of frames, the deepest last. Only the top
// folder and the deepest one are held open: going back up, a folder is opened again through the
// ".." of the one below it, and taken only when it is the very folder that was entered (device
// and inode); else it is looked for again from the top by the names it was entered through.
class FolderWalk {
public:
    // `topFd` is the open top folder, or -1 when it cannot be opened (it then counts as empty);
    // the walk closes it. `topText` is its path ending in '/'.
    FolderWalk(int topFd, const EntryInfo& top, const QString& topText) : m_top(top), m_path(topText)
    {
        announce();
        push(QByteArray(), top, topFd);
    }
    FolderWalk(const FolderWalk&) = delete;
    FolderWalk& operator=(const FolderWalk&) = delete;
    ~FolderWalk()
    {
        for (const Frame& f : m_frames) {
            if (f.fd >= 0)
                ::close(f.fd);
        }
    }

    void run()
    {
        while (!m_frames.empty()) {
            Frame& frame = m_frames.back();
            if (frame.next < frame.end) {
                const FolderEntry entry = std::move(m_entries[frame.next++]);
                handle(entry);
            } else {
                leave();
            }
        }
    }

private:
    struct Frame {
        QByteArray raw;           // the name in the parent folder (empty for the top folder)
        EntryInfo info;           // the folder as it was opened
        int fd = -1;              // open while this is the top or the deepest folder
        size_t begin = 0;         // its listing: m_entries[begin, end), handled up to next
        size_t next = 0;
        size_t end = 0;
        qsizetype pathStart = 0;  // where its name starts in m_path
        bool lost = false;        // it could not be found again on the way back up
    };

    // A folder is about to be emptied: the busy cursor, and its line in detailed logging.
    void announce()
    {
        m_busy.show();
        if (logState().VerboseLogging)
            LogLine("Sletter mappen " + Shown(m_path));
    }

    // Makes the folder just opened (or not: fd -1) the deepest one, with its listing.
    void push(const QByteArray& raw, const EntryInfo& info, int fd)
    {
        const size_t begin = m_entries.size();
        if (fd >= 0)
            ListFolder(fd, &m_entries);
        m_frames.push_back(Frame{raw, info, fd, begin, begin, m_entries.size(), 0, false});
    }

    void handle(const FolderEntry& e)
    {
        const int dirFd = m_frames.back().fd;
        const QString name = QFile::decodeName(e.raw);
        if (e.known && !SameFileSystem(e.info, m_top)) {
            // A mount point (or a file mounted over one): neither it nor what it holds is ours.
            LogLine(e.folder ? "FEIL: kan ikke slette mappen " + Shown(m_path, name + kSlash)
                             : "FEIL: kan ikke slette filen " + Shown(m_path, name));
            return;
        }
        if (e.folder) {
            descend(e.raw, name);
            return;
        }
        // Read-only means no write bit; clearing it means giving the owner the write bit.
        // The entry is known not to be a link, and the change is made without following one.
        if (e.readOnly)
            ::fchmodat(dirFd, e.raw.constData(), (e.info.mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW);
        if (logState().VerboseLogging)
            LogLine("Sletter " + Shown(m_path, name));
        // An entry that is gone already (removed by someone else meanwhile) needs no deleting.
        if (::unlinkat(dirFd, e.raw.constData(), 0) != 0 && errno != ENOENT)
            LogLine("FEIL: kan ikke slette filen " + Shown(m_path, name));
    }

    void descend(const QByteArray& raw, const QString& name)
    {
        const qsizetype pathStart = m_path.size();
        m_path += name + kSlash;
        announce();
        const size_t parent = m_frames.size() - 1;
        int fd = ::openat(m_frames[parent].fd, raw.constData(), kOpenFolder);
        EntryInfo info;
        // What was opened must still lie on the top folder's file system: a folder swapped for a
        // mount point after the listing is not entered.
        if (fd >= 0 && (!Examine(fd, "", &info) || !SameFileSystem(info, m_top))) {
            ::close(fd);
            fd = -1;
        }
        // The parent is opened again on the way back; the top folder stays open throughout. A
        // folder that cannot be opened counts as empty, and its parent stays open meanwhile.
        if (fd >= 0 && parent > 0) {
            ::close(m_frames[parent].fd);
            m_frames[parent].fd = -1;
        }
        push(raw, info, fd);
        m_frames.back().pathStart = pathStart;
    }

    // The deepest folder is done: remove it from its parent (unless it is the top folder).
    void leave()
    {
        const size_t depth = m_frames.size() - 1;
        Frame& frame = m_frames[depth];
        if (depth == 0) {
            if (frame.fd >= 0)
                ::close(frame.fd);
            frame.fd = -1;
            m_frames.pop_back();
            m_busy.hide();
            return;
        }
        Frame& parent = m_frames[depth - 1];
        if (parent.fd < 0 && !parent.lost)
            parent.fd = reopen(depth - 1, frame.fd);
        if (frame.fd >= 0)
            ::close(frame.fd);
        frame.fd = -1;

        if (parent.fd < 0) {
            // The parent is no longer where it was: what is left of it stays, and is logged
            // when the walk leaves it.
            parent.lost = true;
            parent.next = parent.end;
            LogLine("FEIL: kan ikke slette mappen " + Shown(m_path));
        } else if (frame.lost || (::unlinkat(parent.fd, frame.raw.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT)) {
            LogLine("FEIL: kan ikke slette mappen " + Shown(m_path));
        }
        m_entries.resize(frame.begin);
        m_path.truncate(frame.pathStart);
        m_frames.pop_back();
        m_busy.hide();
    }

    // Opens the folder of frame `index` again, from the open folder below it (-1: none).
    int reopen(size_t index, int childFd)
    {
        if (childFd >= 0) {
            const int fd = ::openat(childFd, "..", kOpenFolder);
            EntryInfo info;
            if (fd >= 0 && Examine(fd, "", &info) && SameEntry(info, m_frames[index].info))
                return fd;
            if (fd >= 0)
                ::close(fd);
        }
        // Moved meanwhile: follow the names from the top, each the folder that was entered.
        int fd = m_frames[0].fd;
        for (size_t i = 1; i <= index; ++i) {
            const int next = ::openat(fd, m_frames[i].raw.constData(), kOpenFolder);
            if (fd != m_frames[0].fd)
                ::close(fd);
            EntryInfo info;
            if (next < 0 || !Examine(next, "", &info) || !SameEntry(info, m_frames[i].info)) {
                if (next >= 0)
                    ::close(next);
                return -1;
            }
            fd = next;
        }
        return fd == m_frames[0].fd ? ::dup(fd) : fd;
    }

    const EntryInfo m_top;
    QString m_path;                      // the deepest folder's path, ending in '/'
    std::vector<Frame> m_frames;
    std::vector<FolderEntry> m_entries;  // the listings of the folders in m_frames, in order
    BusyCursors m_busy;
};

// The real absolute form of a folder path, ending in '/': "..", ".", doubled slashes and links
// resolved. A path that does not resolve (a part of it is missing) is made absolute and tidied by
// its text alone, for the tests on its text; `resolved` then says false, and there is nothing at
// that path to empty. Empty for an empty path.
QString RealPath(const QString& path, bool* resolved = nullptr)
{
    if (resolved)
        *resolved = false;
    if (path.isEmpty())
        return {};
    if (char* real = ::realpath(QFile::encodeName(path).constData(), nullptr)) {
        const QString text = QFile::decodeName(real);
        std::free(real);
        if (resolved)
            *resolved = true;
        return WithSlash(text);
    }
    return WithSlash(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

// Opens a real absolute folder path one part at a time without following a link, so that what
// is opened is the folder the path names now, with no link on the way.
int OpenRealFolder(const QString& real)
{
    int fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const QString& part : real.split(kSlash, Qt::SkipEmptyParts)) {
        if (fd < 0)
            break;
        const int next = ::openat(fd, QFile::encodeName(part).constData(), kOpenFolder);
        ::close(fd);
        fd = next;
    }
    return fd;
}

// Why a folder must never be emptied, or empty text when it may be. The folder is compared by
// device and inode with the protected folders and every folder above them, so a second path to
// one of them (a bind mount) is refused as well.
QString ProtectedReason(const EntryInfo& folder)
{
    const auto matches = [&](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 && st.st_dev == folder.dev &&
               st.st_ino == folder.ino;
    };
    if (matches(QStringLiteral("/")))
        return QStringLiteral("er rotmappen");

    QStringList homes = {platform::HomeFolder(), platform::EnvironmentValue(QStringLiteral("USERPROFILE"))};
    if (const passwd* pw = ::getpwuid(::geteuid()))
        homes.append(QFile::decodeName(pw->pw_dir));
    const struct {
        QStringList paths;
        const char* what;
    } kinds[] = {
        {homes, "hjemmemappen"},
        {{settingsState().SettingsFolder}, "innstillingsmappen"},
        {{DataRoot()}, "datamappen"},
    };
    for (const auto& kind : kinds) {
        for (const QString& path : kind.paths) {
            if (path.isEmpty())
                continue;
            QString at = RealPath(path);
            if (matches(at))
                return QStringLiteral("er ") + kind.what;
            // Each folder above it, up to the root (which was looked at first).
            while (at.size() > 1) {
                at.chop(1);
                at.truncate(at.lastIndexOf(kSlash) + 1);
                if (at.size() > 1 && matches(at))
                    return QStringLiteral("ligger over ") + kind.what;
            }
        }
    }
    return {};
}

// Empties the folder `real` (a real absolute path ending in '/', resolved by the system when
// `resolved`); `given` is the path as the caller named it, for the warning.
void CleanRealFolder(const QString& real, bool resolved, const QString& given)
{
    struct stat st {};
    if (!resolved || ::stat(QFile::encodeName(real).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    const int fd = OpenRealFolder(real);
    EntryInfo top{st.st_mode, st.st_dev, st.st_ino, 0, false};
    if (fd >= 0 && !Examine(fd, "", &top)) {
        ::close(fd);
        return;
    }
    const QString reason = ProtectedReason(top);
    if (!reason.isEmpty()) {
        if (fd >= 0)
            ::close(fd);
        const QString asGiven = WithSlash(given) == real ? QString() : " (oppgitt som " + given + ")";
        LogLine("ADVARSEL: " + real + " " + reason + " og vil ikke bli tømt" + asGiven + ".");
        return;
    }
    // The length test keeps very short paths out.
    if (real.size() < 7) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    // A top folder that cannot be opened counts as empty.
    FolderWalk walk(fd, top, real);
    walk.run();
}

// Empties the print queues: every job this user may cancel is cancelled through the print
// server. Logged like the deleting of files: in detailed logging a "Sletter " line for each job
// that was cancelled or tried, a "FEIL:" line for each that stays, and one when the print server
// cannot be reached.
void EmptyPrintQueues()
{
    platform::PrintQueue& queue = platform::printQueue();
    QList<platform::PrintJob> jobs;
    QString reason;
    if (!queue.activeJobs(&jobs, &reason)) {
        LogLine("FEIL: kan ikke tømme skriverkøene: " + reason);
        return;
    }
    for (const platform::PrintJob& job : jobs) {
        const platform::CancelResult result = queue.cancelJob(job);
        // Another user's job is not this user's to cancel, and is not asked about further.
        if (result.outcome == platform::CancelOutcome::NotAllowed)
            continue;
        const QString name = job.printer + "-" + QString::number(job.id);
        if (logState().VerboseLogging)
            LogLine("Sletter utskriftsjobben " + name + " (" + job.title + ")");
        if (result.outcome == platform::CancelOutcome::Failed)
            LogLine("FEIL: kan ikke slette utskriftsjobben " + name + ": " + result.reason);
    }
}

}  // namespace

// Empties one folder and keeps it. The path is resolved to its real absolute form first and
// every test looks at that: a path that names no folder is skipped silently, a protected folder
// (the root, the home folder, the settings folder, the data root, or a folder above one of them)
// is refused with an "ADVARSEL: " line, and a path shorter than 7 characters (with its '/') is
// skipped silently. In detailed logging a "Sletter mappen " line for each folder and a
// "Sletter " line for each file, with their real paths; a "FEIL:" line for each file or folder
// that stays, entries on another file system included.
void CleanFolder(const QString& path)
{
    if (path.isEmpty())
        return;
    bool resolved = false;
    const QString real = RealPath(path, &resolved);
    CleanRealFolder(real, resolved, path);
}

// The clean-up run of start-up: the framework's tmp folder, and with includeSystem the TEMP
// folder, WINDIR's temp folder and the print queues, each only when its real path passes its
// test.
void CleanTemporaryFiles(bool includeSystem)
{
    LogLine(QStringLiteral("Sletter midlertidige filer opprettet av Tavlund programmer"));

    // The containment tests look at the whole real path, upper-cased, not at its last folder name.
    const QString tmp = tavlundpath(QStringLiteral("tmp"));
    bool resolved = false;
    const QString tmpReal = RealPath(tmp, &resolved);
    if (tmpReal.size() > 3 && tmpReal.toUpper().contains(QLatin1String("TMP")))
        CleanRealFolder(tmpReal, resolved, tmp);

    if (!includeSystem)
        return;

    const QString temp = TempFolder() + kSlash;
    const QString tempReal = RealPath(temp, &resolved);
    if (tempReal.size() > 3 && tempReal.toUpper().contains(QLatin1String("TEMP"))) {
        LogLine(QStringLiteral("Sletter midlertidige filer i Windows"));
        CleanRealFolder(tempReal, resolved, temp);
        // Linux has no Windows folder: WINDIR is normally unset, and an unset or empty WINDIR
        // must not become "/temp/", a folder at the root of the file system.
        const QString windir = platform::EnvironmentValue(QStringLiteral("WINDIR"));
        if (!windir.isEmpty())
            CleanFolder(windir + "/temp/");
    }

    const QString spool = SpoolFolder();
    if (RealPath(spool).toUpper().contains(QLatin1String("SPOOL"))) {
        LogLine(QStringLiteral("Sletter skriverkøer"));
        EmptyPrintQueues();
    }
}
