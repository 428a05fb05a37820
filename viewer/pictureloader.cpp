#include "viewer/pictureloader.h"

#include "viewer/jpegdecoder.h"
#include "viewer/metafile.h"
#include "viewer/metafile/metafileconvert.h"
#include "viewer/photoadjust.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>

namespace {

// Qt's readers refuse 128 MB and more unless told; ours is the one cap for every decoder.
constexpr int MaxPictureMegabytes = int(MaxDecodeBytes >> 20);

// Qt's reader format for each extension it decodes for us.
QByteArray QtFormatFor(const QString& extension)
{
    if (extension == QLatin1String("bmp"))
        return "bmp";
    if (extension == QLatin1String("ico"))
        return "ico";
    if (extension == QLatin1String("tif") || extension == QLatin1String("tiff"))
        return "tiff";
    if (extension == QLatin1String("png") || extension == QLatin1String("gif") || extension == QLatin1String("webp"))
        return extension.toLatin1();
    return {};
}

bool IsMetafile(const QString& extension)
{
    return extension == QLatin1String("wmf") || extension == QLatin1String("emf");
}

bool IsJpeg(const QString& extension)
{
    return extension == QLatin1String("jpg") || extension == QLatin1String("jpeg");
}

PictureLoadResult Failure(const QString& message)
{
    PictureLoadResult r;
    r.error = message;
    return r;
}

QString UnreadableMessage(const QString& path, const QString& reason)
{
    return QStringLiteral("Bildet kan ikke leses: %1 (%2)").arg(path, reason);
}

QString TooBigReason(QSize size)
{
    return QStringLiteral("bildet er for stort: %1 × %2 punkter").arg(size.width()).arg(size.height());
}

PictureLoadResult LoadJpeg(QFile& file, const QString& path, const PictureLoadOptions& load)
{
    const JpegHeaderInfo header = ReadJpegHeader(file);
    if (!header.ok())
        return Failure(UnreadableMessage(path, header.error));
    if (!file.seek(0))
        return Failure(UnreadableMessage(path, QStringLiteral("filen kunne ikke leses")));

    // The display rule works on the upright size; the decoder on the size as stored, which a
    // camera held on its side has turned a quarter.
    const QSize upright = UprightSize(header.size, header.orientation);
    const QSize drawn = load.target ? UprightSize(load.target->deviceSize(load.target->drawnSize(upright)), header.orientation)
                                    : header.size;
    const int covering = load.target ? CoveringJpegScale(header.size, drawn) : JpegScaleDenominator;
    // The covering scale if it keeps within the cap, else the largest smaller one that does:
    // drawn a little enlarged rather than not at all.
    int scale = 0;
    for (int candidate : {8, 4, 2, 1}) {
        if (candidate <= covering && JpegDecodeBytes(header, candidate) <= MaxDecodeBytes) {
            scale = candidate;
            break;
        }
    }
    if (scale == 0)
        return Failure(UnreadableMessage(
            path, TooBigReason(header.size) + QStringLiteral(", over %1 MB minne også forminsket").arg(MaxPictureMegabytes)));

    JpegDecodeOptions options;
    options.scaleNum = scale;
    const QSize out = JpegScaledSize(header.size, scale);
    const qint64 pictureBytes = qint64(out.width()) * out.height() * 4;
    options.maxImageBytes = MaxDecodeBytes;
    options.maxWorkingBytes = qMax<qint64>(MaxDecodeBytes - pictureBytes, qint64(16) << 20);
    // Reduced further after decoding, libjpeg's fast settings cannot be seen.
    options.fast = out.width() > drawn.width() && out.height() > drawn.height();
    options.cancelled = load.cancelled;
    if (load.partial) {
        const int orientation = header.orientation;
        options.partial = [&load, upright, orientation](const QImage& picture) {
            load.partial(UprightPicture(picture, orientation), upright);
        };
    }
    JpegDecodeResult decoded = DecodeJpeg(file, options);
    if (decoded.cancelled) {
        PictureLoadResult r;
        r.cancelled = true;
        return r;
    }
    if (!decoded.ok())
        return Failure(UnreadableMessage(path, decoded.error));
    PictureLoadResult r;
    // Shown upright and in the screen's colours; the display rule works on the upright size.
    ConvertToSrgb(decoded.image, decoded.iccProfile);
    r.image = UprightPicture(decoded.image, decoded.orientation);
    r.naturalSize = UprightSize(decoded.naturalSize, decoded.orientation);
    r.truncated = decoded.truncated;
    r.scaleNum = decoded.scaleNum;
    return r;
}

// A metafile's natural size is its size on paper at the screen's resolution.
double ScreenDpi()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return screen->logicalDotsPerInch();
    return 96;
}

