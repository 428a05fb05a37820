#pragma once
// The picture loader: chooses the decoder by the file's extension (letter case ignored).
//   jpeg, jpg        our own decoder over libjpeg
//   bmp, ico, tif, tiff   Qt's image readers
//   wmf, emf         metafiles
// Any other extension is an unknown format. A failure never ends the process: it comes back as
// a Norwegian message for the user.
#include <QImage>
#include <QString>
#include <QStringList>
#include <stdexcept>

struct PictureLoadResult {
    QImage image;      // null when the load failed
    QString error;     // the message for the user when it failed
    bool ok() const { return !image.isNull(); }
};

// The extensions the loader knows, in the order the open dialog lists them.
const QStringList& PictureFormats();

// Loads the picture file. A missing file, an unknown extension or content that cannot be decoded
// gives an error; a truncated JPEG gives what could be decoded.
PictureLoadResult LoadPicture(const QString& path);

// A picture that could not be loaded, thrown by the viewer's handlers.
class PictureLoadError : public std::runtime_error {
public:
    explicit PictureLoadError(const QString& message) : std::runtime_error(message.toStdString()) {}
};
