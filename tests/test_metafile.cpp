// Metafile pictures: the WMF and EMF fixtures made by a real drawing program (tests/data/metafile)
// load with their natural size, draw their shapes and both fonts where the drawing puts them,
// stay sharp when shown large, and every damaged or hostile file ends as the loader's error.
#include "testenv.h"
#include "viewer/metafile.h"
#include "viewer/metafile/metafileconvert.h"
#include "viewer/picturecontrol.h"
#include "viewer/pictureloader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

QString Fixture(const QString& name)
{
    return QStringLiteral(GLIMRA_TEST_DATA "/metafile/") + name;
}

QByteArray FixtureBytes(const QString& name)
{
    return TestEnv::readFile(Fixture(name));
}

// The picture drawn at `size` on white, as the viewer shows it.
QImage DrawnOnWhite(const PictureLoadResult& r, QSize size)
{
    QImage drawn = ScaledPicture(r, size);
    QImage out(size, QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter(&out).drawImage(0, 0, drawn);
    return out;
}

bool Near(QRgb a, QRgb b, int tolerance = 40)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// How many pixels of the part (fractions of the picture) are near the colour.
int CountNear(const QImage& image, double x0, double y0, double x1, double y1, QRgb colour)
{
    int n = 0;
    for (int y = int(y0 * image.height()); y < int(y1 * image.height()); ++y)
        for (int x = int(x0 * image.width()); x < int(x1 * image.width()); ++x)
            n += Near(image.pixel(x, y), colour) ? 1 : 0;
    return n;
}

const QRgb Red = qRgb(0xD0, 0x20, 0x20);
const QRgb Blue = qRgb(0x20, 0x40, 0xD0);
const QRgb Green = qRgb(0x20, 0xA0, 0x40);
const QRgb Purple = qRgb(0x80, 0x00, 0x80);
const QRgb Black = qRgb(0, 0, 0);
const QRgb White = qRgb(255, 255, 255);

struct FixtureCase {
    const char* file;
    QSize natural;  // from the header, worked out by hand in tests/data/metafile/README.md
};

const FixtureCase kFixtures[] = {
    {"tegning.wmf", QSize(373, 273)},
    // Without the placeable header the size is measured from the records by libwmf; what
    // matters is that it keeps the drawing's proportions.
    {"tegning-uten-hode.wmf", QSize()},
    {"tegning.emf", QSize(372, 272)},
};

}  // namespace

TEST(Metafile, FixturesLoadWithTheirNaturalSizeAndDrawWhereTheDrawingPutsThem)
{
    for (const FixtureCase& c : kFixtures) {
        SCOPED_TRACE(c.file);
        const PictureLoadResult r = LoadPicture(Fixture(c.file));
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        ASSERT_NE(r.metafile, nullptr);
        if (c.natural.isValid()) {
            EXPECT_EQ(r.naturalSize, c.natural);
        } else {
            EXPECT_GT(r.naturalSize.width(), 100);
            EXPECT_NEAR(double(r.naturalSize.width()) / r.naturalSize.height(), 373.0 / 273.0, 0.05);
        }
        // Drawn at twice its natural size: each shape's middle in its colour, white outside,
        // and the two words in their colours.
        const QImage image = DrawnOnWhite(r, r.naturalSize * 2);
        const struct {
            double x, y;
            QRgb colour;
        } probes[] = {{0.24, 0.22, Red}, {0.72, 0.27, Blue}, {0.30, 0.82, Green}, {0.95, 0.05, White},
                      {0.50, 0.50, White}, {0.90, 0.45, White}};
        for (const auto& p : probes) {
            const QRgb got = image.pixel(int(p.x * image.width()), int(p.y * image.height()));
            EXPECT_TRUE(Near(got, p.colour)) << "at " << p.x << "," << p.y << " got " << std::hex << got;
        }
        EXPECT_GT(CountNear(image, 0.53, 0.66, 0.76, 0.78, Black), 200) << "the word in the sans font";
        EXPECT_GT(CountNear(image, 0.53, 0.82, 0.72, 0.95, Purple), 200) << "the word in the serif font";
    }
}

TEST(Metafile, IsDrawnSharpAtTheSizeItIsShown)
{
    // Shown at four times its natural size, the left edge of the red rectangle's black border
    // goes from white to black within two pixels; a small bitmap blown up would smear it
    // over about four.
    for (const FixtureCase& c : kFixtures) {
        SCOPED_TRACE(c.file);
        const PictureLoadResult r = LoadPicture(Fixture(c.file));
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        const QImage image = DrawnOnWhite(r, r.naturalSize * 4);
        const int y = int(0.22 * image.height());
        int firstGrey = -1, firstBlack = -1;
        for (int x = 0; x < image.width() / 4 && firstBlack < 0; ++x) {
            const int level = qGray(image.pixel(x, y));
            if (firstGrey < 0 && level < 230)
                firstGrey = x;
            if (level < 40)
                firstBlack = x;
        }
        ASSERT_GE(firstGrey, 0);
        ASSERT_GE(firstBlack, 0);
        EXPECT_LE(firstBlack - firstGrey, 2);
    }
}