PictureLoadResult LoadMetafile(QFile& file, const QString& path, const QString& extension)
{
    if (file.size() > qint64(MaxMetafileBytes))
        return Failure(UnreadableMessage(path, QStringLiteral("metafilen er for stor")));
    const QByteArray data = file.readAll();
    if (data.size() != file.size())
        return Failure(UnreadableMessage(path, QStringLiteral("filen kunne ikke leses")));
    QString reason;
    auto picture = MetafilePicture::open(
        data, extension == QLatin1String("emf") ? MetafilePicture::Kind::Emf : MetafilePicture::Kind::Wmf,
        ScreenDpi(), &reason);
    if (!picture)
        return Failure(UnreadableMessage(path, reason));
    PictureLoadResult r;
    r.naturalSize = picture->naturalSize();
    r.metafile = std::move(picture);
    return r;
}

// Why Qt's reader gave up, in words for the user.
QString QtReaderReason(const QImageReader& reader)
{
    switch (reader.error()) {
    case QImageReader::InvalidDataError:
        return QStringLiteral("bildedataene er skadet eller av en annen type enn filendelsen sier");
    case QImageReader::UnsupportedFormatError:
        return QStringLiteral("innholdet er ikke et bilde av denne typen");
    case QImageReader::DeviceError:
        return QStringLiteral("filen kunne ikke leses");
    default:
        return QStringLiteral("skadet bilde: ") + reader.errorString();
    }
}

PictureLoadResult LoadWithQt(QFile& file, const QString& path, const QByteArray& format)
{
    if (QImageReader::allocationLimit() < MaxPictureMegabytes)
        QImageReader::setAllocationLimit(MaxPictureMegabytes);
    QImageReader reader(&file, format);
    // The extension decides: a file whose content is of another kind is an error, not a guess.
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    // The size from the header, before any pixel is allocated: a few bytes can claim a picture
    // of gigabytes.
    const QSize claimed = reader.size();
    if (claimed.isValid() && qint64(claimed.width()) * claimed.height() * 4 > MaxDecodeBytes)
        return Failure(UnreadableMessage(path, TooBigReason(claimed)));
    QImage image = reader.read();
    if (image.isNull())
        return Failure(UnreadableMessage(path, QtReaderReason(reader)));
    PictureLoadResult r;
    r.naturalSize = image.size();
    r.image = std::move(image);
    return r;
}

}  // namespace

const QStringList& PictureFormats()
{
    static const QStringList formats = {"wmf", "emf", "ico", "tiff", "tif", "bmp", "jpeg", "jpg", "png", "gif", "webp"};
    return formats;
}

PictureLoadResult LoadPicture(const QString& path, const PictureLoadOptions& options)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return Failure(QStringLiteral("Finner ikke bildefilen: %1").arg(path));
    if (info.isDir())
        return Failure(QStringLiteral("Bildefilen er en mappe: %1").arg(path));
    if (!info.isFile())  // a device or a pipe: reading it could block or never end
        return Failure(QStringLiteral("Bildefilen er ikke en vanlig fil: %1").arg(path));

    const QString suffix = info.suffix();
    const QString extension = suffix.toLower();
    const QByteArray qtFormat = QtFormatFor(extension);
    if (!IsJpeg(extension) && !IsMetafile(extension) && qtFormat.isEmpty()) {
        if (suffix.isEmpty())
            return Failure(QStringLiteral("Ukjent bildeformat (filen har ingen filendelse): %1").arg(path));
        return Failure(QStringLiteral("Ukjent bildeformat «.%1»: %2").arg(suffix, path));
    }

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure(QStringLiteral("Bildefilen kan ikke åpnes: %1 (%2)").arg(path, file.errorString()));
    if (file.size() == 0)
        return Failure(QStringLiteral("Bildefilen er tom: %1").arg(path));

    if (IsMetafile(extension))
        return LoadMetafile(file, path, extension);
    return IsJpeg(extension) ? LoadJpeg(file, path, options) : LoadWithQt(file, path, qtFormat);
}

QImage ScaledPicture(const PictureLoadResult& picture, QSize size)
{
    if (size.isEmpty())
        return {};
    if (picture.metafile) {
        QString ignored;
        return picture.metafile->render(size, QRect(QPoint(0, 0), size), &ignored);
    }
    return picture.image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}
