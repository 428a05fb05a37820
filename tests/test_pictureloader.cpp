// The picture loader and its JPEG decoder: every format by its extension, the JPEG colour
// spaces, reduced-scale decoding, truncated and damaged files, and that libjpeg stays silent.
// All fixtures are made here: JPEGs with libjpeg (so colour space, sampling and markers are
// chosen exactly), the others with QImage::save.
#include "testenv.h"
#include "viewer/jpegdecoder.h"
#include "viewer/pictureloader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <jpeglib.h>

namespace {

// ---- Pictures of four solid blocks, split at (64, 48): the block edges fall on 16-pixel MCU
// borders, so JPEG's loss and chroma sampling stay away from the block centres we check.

constexpr int SplitX = 64;
constexpr int SplitY = 48;
const QRgb Red = qRgb(255, 0, 0);
const QRgb Green = qRgb(0, 160, 0);
const QRgb Blue = qRgb(0, 0, 255);
const QRgb Orange = qRgb(200, 120, 40);  // needs all of C, M, Y and K in CMYK

QRgb BlockColour(int x, int y)
{
    if (y < SplitY)
        return x < SplitX ? Red : Green;
    return x < SplitX ? Blue : Orange;
}

QImage BlockImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, BlockColour(x, y));
    return image;
}

// The middle of each block of a width × height block picture, as (x, y, colour).
struct Probe {
    int x, y;
    QRgb colour;
};
std::vector<Probe> BlockProbes(int width, int height)
{
    return {{SplitX / 2, SplitY / 2, Red},
            {(SplitX + width) / 2, SplitY / 2, Green},
            {SplitX / 2, (SplitY + height) / 2, Blue},
            {(SplitX + width) / 2, (SplitY + height) / 2, Orange}};
}

QRgb GreyOf(QRgb c)
{
    const int g = qGray(c);
    return qRgb(g, g, g);
}

// Checks the probes in a picture decoded at scaleNum / 8.
void ExpectBlocks(const QImage& image, int width, int height, int scaleNum = 8, bool grey = false)
{
    for (const Probe& p : BlockProbes(width, height)) {
        const int x = p.x * scaleNum / 8, y = p.y * scaleNum / 8;
        const QRgb want = grey ? GreyOf(p.colour) : p.colour;
        const QRgb got = image.pixel(x, y);
        SCOPED_TRACE(QStringLiteral("pixel (%1, %2) is %3, want %4")
                         .arg(x).arg(y).arg(got, 8, 16, QChar('0')).arg(want, 8, 16, QChar('0'))
                         .toStdString());
        EXPECT_NEAR(qRed(got), qRed(want), 12);
        EXPECT_NEAR(qGreen(got), qGreen(want), 12);
        EXPECT_NEAR(qBlue(got), qBlue(want), 12);
    }
}

// ---- JPEG fixtures written with libjpeg.

enum class Stored { YCbCr420, YCbCr444, Progressive, Rgb, Grey, CmykAdobe, YcckAdobe, CmykPlain };

// CMYK of an RGB colour, as fractions of 255.
void ToCmyk(QRgb c, JSAMPLE out[4])
{
    const double r = qRed(c) / 255.0, g = qGreen(c) / 255.0, b = qBlue(c) / 255.0;
    const double k = 1.0 - std::max({r, g, b});
    const double d = k < 1.0 ? 1.0 - k : 1.0;
    const double cmyk[4] = {(1.0 - r - k) / d, (1.0 - g - k) / d, (1.0 - b - k) / d, k};
    for (int i = 0; i < 4; ++i)
        out[i] = JSAMPLE(std::lround(cmyk[i] * 255.0));
}

QByteArray EncodeJpeg(const QImage& picture, Stored stored, int quality = 90)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);

    const bool cmyk = stored == Stored::CmykAdobe || stored == Stored::YcckAdobe ||
                      stored == Stored::CmykPlain;
    cinfo.image_width = JDIMENSION(picture.width());
    cinfo.image_height = JDIMENSION(picture.height());
    cinfo.input_components = stored == Stored::Grey ? 1 : cmyk ? 4 : 3;
    cinfo.in_color_space = stored == Stored::Grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    switch (stored) {
    case Stored::YCbCr444:
        cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
        break;
    case Stored::Progressive: jpeg_simple_progression(&cinfo); break;
    case Stored::Rgb: jpeg_set_colorspace(&cinfo, JCS_RGB); break;
    case Stored::YcckAdobe: jpeg_set_colorspace(&cinfo, JCS_YCCK); break;
    case Stored::CmykPlain:
        jpeg_set_colorspace(&cinfo, JCS_CMYK);
        cinfo.write_Adobe_marker = FALSE;
        break;
    default: break;
    }
    jpeg_start_compress(&cinfo, TRUE);

    std::vector<JSAMPLE> row(size_t(picture.width()) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb c = picture.pixel(x, y);
            JSAMPLE* s = &row[size_t(x) * cinfo.input_components];
            if (stored == Stored::Grey) {
                s[0] = JSAMPLE(qGray(c));
            } else if (cmyk) {
                ToCmyk(c, s);
                if (stored != Stored::CmykPlain)  // Adobe writes its CMYK inverted
                    for (int i = 0; i < 4; ++i)
                        s[i] = JSAMPLE(255 - s[i]);
            } else {
                s[0] = JSAMPLE(qRed(c)); s[1] = JSAMPLE(qGreen(c)); s[2] = JSAMPLE(qBlue(c));
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    free(buffer);
    return bytes;
}

// A 256 × 512 JPEG: a red band over the top 64 rows, noise below it. The noise makes the file
// large (beyond the decoder's 64 KB read block) and its bytes proportional to the rows.
QByteArray RedBandOverNoiseJpeg()
{
    QImage image(256, 512, QImage::Format_RGB32);
    QRandomGenerator random(42);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, y < 64 ? Red : (random.generate() | 0xff000000u));
    return EncodeJpeg(image, Stored::YCbCr420);
}

