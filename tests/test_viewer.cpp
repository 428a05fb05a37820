// The picture viewer: the display rule, the picture list and the window's behaviour.
#include "framework/kv_reg.h"
#include "framework/uihooks.h"
#include "platform/fake/shell_fake.h"
#include "testenv.h"
#include "viewer/displayrule.h"
#include "viewer/main.h"
#include "viewer/openpicturedialog.h"
#include "viewer/picturecontrol.h"
#include "viewer/picturelist.h"
#include "viewer/picturesource.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

void SavePicture(const QString& path, QSize size, QColor colour)
{
    QDir().mkpath(QFileInfo(path).path());
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(path, QFileInfo(path).suffix().toLower() == "bmp" ? "BMP" : "JPEG", 95)) << path.toStdString();
}

QStringList Captions(const QList<QAction*>& actions)
{
    QStringList out;
    for (QAction* a : actions)
        out << (a->isSeparator() ? QString("-") : a->text());
    return out;
}

// Records the error messages the window shows.
struct ErrorRecorder {
    QStringList errors;
    ErrorRecorder() { uiHooks().error = [this](const QString& t) { errors << t; }; }
    ~ErrorRecorder() { uiHooks().error = nullptr; }
};

}  // namespace

// ---------------------------------------------------------------------------------------------

TEST(DisplayRule, Table)
{
    struct Case {
        QSize picture;
        QSize area;
        bool stretch;
        bool proportional;
        QSize drawn;
    };
    // Both shapes of area: in the wide one a tall picture is bound by the height, in the tall one a
    // picture a little taller than wide is bound by the width, which takes the second clamp.
    const QSize wide(688, 434);
    const QSize tall(300, 600);
    const Case cases[] = {
        // Each combination of the two choices, for a picture smaller than the area...
        {{400, 300}, wide, false, false, {400, 300}},   // natural size
        {{400, 300}, wide, false, true, {400, 300}},    // proportional alone does not enlarge
        {{400, 300}, wide, true, false, {688, 434}},    // stretch alone fills the area
        {{400, 300}, wide, true, true, {578, 434}},     // enlarged to the height, 578.67 truncated
        {{200, 100}, tall, true, true, {300, 150}},     // enlarged to the width
        {{100, 200}, tall, true, true, {300, 600}},     // exactly the area's shape
        // ... for one larger in the width only ...
        {{700, 100}, wide, false, false, {700, 100}},   // cut at the right edge
        {{700, 100}, wide, false, true, {688, 98}},     // 98.29 truncated
        {{700, 100}, wide, true, false, {688, 434}},
        {{700, 100}, wide, true, true, {688, 98}},
        // ... and for one larger in the height only.
        {{300, 600}, wide, false, false, {300, 600}},   // cut at the bottom
        {{300, 600}, wide, false, true, {217, 434}},
        {{300, 600}, wide, true, false, {688, 434}},
        {{300, 600}, wide, true, true, {217, 434}},
        {{250, 900}, tall, false, true, {166, 600}},    // 166.67 truncated
        // Wide pictures: bound by the width, or by the height when the area is wider still.
        {{1000, 500}, wide, false, true, {688, 344}},   // exactly 344
        {{2000, 500}, wide, false, true, {688, 172}},
        {{900, 600}, wide, false, true, {651, 434}},    // height clamp: 458 > 434, then 651 exactly
        {{600, 400}, wide, true, true, {651, 434}},
        {{900, 300}, tall, false, true, {300, 100}},
        // Tall and square pictures: bound by the height, or by the width when the area is narrower.
        {{500, 1000}, wide, false, true, {217, 434}},   // exactly 217
        {{400, 600}, tall, false, true, {300, 450}},    // width clamp: 400 > 300, then 450 exactly
        {{450, 500}, tall, true, true, {300, 333}},     // width clamp, 333.33 truncated
        {{1000, 1000}, wide, false, true, {434, 434}},
        {{1000, 1000}, tall, false, true, {300, 300}},  // square, width clamp
        // No picture, no area.
        {{0, 0}, wide, true, true, {688, 434}},         // proportional needs a size
        {{400, 300}, {0, 0}, true, true, {0, 0}},
        {{400, 300}, {0, 0}, false, false, {400, 300}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.picture.width() << "x" << c.picture.height() << " in "
                                        << c.area.width() << "x" << c.area.height() << " s" << c.stretch
                                        << " p" << c.proportional);
        const QRect r = DisplayRect(c.picture, c.area, c.stretch, c.proportional);
        EXPECT_EQ(r.topLeft(), QPoint(0, 0));
        EXPECT_EQ(r.size(), c.drawn);
    }
}

// ---------------------------------------------------------------------------------------------

