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
// - The photo's EXIF orientation (read with libexif) and embedded ICC colour profile (read by
//   libjpeg) come back beside the picture, for the loader to turn it upright and convert its
//   colours; the decoder itself gives the pixels as stored.
// - Multi-scan (progressive) files decode in libjpeg's buffered-image mode: the picture as the
//   scans so far give it can be handed out while the rest is read, and at a reduced scale the
//   decode ends as soon as every coefficient that scale uses is complete.
// - libjpeg's own working memory can be capped (maxWorkingBytes); a file that would need more
//   is refused like an oversize picture.
// The data is read from a QIODevice in blocks, so a header read touches only the file's start.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QtGlobal>
#include <functional>

class QIODevice;

// Full size: scaleNum over this denominator.
constexpr int JpegScaleDenominator = 8;

struct JpegHeaderInfo {
    QSize size;          // natural width and height from the frame header
    int components = 0;  // 1 grey, 3 YCbCr or RGB, 4 CMYK or YCCK
    int orientation = 1; // EXIF orientation 1..8 (1, the stored picture is upright, when absent)
    bool progressive = false;
    // What a multi-scan file keeps in memory while it decodes, at any scale: every DCT
    // coefficient of the whole picture. 0 for a single-scan file.
    qint64 coefficientBytes = 0;
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
    // libjpeg's working memory (libjpeg's max_memory_to_use); 0 leaves it unlimited. A file
    // whose buffers would pass it is refused as too big.
    qint64 maxWorkingBytes = 0;
    // libjpeg's fast integer IDCT and plain chroma upsampling: for a picture that is reduced
    // further after decoding, where the difference cannot be seen.
    bool fast = false;
    // A multi-scan file: called on the decoding thread with the picture as far as the scans
    // read so far give it, first as soon as every colour has its coarse values, then at most
    // every partialIntervalMs. Not called for the final picture.
    std::function<void(const QImage&)> partial;
    int partialIntervalMs = 100;
    // Asked between rows and scans; true ends the decode with `cancelled` set and no picture.
    std::function<bool()> cancelled;
};

struct JpegDecodeResult {
    QImage image;           // Format_RGB32; null when the decode failed
    QSize naturalSize;      // the file's full size, whatever the scale (empty if the header failed)
    bool truncated = false; // the data ended before the picture did
    int warnings = 0;       // libjpeg's warnings (corrupt data, premature end), never printed
    int orientation = 1;    // EXIF orientation 1..8, as in JpegHeaderInfo
    QByteArray iccProfile;  // the embedded ICC profile; empty when there is none
    QString error;          // the reason when it failed (libjpeg's own text, or ours)
    bool cancelled = false; // ended by options.cancelled
    int scaleNum = JpegScaleDenominator;  // the scale decoded at
    bool ok() const { return !image.isNull(); }
};

// Reads the header up to the frame size; decodes nothing.
JpegHeaderInfo ReadJpegHeader(QIODevice& device);

// Decodes the whole picture from the device's current position.
JpegDecodeResult DecodeJpeg(QIODevice& device, const JpegDecodeOptions& options = {});

// The output size of a decode at scaleNum / 8: each side rounded up, as libjpeg does.
QSize JpegScaledSize(QSize natural, int scaleNum);

// The smallest of the fast scales 1/8, 2/8, 4/8 and 8/8 whose output is at least `drawn` in
// both directions; 8 when the picture is drawn at or above its natural size.
int CoveringJpegScale(QSize natural, QSize drawn);

// The most memory a decode at scaleNum / 8 takes: the picture, libjpeg's row buffers and, for a
// multi-scan file, its coefficients.
qint64 JpegDecodeBytes(const JpegHeaderInfo& header, int scaleNum);