// The offset of the first marker 0xFF <code>.
qsizetype FindMarker(const QByteArray& jpeg, unsigned char code)
{
    for (qsizetype i = 0; i + 1 < jpeg.size(); ++i)
        if (uchar(jpeg[i]) == 0xFF && uchar(jpeg[i + 1]) == code)
            return i;
    return -1;
}

// Redirects file descriptor 2 into a file for its lifetime; text() gives what was written.
class StderrCapture {
public:
    explicit StderrCapture(const QString& file) : m_file(file)
    {
        std::fflush(stderr);
        m_saved = dup(2);
        const int fd = open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        close(fd);
    }
    ~StderrCapture() { restore(); }
    QByteArray text()
    {
        restore();
        return TestEnv::readFile(m_file);
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
        m_saved = -1;
    }
    QString m_file;
    int m_saved = -1;
};

JpegDecodeResult DecodeBytes(const QByteArray& bytes, int scaleNum = 8)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    JpegDecodeOptions options;
    options.scaleNum = scaleNum;
    return DecodeJpeg(buffer, options);
}

}  // namespace

// Every JPEG colour space and coding the loader meets, each a block picture checked by colour.
TEST(PictureLoader, JpegColourSpacesDecodeToRgb32)
{
    TestEnv env;
    struct Case {
        const char* name;
        const char* file;
        int width, height;
        Stored stored;
    } cases[] = {
        {"4:2:0", "blokker.jpg", 128, 96, Stored::YCbCr420},
        {"odd size", "skjev.jpg", 131, 101, Stored::YCbCr420},
        {"4:4:4", "full.jpeg", 128, 96, Stored::YCbCr444},
        {"progressive", "progressiv.jpg", 131, 101, Stored::Progressive},
        {"stored as RGB", "rgb.jpg", 128, 96, Stored::Rgb},
        {"grey", "graa.jpg", 131, 101, Stored::Grey},
        {"Adobe CMYK", "cmyk.jpg", 128, 96, Stored::CmykAdobe},
        {"Adobe YCCK", "ycck.jpg", 131, 101, Stored::YcckAdobe},
        {"CMYK without Adobe marker", "cmyk-ren.jpg", 128, 96, Stored::CmykPlain},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = env.path(c.file);
        TestEnv::writeFile(path, EncodeJpeg(BlockImage(c.width, c.height), c.stored));
        const PictureLoadResult r = LoadPicture(path);
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        EXPECT_TRUE(r.error.isEmpty());
        EXPECT_FALSE(r.truncated);
        EXPECT_EQ(r.image.format(), QImage::Format_RGB32);
        EXPECT_EQ(r.image.size(), QSize(c.width, c.height));
        EXPECT_EQ(r.naturalSize, QSize(c.width, c.height));
        ExpectBlocks(r.image, c.width, c.height, 8, c.stored == Stored::Grey);
    }
}

// bmp, ico and TIFF go through Qt's readers; every extension in any letter case.
TEST(PictureLoader, EachFormatByItsExtension)
{
    TestEnv env;
    const QImage blocks = BlockImage(128, 96);
    struct Case {
        const char* file;
        const char* writeAs;  // nullptr: a JPEG from libjpeg
    } cases[] = {
        {"a.bmp", "BMP"},  {"b.BMP", "BMP"},  {"c.ico", "ICO"},     {"d.ICO", "ICO"},
        {"e.tif", "TIFF"}, {"f.tiff", "TIFF"}, {"g.TIF", "TIFF"},   {"h.Tiff", "TIFF"},
        {"i.JPG", nullptr}, {"j.JPEG", nullptr}, {"k.Jpeg", nullptr}, {"l.m.jpg", nullptr},
        {"m.png", "PNG"},  {"n.PNG", "PNG"},  {"o.webp", "WEBP"},   {"p.gif", "blokker.gif"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = env.path(c.file);
        if (c.writeAs && QByteArray(c.writeAs).endsWith(".gif"))  // Qt reads GIF but cannot write it
            ASSERT_TRUE(QFile::copy(QStringLiteral(GLIMRA_TEST_DATA "/") + c.writeAs, path));
        else if (c.writeAs)
            ASSERT_TRUE(blocks.save(path, c.writeAs, 100));
        else
            TestEnv::writeFile(path, EncodeJpeg(blocks, Stored::YCbCr420));
        const PictureLoadResult r = LoadPicture(path);
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        EXPECT_EQ(r.image.size(), QSize(128, 96));
        EXPECT_EQ(r.naturalSize, QSize(128, 96));
        ExpectBlocks(r.image, 128, 96);
    }
}

// Qt refuses pictures of 128 MB and more unless its limit is raised; a 9000 × 6000 photo
// needs 216 MB.
TEST(PictureLoader, LargePictureThroughQtReader)
{
    TestEnv env;
    const QString path = env.path("stor.tif");
    {
        QImage big(9000, 6000, QImage::Format_RGB32);
        big.fill(Orange);
        QImageWriter writer(path, "tiff");
        writer.setCompression(1);  // LZW: a small file
        ASSERT_TRUE(writer.write(big)) << writer.errorString().toStdString();
    }
    const PictureLoadResult r = LoadPicture(path);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.naturalSize, QSize(9000, 6000));
    EXPECT_EQ(r.image.pixel(8999, 5999), Orange);
}

