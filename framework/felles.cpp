// File size, text scramble, extension replacement and the shell hand-off.
#include "framework/felles.h"

#include "framework/textcodec.h"
#include "framework/uihooks.h"
#include "platform/shell.h"

#include <QFile>

#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int FileSizeOf(const QString& path)
{
    if (path.isEmpty() || IsReadOnlyFile(path))
        return -1;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat st {};
    const bool measured = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!measured)
        return -1;
    return st.st_size > INT_MAX ? INT_MAX : static_cast<int>(st.st_size);
}

QString ScrambleText(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('z');
    for (qsizetype i = 0; i < text.size(); ++i)
        out += QChar(static_cast<char16_t>(text.at(i).unicode() + static_cast<char16_t>(i + 1)));
    out += QLatin1Char('2');
    return out;
}

QString UnscrambleText(const QString& text)
{
    if (text.size() <= 2)
        return {};
    const QStringView inner = QStringView(text).mid(1, text.size() - 2);
    QString out;
    out.reserve(inner.size());
    for (qsizetype i = 0; i < inner.size(); ++i)
        out += QChar(static_cast<char16_t>(inner.at(i).unicode() - static_cast<char16_t>(i + 1)));
    return out;
}

QString ReplaceExtension(const QString& fileName, const QString& extension)
{
    const qsizetype dot = fileName.indexOf(QLatin1Char('.'));
    const QString stem = dot < 0 ? fileName + QLatin1Char('.') : fileName.left(dot + 1);
    return stem + extension;
}

void ShellOpen(const QString& target, const QString& parameters, const QString& workingFolder)
{
    const BusyCursor busy;
    platform::shell().open({target, parameters, workingFolder});
}
