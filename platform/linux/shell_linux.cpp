// The desktop shell on Linux: documents, folders and addresses go to xdg-open, programs are
// started detached.
#include "platform/shell.h"
#include "platform/environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace platform {
namespace {

// "https://x", "mailto:x": a scheme of two or more letters, so that "C:\x" is no address.
bool IsAddress(const QString& target)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return scheme.match(target).hasMatch();
}

// The last part of a path, whichever separator it uses.
QString FileNamePart(const QString& path)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

QString FolderPart(const QString& path)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return cut < 0 ? QString() : path.left(cut + 1);
}

// A parameter text handed to another program as a path: without the quotes a Windows caller
// may have put around it.
QString Unquoted(QString text)
{
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        text = text.mid(1, text.size() - 2);
    return text;
}

QString Resolved(const QString& path, const QString& folder)
{
    if (path.isEmpty() || QDir::isAbsolutePath(path) || folder.isEmpty())
        return path;
    return QDir(folder).filePath(path);
}

// A file that runs as a program: executable by its mode and a real program inside (a binary or
// a script), so that a document that merely carries execute bits (files on a FAT or NTFS stick)
// is opened, not run.
bool IsProgramFile(const QFileInfo& info)
{
    if (!info.isFile() || !info.isExecutable())
        return false;
    QFile file(info.absoluteFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4);
    return head == "\x7f" "ELF" || head.startsWith("#!");
}

void XdgOpen(const QString& what)
{
    if (!what.isEmpty())
        QProcess::startDetached(QStringLiteral("xdg-open"), {what});
}

void StartProgram(const QString& program, const ShellRequest& r)
{
    QStringList args;
    if (!r.parameters.isEmpty())
        args.append(r.parameters);
    const QString folder = r.workingFolder.isEmpty() ? QDir::currentPath() : r.workingFolder;
    QProcess::startDetached(program, args, folder);
}

class LinuxShell : public Shell {
public:
    void open(const ShellRequest& r) override
    {
        const QString& target = r.target;
        if (target.isEmpty())
            return;
        if (IsAddress(target)) {
            XdgOpen(target);
            return;
        }
        const QString name = FileNamePart(target);
        if (name.compare(QLatin1String("notepad.exe"), Qt::CaseInsensitive) == 0) {
            XdgOpen(Resolved(Unquoted(r.parameters), r.workingFolder));
            return;
        }
        if (name.compare(QLatin1String("explorer.exe"), Qt::CaseInsensitive) == 0) {
            QString folder = Unquoted(r.parameters);
            if (folder.isEmpty())
                folder = r.workingFolder;
            if (folder.isEmpty())
                folder = HomeFolder();
            XdgOpen(folder);
            return;
        }
        const QString path = Resolved(target, r.workingFolder);
        if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive)) {
            // The Linux program carries no extension; a program file that does is taken too.
            const QString bare = name.chopped(4);
            const QFileInfo program(FolderPart(path) + bare);
            if (IsProgramFile(program)) {
                StartProgram(program.absoluteFilePath(), r);
            } else if (IsProgramFile(QFileInfo(path))) {
                StartProgram(QFileInfo(path).absoluteFilePath(), r);
            } else if (FolderPart(target).isEmpty()) {
                const QString found = QStandardPaths::findExecutable(bare);
                if (!found.isEmpty())
                    StartProgram(found, r);
            }
            return;
        }
        const QFileInfo info(path);
        if (info.isDir()) {
            XdgOpen(info.absoluteFilePath());
        } else if (IsProgramFile(info)) {
            StartProgram(info.absoluteFilePath(), r);
        } else if (info.isFile()) {
            XdgOpen(info.absoluteFilePath());
        } else if (!target.contains(QLatin1Char('/'))) {
            const QString found = QStandardPaths::findExecutable(target);
            if (!found.isEmpty())
                StartProgram(found, r);
        }
    }
};

std::unique_ptr<Shell>& Installed()
{
    static std::unique_ptr<Shell> backend;
    return backend;
}

}  // namespace

std::unique_ptr<Shell> CreateLinuxShell() { return std::make_unique<LinuxShell>(); }

Shell& shell()
{
    std::unique_ptr<Shell>& backend = Installed();
    if (!backend)
        backend = CreateLinuxShell();
    return *backend;
}

void SetShell(std::unique_ptr<Shell> backend) { Installed() = std::move(backend); }

}  // namespace platform
