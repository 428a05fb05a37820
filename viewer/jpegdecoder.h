#pragma once
// JPEG decoding straight over libjpeg, into QImage::Format_RGB32.
//
// - Colour spaces: YCbCr and RGB are decoded by libjpeg into the 32-bit layout directly;
//   grayscale is expanded to grey RGB; CMYK and YCCK come out as RGB, with Adobe's inverted
//   CMYK (an Adobe APP14 marker) taken as inverted.
// - Errors never leave the process or print: libjpeg's fatal errors come back as its own message
//   in `error`, warnings are only counted.
// - Files that would cost without limit are refused: an output beyond maxImageBytes, a
//   progressive file with more than 500 scans.
// - A file that ends early decodes what is there: libjpeg fills the missing rest (grey), the
//   result is a picture with `truncated` set. A file that ends before a single row of the
//   picture came from it is an error ("filen inneholder ingen bildedata"), with `truncated` set.
// - Reading the frame header alone (ReadJpegHeader) gives the natural size without decoding,
//   and a decode can be asked for at a reduced scale (scaleNum / 8), which libjpeg does much
//   faster than a full decode followed by a reduction.
// The data is read from a QIODevice in blocks, so a header read touches only the file's start.
#include <QImage>
#include <QSize>
#include <QString>
#include <QtGlobal>

class QIODevice;

// Full size: scaleNum over this denominator.
constexpr int JpegScaleDenominator = 8;

struct JpegHeaderInfo {
    QSize size;          // natural width and height from the frame header
    int components = 0;  // 1 grey, 3 YCbCr or RGB, 4 CMYK or YCCK
    QString error;       // libjpeg's reason when the header could not be read
    bool ok() const { return error.isEmpty(); }
};

struct JpegDecodeOptions {
    // Output size = natural size × scaleNum / 8, rounded up; 1 to 8 (8 is full size). The fast
    // reductions are 1, 2 and 4.
    int scaleNum = JpegScaleDenominator;
    // A picture whose output would need more bytes than this is refused before anything is
    // allocated (a few bytes of header can claim 65500 × 65500).
    qint64 maxImageBytes = qint64(1024) * 1024 * 1024;
};

struct JpegDecodeResult {
    QImage image;           // Format_RGB32; null when the decode failed
    QSize naturalSize;      // the file's full size, whatever the scale (empty if the header failed)
    bool truncated = false; // the data ended before the picture did
    int warnings = 0;       // libjpeg's warnings (corrupt data, premature end), never printed
    QString error;          // the reason when it failed (libjpeg's own text, or ours)
    bool ok() const { return !image.isNull(); }
};

// Reads the header up to the frame size; decodes nothing.
JpegHeaderInfo ReadJpegHeader(QIODevice& device);

// Decodes the whole picture from the device's current position.
JpegDecodeResult DecodeJpeg(QIODevice& device, const JpegDecodeOptions& options = {});