TEST(PictureListTest, PatternMatchesTheExtensionAfterTheLastDot)
{
    struct Case {
        const char* name;
        bool match;
    };
    const Case cases[] = {{"a.jpg", true},   {"b.jpeg", true},  {"c.JPG", true},     {"d.jp2", true},
                          {"e.jpe", true},   {"x.Jp", true},    {"e.png", false},    {"g.jpg.bak", false},
                          {"jpg", false},    {".jpg", true},    {"a.b.jpx", true},   {"a.xjpg", false}};
    for (const Case& c : cases)
        EXPECT_EQ(MatchesJpegPattern(c.name), c.match) << c.name;
}

TEST(PictureListTest, MixedFolderListsTheJpegNamesInFolderSearchOrder)
{
    TestEnv env;
    const QString folder = env.path("pics/");
    for (const char* name : {"c.JPG", "e.png", "a.jpg", "g.jpg.bak", "d.jp2", "b.jpeg", ".skjult.jpg", "_x.jpg", "Z.jpg"})
        TestEnv::writeFile(folder + name, "x");
    QDir().mkpath(folder + "f.jpg");
    // A link to a folder is a folder; a link to a file is a file.
    QFile::link(folder + "f.jpg", folder + "lenke.jpg");

    PictureList list;
    list.LastListen(folder, QString());
    // Upper-cased code units: '.' < 'A' < 'Z' < '_', unlike a plain sort of the names.
    EXPECT_EQ(list.entries, QStringList({folder + ".skjult.jpg", folder + "a.jpg", folder + "b.jpeg",
                                         folder + "c.JPG", folder + "d.jp2", folder + "Z.jpg", folder + "_x.jpg"}));
    EXPECT_EQ(list.current, 0);
}

TEST(PictureListTest, StepsWrapAndTheDialogFileIsCurrent)
{
    TestEnv env;
    const QString folder = env.path("pics/");
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg"})
        TestEnv::writeFile(folder + name, "x");

    PictureList list;
    list.LastListen(folder, folder + "3.jpg");
    EXPECT_EQ(list.current, 2);
    EXPECT_EQ(list.Step(), folder + "1.jpg");
    EXPECT_EQ(list.Step(), folder + "2.jpg");

    list.LastListen(folder, folder + "3.JPG");   // letter case counts
    EXPECT_EQ(list.current, 0);
    list.LastListen(folder, folder + "bilde.bmp");
    EXPECT_EQ(list.current, 0);

    PictureList one;
    TestEnv::writeFile(env.path("one/only.jpg"), "x");
    one.LastListen(env.path("one/"), {});
    EXPECT_EQ(one.Step(), env.path("one/only.jpg"));
    EXPECT_EQ(one.Step(), env.path("one/only.jpg"));

    PictureList empty;
    empty.LastListen(env.path("missing/"), {});
    EXPECT_EQ(empty.current, -1);
    EXPECT_EQ(empty.Step(), "");
}

TEST(PictureListTest, FolderTextIsUsedInFull)
{
    TestEnv env;
    // Longer than 255 characters, and with letters outside any 8-bit code page.
    QString folder = env.path(QString::fromUtf8("東京-") + QString(120, 'a') + "/" + QString(140, 'b') + "/");
    TestEnv::writeFile(folder + QString::fromUtf8("øl.jpg"), "x");
    PictureList list;
    list.LastListen(folder, {});
    EXPECT_EQ(list.entries, QStringList({folder + QString::fromUtf8("øl.jpg")}));
}

TEST(PictureListTest, FolderTextWithoutItsClosingSeparatorGetsOne)
{
    TestEnv env;
    const QString folder = env.path("pics");   // as typed into the settings file by hand
    for (const char* name : {"b.jpg", "a.jpg"})
        TestEnv::writeFile(folder + "/" + name, "x");
    PictureList list;
    list.LastListen(folder, folder + "/b.jpg");
    EXPECT_EQ(list.entries, QStringList({folder + "/a.jpg", folder + "/b.jpg"}));
    EXPECT_EQ(list.current, 1);
    EXPECT_EQ(list.Step(), folder + "/a.jpg");
    EXPECT_TRUE(QFileInfo(list.entries.first()).isFile());
}

TEST(PictureListTest, EmptyFolderTextListsTheWorkingFolderWithBareNames)
{
    TestEnv env;   // the working folder is env.path("work")
    TestEnv::writeFile(env.path("work/b.jpg"), "x");
    TestEnv::writeFile(env.path("work/a.jpg"), "x");
    PictureList list;
    list.LastListen(QString(), {});
    EXPECT_EQ(list.entries, QStringList({"a.jpg", "b.jpg"}));
}

// ---------------------------------------------------------------------------------------------
// The window

class Viewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        LocateSettingsFile();
        OpenSettingsFile();
        folder = env.path("pics/");
        SavePicture(folder + "a.jpg", {400, 300}, Qt::red);
        SavePicture(folder + "b.jpg", {300, 600}, Qt::green);
        SavePicture(folder + "c.jpg", {64, 48}, Qt::blue);
    }

    std::unique_ptr<TBildeviserForm> create(const QStringList& args = {})
    {
        auto form = std::make_unique<TBildeviserForm>(args);
        form->show();
        QApplication::processEvents();
        Settle(form.get());
        return form;
    }

    // Waits until the pictures asked for are shown (or failed) and the prefetch is done.
    static void Settle(TBildeviserForm* form) { ASSERT_TRUE(form->Image1->waitForPictures()); }

    static QRgb CentreColour(PictureControl* image)
    {
        return image->picture().pixel(image->picture().width() / 2, image->picture().height() / 2);
    }

    TestEnv env;
    ErrorRecorder recorder;
    QString folder;
};

TEST_F(Viewer, FirstStartWithoutArguments)
{
    auto form = create();
    EXPECT_EQ(form->windowTitle(), "Tavlund bildeviser");
    EXPECT_EQ(form->frameGeometry().topLeft(), QPoint(0, 0));
    EXPECT_EQ(form->centralWidget()->size(), QSize(688, 434));
    EXPECT_EQ(form->Image1->size(), QSize(688, 434));
    EXPECT_FALSE(form->Strekk->isChecked());
    EXPECT_FALSE(form->Proposjonalt->isChecked());
    EXPECT_FALSE(form->Fullskjerm->isChecked());
    EXPECT_TRUE(form->hasBorder());
    EXPECT_EQ(ProgramTitle(), "Bildeviser");
    EXPECT_TRUE(recorder.errors.isEmpty());
}

TEST_F(Viewer, MenusAndActions)
{
    auto form = create();
    QStringList menus;
    QList<QStringList> entries;
    for (QAction* m : form->menuBar()->actions()) {
        menus << m->text();
        entries << Captions(m->menu()->actions());
    }
    EXPECT_EQ(menus, QStringList({"Fil", "Muligheter", "Hjelp"}));
    EXPECT_EQ(entries[0], QStringList({"Åpne bilde", "-", "Avslutt"}));
    EXPECT_EQ(entries[1], QStringList({"Strekk bilde", "Vis proposjonalt", "-", "Lysbildefremvisning", "-", "Full skjerm"}));
    EXPECT_EQ(entries[2], QStringList({"Systeminformasjon", "Oppdater program fra internett", "Tavlund på internett"}));
    EXPECT_EQ(Captions(form->PopupMenu1->actions()),
              QStringList({"Åpne bilde", "-", "Strekk bilde", "Vis proposjonalt", "Full skjerm", "-",
                           "Lysbildefremvisning", "-", "Systeminformasjon", "Oppdater program fra internett",
                           "Tavlund på internett", "-", "Avslutt"}));
    for (QAction* a : {form->Strekk, form->Proposjonalt, form->Fullskjerm, form->Avslutt, form->Openfile,
                       form->Systeminformasjon, form->OppdaterProgram, form->Internett, form->NesteBilde,
                       form->Lysbilde})
        EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();
    EXPECT_EQ(form->NesteBilde->text(), "Neste bilde");
    EXPECT_TRUE(form->Systeminformasjon->isEnabled());
}

TEST_F(Viewer, OpenDialogListsTheFormatsInTheLoadersOrder)
{
    EXPECT_EQ(OpenPictureDialog::pictureFilters(),
              QStringList({"Alle bilder (*.wmf *.emf *.ico *.tiff *.tif *.bmp *.jpeg *.jpg *.png *.gif *.webp)",
                           "Metafil (*.wmf)", "Utvidet metafil (*.emf)", "Ikon (*.ico)", "TIFF-bilde (*.tiff)",
                           "TIFF-bilde (*.tif)", "Punktgrafikk (*.bmp)", "JPEG-bilde (*.jpeg)", "JPEG-bilde (*.jpg)",
                           "PNG-bilde (*.png)", "GIF-bilde (*.gif)", "WebP-bilde (*.webp)"}));
}

TEST_F(Viewer, StartWithOnePictureShowsItFullScreen)
{
    IniWriteBool("Bilde-Strekk", true);
    IniWriteBool("Bilde-Proposjonalt", true);
    auto form = create({folder + "c.jpg"});
    EXPECT_EQ(form->windowTitle(), "Tavlund bildeviser: " + folder + "c.jpg");
    EXPECT_FALSE(form->hasBorder());
    EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(form->menuBar()->isVisible());
    EXPECT_TRUE(form->isMaximized());
    EXPECT_TRUE(form->Fullskjerm->isChecked());
    EXPECT_EQ(IniReadString("SisteBildeMappe"), folder);
    EXPECT_EQ(form->Image1->pictureSize(), QSize(64, 48));
    EXPECT_TRUE(form->Strekk->isChecked());
    // The dialog has confirmed nothing yet, so the first entry is current and a step shows the
    // second, whatever the argument's own place.
    EXPECT_EQ(form->ListBox1.current, 0);
    form->NesteBildeExecute();
    Settle(form.get());
    EXPECT_EQ(form->Image1->pictureSize(), QSize(300, 600));
    EXPECT_EQ(form->ListBox1.current, 1);
}

