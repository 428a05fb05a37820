// JPEG decoding speed and memory: a 6000 × 4000 photo-like JPEG (quality 85, 4:2:0) is written to
// a temporary folder, then decoded through the viewer's decoder at full size and at reduced
// scales, a few runs each. Prints the fastest and the median time and the memory each decode
// added at its peak (the process's peak resident size, reset before each kind of decode).
//
//   bench_jpeg [runs]     (default 5)
#include "viewer/jpegdecoder.h"
#include "viewer/pictureloader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int Width = 6000;
constexpr int Height = 4000;

// Smooth light and colour over the frame, a few soft edges and a little sensor noise: close
// enough to a photo for the entropy decoder's share of the work.
bool WritePhotoLikeJpeg(const QString& path)
{
    FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = Width;
    cinfo.image_height = Height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);  // YCbCr with 2 × 2 luma sampling: 4:2:0
    jpeg_set_quality(&cinfo, 85, TRUE);
    jpeg_start_compress(&cinfo, TRUE);

    std::vector<float> wx(Width), wy(Height);
    for (int x = 0; x < Width; ++x)
        wx[x] = 40.0f * std::sin(x / 210.0f) + 25.0f * std::sin(x / 37.0f);
    for (int y = 0; y < Height; ++y)
        wy[y] = 45.0f * std::cos(y / 330.0f) + 20.0f * std::sin(y / 53.0f);
    std::vector<JSAMPLE> row(size_t(Width) * 3);
    unsigned seed = 12345;
    auto clamp = [](float v) { return JSAMPLE(std::clamp(v, 0.0f, 255.0f)); };
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < Width; ++x) {
            seed = seed * 1103515245u + 12345u;
            const float noise = float(int((seed >> 16) & 31) - 16);
            const float edge = ((x / 700 + y / 500) % 3 == 0) ? 30.0f : 0.0f;
            const float base = 120.0f + wx[x] + wy[y] + edge;
            row[size_t(x) * 3 + 0] = clamp(base + 0.3f * wx[x] + noise);
            row[size_t(x) * 3 + 1] = clamp(base - 10.0f + noise);
            row[size_t(x) * 3 + 2] = clamp(base - 0.4f * wy[y] - 30.0f + noise);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(out) == 0;
}

// A field of /proc/self/status in kB, -1 when unreadable.
long StatusKb(const char* field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Sets the peak resident size back to the current one (Linux 4.0 and later).
bool ResetPeak()
{
    QFile refs("/proc/self/clear_refs");
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

struct Measurement {
    double fastestMs = 0, medianMs = 0;
    long peakExtraKb = -1;
    QSize size;
};

Measurement Measure(int runs, const std::function<QSize()>& decodeOnce)
{
    const bool peakReset = ResetPeak();
    const long rssBefore = StatusKb("VmRSS");
    std::vector<double> ms;
    Measurement m;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        m.size = decodeOnce();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    m.fastestMs = ms.front();
    m.medianMs = ms[ms.size() / 2];
    if (peakReset && rssBefore >= 0)
        m.peakExtraKb = StatusKb("VmHWM") - rssBefore;
    return m;
}

QSize DecodeFile(const QString& path, int scaleNum)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    JpegDecodeOptions options;
    options.scaleNum = scaleNum;
    const JpegDecodeResult r = DecodeJpeg(file, options);
    if (!r.ok())
        std::fprintf(stderr, "decode failed: %s\n", qPrintable(r.error));
    return r.image.size();
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QString path = dir.filePath("foto.jpg");
    QElapsedTimer made;
    made.start();
    if (!WritePhotoLikeJpeg(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("%d x %d photo-like JPEG, q85 4:2:0: %.1f MB, written in %lld ms\n", Width, Height,
                QFile(path).size() / 1e6, made.elapsed());
    std::printf("%d runs each; peak = memory added at the peak of the decode\n\n", runs);
    std::printf("%-22s %12s %10s %10s %10s\n", "decode", "output", "fastest", "median", "peak");

    struct Row {
        const char* name;
        std::function<QSize()> run;
    } rows[] = {
        {"header only", [&] {
             QFile f(path);
             f.open(QIODevice::ReadOnly);
             return ReadJpegHeader(f).size;
         }},
        {"scale 1/8", [&] { return DecodeFile(path, 1); }},
        {"scale 2/8", [&] { return DecodeFile(path, 2); }},
        {"scale 4/8", [&] { return DecodeFile(path, 4); }},
        {"full (8/8)", [&] { return DecodeFile(path, 8); }},
        {"full, LoadPicture", [&] { return LoadPicture(path).image.size(); }},
    };
    for (const Row& row : rows) {
        const Measurement m = Measure(runs, row.run);
        const QString output = QStringLiteral("%1x%2").arg(m.size.width()).arg(m.size.height());
        const QString peak = m.peakExtraKb < 0 ? QStringLiteral("?")
                                               : QStringLiteral("%1 MB").arg(m.peakExtraKb / 1024.0, 0, 'f', 1);
        std::printf("%-22s %12s %7.1f ms %7.1f ms %10s\n", row.name, qPrintable(output), m.fastestMs,
                    m.medianMs, qPrintable(peak));
    }
    return 0;
}
