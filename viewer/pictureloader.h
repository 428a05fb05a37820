#pragma once
// The picture loader: chooses the decoder by the file's extension (letter case ignored).
//   jpeg, jpg             our own decoder over libjpeg (viewer/jpegdecoder.h)
//   bmp, ico, tif, tiff,  Qt's image readers, with the format forced by the extension (a GIF
//   png, gif, webp        shows its first frame)
//   wmf, emf              metafiles, drawn by the helper program (viewer/metafile.h) at the size
//                         they are shown, their natural size from the header at the screen's dpi
// Any other extension is an unknown format. A failure never ends the process: it comes back as
// a Norwegian message for the user that names the file.
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>

class MetafilePicture;

struct PictureLoadResult {
    QImage image;        // a bitmap picture; null for a metafile and when the load failed
    std::shared_ptr<const MetafilePicture> metafile;  // a metafile picture, drawn at any size
    QSize naturalSize;   // the picture's full size in the file
    bool truncated = false;  // a JPEG that ended early: the part that decoded, the rest grey
    QString error;       // the message for the user when it failed
    bool ok() const { return !image.isNull() || metafile != nullptr; }
};

// The picture scaled smoothly to `size` (a metafile drawn at that size); null when it fails.
QImage ScaledPicture(const PictureLoadResult& picture, QSize size);

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
