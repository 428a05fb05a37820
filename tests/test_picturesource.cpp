// The picture source below the viewer's picture control: answers in the order asked, earlier
// requests dropped, the prefetch taken or decoded again, its failure kept until asked for; and
// the control decoding again when it grows past the decoded scale.
#include "framework/uihooks.h"
#include "testenv.h"
#include "viewer/jpegdecoder.h"
#include "viewer/picturecontrol.h"
#include "viewer/picturesource.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QThread>

#include <gtest/gtest.h>

namespace {

void SavePicture(const QString& path, QSize size, QColor colour, const char* format = "JPEG")
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(path, format, 95)) << path.toStdString();
}

// Every answer the source gives, in the order given.
struct Answers {
    QList<PictureAnswer> all;
    explicit Answers(PictureSource& source)
    {
        source.answer = [this](const PictureAnswer& a) { all << a; };
    }
    QList<PictureAnswer> finals() const
    {
        QList<PictureAnswer> out;
        for (const PictureAnswer& a : all)
            if (a.final)
                out << a;
        return out;
    }
};

const DrawTarget Fitted{{688, 434}, true, true};

QRgb Centre(const QImage& image)
{
    return image.pixel(image.width() / 2, image.height() / 2);
}

}  // namespace

TEST(PictureSourceTest, OnlyTheNewestRequestIsAnswered)
{
    TestEnv env;
    SavePicture(env.path("a.jpg"), {1600, 1200}, Qt::red);
    SavePicture(env.path("b.jpg"), {300, 600}, Qt::green);
    PictureSource source;
    Answers answers(source);
    source.request(env.path("a.jpg"), Fitted);
    const quint64 b = source.request(env.path("b.jpg"), Fitted);
    EXPECT_FALSE(source.settled());
    ASSERT_TRUE(source.waitUntilIdle());
    ASSERT_EQ(answers.all.size(), 1) << "the step past a.jpg dropped it";
    const PictureAnswer& got = answers.all.first();
    EXPECT_EQ(got.id, b);
    EXPECT_EQ(got.path, env.path("b.jpg"));
    EXPECT_TRUE(got.final);
    EXPECT_EQ(got.picture.naturalSize, QSize(300, 600));
    EXPECT_EQ(got.drawnSize, QSize(217, 434));
    EXPECT_EQ(got.drawn.size(), QSize(217, 434)) << "scaled to the drawn size on the worker";

    // Then a missing file: an answer with the loader's message, in order after it.
    source.request(env.path("borte.jpg"), Fitted);
    ASSERT_TRUE(source.waitUntilIdle());
    ASSERT_EQ(answers.all.size(), 2);
    EXPECT_FALSE(answers.all.last().picture.ok());
    EXPECT_EQ(answers.all.last().picture.error, "Finner ikke bildefilen: " + env.path("borte.jpg"));
}

TEST(PictureSourceTest, ThePrefetchIsTakenUnlessTheFileChanged)
{
    TestEnv env;
    const QString path = env.path("neste.jpg");
    SavePicture(path, {800, 600}, Qt::blue);
    PictureSource source;
    Answers answers(source);

    source.prefetch(path, Fitted);
    ASSERT_TRUE(source.waitUntilIdle());
    EXPECT_TRUE(source.hasPrefetched(path));
    EXPECT_TRUE(answers.all.isEmpty()) << "a prefetch answers nobody";
    source.request(path, Fitted);
    ASSERT_TRUE(source.waitUntilIdle());
    ASSERT_EQ(answers.all.size(), 1);
    EXPECT_TRUE(answers.all.last().prefetched);
    EXPECT_GT(qBlue(Centre(answers.all.last().picture.image)), 240);
    EXPECT_FALSE(source.hasPrefetched(path)) << "taken, not kept twice";

    // For another size the prefetch does not fit and the picture is decoded for that size.
    source.prefetch(path, Fitted);
    ASSERT_TRUE(source.waitUntilIdle());
    source.request(path, DrawTarget{{100, 100}, true, true});
    ASSERT_TRUE(source.waitUntilIdle());
    EXPECT_FALSE(answers.all.last().prefetched);
    EXPECT_EQ(answers.all.last().drawnSize, QSize(100, 75));

    // Changed on disk after the prefetch: another picture, or the same bytes written anew.
    struct Change {
        const char* what;
        QSize size;
        QColor colour;
    } changes[] = {{"another picture", {640, 480}, Qt::red}, {"touched", {800, 600}, Qt::blue}};
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        SavePicture(path, {800, 600}, Qt::blue);
        source.prefetch(path, Fitted);
        ASSERT_TRUE(source.waitUntilIdle());
        ASSERT_TRUE(source.hasPrefetched(path));
        const QDateTime before = QFileInfo(path).lastModified();
        SavePicture(path, change.size, change.colour);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(before.addSecs(5), QFileDevice::FileModificationTime));
        file.close();
        source.request(path, Fitted);
        ASSERT_TRUE(source.waitUntilIdle());
        EXPECT_FALSE(answers.all.last().prefetched);
        EXPECT_EQ(answers.all.last().picture.naturalSize, change.size);
        const QRgb centre = Centre(answers.all.last().picture.image);
        EXPECT_NEAR(qRed(centre), change.colour.red(), 3);
        EXPECT_NEAR(qBlue(centre), change.colour.blue(), 3);
    }
}

