// Fuzz target: the JPEG decoder. Any bytes are a file the viewer may be asked to show; the
// header read and the decode (at a scale picked from the input's length, so that the reduced
// decodes are covered too) must come back with a picture or a reason, never both or neither.
#include "fuzz/fuzzrule.h"
#include "viewer/jpegdecoder.h"

#include <QBuffer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));

    QBuffer headerInput;
    headerInput.setData(bytes);
    headerInput.open(QIODevice::ReadOnly);
    const JpegHeaderInfo header = ReadJpegHeader(headerInput);
    Require(header.ok() || !header.error.isEmpty());

    QBuffer input;
    input.setData(bytes);
    input.open(QIODevice::ReadOnly);
    JpegDecodeOptions options;
    options.scaleNum = int(size % JpegScaleDenominator) + 1;
    // Small enough that one input costs milliseconds, large enough for real pictures.
    options.maxImageBytes = qint64(16) * 1024 * 1024;
    const JpegDecodeResult result = DecodeJpeg(input, options);

    Require(result.ok() == result.error.isEmpty());
    // Both read the same header.
    if (header.ok())
        Require(result.naturalSize == header.size);
    else
        Require(!result.ok());
    if (result.ok()) {
        const QSize n = result.naturalSize;
        const int s = options.scaleNum;
        const QSize expected((n.width() * s + JpegScaleDenominator - 1) / JpegScaleDenominator,
                             (n.height() * s + JpegScaleDenominator - 1) / JpegScaleDenominator);
        Require(result.image.size() == expected);
        Require(result.image.format() == QImage::Format_RGB32);
        Require(qint64(result.image.sizeInBytes()) <= options.maxImageBytes);
    }
    return 0;
}
