// Temporary-file clean-up over deep trees: a chain of folders "d" inside each other, made one
// level at a time relative to the level above, is emptied by CleanFolder, at several depths.
// Prints the time and the memory the clean-up added at its peak (the process's peak resident
// size, reset before each run), once with nothing left behind and once with a folder at the
// bottom that stays (every folder above it then logs a line), so that growth with the depth
// shows: linear memory doubles with the depth, not quadruples.
//
//   bench_cleanup [folder]     (default: a new folder in /dev/shm, where removing is fast; on
//                               a disk each removed folder costs a journal write)
#include "bench/procstatus.h"
#include "framework/kv_reg.h"
#include "framework/textfil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Makes `levels` folders below `top`; returns the bottom one, open (-1 on failure).
int MakeTree(const QString& top, int levels)
{
    int fd = ::open(QFile::encodeName(top).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; fd >= 0 && level < levels; ++level) {
        if (::mkdirat(fd, "d", 0755) != 0) {
            ::close(fd);
            return -1;
        }
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    return fd;
}

// A tmpfs mounted at a new folder "mnt" in the open folder `bottom` (root only): a folder the
// clean-up must leave, so that every folder above it stays and logs its line. Returns a
// folder open on the mounted file system, to unmount it by; -1 when it cannot be mounted.
int MountAtBottom(int bottom)
{
    if (::mkdirat(bottom, "mnt", 0755) != 0)
        return -1;
    const int at = ::openat(bottom, "mnt", O_PATH | O_CLOEXEC);
    const bool mounted = ::mount("tmpfs", ("/proc/self/fd/" + std::to_string(at)).c_str(), "tmpfs", 0, nullptr) == 0;
    ::close(at);
    return mounted ? ::openat(bottom, "mnt", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
}

void Unmount(int fd)
{
    ::umount2(("/proc/self/fd/" + std::to_string(fd)).c_str(), MNT_DETACH);
    ::close(fd);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/dev/shm");
    QTemporaryDir dir(base + "/bench-cleanup-XXXXXX");
    if (!dir.isValid()) {
        std::fprintf(stderr, "bench_cleanup: cannot make a folder in %s\n", qPrintable(base));
        return 1;
    }
    const QString top = dir.path() + "/tmp/";
    ::mkdir(QFile::encodeName(top).constData(), 0755);
    logState().LogToFile = true;

    std::printf("%-16s %10s %10s %10s %14s %18s\n", "", "levels", "ms", "lines", "peak extra kB",
                "kB per 1000 levels");
    for (const bool stuck : {false, true}) {
        for (const int levels : {12500, 25000, 50000, 100000}) {
            const int bottom = MakeTree(top, levels);
            if (bottom < 0) {
                std::fprintf(stderr, "bench_cleanup: cannot make %d levels\n", levels);
                return 1;
            }
            const int mounted = stuck ? MountAtBottom(bottom) : -1;
            ::close(bottom);
            if (stuck && mounted < 0) {
                std::printf("(the run with a folder that stays needs root to mount one)\n");
                CleanFolder(top);
                break;
            }
            logState().LogBuffer.clear();
            ResetPeak();
            const long before = StatusKb("VmHWM");
            QElapsedTimer timer;
            timer.start();
            CleanFolder(top);
            const qint64 ms = timer.elapsed();
            const long extra = StatusKb("VmHWM") - before;
            std::printf("%-16s %10d %10lld %10lld %14ld %18.1f\n", stuck ? "folder stays" : "all removed", levels,
                        static_cast<long long>(ms), static_cast<long long>(logState().LogBuffer.size()), extra,
                        extra * 1000.0 / levels);
            if (mounted >= 0) {
                Unmount(mounted);
                CleanFolder(top);
            }
        }
    }
    return 0;
}
