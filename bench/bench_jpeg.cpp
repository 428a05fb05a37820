// Large photos in the viewer: speed and memory, in one run on the same files.
//
//   bench_jpeg [runs] [folder]
//   bench_jpeg --write FOLDER             writes its photo-like files there and ends
//   bench_jpeg --show FILE NEXT           shows FILE with NEXT prefetched in a process of its own,
//                                         prints the resident size before, after and at the peak
//
// Without a folder it writes its own photo-like JPEGs to a temporary folder: five 6000 × 4000
// baseline ones (4:2:0, q90), a progressive one, and a 12000 × 8400 (100 MP) baseline one.
// Given a folder, it takes the *.jpg / *.jpeg files there: the baseline ones of up to 40 MP for
// the steps, the first progressive one for the progressive figures, the largest above 40 MP for
// the memory of a huge picture.
// It prints, with the median of `runs` (default 5):
//   - the floor: libjpeg's own full and 1/8 decode of the first photo (default settings);
//   - the viewer's load-and-draw of it into the design-size picture area (688 × 434): from the
//     request to the end of the paint that shows it, and its ratios to the floor;
//   - a step through the folder with the next picture prefetched, and without;
//   - a progressive photo: first and final paint, against libjpeg's full decode of it;
//   - memory: what showing a fitted photo (with the next one prefetched) adds to the resident
//     size, and the peak during it; the same for the 100 MP picture.
#include "bench/procstatus.h"
#include "viewer/jpegdecoder.h"
#include "viewer/picturecontrol.h"
#include "viewer/picturesource.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <malloc.h>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

const QSize DesignArea(688, 434);

// Smooth light and colour over the frame, soft edges and sensor noise: close enough to a photo
// for the entropy decoder's share of the work.
bool WritePhotoLikeJpeg(const QString& path, int width, int height, unsigned seed, bool progressive)
{
    FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);  // YCbCr with 2 × 2 luma sampling: 4:2:0
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);

    const float phase = float(seed % 97);
    std::vector<float> wx(static_cast<size_t>(width)), wy(static_cast<size_t>(height));
    for (int x = 0; x < width; ++x)
        wx[size_t(x)] = 40.0f * std::sin((x + phase) / 210.0f) + 25.0f * std::sin(x / 37.0f);
    for (int y = 0; y < height; ++y)
        wy[size_t(y)] = 45.0f * std::cos((y + phase) / 330.0f) + 20.0f * std::sin(y / 53.0f);
    std::vector<JSAMPLE> row(size_t(width) * 3);
    unsigned noiseSeed = 12345 + seed;
    auto clamp = [](float v) { return JSAMPLE(std::clamp(v, 0.0f, 255.0f)); };
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            noiseSeed = noiseSeed * 1103515245u + 12345u;
            const float noise = float(int((noiseSeed >> 16) & 31) - 16);
            const float edge = ((x / 700 + y / 500) % 3 == 0) ? 30.0f : 0.0f;
            const float base = 120.0f + wx[size_t(x)] + wy[size_t(y)] + edge;
            row[size_t(x) * 3 + 0] = clamp(base + 0.3f * wx[size_t(x)] + noise);
            row[size_t(x) * 3 + 1] = clamp(base - 10.0f + noise);
            row[size_t(x) * 3 + 2] = clamp(base - 0.4f * wy[size_t(y)] - 30.0f + noise);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(out) == 0;
}

// libjpeg on its own, default settings, into one buffer: the floor.
void LibjpegDecode(const QString& path, int scaleNum)
{
    FILE* in = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!in)
        return;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, in);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = unsigned(scaleNum);
    cinfo.scale_denom = 8;
    cinfo.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t(cinfo.output_width) * 4;
    std::vector<JSAMPLE> pixels(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels.data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(in);
}

bool IsProgressive(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && ReadJpegHeader(file).progressive;
}