// Files that cannot be shown: each gives a message that says why and names the file.
TEST(PictureLoader, FailuresNameTheFile)
{
    TestEnv env;
    const QImage blocks = BlockImage(128, 96);
    const QByteArray jpeg = EncodeJpeg(blocks, Stored::YCbCr420);
    QByteArray bmp;
    {
        QBuffer b(&bmp);
        b.open(QIODevice::WriteOnly);
        blocks.save(&b, "BMP");
    }
    QDir().mkpath(env.path("mappe.jpg"));
    ASSERT_EQ(mkfifo(QFile::encodeName(env.path("kanal.jpg")).constData(), 0600), 0);
    blocks.save(env.path("bilde.xcf"), "PNG");
    TestEnv::writeFile(env.path("bilde"), jpeg);
    TestEnv::writeFile(env.path("bilde.wmf"), bmp);
    TestEnv::writeFile(env.path("bilde.EMF"), bmp);
    TestEnv::writeFile(env.path("tom.jpg"), {});
    TestEnv::writeFile(env.path("tom.bmp"), {});
    TestEnv::writeFile(env.path("jpeg.bmp"), jpeg);
    TestEnv::writeFile(env.path("bmp.jpg"), bmp);
    TestEnv::writeFile(env.path("rot.jpg"), QByteArray("dette er ingen JPEG-fil\n").repeated(50));
    TestEnv::writeFile(env.path("rot.tif"), QByteArray("II*\0rubbish", 11).repeated(20));
    TestEnv::writeFile(env.path("rot.ico"), QByteArray("\0\0\1\0rubbish", 11).repeated(20));
    TestEnv::writeFile(env.path("bare-start.jpg"), jpeg.left(20));

    // A progressive frame header that claims 60000 × 60000: its coefficients alone would take
    // gigabytes at any scale.
    QByteArray huge = EncodeJpeg(blocks, Stored::Progressive);
    const qsizetype sof = FindMarker(huge, 0xC2);
    ASSERT_GT(sof, 0);
    for (int i : {5, 7}) {
        huge[sof + i] = char(60000 >> 8);
        huge[sof + i + 1] = char(60000 & 0xFF);
    }
    TestEnv::writeFile(env.path("enorm.jpg"), huge);

    struct Case {
        const char* file;
        QString start;       // the message up to the path
        const char* reason;  // a part of the text after the path, or nullptr
    } cases[] = {
        {"finnes-ikke.jpg", "Finner ikke bildefilen: ", nullptr},
        {"mappe/finnes-ikke.bmp", "Finner ikke bildefilen: ", nullptr},
        {"mappe.jpg", "Bildefilen er en mappe: ", nullptr},
        {"kanal.jpg", "Bildefilen er ikke en vanlig fil: ", nullptr},
        {"bilde.xcf", "Ukjent bildeformat «.xcf»: ", nullptr},
        {"bilde", "Ukjent bildeformat (filen har ingen filendelse): ", nullptr},
        {"bilde.wmf", "Bildet kan ikke leses: ", "(filen er ikke en metafil (WMF))"},
        {"bilde.EMF", "Bildet kan ikke leses: ", "(filen er ikke en utvidet metafil (EMF))"},
        {"tom.jpg", "Bildefilen er tom: ", nullptr},
        {"tom.bmp", "Bildefilen er tom: ", nullptr},
        {"jpeg.bmp", "Bildet kan ikke leses: ", "(bildedataene er skadet"},
        {"bmp.jpg", "Bildet kan ikke leses: ", "(filen er ikke en JPEG-fil)"},
        {"rot.jpg", "Bildet kan ikke leses: ", "(filen er ikke en JPEG-fil)"},
        {"rot.tif", "Bildet kan ikke leses: ", "(bildedataene er skadet"},
        {"rot.ico", "Bildet kan ikke leses: ", "(bildedataene er skadet"},
        {"bare-start.jpg", "Bildet kan ikke leses: ", "(filen inneholder ikke noe bilde)"},
        {"enorm.jpg", "Bildet kan ikke leses: ", "(bildet er for stort: 60000 × 60000 punkter, over 512 MB minne også forminsket)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = env.path(c.file);
        const PictureLoadResult r = LoadPicture(path);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.image.isNull());
        EXPECT_TRUE(r.error.startsWith(c.start + path)) << r.error.toStdString();
        if (c.reason)
            EXPECT_TRUE(r.error.contains(QString::fromUtf8(c.reason))) << r.error.toStdString();
    }
    EXPECT_EQ(LoadPicture(QString()).error, "Finner ikke bildefilen: ");
}