TEST(Metafile, TheControlDrawsTheVisiblePartByTheDisplayRule)
{
    // Neither choice: the drawing at natural size from the corner, cut at the control's edge;
    // both: the largest size with the drawing's proportions.
    PictureControl control;
    control.resize(200, 600);
    control.setStretch(false);
    control.setProportional(false);
    control.load(Fixture("tegning.wmf"));
    EXPECT_EQ(control.pictureSize(), QSize(373, 273));
    EXPECT_EQ(control.displayRect(), QRect(0, 0, 373, 273));
    QImage shown = control.grab().toImage();
    EXPECT_TRUE(Near(shown.pixel(int(0.24 * 373), int(0.22 * 273)), Red));
    EXPECT_TRUE(Near(shown.pixel(100, 400), White));

    control.setStretch(true);
    control.setProportional(true);
    EXPECT_EQ(control.displayRect(), QRect(0, 0, 200, 146));
    shown = control.grab().toImage();
    EXPECT_TRUE(Near(shown.pixel(int(0.72 * 200), int(0.27 * 146)), Blue));
    EXPECT_TRUE(Near(shown.pixel(100, 300), White));
}

TEST(Metafile, TheOpenDialogPreviewAndTheLoaderShareTheScaledDrawing)
{
    const PictureLoadResult r = LoadPicture(Fixture("tegning.emf"));
    ASSERT_TRUE(r.ok());
    const QImage small = ScaledPicture(r, QSize(100, 73));
    ASSERT_EQ(small.size(), QSize(100, 73));
    QImage onWhite(small.size(), QImage::Format_RGB32);
    onWhite.fill(Qt::white);
    QPainter(&onWhite).drawImage(0, 0, small);
    EXPECT_TRUE(Near(onWhite.pixel(24, 16), Red));
}

TEST(Metafile, DamagedAndHostileFilesGiveTheLoadersError)
{
    TestEnv env;
    const QByteArray wmf = FixtureBytes("tegning.wmf");
    const QByteArray emf = FixtureBytes("tegning.emf");
    QByteArray hugeEmf = emf;
    // The EMF frame (hundredths of a millimetre) at bytes 24..39: 2 000 000 000 wide.
    const qint32 huge = 2000000000;
    std::memcpy(hugeEmf.data() + 32, &huge, 4);
    QByteArray hugeWmf = wmf;
    // The placeable header's units per inch: 1, so 9856 units are 9856 inches.
    hugeWmf[14] = 1;
    hugeWmf[15] = 0;
    QByteArray noInch = wmf;
    noInch[14] = 0;
    noInch[15] = 0;
    QByteArray negativeEmf = emf;
    const qint32 minus = -5000;
    std::memcpy(negativeEmf.data() + 32, &minus, 4);

    const struct {
        const char* name;
        QByteArray bytes;
        const char* reason;
    } cases[] = {
        {"halv.wmf", wmf.left(wmf.size() / 2), "metafilen er skadet"},
        {"hode.wmf", wmf.left(40), "metafilen er skadet"},
        {"rot.wmf", QByteArray(500, 'x'), "filen er ikke en metafil (WMF)"},
        {"stor.wmf", hugeWmf, "tegningen er for stor til å vises"},
        {"nullmaal.wmf", noInch, "ingen målestokk"},
        {"halv.emf", emf.left(emf.size() / 2), "metafilen er skadet"},
        {"kort.emf", emf.left(60), "filen er ikke en utvidet metafil (EMF)"},
        {"rot.emf", QByteArray(500, 'x'), "filen er ikke en utvidet metafil (EMF)"},
        {"stor.emf", hugeEmf, "tegningen er for stor til å vises"},
        {"negativ.emf", negativeEmf, "tegningen har ingen utstrekning"},
        {"wmf-som.emf", wmf, "filen er ikke en utvidet metafil (EMF)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = env.path(c.name);
        TestEnv::writeFile(path, c.bytes);
        QElapsedTimer clock;
        clock.start();
        const PictureLoadResult r = LoadPicture(path);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.error.startsWith(QStringLiteral("Bildet kan ikke leses: ") + path)) << r.error.toStdString();
        EXPECT_TRUE(r.error.contains(QString::fromUtf8(c.reason))) << r.error.toStdString();
    }
    TestEnv::writeFile(env.path("tom.emf"), QByteArray());
    EXPECT_EQ(LoadPicture(env.path("tom.emf")).error, "Bildefilen er tom: " + env.path("tom.emf"));
}