TEST_F(Viewer, StartWithSomethingThatIsNoPicture)
{
    IniWriteBool("Bilde-Strekk", false);
    IniWriteBool("Bilde-Proposjonalt", false);
    IniWriteString("SisteBildeMappe", folder);
    auto form = create({"--debug"});
    ASSERT_EQ(recorder.errors.size(), 1);
    EXPECT_TRUE(recorder.errors.first().contains("--debug"));
    EXPECT_EQ(form->windowTitle(), "Tavlund bildeviser: --debug");
    EXPECT_TRUE(form->isMaximized());
    EXPECT_TRUE(form->Fullskjerm->isChecked());
    EXPECT_FALSE(form->hasBorder());
    EXPECT_TRUE(form->Image1->picture().isNull());
    EXPECT_TRUE(form->Strekk->isChecked()) << "design-time state kept";
    EXPECT_TRUE(form->Proposjonalt->isChecked());
    EXPECT_TRUE(form->ListBox1.entries.isEmpty());
    EXPECT_EQ(IniReadString("SisteBildeMappe"), "");
    EXPECT_TRUE(settingsState().document.contains("STANDARD", "SisteBildeMappe"));

    // The choices on screen were never read, so closing does not store them over the user's.
    form->close();
    EXPECT_EQ(IniReadString("Bilde-Strekk"), "0");
    EXPECT_EQ(IniReadString("Bilde-Proposjonalt"), "0");
}

TEST_F(Viewer, ChoicesMadeAfterAFailedStartAreStored)
{
    IniWriteBool("Bilde-Proposjonalt", false);
    auto form = create({"--debug"});
    form->ProposjonaltExecute();
    EXPECT_FALSE(form->Image1->proportional());
    form->close();
    EXPECT_EQ(IniReadString("Bilde-Strekk"), "1");
    EXPECT_EQ(IniReadString("Bilde-Proposjonalt"), "0");
}

TEST_F(Viewer, StoredPlacementIsAppliedAtCreationAndAfterFullScreen)
{
    settingsState().cachedUser = "tester";
    TestEnv::writeFile(settingsState().SettingsFolder + "TESTER.INI",
                       "[VINDU-Bildeviser]\r\nLeft=100\r\nTop=50\r\nHeight=400\r\nWidth=500\r\n");
    auto form = create();
    EXPECT_EQ(form->frameGeometry(), QRect(100, 50, 500, 400));

    form->move(123, 77);
    QApplication::processEvents();
    form->FullskjermExecute();
    EXPECT_EQ(form->geometry().topLeft(), QPoint(0, 0));
    form->FullskjermExecute();
    EXPECT_EQ(form->frameGeometry(), QRect(123, 77, 500, 400));
}