QSize NaturalSize(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? ReadJpegHeader(file).size : QSize();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double TimeMs(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// The viewer's picture area at design size, with the control that asks and paints.
struct Viewer {
    QWidget window;
    PictureControl* control;
    Viewer()
    {
        window.resize(DesignArea);
        control = new PictureControl(&window);
        control->setGeometry(QRect(QPoint(0, 0), DesignArea));
        window.show();
        QApplication::processEvents();
    }

    struct Paints {
        double first = -1;  // ms from the request to the end of the first paint of the new picture
        double final = -1;  // ... of the final one
        int scale = 0;
    };

    // Asks for the picture and runs the event loop until its final paint.
    Paints show(const QString& path)
    {
        Paints p;
        QElapsedTimer timer;
        QEventLoop loop;
        bool shown = false;
        const auto c1 = QObject::connect(control, &PictureControl::pictureShown, [&] { shown = true; });
        const auto c2 = QObject::connect(control, &PictureControl::painted, [&](bool coarse) {
            if (!coarse && !shown)
                return;  // the previous picture painted again
            const double now = double(timer.nsecsElapsed()) / 1e6;
            if (p.first < 0)
                p.first = now;
            if (!coarse) {
                p.final = now;
                loop.quit();
            }
        });
        timer.start();
        control->request(path, [&loop](const QString& error) {
            if (!error.isEmpty()) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                loop.quit();
            }
        });
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        QObject::disconnect(c1);
        QObject::disconnect(c2);
        p.scale = control->decodedScale();
        return p;
    }
};

void PrintRow(const char* name, double ms, const QString& ratios = QString())
{
    std::printf("  %-46s %8.1f ms   %s\n", name, ms, qPrintable(ratios));
}

QString Ratio(const char* over, double a, double b)
{
    return QStringLiteral("%1× %2").arg(a / b, 0, 'f', 2).arg(QLatin1String(over));
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // One picture shown in the design-size area with the next one prefetched, in a process of its
    // own: prints the resident size before, after, and its peak in between (kB).
    if (argc > 3 && std::string(argv[1]) == "--show") {
        Viewer viewer;
        viewer.control->waitForPictures();
        const long before = StatusKb("VmRSS");
        ResetPeak();
        viewer.show(QString::fromLocal8Bit(argv[2]));
        viewer.control->prefetch(QString::fromLocal8Bit(argv[3]));
        viewer.control->waitForPictures();
        std::printf("%ld %ld %ld %d %d\n", before, StatusKb("VmRSS"), StatusKb("VmHWM"), viewer.control->picture().width(),
                    viewer.control->picture().height());
        return 0;
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    // Writes the photo-like files into a folder and ends (to keep them for another run).
    const auto writeFiles = [](const QDir& folder) {
        QElapsedTimer made;
        made.start();
        for (int i = 0; i < 5; ++i)
            WritePhotoLikeJpeg(folder.filePath(QStringLiteral("foto%1.jpg").arg(i)), 6000, 4000, unsigned(i), false);
        WritePhotoLikeJpeg(folder.filePath("progressiv.jpg"), 6000, 4000, 0, true);
        WritePhotoLikeJpeg(folder.filePath("stor-100mp.jpg"), 12000, 8400, 7, false);
        std::printf("Wrote 5 baseline + 1 progressive 6000 x 4000 photo-like JPEGs (4:2:0, q90, %.1f MB each) and a "
                    "12000 x 8400 one in %.1f s\n",
                    QFile(folder.filePath("foto0.jpg")).size() / 1e6, made.elapsed() / 1000.0);
    };
    if (argc > 2 && std::string(argv[1]) == "--write") {
        QDir().mkpath(QString::fromLocal8Bit(argv[2]));
        writeFiles(QDir(QString::fromLocal8Bit(argv[2])));
        return 0;
    }
    QTemporaryDir temporary;
    QDir folder(temporary.path());
    if (argc > 2)
        folder = QDir(QString::fromLocal8Bit(argv[2]));
    else
        writeFiles(folder);

    // Photos of up to 40 megapixels are stepped through; the largest picture above that is the
    // huge one; the first progressive file is the progressive one.
    constexpr qint64 PhotoPixels = 40'000'000;
    QStringList steps;
    QString progressive, huge;
    qint64 largest = PhotoPixels;
    for (const QString& name : folder.entryList({"*.jpg", "*.jpeg", "*.JPG", "*.JPEG"}, QDir::Files, QDir::Name)) {
        const QString path = folder.filePath(name);
        const QSize size = NaturalSize(path);
        const qint64 pixels = qint64(size.width()) * size.height();
        if (pixels > largest) {
            largest = pixels;
            huge = path;
        } else if (pixels <= PhotoPixels && IsProgressive(path)) {
            if (progressive.isEmpty())
                progressive = path;
        } else if (pixels <= PhotoPixels) {
            steps << path;
        }
    }
    if (steps.size() < 2) {
        std::fprintf(stderr, "at least two baseline JPEGs needed\n");
        return 1;
    }
    const QString photo = steps.first();
    const QSize natural = NaturalSize(photo);
    std::printf("%d runs each, medians; picture area %d x %d; first photo %d x %d\n\n", runs, DesignArea.width(),
                DesignArea.height(), natural.width(), natural.height());

    // ---- Memory, each in a fresh process: what showing a fitted photo adds to the resident
    // size, the next one prefetched, and the peak on the way.
    struct Memory {
        double addedMb, peakMb;
        QSize decoded;
    };
    const auto measureMemory = [&](const QString& shown, const QString& next) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--show", shown, next});
        child.waitForFinished(120000);
        const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
        if (f.size() != 5)
            return Memory{-1, -1, {}};
        return Memory{(f[1].toLong() - f[0].toLong()) / 1024.0, (f[2].toLong() - f[0].toLong()) / 1024.0,
                      QSize(f[3].toInt(), f[4].toInt())};
    };
    const Memory photoMemory = measureMemory(photo, steps.value(1));
    const Memory hugeMemory = huge.isEmpty() ? Memory{0, 0, {}} : measureMemory(huge, photo);

    // ---- The floor and the viewer's load-and-draw of one photo.
    std::vector<double> full, eighth, drawn, loader;
    int drawnScale = 0;
    for (int i = 0; i < runs; ++i) {
        full.push_back(TimeMs([&] { LibjpegDecode(photo, 8); }));
        eighth.push_back(TimeMs([&] { LibjpegDecode(photo, 1); }));
        loader.push_back(TimeMs([&] {
            PictureLoadOptions options;
            options.target = DrawTarget{DesignArea, true, true};
            LoadPicture(photo, options);
        }));
        Viewer viewer;
        const Viewer::Paints p = viewer.show(photo);
        drawn.push_back(p.final);
        drawnScale = p.scale;
    }
    const double fullMs = Median(full), eighthMs = Median(eighth), drawnMs = Median(drawn);
    std::printf("Baseline photo\n");
    PrintRow("libjpeg full decode (floor)", fullMs);
    PrintRow("libjpeg 1/8 decode (floor)", eighthMs);
    PrintRow("viewer's loader alone, for 688 x 434", Median(loader), Ratio("1/8 decode", Median(loader), eighthMs));
    PrintRow(qPrintable(QStringLiteral("viewer load-and-draw, 688 x 434 (scale %1/8)").arg(drawnScale)), drawnMs,
             Ratio("1/8 decode (target <= 1.15)", drawnMs, eighthMs) + ", " +
                 Ratio("full decode (target <= 0.8)", drawnMs, fullMs));

    // ---- Steps through the folder, as a click or a slideshow tick makes them: with the next
    // picture prefetched while the user looks, and without.
    const auto stepThrough = [&](bool prefetch) {
        std::vector<double> times;
        Viewer viewer;
        viewer.show(steps.first());
        for (int round = 0; round < runs; ++round) {
            for (int i = 1; i <= steps.size(); ++i) {
                const QString next = steps.at(i % steps.size());
                if (prefetch)
                    viewer.control->prefetch(next);
                viewer.control->waitForPictures();  // the user looks at the picture a while
                times.push_back(viewer.show(next).final);
            }
        }
        return Median(times);
    };
    const double withPrefetch = stepThrough(true);
    const double withoutPrefetch = stepThrough(false);
    std::printf("\nStepping through %lld photos (click or slideshow tick to painted picture)\n",
                qlonglong(steps.size()));
    PrintRow("step with prefetch (target <= 15 ms)", withPrefetch);
    PrintRow("step without prefetch", withoutPrefetch, Ratio("the prefetched step", withoutPrefetch, withPrefetch));

    // ---- A progressive photo.
    if (!progressive.isEmpty()) {
        std::vector<double> progFull, first, final;
        int scale = 0;
        for (int i = 0; i < runs; ++i) {
            progFull.push_back(TimeMs([&] { LibjpegDecode(progressive, 8); }));
            Viewer viewer;
            const Viewer::Paints p = viewer.show(progressive);
            first.push_back(p.first);
            final.push_back(p.final);
            scale = p.scale;
        }
        const double progFullMs = Median(progFull), firstMs = Median(first), finalMs = Median(final);
        std::printf("\nProgressive photo\n");
        PrintRow("libjpeg full decode (floor)", progFullMs);
        PrintRow("viewer first paint", firstMs, Ratio("full decode (target <= 0.3)", firstMs, progFullMs));
        PrintRow(qPrintable(QStringLiteral("viewer final paint (scale %1/8)").arg(scale)), finalMs,
                 Ratio("full decode (target <= 1.1)", finalMs, progFullMs));
    }

    std::printf("\nMemory (resident size; target: at most 20 MB added)\n");
    std::printf("  %-46s %8.1f MB added, peak %.1f MB above the start (decoded %d x %d)\n",
                "fitted photo shown, next prefetched", photoMemory.addedMb, photoMemory.peakMb,
                photoMemory.decoded.width(), photoMemory.decoded.height());
    if (!huge.isEmpty()) {
        const QSize h = NaturalSize(huge);
        std::printf("  %-46s %8.1f MB added, peak %.1f MB above the start (decoded %d x %d)\n",
                    qPrintable(QStringLiteral("%1 x %2 photo shown, next prefetched").arg(h.width()).arg(h.height())),
                    hugeMemory.addedMb, hugeMemory.peakMb, hugeMemory.decoded.width(), hugeMemory.decoded.height());
    }
    return 0;
}
