#pragma once
// The picture loader: chooses the decoder by the file's extension (letter case ignored).
//   jpeg, jpg             our own decoder over libjpeg (viewer/jpegdecoder.h)
//   bmp, ico, tif, tiff   Qt's image readers, with the format forced by the extension
//   wmf, emf              metafiles: known to the open dialog, no renderer yet, so they load as
//                         an unknown format
// Any other extension is an unknown format. A failure never ends the process: it comes back as
// a Norwegian message for the user that names the file.
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <stdexcept>

struct PictureLoadResult {
    QImage image;        // null when the load failed
    QSize naturalSize;   // the picture's full size in the file
    bool truncated = false;  // a JPEG that ended early: the part that decoded, the rest grey
    QString error;       // the message for the user when it failed
    bool ok() const { return !image.isNull(); }
};

// The extensions the loader knows, in the order the open dialog lists them.
const QStringList& PictureFormats();

// Loads the picture file. A missing file, a folder, an unknown extension or content that cannot
// be decoded gives an error; a truncated JPEG gives what could be decoded.
PictureLoadResult LoadPicture(const QString& path);

// A picture that could not be loaded, thrown by the viewer's handlers.
class PictureLoadError : public std::runtime_error {
public:
    explicit PictureLoadError(const QString& message) : std::runtime_error(message.toStdString()) {}
};