// A file cut off in its picture data shows the rows that arrived, at the full size.
TEST(PictureLoader, TruncatedJpegShowsTheTopPart)
{
    TestEnv env;
    const QByteArray whole = RedBandOverNoiseJpeg();
    const QString path = env.path("avkuttet.jpg");
    TestEnv::writeFile(path, whole.left(whole.size() / 2));

    const PictureLoadResult r = LoadPicture(path);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(r.image.size(), QSize(256, 512));
    EXPECT_EQ(r.naturalSize, QSize(256, 512));
    for (int x : {8, 128, 247}) {
        const QRgb top = r.image.pixel(x, 32);
        EXPECT_NEAR(qRed(top), 255, 12);
        EXPECT_NEAR(qGreen(top), 0, 12);
        EXPECT_NEAR(qBlue(top), 0, 12);
    }

    const PictureLoadResult whole_ = [&] {
        TestEnv::writeFile(path, whole);
        return LoadPicture(path);
    }();
    ASSERT_TRUE(whole_.ok());
    EXPECT_FALSE(whole_.truncated);
}

// Warnings and fatal errors of libjpeg never reach stderr (its default prints them).
TEST(PictureLoader, LibjpegIsSilent)
{
    TestEnv env;
    const QByteArray whole = RedBandOverNoiseJpeg();
    QByteArray extraneous = EncodeJpeg(BlockImage(128, 96), Stored::YCbCr420);
    extraneous.insert(FindMarker(extraneous, 0xDB), "xyz");  // stray bytes before a marker
    const QByteArray cut = whole.left(whole.size() / 3);

    // The fixtures really make libjpeg speak.
    const JpegDecodeResult extra = DecodeBytes(extraneous);
    ASSERT_TRUE(extra.ok());
    EXPECT_EQ(extra.warnings, 1);
    EXPECT_FALSE(extra.truncated);
    const JpegDecodeResult premature = DecodeBytes(cut);
    ASSERT_TRUE(premature.ok());
    EXPECT_GE(premature.warnings, 1);
    EXPECT_TRUE(premature.truncated);

    TestEnv::writeFile(env.path("ekstra.jpg"), extraneous);
    TestEnv::writeFile(env.path("kort.jpg"), cut);
    TestEnv::writeFile(env.path("rot.jpg"), QByteArray("\xFF\xD8\xFF\xC0 rubbish", 13));
    StderrCapture capture(env.path("stderr.txt"));
    const bool extraOk = LoadPicture(env.path("ekstra.jpg")).ok();
    const bool shortOk = LoadPicture(env.path("kort.jpg")).ok();
    const bool rubbishOk = LoadPicture(env.path("rot.jpg")).ok();
    const QByteArray printed = capture.text();
    EXPECT_TRUE(extraOk);
    EXPECT_TRUE(shortOk);
    EXPECT_FALSE(rubbishOk);
    EXPECT_EQ(printed, QByteArray());
}

// The natural size comes from the header alone, which is read from the start of the file.
TEST(JpegDecoder, HeaderAloneGivesTheNaturalSize)
{
    const QByteArray jpeg = RedBandOverNoiseJpeg();
    ASSERT_GT(jpeg.size(), 96 * 1024);
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    const JpegHeaderInfo info = ReadJpegHeader(buffer);
    ASSERT_TRUE(info.ok()) << info.error.toStdString();
    EXPECT_EQ(info.size, QSize(256, 512));
    EXPECT_EQ(info.components, 3);
    EXPECT_LE(buffer.pos(), 64 * 1024);

    QBuffer rubbish;
    rubbish.setData("GIF89a rubbish");
    rubbish.open(QIODevice::ReadOnly);
    EXPECT_EQ(ReadJpegHeader(rubbish).error, "filen er ikke en JPEG-fil");
    QBuffer empty;
    empty.open(QIODevice::ReadOnly);
    EXPECT_EQ(ReadJpegHeader(empty).error, "filen er tom");
}

