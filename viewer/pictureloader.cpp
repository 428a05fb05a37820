// Provisional loader through Qt's readers; replaced by the loader with the libjpeg decoder.
#include "viewer/pictureloader.h"

#include <QFileInfo>
#include <QImageReader>

const QStringList& PictureFormats()
{
    static const QStringList formats = {"wmf", "emf", "ico", "tiff", "tif", "bmp", "jpeg", "jpg"};
    return formats;
}

PictureLoadResult LoadPicture(const QString& path)
{
    PictureLoadResult r;
    QImageReader reader(path);
    r.image = reader.read();
    if (r.image.isNull())
        r.error = QStringLiteral("Kan ikke vise bildet %1").arg(path);
    return r;
}
