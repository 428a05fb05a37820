#include "framework/textcodec.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <sys/stat.h>

namespace {

const char kUtf8Bom[] = "\xEF\xBB\xBF";

}  // namespace

DecodedText DecodeText(const QByteArray& bytes)
{
    DecodedText out;
    if (bytes.startsWith(kUtf8Bom)) {
        out.encoding = TextEncoding::Utf8Bom;
        out.text = QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    } else if (bytes.startsWith("\xFF\xFE")) {
        out.encoding = TextEncoding::Utf16LeBom;
        QStringDecoder dec(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
        out.text = dec(bytes.mid(2));
    } else if (bytes.startsWith("\xFE\xFF")) {
        out.encoding = TextEncoding::Utf16BeBom;
        QStringDecoder dec(QStringConverter::Utf16BE, QStringConverter::Flag::Stateless);
        out.text = dec(bytes.mid(2));
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

bool ReplaceFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    // Unbuffered, so that a short write (a full disk, a file-size limit) shows in write()'s
    // count; through Qt's buffer it would be lost at commit and a cut file would replace the old.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
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