// A reduced-scale decode is the picture at n/8 of its size (rounded up) with the same colours,
// and still reports the full size.
TEST(JpegDecoder, ReducedScale)
{
    struct Case {
        int scaleNum;
        QSize size;
    } cases[] = {{8, {131, 101}}, {4, {66, 51}}, {2, {33, 26}}, {1, {17, 13}}, {3, {50, 38}}};
    for (Stored stored : {Stored::YCbCr420, Stored::Progressive, Stored::CmykAdobe}) {
        const QByteArray jpeg = EncodeJpeg(BlockImage(131, 101), stored);
        for (const Case& c : cases) {
            SCOPED_TRACE(QStringLiteral("stored %1, scale %2/8").arg(int(stored)).arg(c.scaleNum)
                             .toStdString());
            const JpegDecodeResult r = DecodeBytes(jpeg, c.scaleNum);
            ASSERT_TRUE(r.ok()) << r.error.toStdString();
            EXPECT_EQ(r.image.size(), c.size);
            EXPECT_EQ(r.image.format(), QImage::Format_RGB32);
            EXPECT_EQ(r.naturalSize, QSize(131, 101));
            ExpectBlocks(r.image, 131, 101, c.scaleNum);
        }
    }
}

// A progressive file that repeats its last scan over and over is refused instead of being
// decoded pass after pass.
TEST(JpegDecoder, EndlessScansAreRefused)
{
    const QByteArray jpeg = EncodeJpeg(BlockImage(128, 96), Stored::Progressive);
    const qsizetype lastScan = jpeg.lastIndexOf("\xFF\xDA");
    ASSERT_GT(lastScan, 0);
    const QByteArray scan = jpeg.mid(lastScan, jpeg.size() - 2 - lastScan);
    const QByteArray end = jpeg.right(2);
    QByteArray repeated = jpeg.left(lastScan + scan.size());
    for (int i = 0; i < 50; ++i)
        repeated += scan;
    const JpegDecodeResult some = DecodeBytes(repeated + end);
    EXPECT_TRUE(some.ok()) << some.error.toStdString();  // libjpeg only warns about the repeats
    for (int i = 0; i < 500; ++i)
        repeated += scan;
    const JpegDecodeResult endless = DecodeBytes(repeated + end);
    EXPECT_FALSE(endless.ok());
    EXPECT_EQ(endless.error, "over 500 skanninger i filen");
}

// ---- Photos as a camera stores them: EXIF orientation and an embedded colour profile, on
// fixtures made with ImageMagick and exiftool (tests/data/photo/README.md).

// Every orientation comes out as the same upright 64 × 32 picture, and the natural size the
// display rule uses is the upright one.
TEST(PictureLoader, ExifOrientationShowsThePhotoUpright)
{
    const struct {
        int x, y;
        QRgb colour;
    } quadrants[] = {{8, 4, qRgb(220, 20, 20)}, {56, 4, qRgb(20, 160, 40)}, {8, 28, qRgb(20, 40, 220)},
                     {56, 28, qRgb(230, 200, 40)}};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const QString path = QStringLiteral(GLIMRA_TEST_DATA "/photo/stilling-%1.jpg").arg(orientation);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const JpegHeaderInfo header = ReadJpegHeader(file);
        EXPECT_EQ(header.orientation, orientation);
        EXPECT_EQ(header.size, orientation >= 5 ? QSize(32, 64) : QSize(64, 32)) << "the size as stored";

        const PictureLoadResult r = LoadPicture(path);
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        EXPECT_EQ(r.naturalSize, QSize(64, 32));
        ASSERT_EQ(r.image.size(), QSize(64, 32));
        for (const auto& q : quadrants) {
            const QRgb got = r.image.pixel(q.x, q.y);
            EXPECT_NEAR(qRed(got), qRed(q.colour), 8) << q.x << "," << q.y;
            EXPECT_NEAR(qGreen(got), qGreen(q.colour), 8) << q.x << "," << q.y;
            EXPECT_NEAR(qBlue(got), qBlue(q.colour), 8) << q.x << "," << q.y;
        }
    }
}

// Decoded for a drawn size, a photo stored on its side is decoded at the scale that covers its
// upright drawn size (not the stored one turned), and comes out upright at that scale.
TEST(PictureLoader, ExifOrientationWithAReducedDecode)
{
    for (int orientation : {1, 6, 8}) {
        SCOPED_TRACE(orientation);
        PictureLoadOptions options;
        options.target = DrawTarget{QSize(32, 16), true, true};
        const PictureLoadResult r =
            LoadPicture(QStringLiteral(GLIMRA_TEST_DATA "/photo/stilling-%1.jpg").arg(orientation), options);
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        EXPECT_EQ(r.naturalSize, QSize(64, 32));
        EXPECT_EQ(r.scaleNum, 4);
        ASSERT_EQ(r.image.size(), QSize(32, 16));
        EXPECT_GT(qRed(r.image.pixel(4, 2)), 180) << "red at the top left";
        EXPECT_GT(qBlue(r.image.pixel(4, 14)), 180) << "blue at the bottom left";
    }
}

