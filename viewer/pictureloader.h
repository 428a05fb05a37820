#pragma once
// The picture loader: chooses the decoder by the file's extension (letter case ignored).
//   jpeg, jpg             our own decoder over libjpeg (viewer/jpegdecoder.h)
//   bmp, ico, tif, tiff,  Qt's image readers, with the format forced by the extension (a GIF
//   png, gif, webp        shows its first frame)
//   wmf, emf              metafiles, drawn by the helper program (viewer/metafile.h) at the size
//                         they are shown, their natural size from the header at the screen's dpi
// Any other extension is an unknown format. A failure never ends the process: it comes back as
// a Norwegian message for the user that names the file.
//
// Given where the picture will be drawn, a JPEG is decoded at the smallest of 1/8, 2/8, 4/8 and
// 8/8 of its size that covers the drawn size. No decode takes more than MaxDecodeBytes, the
// decoder's own buffers included: a JPEG that would is decoded smaller, and a picture that
// passes the cap even at 1/8 (or, not being a JPEG, at all) is refused before its pixels are
// allocated.
#include "viewer/displayrule.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

class MetafilePicture;

struct PictureLoadResult {
    QImage image;        // a bitmap picture; null for a metafile and when the load failed
    std::shared_ptr<const MetafilePicture> metafile;  // a metafile picture, drawn at any size
    QSize naturalSize;   // the picture's full size in the file
    bool truncated = false;  // a JPEG that ended early: the part that decoded, the rest grey
    QString error;       // the message for the user when it failed
    int scaleNum = 8;    // a JPEG: decoded at scaleNum / 8 of its natural size
    bool cancelled = false;  // ended by PictureLoadOptions::cancelled; no picture, no message
    bool ok() const { return !image.isNull() || metafile != nullptr; }
};

// The most memory one decode may take.
constexpr qint64 MaxDecodeBytes = qint64(512) << 20;

// Where a picture will be drawn: the display rule's area and choices.
struct DrawTarget {
    QSize area;
    bool stretch = true;
    bool proportional = true;
    // Device pixels per logical pixel of the screen it is drawn on: the display rule works in
    // logical pixels, the picture is decoded and scaled for the device's.
    qreal pixelRatio = 1;
    QSize drawnSize(QSize natural) const { return DisplayRect(natural, area, stretch, proportional).size(); }
    QSize deviceSize(QSize logical) const { return (QSizeF(logical) * pixelRatio).toSize(); }
    bool operator==(const DrawTarget&) const = default;
};

struct PictureLoadOptions {
    // Decode for this target; without one, at full size.
    std::optional<DrawTarget> target;
    // A progressive JPEG: the picture as its scans arrive (on the loading thread), at the
    // decoded scale, with the natural size.
    std::function<void(const QImage& picture, QSize natural)> partial;
    // Asked now and then; true gives up (the result has `cancelled` set).
    std::function<bool()> cancelled;
};

// The picture scaled smoothly to `size` (a metafile drawn at that size); null when it fails.
QImage ScaledPicture(const PictureLoadResult& picture, QSize size);

// The extensions the loader knows, in the order the open dialog lists them.
const QStringList& PictureFormats();

// Loads the picture file. A missing file, a folder, an unknown extension or content that cannot
// be decoded gives an error; a truncated JPEG gives what could be decoded.
PictureLoadResult LoadPicture(const QString& path, const PictureLoadOptions& options = {});

// A picture that could not be loaded, thrown by the viewer's handlers.
class PictureLoadError : public std::runtime_error {
public:
    explicit PictureLoadError(const QString& message) : std::runtime_error(message.toStdString()) {}
};
