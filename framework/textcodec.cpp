#include "framework/textcodec.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kUtf8Bom[] = "\xEF\xBB\xBF";

}  // namespace

DecodedText DecodeText(const QByteArray& bytes)
{
    DecodedText out;
    // The one mark is taken off here; the decoders must not take another, since a U+FEFF after
    // it is text (ConvertInitialBom keeps it as a character).
    constexpr auto kKeepMark = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;
    if (bytes.startsWith(kUtf8Bom)) {
        out.encoding = TextEncoding::Utf8Bom;
        QStringDecoder dec(QStringConverter::Utf8, kKeepMark);
        out.text = dec(QByteArrayView(bytes).sliced(3));
    } else if (bytes.startsWith("\xFF\xFE")) {
        out.encoding = TextEncoding::Utf16LeBom;
        QStringDecoder dec(QStringConverter::Utf16LE, kKeepMark);
        out.text = dec(QByteArrayView(bytes).sliced(2));
    } else if (bytes.startsWith("\xFE\xFF")) {
        out.encoding = TextEncoding::Utf16BeBom;
        QStringDecoder dec(QStringConverter::Utf16BE, kKeepMark);
        out.text = dec(QByteArrayView(bytes).sliced(2));
    } else {
        QStringDecoder dec("windows-1252");
        out.text = dec.isValid() ? QString(dec(bytes)) : QString::fromLatin1(bytes);
    }
    return out;
}

QByteArray EncodeText(const QString& text, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8Bom:
        return QByteArray(kUtf8Bom) + text.toUtf8();
    case TextEncoding::Utf16LeBom: {
        QStringEncoder enc(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
        return QByteArray("\xFF\xFE", 2) + QByteArray(enc(text));
    }
    case TextEncoding::Utf16BeBom: {
        QStringEncoder enc(QStringConverter::Utf16BE, QStringConverter::Flag::Stateless);
        return QByteArray("\xFE\xFF", 2) + QByteArray(enc(text));
    }
    case TextEncoding::Ansi:
        break;
    }
    QStringEncoder enc("windows-1252");
    if (!enc.isValid())
        return text.toLatin1();
    return enc(text);
}

bool FitsCodePage(const QString& text)
{
    QStringEncoder enc("windows-1252");
    if (!enc.isValid())
        return false;
    QByteArray bytes = enc(text);
    return !enc.hasError();
}

TextEncoding EncodingForWrite(const QString& text, TextEncoding encoding)
{
    if (encoding == TextEncoding::Ansi && !FitsCodePage(text))
        return TextEncoding::Utf8Bom;
    return encoding;
}

namespace {

bool WriteAllAt(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    off_t offset = 0;
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, p, size_t(left), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        left -= n;
        offset += n;
    }
    return true;
}

// The errno of a failed write, in words for the user.
QString ErrnoText(int code)
{
    switch (code) {
    case EACCES:
    case EPERM:
        return QStringLiteral("ingen tilgang");
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QStringLiteral("skrivefeil (er disken full?)");
    case EROFS:
        return QStringLiteral("filsystemet er skrivebeskyttet");
    case EISDIR:
        return QStringLiteral("det er en mappe, ikke en fil");
    case ENOENT:
        return QStringLiteral("filen finnes ikke");
    default:
        return QStringLiteral("feil ved filbehandling: ") + QString::fromLocal8Bit(::strerror(code));
    }
}

}  // namespace

bool WriteFileInPlace(const QString& path, const QByteArray& bytes, int* errorCode)
{
    const auto fail = [&](int code) {
        if (errorCode)
            *errorCode = code;
        return false;
    };
    if (IsReadOnlyFile(path))
        return fail(EACCES);
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(errno);
    struct stat st {};
    int code = 0;
    if (::fstat(fd, &st) != 0) {
        code = errno;
    } else if (!S_ISREG(st.st_mode)) {
        code = EISDIR;
    } else {
        // Room for the longer content is taken first, beyond the old end only, so that a full
        // disk is found before the old content is touched. A file system that cannot reserve
        // space just goes on to the write.
        if (bytes.size() > st.st_size) {
            const int r = ::posix_fallocate(fd, st.st_size, bytes.size() - st.st_size);
            if (r == ENOSPC || r == EDQUOT || r == EFBIG)
                code = r;
        }
        if (code == 0 && !WriteAllAt(fd, bytes))
            code = errno;
        if (code == 0 && ::ftruncate(fd, bytes.size()) != 0)
            code = errno;
        if (code == 0 && ::fsync(fd) != 0)
            code = errno;
    }
    if (::close(fd) != 0 && code == 0)
        code = errno;
    if (code != 0)
        return fail(code);
    return true;
}

FileLock::FileLock(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool busy = errno == EWOULDBLOCK;
            ::close(fd);
            if (!busy)
                return;
            ::usleep(10000);
            continue;
        }
        // The other copy may have replaced the file while this one waited: the lock must be on
        // the file that is at the path now.
        struct stat locked {}, current {};
        if (::fstat(fd, &locked) == 0 && ::stat(name.constData(), &current) == 0 &&
            locked.st_dev == current.st_dev && locked.st_ino == current.st_ino) {
            m_fd = fd;
            return;
        }
        ::close(fd);
    }
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ReplaceFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    // Unbuffered, so that a short write (a full disk, a file-size limit) shows in write()'s
    // count; through Qt's buffer it would be lost at commit and a cut file would replace the old.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // The folder refuses a new file beside the old one (a shared file in a folder the user
        // may not write): a file the user may write is then written in place instead.
        const QFileInfo info(path);
        if (info.isFile() && info.absoluteDir().exists()) {
            int code = 0;
            if (WriteFileInPlace(path, bytes, &code))
                return true;
            if (error)
                *error = ErrnoText(code);
            return false;
        }
        if (error)
            *error = FileErrorText(file, path);
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        if (error)
            *error = FileErrorText(file, path);
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = FileErrorText(file, path);
        return false;
    }
    return true;
}

bool IsReadOnlyFile(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

QString FileErrorText(const QFileDevice& file, const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("det er en mappe, ikke en fil");
    switch (file.error()) {
    case QFileDevice::PermissionsError:
        return QStringLiteral("ingen tilgang");
    case QFileDevice::ReadError:
        return QStringLiteral("lesefeil");
    case QFileDevice::WriteError:
    case QFileDevice::ResizeError:
        return QStringLiteral("skrivefeil (er disken full?)");
    case QFileDevice::RenameError:
        return QStringLiteral("den nye filen kunne ikke settes i stedet for den gamle");
    case QFileDevice::OpenError:
        if (!QFileInfo(info.absolutePath()).isDir())
            return QStringLiteral("mappen finnes ikke");
        return QStringLiteral("filen kunne ikke åpnes");
    default:
        return QStringLiteral("feil ved filbehandling: ") + file.errorString();
    }
}