// An orientation outside 1..8, or an EXIF block that is damaged, leaves the photo as stored.
TEST(PictureLoader, UnusableExifOrientationLeavesThePhotoAsStored)
{
    TestEnv env;
    const QByteArray six = TestEnv::readFile(QStringLiteral(GLIMRA_TEST_DATA "/photo/stilling-6.jpg"));
    const qsizetype exif = six.indexOf(QByteArray("Exif\0\0", 6));
    ASSERT_GT(exif, 0);
    // The orientation entry: tag 0x0112 (byte order of the block), its value 2 bytes after the
    // type and count.
    const bool bigEndian = six.mid(exif + 6, 2) == "MM";
    const QByteArray tag = bigEndian ? QByteArray("\x01\x12", 2) : QByteArray("\x12\x01", 2);
    const qsizetype entry = six.indexOf(tag, exif);
    ASSERT_GT(entry, 0);
    QByteArray nine = six;
    nine[entry + 8 + (bigEndian ? 1 : 0)] = 9;
    QByteArray damaged = six;
    for (qsizetype i = exif + 6; i < exif + 40 && i < damaged.size(); ++i)
        damaged[i] = char(0xEE);
    for (const auto& [name, bytes] : {std::pair{"ni.jpg", nine}, std::pair{"skadet-exif.jpg", damaged}}) {
        SCOPED_TRACE(name);
        TestEnv::writeFile(env.path(name), bytes);
        const PictureLoadResult r = LoadPicture(env.path(name));
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        EXPECT_EQ(r.naturalSize, QSize(32, 64));
        EXPECT_EQ(r.image.size(), QSize(32, 64));
    }
}

// A photo with an Adobe RGB profile is shown in sRGB, with the colours ImageMagick's conversion
// gives; the same pixels without the profile are shown as stored.
TEST(PictureLoader, EmbeddedColourProfileIsConvertedToSrgb)
{
    const PictureLoadResult r = LoadPicture(QStringLiteral(GLIMRA_TEST_DATA "/photo/adobergb.jpg"));
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    const struct {
        int x;
        QRgb srgb;
    } patches[] = {{8, qRgb(227, 100, 42)}, {24, qRgb(0, 181, 41)}};
    for (const auto& p : patches) {
        const QRgb got = r.image.pixel(p.x, 8);
        EXPECT_NEAR(qRed(got), qRed(p.srgb), 6) << p.x;
        EXPECT_NEAR(qGreen(got), qGreen(p.srgb), 6) << p.x;
        EXPECT_NEAR(qBlue(got), qBlue(p.srgb), 6) << p.x;
    }
    EXPECT_EQ(r.image.format(), QImage::Format_RGB32);

    QImage plain(32, 16, QImage::Format_RGB32);
    plain.fill(qRgb(200, 100, 50));
    TestEnv env;
    TestEnv::writeFile(env.path("uten-profil.jpg"), EncodeJpeg(plain, Stored::YCbCr444));
    const PictureLoadResult without = LoadPicture(env.path("uten-profil.jpg"));
    ASSERT_TRUE(without.ok());
    EXPECT_NEAR(qRed(without.image.pixel(8, 8)), 200, 4);
    EXPECT_NEAR(qBlue(without.image.pixel(8, 8)), 50, 4);
}

// ---- Decoding for the size a picture is drawn at.

// The smallest fast scale that covers the drawn size, never less.
TEST(JpegDecoder, CoveringScaleIsTheSmallestThatCovers)
{
    struct Case {
        QSize natural, drawn;
        int scale;
    } cases[] = {
        {{6000, 4000}, {651, 434}, 1},   {{6000, 4000}, {750, 500}, 1},  {{6000, 4000}, {751, 500}, 2},
        {{6000, 4000}, {1620, 1080}, 4}, {{6000, 4000}, {3001, 10}, 8},  {{6000, 4000}, {6000, 4000}, 8},
        {{6001, 4001}, {751, 501}, 1},   {{400, 300}, {578, 434}, 8},    {{17, 13}, {3, 2}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.natural.width() << "x" << c.natural.height() << " drawn "
                                        << c.drawn.width() << "x" << c.drawn.height());
        EXPECT_EQ(CoveringJpegScale(c.natural, c.drawn), c.scale);
    }
    EXPECT_EQ(JpegScaledSize({6001, 4001}, 1), QSize(751, 501));
}

TEST(PictureLoader, JpegIsDecodedAtTheScaleThatCoversTheDrawnSize)
{
    TestEnv env;
    const QString path = env.path("stor.jpg");
    TestEnv::writeFile(path, EncodeJpeg(BlockImage(2400, 1600), Stored::YCbCr420));
    struct Case {
        DrawTarget target;
        int scale;
    } cases[] = {
        {{{688, 434}, true, true}, 4},     // fitted: 651 × 434, 4/8 is 1200 × 800
        {{{200, 200}, true, true}, 1},     // 200 × 133: 1/8 is 300 × 200
        {{{688, 434}, false, false}, 8},   // natural size
        {{{688, 434}, true, false}, 4},    // stretched to 688 × 434: 2/8 is 600 × 400, too small
        {{{2400, 1600}, true, true}, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.target.area.width() << " s" << c.target.stretch << " p"
                                        << c.target.proportional);
        PictureLoadOptions options;
        options.target = c.target;
        const PictureLoadResult r = LoadPicture(path, options);
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        EXPECT_EQ(r.scaleNum, c.scale);
        EXPECT_EQ(r.naturalSize, QSize(2400, 1600)) << "the display rule keeps the natural size";
        EXPECT_EQ(r.image.size(), JpegScaledSize({2400, 1600}, r.scaleNum));
        ExpectBlocks(r.image, 2400, 1600, r.scaleNum);
    }
}