TEST(Metafile, AHelperThatHangsOrCrashesEndsAsAnErrorInBoundedTime)
{
    // Stand-ins for a renderer caught in a loop and one that crashes on its input.
    TestEnv env;
    const QString hang = env.path("heng.sh");
    const QString crash = env.path("krasj.sh");
    TestEnv::writeFile(hang, "#!/bin/sh\nexec sleep 60\n");
    TestEnv::writeFile(crash, "#!/bin/sh\nkill -SEGV $$\n");
    QFile::setPermissions(hang, QFile::ReadOwner | QFile::ExeOwner);
    QFile::setPermissions(crash, QFile::ReadOwner | QFile::ExeOwner);

    const QString realHelper = MetafileHelperPath();
    const int realTimeout = MetafileHelperTimeoutMs();
    SetMetafileHelperTimeoutMs(1500);
    const struct {
        QString helper;
        const char* reason;
    } cases[] = {{hang, "tegningen tok for lang tid å tegne"},
                 {crash, "metafilen er skadet (tegneprogrammet stoppet)"},
                 {env.path("finnes-ikke"), "tegneprogrammet for metafiler finnes ikke"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        SetMetafileHelperPath(c.helper);
        QElapsedTimer clock;
        clock.start();
        const PictureLoadResult r = LoadPicture(Fixture("tegning.wmf"));
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.error.contains(QString::fromUtf8(c.reason))) << r.error.toStdString();
        EXPECT_LT(clock.elapsed(), 5000);
    }
    SetMetafileHelperPath(realHelper);
    SetMetafileHelperTimeoutMs(realTimeout);
    EXPECT_TRUE(LoadPicture(Fixture("tegning.wmf")).ok());
}

TEST(Metafile, HeaderSizeTable)
{
    // The header alone decides the natural size: placeable WMF box and units per inch, EMF
    // frame; a plain WMF header leaves it to the records.
    auto placeable = [](qint16 left, qint16 top, qint16 right, qint16 bottom, quint16 inch) {
        QByteArray h(22, 0);
        const quint32 key = 0x9AC6CDD7;
        std::memcpy(h.data(), &key, 4);
        std::memcpy(h.data() + 6, &left, 2);
        std::memcpy(h.data() + 8, &top, 2);
        std::memcpy(h.data() + 10, &right, 2);
        std::memcpy(h.data() + 12, &bottom, 2);
        std::memcpy(h.data() + 14, &inch, 2);
        return h;
    };
    auto emfHeader = [](qint32 left, qint32 top, qint32 right, qint32 bottom) {
        QByteArray h(88, 0);
        const quint32 type = 1, signature = 0x464D4520;
        std::memcpy(h.data(), &type, 4);
        const qint32 frame[4] = {left, top, right, bottom};
        std::memcpy(h.data() + 24, frame, 16);
        std::memcpy(h.data() + 40, &signature, 4);
        return h;
    };
    QByteArray plain(18, 0);
    plain[0] = 1;
    plain[2] = 9;
    const struct {
        QByteArray header;
        MetafileKind kind;
        double dpi;
        bool ok;
        int width, height;
    } cases[] = {
        {placeable(0, 0, 1440, 720, 1440), MetafileKind::Wmf, 96, true, 96, 48},
        {placeable(100, 50, 1540, 770, 1440), MetafileKind::Wmf, 96, true, 96, 48},
        {placeable(1440, 720, 0, 0, 1440), MetafileKind::Wmf, 96, true, 96, 48},  // box given backwards
        {placeable(0, 0, 1440, 720, 1440), MetafileKind::Wmf, 120, true, 120, 60},
        {placeable(0, 0, 32000, 32000, 1), MetafileKind::Wmf, 96, false, 0, 0},   // 3 million pixels a side
        {placeable(0, 0, 100, 100, 0), MetafileKind::Wmf, 96, false, 0, 0},
        {placeable(0, 0, 0, 100, 1440), MetafileKind::Wmf, 96, false, 0, 0},      // no width
        {plain, MetafileKind::Wmf, 96, true, 0, 0},
        {emfHeader(0, 0, 2540, 1270), MetafileKind::Emf, 96, true, 96, 48},
        {emfHeader(-1270, -1270, 1270, 0), MetafileKind::Emf, 96, true, 96, 48},
        {emfHeader(0, 0, 2000000000, 2540), MetafileKind::Emf, 96, false, 0, 0},
        {emfHeader(0, 0, 2540 * 20000, 2540 * 20000), MetafileKind::Emf, 96, false, 0, 0},  // 2^28 passed
        {emfHeader(0, 0, 2540, 1270).left(87), MetafileKind::Emf, 96, false, 0, 0},
    };
    for (const auto& c : cases) {
        int w = -1, h = -1;
        std::string error;
        const bool ok = MetafileHeaderSize(reinterpret_cast<const unsigned char*>(c.header.constData()),
                                           std::size_t(c.header.size()), c.kind, c.dpi, &w, &h, &error);
        EXPECT_EQ(ok, c.ok) << error;
        if (c.ok) {
            EXPECT_EQ(w, c.width);
            EXPECT_EQ(h, c.height);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}