TEST(PictureSourceTest, APrefetchFailureWaitsUntilAskedFor)
{
    TestEnv env;
    const QString path = env.path("skadet.jpg");
    TestEnv::writeFile(path, "ingen JPEG");
    PictureSource source;
    Answers answers(source);
    source.prefetch(path, Fitted);
    ASSERT_TRUE(source.waitUntilIdle());
    EXPECT_TRUE(source.hasPrefetched(path));
    EXPECT_TRUE(answers.all.isEmpty());
    source.request(path, Fitted);
    ASSERT_TRUE(source.waitUntilIdle());
    ASSERT_EQ(answers.all.size(), 1);
    EXPECT_TRUE(answers.all.first().prefetched);
    EXPECT_TRUE(answers.all.first().picture.error.contains("skadet.jpg"));
}

TEST(PictureSourceTest, APrefetchNeverDelaysTheRequest)
{
    TestEnv env;
    // A slow picture to prefetch (noise, progressive, decoded at full size) and a quick one.
    const QString slow = env.path("treg.jpg");
    QImage noise(2400, 2400, QImage::Format_RGB32);
    QRandomGenerator random(3);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, random.generate() | 0xff000000u);
    QImageWriter writer(slow, "jpeg");
    writer.setProgressiveScanWrite(true);
    ASSERT_TRUE(writer.write(noise));
    SavePicture(env.path("rask.jpg"), {64, 48}, Qt::red);

    PictureSource source;
    bool slowKeptFirst = true;
    int answered = 0;
    source.answer = [&](const PictureAnswer& a) {
        ++answered;
        slowKeptFirst = source.hasPrefetched(slow);
        EXPECT_EQ(a.path, env.path("rask.jpg"));
    };
    const DrawTarget natural{{2400, 2400}, false, false};
    source.prefetch(slow, natural);
    QThread::msleep(30);  // the prefetch is under way by now: it is cut short
    source.request(env.path("rask.jpg"), natural);
    ASSERT_TRUE(source.waitUntilIdle());
    EXPECT_EQ(answered, 1);
    EXPECT_FALSE(slowKeptFirst) << "the request waited for the prefetch of another file";
}

TEST(PictureSourceTest, AProgressiveJpegIsAnsweredCoarseFirst)
{
    TestEnv env;
    const QString path = env.path("progressiv.jpg");
    QImage image(1200, 900, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
    QImageWriter writer(path, "jpeg");
    writer.setProgressiveScanWrite(true);
    ASSERT_TRUE(writer.write(image));
    PictureSource source;
    Answers answers(source);
    source.request(path, DrawTarget{{1200, 900}, false, false});
    ASSERT_TRUE(source.waitUntilIdle());
    ASSERT_GE(answers.all.size(), 2);
    EXPECT_FALSE(answers.all.first().final);
    EXPECT_EQ(answers.all.first().picture.naturalSize, QSize(1200, 900));
    EXPECT_TRUE(answers.all.last().final);
    EXPECT_EQ(answers.finals().size(), 1);
}

// The picture control asks for the size it draws at, and for a larger scale when it grows.
TEST(PictureControlTest, GrowingPastTheDecodedScaleDecodesAgain)
{
    TestEnv env;
    const QString path = env.path("stor.jpg");
    SavePicture(path, {2400, 1600}, Qt::darkCyan);
    QWidget window;
    window.resize(1400, 1000);
    auto* control = new PictureControl(&window);
    control->setGeometry(0, 0, 300, 200);
    window.show();
    control->load(path);
    EXPECT_EQ(control->decodedScale(), 1);
    EXPECT_EQ(control->pictureSize(), QSize(2400, 1600)) << "the natural size, whatever was decoded";
    EXPECT_EQ(control->picture().size(), QSize(300, 200));

    struct Case {
        QSize size;
        int scale;
    } cases[] = {{{280, 180}, 1}, {{700, 500}, 4}, {{500, 300}, 4}, {{1300, 900}, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size.width());
        control->resize(c.size);
        ASSERT_TRUE(control->waitForPictures());
        EXPECT_EQ(control->decodedScale(), c.scale) << "never smaller again: the larger one is kept";
        EXPECT_EQ(control->picture().size(), JpegScaledSize({2400, 1600}, c.scale));
    }
}

// The busy cursor: only for a load that takes longer than a moment, and off again after it.
TEST(PictureControlTest, ASlowLoadShowsTheBusyCursor)
{
    TestEnv env;
    // 9 megapixels of noise, progressive, drawn at natural size: a full decode of some 16 MB.
    const QString slow = env.path("treg.jpg");
    QImage noise(3000, 3000, QImage::Format_RGB32);
    QRandomGenerator random(5);
    for (int y = 0; y < noise.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x)
            row[x] = random.generate() | 0xff000000u;
    }
    QImageWriter writer(slow, "jpeg");
    writer.setProgressiveScanWrite(true);
    ASSERT_TRUE(writer.write(noise));
    SavePicture(env.path("rask.jpg"), {64, 48}, Qt::red);

    QList<bool> cursor;
    uiHooks().busyCursor = [&cursor](bool busy) { cursor << busy; };
    const auto restore = qScopeGuard([] { uiHooks().busyCursor = nullptr; });
    QWidget window;
    auto* control = new PictureControl(&window);
    control->setGeometry(0, 0, 300, 200);
    control->setStretch(false);
    control->setProportional(false);
    window.show();

    control->load(env.path("rask.jpg"));
    EXPECT_TRUE(cursor.isEmpty()) << "no busy cursor for a quick picture";
    control->load(slow);
    EXPECT_EQ(cursor, QList<bool>({true, false}));
    EXPECT_EQ(control->pictureSize(), QSize(3000, 3000));
}