// A huge baseline header is decoded small for a small window; what no scale brings under the
// cap, or a bitmap or TIFF beyond it, is refused before its pixels are allocated.
TEST(PictureLoader, PicturesBeyondTheMemoryCap)
{
    TestEnv env;
    QByteArray huge = EncodeJpeg(BlockImage(128, 96), Stored::YCbCr420);
    const qsizetype sof = FindMarker(huge, 0xC0);
    ASSERT_GT(sof, 0);
    for (int i : {5, 7}) {  // 20000 × 20000: 1.6 GB in full
        huge[sof + i] = char(20000 >> 8);
        huge[sof + i + 1] = char(20000 & 0xFF);
    }
    TestEnv::writeFile(env.path("enorm.jpg"), huge);
    PictureLoadOptions fitted;
    fitted.target = DrawTarget{{688, 434}, true, true};
    const PictureLoadResult small = LoadPicture(env.path("enorm.jpg"), fitted);
    ASSERT_TRUE(small.ok()) << small.error.toStdString();
    EXPECT_EQ(small.scaleNum, 1);
    EXPECT_EQ(small.image.size(), QSize(2500, 2500));
    EXPECT_EQ(small.naturalSize, QSize(20000, 20000));

    // A bitmap of 118 bytes that claims 16000 × 16000 at 24 bits a point.
    QByteArray bmp(118, '\0');
    const auto put32 = [&bmp](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, 118);
    put32(10, 54);
    put32(14, 40);
    put32(18, 16000);
    put32(22, 16000);
    bmp[26] = 1;   // planes
    bmp[28] = 24;  // bits a point
    TestEnv::writeFile(env.path("enorm.bmp"), bmp);

    // A TIFF whose one directory claims 20000 × 20000 RGB, 8 bits a sample.
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    const auto entry = [&tiff](quint16 tag, quint16 type, quint32 value) {
        const char e[12] = {char(tag & 0xFF), char(tag >> 8), char(type), 0, 1, 0, 0, 0,
                            char(value & 0xFF), char((value >> 8) & 0xFF), char((value >> 16) & 0xFF), char(value >> 24)};
        tiff.append(e, 12);
    };
    tiff.append("\x09\0", 2);
    entry(256, 4, 20000);  // width
    entry(257, 4, 20000);  // height
    entry(258, 3, 8);      // bits a sample
    entry(259, 3, 1);      // no compression
    entry(262, 3, 2);      // RGB
    entry(273, 4, 200);    // strip offset
    entry(277, 3, 3);      // samples a point
    entry(278, 4, 20000);  // rows a strip
    entry(279, 4, 1200000000);
    tiff.append("\0\0\0\0", 4);
    tiff.append(QByteArray(64, '\0'));
    TestEnv::writeFile(env.path("enorm.tif"), tiff);

    for (const char* name : {"enorm.bmp", "enorm.tif"}) {
        SCOPED_TRACE(name);
        const PictureLoadResult r = LoadPicture(env.path(name), fitted);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.error.contains(QString::fromUtf8("(bildet er for stort: ")))
            << r.error.toStdString();
    }

    // libjpeg's own working memory is capped as well: a progressive file's coefficients.
    const QByteArray progressive = EncodeJpeg(BlockImage(1024, 768), Stored::Progressive);
    QBuffer buffer;
    buffer.setData(progressive);
    buffer.open(QIODevice::ReadOnly);
    const JpegHeaderInfo header = ReadJpegHeader(buffer);
    EXPECT_TRUE(header.progressive);
    EXPECT_EQ(header.coefficientBytes, (128 * 96 + 2 * 64 * 48) * 128);
    EXPECT_GT(JpegDecodeBytes(header, 1), header.coefficientBytes);
    buffer.seek(0);
    JpegDecodeOptions capped;
    capped.maxWorkingBytes = 1 << 20;
    const JpegDecodeResult refused = DecodeJpeg(buffer, capped);
    EXPECT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error.startsWith(QString::fromUtf8("bildet er for stort"))) << refused.error.toStdString();
}