TEST_F(Viewer, TheBorderlessViewCanBeLeftWithNoPictureToPointAt)
{
    IniWriteBool("Bilde-Strekk", true);
    auto form = create({"--debug"});
    form->StrekkExecute();   // no picture: the control shrinks to nothing
    ASSERT_EQ(form->Image1->size(), QSize(0, 0));
    QMouseEvent move(QEvent::MouseMove, QPointF(40, 5), form->centralWidget()->mapToGlobal(QPointF(40, 5)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form->centralWidget(), &move);
    EXPECT_TRUE(form->hasBorder());
    EXPECT_EQ(form->centralWidget()->contextMenuPolicy(), Qt::CustomContextMenu);
}

TEST_F(Viewer, ProportionalFollowsItsAction)
{
    auto form = create();
    form->ProposjonaltExecute();
    EXPECT_TRUE(form->Proposjonalt->isChecked());
    EXPECT_TRUE(form->Image1->proportional());
    form->ProposjonaltExecute();
    EXPECT_FALSE(form->Image1->proportional());
}

TEST_F(Viewer, ADamagedPictureKeepsThePreviousOneAndTheStepAfterMovesOn)
{
    TestEnv::writeFile(folder + "b2.jpg", "this is no JPEG");   // between b.jpg and c.jpg
    IniWriteString("SisteBildeMappe", folder);
    auto form = create();
    ASSERT_EQ(form->ListBox1.entries.size(), 4);
    form->NesteBildeExecute();   // b.jpg
    Settle(form.get());
    EXPECT_EQ(form->Image1->pictureSize(), QSize(300, 600));
    // b2.jpg was decoded ahead and failed; its error waits for the step onto it.
    EXPECT_TRUE(form->Image1->source().hasPrefetched(folder + "b2.jpg"));
    EXPECT_TRUE(recorder.errors.isEmpty());
    form->NesteBildeExecute();   // b2.jpg
    Settle(form.get());
    ASSERT_EQ(recorder.errors.size(), 1);
    EXPECT_TRUE(recorder.errors.first().contains("b2.jpg")) << recorder.errors.first().toStdString();
    EXPECT_EQ(form->Image1->pictureSize(), QSize(300, 600)) << "the previous picture stays";
    EXPECT_TRUE(form->Image1->isEnabled()) << "the control still takes clicks";
    form->NesteBildeExecute();   // c.jpg
    Settle(form.get());
    EXPECT_EQ(form->Image1->pictureSize(), QSize(64, 48));
}

TEST_F(Viewer, ClickOnThePictureStepsAndDoubleClickCloses)
{
    IniWriteString("SisteBildeMappe", folder);
    auto form = create();
    int clicked = 0;
    QObject::connect(form->Image1, &PictureControl::clicked, [&] { ++clicked; });
    const QPoint inside(20, 20);
    QMouseEvent press(QEvent::MouseButtonPress, inside, form->Image1->mapToGlobal(inside), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, form->Image1->mapToGlobal(inside), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form->Image1, &press);
    QApplication::sendEvent(form->Image1, &release);
    Settle(form.get());
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(form->ListBox1.current, 1);
    EXPECT_EQ(form->Image1->pictureSize(), QSize(300, 600));

    // While disabled the control takes no clicks.
    form->Image1->setEnabled(false);
    QApplication::sendEvent(form->Image1, &press);
    QApplication::sendEvent(form->Image1, &release);
    EXPECT_EQ(form->ListBox1.current, 1);
    form->Image1->setEnabled(true);

    QMouseEvent dbl(QEvent::MouseButtonDblClick, inside, form->Image1->mapToGlobal(inside), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->Image1, &dbl);
    QApplication::sendEvent(form->Image1, &release);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(IniReadString("Bilde-Strekk"), "0") << "FormClose stored the choices";
}

TEST_F(Viewer, OpenDialogChoiceBecomesCurrentAndCancelChangesNothing)
{
    auto form = create();
    QString answer = folder + "b.jpg";
    QString asked;
    form->choosePicture = [&](const QString& start) {
        asked = start;
        return answer;
    };
    IniWriteString("SisteBildeMappe", "/somewhere/");
    form->OpenfileExecute();
    Settle(form.get());
    EXPECT_EQ(asked, "/somewhere/");
    EXPECT_EQ(form->windowTitle(), "Tavlund bildeviser: " + folder + "b.jpg");
    EXPECT_EQ(IniReadString("SisteBildeMappe"), folder);
    EXPECT_EQ(form->ListBox1.current, 1);
    form->NesteBildeExecute();
    Settle(form.get());
    EXPECT_EQ(form->Image1->pictureSize(), QSize(64, 48)) << "the entry after the chosen one";

    answer.clear();   // cancel
    form->OpenfileExecute();
    EXPECT_EQ(form->windowTitle(), "Tavlund bildeviser: " + folder + "b.jpg");
    EXPECT_EQ(form->ListBox1.current, 2);

    // A file that cannot be loaded leaves caption, folder and list as they were.
    TestEnv::writeFile(env.path("other/broken.jpg"), "garbage");
    answer = env.path("other/broken.jpg");
    form->OpenfileExecute();
    Settle(form.get());
    ASSERT_EQ(recorder.errors.size(), 1);
    EXPECT_TRUE(recorder.errors.first().contains("broken.jpg"));
    EXPECT_EQ(form->windowTitle(), "Tavlund bildeviser: " + folder + "b.jpg");
    EXPECT_EQ(IniReadString("SisteBildeMappe"), folder);
    EXPECT_EQ(form->ListBox1.entries.size(), 3);
}

// Steps and loads take effect in the order made, also while a picture is still on its way.
TEST_F(Viewer, StepsMadeWhileAPictureLoadsTakeEffectInOrder)
{
    IniWriteString("SisteBildeMappe", folder);
    auto form = create();
    ASSERT_EQ(form->ListBox1.current, 0);
    form->NesteBildeExecute();
    form->NesteBildeExecute();   // before b.jpg arrived: it is stepped past
    EXPECT_EQ(form->ListBox1.current, 2);
    Settle(form.get());
    EXPECT_EQ(form->Image1->pictureSize(), QSize(64, 48));

    // A step right after an open dialog choice goes through the list that choice builds.
    TestEnv::writeFile(env.path("andre/x.jpg"), TestEnv::readFile(folder + "a.jpg"));
    TestEnv::writeFile(env.path("andre/y.jpg"), TestEnv::readFile(folder + "b.jpg"));
    form->choosePicture = [&](const QString&) { return env.path("andre/x.jpg"); };
    form->OpenfileExecute();
    form->NesteBildeExecute();
    Settle(form.get());
    EXPECT_EQ(form->windowTitle(), "Tavlund bildeviser: " + env.path("andre/x.jpg"));
    EXPECT_EQ(form->ListBox1.entries, QStringList({env.path("andre/x.jpg"), env.path("andre/y.jpg")}));
    EXPECT_EQ(form->ListBox1.current, 1);
    EXPECT_EQ(form->Image1->pictureSize(), QSize(300, 600));
    EXPECT_TRUE(recorder.errors.isEmpty());
}

TEST_F(Viewer, PointerRuleBringsTheBorderBack)
{
    auto form = create();
    form->FullskjermExecute();
    ASSERT_FALSE(form->hasBorder());
    form->Image1MouseMove(100, 13);
    EXPECT_FALSE(form->hasBorder());
    form->Image1MouseMove(100, 12);
    EXPECT_TRUE(form->hasBorder());
    EXPECT_TRUE(form->menuBar()->isVisible());
    EXPECT_TRUE(form->Fullskjerm->isChecked()) << "still the full-screen view";
    EXPECT_TRUE(form->isMaximized());

    // The next Fullskjerm leaves the view and applies the placement stored on entering it.
    form->FullskjermExecute();
    EXPECT_FALSE(form->Fullskjerm->isChecked());
    EXPECT_TRUE(form->hasBorder());
}

TEST_F(Viewer, ClosingInFullScreenKeepsTheStoredPlacement)
{
    settingsState().cachedUser = "tester";
    auto form = create();
    form->move(50, 60);
    QApplication::processEvents();
    form->FullskjermExecute();   // stores 50, 60
    const QByteArray stored = TestEnv::readFile(settingsState().SettingsFolder + "TESTER.INI");
    ASSERT_TRUE(stored.contains("Left=50"));
    form->close();
    EXPECT_EQ(TestEnv::readFile(settingsState().SettingsFolder + "TESTER.INI"), stored);
}

TEST_F(Viewer, ClosingAfterThePointerRuleStoresTheMaximisedBounds)
{
    settingsState().cachedUser = "tester";
    auto form = create();
    form->FullskjermExecute();
    form->Image1MouseMove(5, 0);
    QApplication::processEvents();
    form->close();
    const IniDocument user = ReadSettingsDocument(settingsState().SettingsFolder + "TESTER.INI");
    EXPECT_EQ(user.value("VINDU-Bildeviser", "Maximized"), "1");
    EXPECT_EQ(user.value("VINDU-Bildeviser", "Left"), "0");
}

TEST_F(Viewer, StretchOffWithoutAPictureSizesTheControlToNothing)
{
    IniWriteBool("Bilde-Strekk", true);
    IniWriteBool("Bilde-Proposjonalt", true);
    auto form = create();
    form->StrekkExecute();
    EXPECT_FALSE(form->Strekk->isChecked());
    EXPECT_EQ(form->Image1->size(), QSize(0, 0));
    form->Image1->load(folder + "a.jpg");
    EXPECT_EQ(form->Image1->size(), QSize(0, 0)) << "later pictures stay invisible";
    form->StrekkExecute();
    EXPECT_EQ(form->Image1->size(), QSize(688, 434));
    EXPECT_EQ(form->Image1->displayRect().size(), QSize(578, 434));
}

TEST_F(Viewer, StretchOffKeepsTheControlAtThePicturesSize)
{
    IniWriteBool("Bilde-Strekk", true);
    IniWriteString("SisteBildeMappe", folder);
    auto form = create();
    form->Image1->load(folder + "c.jpg");
    form->StrekkExecute();
    EXPECT_EQ(form->Image1->size(), QSize(64, 48));
    form->resize(900, 700);
    QApplication::processEvents();
    EXPECT_EQ(form->Image1->size(), QSize(64, 48)) << "no longer follows the window";
}

TEST_F(Viewer, SlideshowRunsTheTimerWhileChecked)
{
    IniWriteString("SisteBildeMappe", folder);
    auto form = create();
    EXPECT_FALSE(form->Timer1.isActive());
    form->LysbildeExecute();
    EXPECT_TRUE(form->Lysbilde->isChecked());
    EXPECT_TRUE(form->Timer1.isActive());
    const QSize shown = form->Image1->pictureSize();
    // A picture stays four seconds: none of the first second steps on. (A timer never fires
    // early, so this cannot fail by chance.)
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(form->ListBox1.current, 0);
    EXPECT_EQ(form->Image1->pictureSize(), shown);
    form->LysbildeExecute();
    EXPECT_FALSE(form->Timer1.isActive());
}

TEST_F(Viewer, SlideshowStepsThroughTheListInOrder)
{
    IniWriteString("SisteBildeMappe", folder);
    auto form = create();
    form->Timer1.setInterval(200);   // the same timer, just not 4 seconds per step in a test
    form->LysbildeExecute();
    QList<QSize> seen;
    QObject::connect(form->Image1, &PictureControl::pictureShown, [&] { seen << form->Image1->pictureSize(); });
    // Events processed by hand rather than in a loop of their own, which a quit request left by
    // an earlier test's closed window would end.
    QElapsedTimer waited;
    waited.start();
    while (seen.size() < 4 && waited.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    form->LysbildeExecute();
    ASSERT_GE(seen.size(), 4);
    EXPECT_EQ(seen.mid(0, 4), QList<QSize>({{300, 600}, {64, 48}, {400, 300}, {300, 600}}));
}

TEST_F(Viewer, CloseStoresTheChoices)
{
    auto form = create();
    form->StrekkExecute();
    form->close();
    EXPECT_EQ(IniReadString("Bilde-Strekk"), "1");
    EXPECT_EQ(IniReadString("Bilde-Proposjonalt"), "0");
}

TEST_F(Viewer, HelpMenuOpensTheWebSiteAndStartsTheUpdaterWithoutClosing)
{
    platform::ScopedFakeShell shell;
    auto form = create();
    form->Internett->trigger();
    ASSERT_EQ(shell->requests().size(), 1);
    EXPECT_EQ(shell->requests().first().target, "https://www.tavlund.no/");

    // The updater ends the application's event loop, so it is triggered from inside one, as in
    // the program. (Ending a loop that is not running would end every later loop of this test
    // program at once.)
    QTimer safety;   // ends the loop with another code should the update not
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    safety.start(10000);
    QTimer::singleShot(0, form->OppdaterProgram, &QAction::trigger);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    ASSERT_EQ(shell->requests().size(), 2);
    EXPECT_TRUE(shell->requests().last().target.endsWith("/oppdater"));
    EXPECT_TRUE(startupState().updateRequested);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(settingsState().document.contains("STANDARD", "Bilde-Strekk"))
        << "the close handler does not run";
}

TEST_F(Viewer, OpenDialogPreviewsThePictureUnderThePointer)
{
    OpenPictureDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Åpne bilde");
    const auto previews = [&] {
        QList<QLabel*> withPicture;
        for (QLabel* label : dialog.findChildren<QLabel*>())
            if (!label->pixmap().isNull())
                withPicture << label;
        return withPicture;
    };
    emit dialog.currentChanged(folder + "b.jpg");
    const QList<QLabel*> shown = previews();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown.first()->pixmap().size(), QSize(100, 200)) << "scaled, proportions kept";
    bool sizeShown = false;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        sizeShown |= label->text() == QString::fromUtf8("300 × 600");
    EXPECT_TRUE(sizeShown);

    // A drawing is previewed too, on white: the LibreOffice WMF's red rectangle, its corner white.
    emit dialog.currentChanged(QStringLiteral(GLIMRA_TEST_DATA "/metafile/tegning.wmf"));
    ASSERT_EQ(previews().size(), 1);
    const QImage drawing = previews().first()->pixmap().toImage();
    ASSERT_EQ(drawing.size(), QSize(200, 146));
    EXPECT_GT(qRed(drawing.pixel(48, 32)), 180);
    EXPECT_LT(qGreen(drawing.pixel(48, 32)), 80);
    EXPECT_EQ(drawing.pixel(190, 5), qRgb(255, 255, 255));

    TestEnv::writeFile(folder + "skadet.jpg", "no picture");
    emit dialog.currentChanged(folder + "skadet.jpg");
    EXPECT_TRUE(previews().isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Keys and dropped files

TEST_F(Viewer, KeysStepAndSwitchFullScreenWithoutActionShortcuts)
{
    IniWriteString("SisteBildeMappe", folder);
    auto form = create();
    ASSERT_EQ(form->ListBox1.entries.size(), 3);
    auto press = [&](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(form.get(), &event);
    };
    // Each stepping key moves one on, like a click; with a modifier held it does nothing.
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        int current;
    } steps[] = {{Qt::Key_Right, Qt::NoModifier, 1},   {Qt::Key_Space, Qt::NoModifier, 2},
                 {Qt::Key_PageDown, Qt::NoModifier, 0}, {Qt::Key_Right, Qt::ControlModifier, 0},
                 {Qt::Key_Space, Qt::AltModifier, 0},   {Qt::Key_Left, Qt::NoModifier, 0}};
    for (const auto& s : steps) {
        press(s.key, s.modifiers);
        Settle(form.get());
        EXPECT_EQ(form->ListBox1.current, s.current) << "key " << s.key;
    }
    EXPECT_EQ(form->Image1->pictureSize(), QSize(400, 300));

    // A step while the control is disabled (a step still running) is dropped.
    form->Image1->setEnabled(false);
    press(Qt::Key_Right);
    EXPECT_EQ(form->ListBox1.current, 0);
    form->Image1->setEnabled(true);

    // Escape in the normal view does nothing; F11 switches full screen on and off; Escape
    // leaves it, also after the pointer rule brought the border back.
    press(Qt::Key_Escape);
    EXPECT_TRUE(form->hasBorder());
    EXPECT_FALSE(form->Fullskjerm->isChecked());
    press(Qt::Key_F11);
    EXPECT_TRUE(form->Fullskjerm->isChecked());
    EXPECT_FALSE(form->hasBorder());
    press(Qt::Key_F11);
    EXPECT_FALSE(form->Fullskjerm->isChecked());
    EXPECT_TRUE(form->hasBorder());
    press(Qt::Key_F11);
    form->Image1MouseMove(5, 0);
    ASSERT_TRUE(form->hasBorder());
    press(Qt::Key_Escape);
    EXPECT_FALSE(form->Fullskjerm->isChecked());
    EXPECT_FALSE(form->windowFlags() & Qt::FramelessWindowHint);
}

TEST_F(Viewer, ADroppedFileOpensLikeAChoiceInTheOpenDialog)
{
    IniWriteString("SisteBildeMappe", env.path("elsewhere/"));
    auto form = create();
    auto drop = [&](const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &dropped);
        return dropped.isAccepted();
    };
    // Something that is no local file is refused and changes nothing.
    EXPECT_FALSE(drop({QUrl("https://www.tavlund.no/bilde.jpg")}));
    EXPECT_FALSE(drop({}));
    EXPECT_EQ(form->windowTitle(), "Tavlund bildeviser");

    EXPECT_TRUE(drop({QUrl("https://www.tavlund.no/x.jpg"), QUrl::fromLocalFile(folder + "b.jpg")}));
    Settle(form.get());
    EXPECT_EQ(form->Image1->pictureSize(), QSize(300, 600));
    EXPECT_EQ(form->windowTitle(), "Tavlund bildeviser: " + folder + "b.jpg");
    EXPECT_EQ(IniReadString("SisteBildeMappe"), folder);
    ASSERT_EQ(form->ListBox1.entries.size(), 3);
    EXPECT_EQ(form->ListBox1.current, 1) << "the dropped file is the current one of its folder";
    form->NesteBildeExecute();
    Settle(form.get());
    EXPECT_EQ(form->Image1->pictureSize(), QSize(64, 48));

    // A file that cannot be loaded gives the error and changes nothing else.
    TestEnv::writeFile(folder + "rot.jpg", "no JPEG");
    EXPECT_TRUE(drop({QUrl::fromLocalFile(folder + "rot.jpg")}));
    Settle(form.get());
    ASSERT_EQ(recorder.errors.size(), 1);
    EXPECT_TRUE(recorder.errors.first().contains("rot.jpg")) << recorder.errors.first().toStdString();
    EXPECT_EQ(form->windowTitle(), "Tavlund bildeviser: " + folder + "b.jpg");
    EXPECT_EQ(form->Image1->pictureSize(), QSize(64, 48));
}

// On a screen with two device pixels per logical pixel the picture is drawn at device
// resolution: a 400 × 300 picture of one-pixel stripes, fitted into a 200 × 150 control, keeps
// its stripes; at one device pixel per logical pixel they merge into grey.
TEST(PictureControlTest, DrawsAtDeviceResolution)
{
    TestEnv env;
    QImage stripes(400, 300, QImage::Format_RGB32);
    for (int x = 0; x < 400; ++x)
        for (int y = 0; y < 300; ++y)
            stripes.setPixel(x, y, x % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    ASSERT_TRUE(stripes.save(env.path("striper.bmp"), "BMP"));
    PictureControl control;
    control.resize(200, 150);
    control.load(env.path("striper.bmp"));
    ASSERT_EQ(control.displayRect(), QRect(0, 0, 200, 150)) << "the rule works in logical pixels";

    for (const qreal ratio : {2.0, 1.0}) {
        SCOPED_TRACE(ratio);
        QImage shown(QSize(200, 150) * ratio, QImage::Format_RGB32);
        shown.setDevicePixelRatio(ratio);
        shown.fill(Qt::red);
        control.render(&shown);
        int extremes = 0;
        for (int x = 40; x < 80; ++x) {
            const int level = qGray(shown.pixel(x, 100));
            extremes += (level < 30 || level > 225) ? 1 : 0;
        }
        if (ratio == 2.0)
            EXPECT_EQ(extremes, 40) << "every device pixel is one of the picture's stripes";
        else
            EXPECT_LT(extremes, 5) << "at half the size the stripes merge";
    }
}