// A progressive file is handed out scan by scan; at 1/8 the decode stops once the coefficients
// that scale uses are complete, with the same picture as the baseline coding of the same data.
TEST(JpegDecoder, ProgressivePicturesAsTheScansArrive)
{
    QImage noisy = BlockImage(1024, 768);
    QRandomGenerator random(7);
    for (int y = 0; y < noisy.height(); ++y)
        for (int x = 0; x < noisy.width(); ++x)
            if (random.bounded(4) == 0)
                noisy.setPixel(x, y, random.generate() | 0xff000000u);
    const QByteArray progressive = EncodeJpeg(noisy, Stored::Progressive);
    const QByteArray baseline = EncodeJpeg(noisy, Stored::YCbCr420);

    const auto decode = [](const QByteArray& bytes, int scale, int* partials) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        JpegDecodeOptions options;
        options.scaleNum = scale;
        options.partial = [partials, scale](const QImage& picture) {
            EXPECT_EQ(picture.size(), JpegScaledSize({1024, 768}, scale));
            ++*partials;
        };
        return DecodeJpeg(buffer, options);
    };
    int partials = 0;
    const JpegDecodeResult full = decode(progressive, 8, &partials);
    ASSERT_TRUE(full.ok()) << full.error.toStdString();
    EXPECT_GE(partials, 1) << "a coarse picture before the last scan";

    for (int scale : {1, 2, 4}) {
        SCOPED_TRACE(scale);
        int ignored = 0;
        const JpegDecodeResult p = decode(progressive, scale, &ignored);
        const JpegDecodeResult b = decode(baseline, scale, &ignored);
        ASSERT_TRUE(p.ok() && b.ok());
        ASSERT_EQ(p.image.size(), b.image.size());
        int worst = 0;
        for (int y = 0; y < p.image.height(); ++y)
            for (int x = 0; x < p.image.width(); ++x) {
                const QRgb a = p.image.pixel(x, y), c = b.image.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(c)), std::abs(qGreen(a) - qGreen(c)),
                                  std::abs(qBlue(a) - qBlue(c))});
            }
        EXPECT_LE(worst, 1);
    }

    // Without its last scan (the final refinement of the brightness), the file is short for a
    // full decode but complete for 1/8, which does not read that far.
    const QByteArray cut = progressive.left(progressive.lastIndexOf("\xFF\xDA") + 40);
    int ignored = 0;
    EXPECT_TRUE(decode(cut, 8, &ignored).truncated);
    const JpegDecodeResult eighth = decode(cut, 1, &ignored);
    EXPECT_TRUE(eighth.ok());
    EXPECT_FALSE(eighth.truncated);
}

TEST(JpegDecoder, ACancelledDecodeGivesNoPicture)
{
    const QByteArray jpeg = RedBandOverNoiseJpeg();
    for (Stored stored : {Stored::YCbCr420, Stored::Progressive}) {
        QBuffer buffer;
        buffer.setData(stored == Stored::YCbCr420 ? jpeg : EncodeJpeg(BlockImage(256, 512), stored));
        buffer.open(QIODevice::ReadOnly);
        JpegDecodeOptions options;
        int asked = 0;
        options.cancelled = [&asked] { return ++asked > 3; };
        const JpegDecodeResult r = DecodeJpeg(buffer, options);
        EXPECT_TRUE(r.cancelled);
        EXPECT_FALSE(r.ok());
    }
}

namespace {

// The offset where the first scan's picture data begins (after the SOS segment).
qsizetype ScanDataStart(const QByteArray& jpeg)
{
    const qsizetype sos = FindMarker(jpeg, 0xDA);
    return sos + 2 + ((uchar(jpeg[sos + 2]) << 8) | uchar(jpeg[sos + 3]));
}

}  // namespace

// A file that ends before a single row of picture data came from it is an error like any
// damaged picture, not a picture of grey; one that ends later shows the rows that arrived.
TEST(PictureLoader, NoRowOfPictureDataIsAnError)
{
    for (Stored stored : {Stored::YCbCr420, Stored::Progressive, Stored::Grey}) {
        SCOPED_TRACE(int(stored));
        const QByteArray whole = stored == Stored::YCbCr420 ? RedBandOverNoiseJpeg()
                                                            : EncodeJpeg(BlockImage(256, 512), stored);
        const qsizetype start = ScanDataStart(whole);
        ASSERT_GT(start, 0);
        struct Cut {
            const char* name;
            qsizetype size;
            bool shows;
        };
        const Cut cuts[] = {
            {"header only", start, false},
            {"a few bytes of data", start + 4, false},
            {"half", start + (whole.size() - start) / 2, true},
        };
        for (const Cut& cut : cuts) {
            SCOPED_TRACE(cut.name);
            const JpegDecodeResult r = DecodeBytes(whole.left(cut.size));
            EXPECT_TRUE(r.truncated);
            EXPECT_EQ(r.ok(), cut.shows) << r.error.toStdString();
            if (!cut.shows)
                EXPECT_EQ(r.error, "filen inneholder ingen bildedata");
        }
    }
}

// A header claiming 16000 × 16000 with no picture data after it: refused with a message, and
// nothing of the gigabyte the header asks for is allocated.
TEST(PictureLoader, AHugeHeaderWithoutDataIsRefused)
{
    TestEnv env;
    QByteArray jpeg = EncodeJpeg(BlockImage(16, 16), Stored::YCbCr420);
    jpeg.truncate(ScanDataStart(jpeg));
    const qsizetype sof = FindMarker(jpeg, 0xC0);
    ASSERT_GT(sof, 0);
    for (int i : {5, 7}) {  // height, then width, big-endian
        jpeg[sof + i] = char(16000 >> 8);
        jpeg[sof + i + 1] = char(16000 & 0xFF);
    }
    const QString path = env.path("tom.jpg");
    TestEnv::writeFile(path, jpeg);
    EXPECT_LT(jpeg.size(), 1000);

    const PictureLoadResult r = LoadPicture(path);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error.contains("filen inneholder ingen bildedata")) << r.error.toStdString();
    EXPECT_TRUE(r.image.isNull());
}
