// The preview window: its settings, zoom, fit and rotation, the surface's place, clicks, and real
// one-page print jobs to PDF, looked at through pdftoppm.
#include "printing/printform.h"

#include "framework/kv_reg.h"
#include "framework/uihooks.h"
#include "testenv.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <stdexcept>

namespace {

QStringList Captions(const QList<QAction*>& actions)
{
    QStringList out;
    for (QAction* a : actions)
        out << (a->isSeparator() ? QString("-") : a->text());
    return out;
}

void Settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// The first page of a PDF as a picture, through poppler's pdftoppm.
QImage PdfPicture(const QString& pdf, const QString& prefix, int dpi = 40)
{
    QProcess process;
    process.start("pdftoppm", {"-r", QString::number(dpi), "-png", "-singlefile", pdf, prefix});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QImage(prefix + ".png");
}

bool Dark(QRgb c) { return qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100; }

bool Greenish(QRgb c) { return qGreen(c) > 90 && qRed(c) < 70 && qBlue(c) < 70; }

// Whether the patch of the picture around (x, y) holds green ink.
bool GreenAround(const QImage& image, int x, int y)
{
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx)
            if (image.valid(x + dx, y + dy) && Greenish(image.pixel(x + dx, y + dy)))
                return true;
    return false;
}

class PrintFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetPageState();
        ResetPreviewState();
        uiHooks().message = [this](const QString& caption, const QString& text) {
            messages << caption + "|" + text;
        };
        uiHooks().error = [this](const QString& text) { errors << text; };
    }
    void TearDown() override
    {
        uiHooks().message = nullptr;
        uiHooks().error = nullptr;
        ResetPageState();
        ResetPreviewState();
    }

    // A preview window with no printer installed and a set-up dialog that answers dialogAnswer.
    std::unique_ptr<TPrintForm> makeForm()
    {
        auto form = std::make_unique<TPrintForm>();
        form->PrinterInstalled = [] { return false; };
        form->PrinterSetupDialog1 = [this](QPrinter& printer, QWidget*) {
            ++dialogs;
            if (dialogTurnsToLandscape)
                printer.setPageOrientation(QPageLayout::Landscape);
            if (!dialogFile.isEmpty())
                printer.setOutputFileName(dialogFile);
            return dialogAnswer;
        };
        return form;
    }

    QString pdfFolder() const { return env.appData() + "/Tavlund/export/pdf/"; }
    QStringList pdfFiles() const
    {
        return QDir(pdfFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    TestEnv env;
    QStringList messages;
    QStringList errors;
    int dialogs = 0;
    bool dialogAnswer = true;
    bool dialogTurnsToLandscape = false;
    QString dialogFile;  // a file name typed in the dialog
};

// ---------------------------------------------------------------------------------------------
// The window and its settings

TEST_F(PrintFormTest, CreatedHiddenWithItsMenu)
{
    auto form = makeForm();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8("Forhåndsvisning"));
    EXPECT_EQ(Captions(form->PopupMenu1->actions()),
              (QStringList{"Oppdater", "Utskrift", "-", "Zoom", "Roter"}));
    EXPECT_EQ(Captions(form->Zoom1->actions()),
              (QStringList{"Zoom in", "Zoom ut", "Hele siden", "Sidebredde"}));
    EXPECT_EQ(form->PaintBox->cursor().shape(), Qt::CrossCursor);
    EXPECT_EQ(form->palette().color(QPalette::Window), PageWhite);
    EXPECT_EQ(TPrintForm::instance(), form.get());
    form.reset();
    EXPECT_EQ(TPrintForm::instance(), nullptr);
}

TEST_F(PrintFormTest, ZoomComesFromSettingsAndGoesBackAtTheEnd)
{
    const struct {
        const char* stored;  // null: no key
        int zoom;
    } cases[] = {{nullptr, 5}, {"0", 5}, {"-3", 5}, {"8", 8}, {"abc", 5},
                 {"100000", MaxPreviewZoom}, {"2147483647", MaxPreviewZoom}};
    for (const auto& c : cases) {
        ResetPreviewState();
        if (c.stored)
            IniWriteString("PreViewZoom", c.stored);
        auto form = makeForm();
        EXPECT_EQ(previewState().Zoom, c.zoom) << (c.stored ? c.stored : "none");
        form->Zoomin1Click();
        form.reset();
        EXPECT_EQ(IniReadInteger("PreViewZoom"), std::min(c.zoom + 1, MaxPreviewZoom));
    }
}

TEST_F(PrintFormTest, AHugeZoomIsHeldWhereTheSurfaceAndScaleAgree)
{
    EXPECT_EQ(MaxPreviewZoom, 56488);
    EXPECT_EQ(PreviewSurfaceSize(MaxPreviewZoom, false), QSize(210 * 56488, 297 * 56488));
    EXPECT_LE(PreviewSurfaceSize(MaxPreviewZoom, true).width(), QWIDGETSIZE_MAX);
    EXPECT_EQ(ZoomIn(MaxPreviewZoom), MaxPreviewZoom);
    EXPECT_EQ(ZoomIn(MaxPreviewZoom - 1), MaxPreviewZoom);
    EXPECT_EQ(ZoomOut(MaxPreviewZoom), MaxPreviewZoom - 1);
    EXPECT_EQ(FitWidthZoom(std::numeric_limits<int>::max(), false), MaxPreviewZoom);

    IniWriteInteger("PreViewZoom", 100000);
    for (bool rotated : {false, true}) {
        SCOPED_TRACE(rotated);
        ResetPreviewState();
        previewState().Rotated = rotated;
        auto form = makeForm();
        previewState().Rotated = rotated;
        form->Zoomin1Click();
        const PreviewState& v = previewState();
        const PageState& s = pageState();
        EXPECT_EQ(v.Zoom, MaxPreviewZoom);
        const QSize surface = PreviewSurfaceSize(MaxPreviewZoom, rotated);
        EXPECT_EQ(form->PaintBox->size(), surface);
        EXPECT_EQ(s.Scale, MaxPreviewZoom);
        EXPECT_EQ(s.FrameRight, surface.width() - 1);
        EXPECT_EQ(s.FrameBottom, surface.height() - 1);
        EXPECT_EQ(s.RightMm, rotated ? 296 : 209);
        EXPECT_EQ(s.BottomMm, rotated ? 209 : 296);
        // The page is drawn at that zoom (the window shows its top-left corner).
        int paints = 0;
        previewState().PageProc = [&] {
            ++paints;
            EXPECT_EQ(pageState().Scale, MaxPreviewZoom);
            TestPage();
        };
        form->ShowPreview();
        Settle();
        EXPECT_GT(paints, 0);
        EXPECT_TRUE(errors.isEmpty()) << errors.join(",").toStdString();
        // A zoom put in from outside is held by the view as well.
        previewState().Zoom = std::numeric_limits<int>::max();
        form->ResetView();
        EXPECT_EQ(form->PaintBox->size(), surface);
        EXPECT_EQ(s.Scale, MaxPreviewZoom);
    }
}

// The keys of the preview's section in the per-user file, sorted.
QStringList StoredPlacement()
{
    const QString userFile = settingsState().SettingsFolder + CurrentUser() + ".INI";
    EXPECT_TRUE(QFileInfo::exists(userFile)) << userFile.toStdString();
    const QStringList lines = QString::fromLatin1(TestEnv::readFile(userFile)).split(QRegularExpression("\\r?\\n"));
    const qsizetype start = lines.indexOf("[VINDU-UTSKRIFTFORM]");
    EXPECT_GE(start, 0) << lines.join(" | ").toStdString();
    QStringList keys;
    for (qsizetype i = start + 1; start >= 0 && i < lines.size() && !lines[i].startsWith('['); ++i)
        if (!lines[i].isEmpty())
            keys << lines[i];
    keys.sort();
    return keys;
}

TEST_F(PrintFormTest, PlacementIsRestoredAndStored)
{
    IniWriteBool("RotatedView", true);
    {
        auto form = makeForm();
        EXPECT_TRUE(previewState().Rotated);
        form->move(140, 120);
        form->resize(700, 500);
    }
    // The per-user file holds the placement in the window's own section.
    EXPECT_EQ(StoredPlacement(), (QStringList{"Diverse=", "Height=500", "Left=140", "Maximized=0", "Top=120", "Width=700"}));

    auto form = makeForm();
    EXPECT_EQ(form->pos(), QPoint(140, 120));
    EXPECT_EQ(form->size(), QSize(700, 500));
}

// Closed while maximised, the window stores its maximised bounds with the flag, and comes back
// maximised.
TEST_F(PrintFormTest, ClosedMaximisedStoresTheMaximisedBounds)
{
    QRect maximised;
    {
        auto form = makeForm();
        form->move(140, 120);
        form->resize(700, 500);
        form->ShowPreview();
        Settle();
        form->setWindowState(Qt::WindowMaximized);
        Settle();
        ASSERT_TRUE(form->isMaximized());
        maximised = QRect(form->pos(), form->size());
        ASSERT_NE(maximised.size(), QSize(700, 500));
        form->close();
        Settle();
    }
    EXPECT_EQ(StoredPlacement(), (QStringList{"Diverse=", QString("Height=%1").arg(maximised.height()),
                                              QString("Left=%1").arg(maximised.x()), "Maximized=1",
                                              QString("Top=%1").arg(maximised.y()),
                                              QString("Width=%1").arg(maximised.width())}));
    auto form = makeForm();
    EXPECT_TRUE(form->isMaximized());
}

TEST_F(PrintFormTest, APlacementFileThatFailsIsReportedAndTheWindowLives)
{
    // A folder in the per-user file's place: reading and writing the placement both fail.
    QDir().mkpath(settingsState().SettingsFolder + CurrentUser() + ".INI");
    {
        auto form = makeForm();
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(errors.size(), 1);
    }   // the destroy handler must not let the failure escape
    EXPECT_EQ(errors.size(), 2);
    EXPECT_EQ(settingsState().CurrentSection, "STANDARD");
}

TEST_F(PrintFormTest, ZoomFitAndRotate)
{
    // The pure rules, on the screens the users have.
    EXPECT_EQ(FitPageZoom(1080, false), 3);
    EXPECT_EQ(FitPageZoom(1080, true), 5);
    EXPECT_EQ(FitWidthZoom(1920, false), 9);
    EXPECT_EQ(FitWidthZoom(1920, true), 6);
    EXPECT_EQ(FitPageZoom(200, false), 1);  // a tiny screen keeps a visible page
    EXPECT_EQ(PreviewSurfaceSize(5, false), QSize(1050, 1485));
    EXPECT_EQ(PreviewSurfaceSize(5, true), QSize(1485, 1050));
    EXPECT_EQ(PreviewSurfaceSize(std::numeric_limits<int>::max(), false),
              PreviewSurfaceSize(MaxPreviewZoom, false));
    EXPECT_EQ(PreviewSurfaceSize(0, false), QSize(210, 297));
    EXPECT_NEAR(PrinterScale(4960, 7016, false), 23.619, 1e-3);
    EXPECT_NEAR(PrinterScale(7016, 4960, true), 23.619, 1e-3);

    auto form = makeForm();
    PreviewState& v = previewState();
    form->Zoomin1Click();
    EXPECT_EQ(v.Zoom, 6);
    EXPECT_EQ(form->PaintBox->size(), QSize(1260, 1782));
    EXPECT_EQ(pageState().Scale, 6);
    v.Zoom = 1;
    form->Zoomut1Click();
    EXPECT_EQ(v.Zoom, 1);

    const QSize screen = QGuiApplication::primaryScreen()->size();
    form->Helsiden1Click();
    EXPECT_EQ(v.Zoom, std::max(1, screen.height() / 297));
    form->Sidebredde1Click();
    EXPECT_EQ(v.Zoom, std::max(1, screen.width() / 210));

    v.Zoom = 5;
    EXPECT_FALSE(IniReadBool("RotatedView"));
    form->Roter1Click();
    EXPECT_TRUE(v.Rotated);
    EXPECT_TRUE(IniReadBool("RotatedView"));  // stored at once
    EXPECT_EQ(form->PaintBox->size(), QSize(1485, 1050));
    EXPECT_EQ(pageState().RightMm, 296);
    form->Helsiden1Click();
    EXPECT_EQ(v.Zoom, std::max(1, screen.height() / 210));
    // "Sidebredde" from the menu while rotated: the page's long side across the screen.
    ASSERT_NE(screen.width() / 297, screen.width() / 210);
    form->Sidebredde1->trigger();
    EXPECT_EQ(v.Zoom, std::max(1, screen.width() / 297));
    EXPECT_EQ(form->PaintBox->size(), PreviewSurfaceSize(v.Zoom, true));
    form->Roter1Click();
    EXPECT_FALSE(IniReadBool("RotatedView"));
}

TEST_F(PrintFormTest, SurfaceIsCentredInAWiderWindow)
{
    EXPECT_EQ(SurfaceLeft(1200, 1050), 75);
    EXPECT_EQ(SurfaceLeft(554, 1050), 0);
    EXPECT_EQ(SurfaceLeft(1050, 1050), 0);
    EXPECT_EQ(SurfaceLeft(1051, 1050), 0);

    auto form = makeForm();
    form->resize(1200, 600);
    form->ResetView();
    EXPECT_EQ(form->PaintBox->geometry(), QRect(75, 0, 1050, 1485));
    form->resize(554, 392);
    form->ResetView();
    EXPECT_EQ(form->PaintBox->pos(), QPoint(0, 0));
}

TEST_F(PrintFormTest, LeftPressCallsPageClickRelativeToTheFrame)
{
    EXPECT_EQ(*previewState().PageClick.target<void (*)(Qt::MouseButton, Qt::KeyboardModifiers, int, int)>(),
              &ClickBeep);
    IniWriteInteger("Skriver_VenstreMarg", 10);
    IniWriteInteger("Skriver_ToppMarg", 10);
    auto form = makeForm();
    form->ResetView();
    ASSERT_EQ(pageState().FrameLeft, 50);
    QList<QPoint> clicks;
    previewState().PageClick = [&](Qt::MouseButton, Qt::KeyboardModifiers shift, int x, int y) {
        clicks << QPoint(x, y);
        EXPECT_EQ(shift, Qt::ShiftModifier);
    };
    QMouseEvent left(QEvent::MouseButtonPress, QPointF(100, 80), form->PaintBox->mapToGlobal(QPointF(100, 80)),
                     Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(form->PaintBox, &left);
    QMouseEvent right(QEvent::MouseButtonPress, QPointF(100, 80), form->PaintBox->mapToGlobal(QPointF(100, 80)),
                      Qt::RightButton, Qt::RightButton, Qt::ShiftModifier);
    QApplication::sendEvent(form->PaintBox, &right);
    EXPECT_EQ(clicks, QList<QPoint>{QPoint(50, 30)});
}

TEST_F(PrintFormTest, BothPressesOfAFastDoubleClickReachPageClick)
{
    auto form = makeForm();
    form->ResetView();
    int clicks = 0;
    previewState().PageClick = [&](Qt::MouseButton, Qt::KeyboardModifiers, int, int) { ++clicks; };
    // Qt delivers the second press of a double click as its own event type.
    const QEvent::Type sequence[] = {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                     QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease};
    for (QEvent::Type type : sequence) {
        const bool release = type == QEvent::MouseButtonRelease;
        QMouseEvent event(type, QPointF(30, 40), form->PaintBox->mapToGlobal(QPointF(30, 40)), Qt::LeftButton,
                          release ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->PaintBox, &event);
    }
    EXPECT_EQ(clicks, 2);
}

TEST_F(PrintFormTest, ShowPreviewPutsThePreviewStateBackAndShows)
{
    auto form = makeForm();
    int paints = 0;
    previewState().PageProc = [&] {
        EXPECT_EQ(pageState().Canvas, &form->previewCanvas());
        ++paints;
        TestPage();
    };
    pageState().Printing = true;
    ShowPreview();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(pageState().Printing);
    EXPECT_EQ(pageState().Canvas, &form->previewCanvas());
    Settle();
    EXPECT_GT(paints, 0);
    EXPECT_EQ(form->PaintBox->size(), QSize(1050, 1485));
    ShowPreview();
    EXPECT_TRUE(form->isVisible());
}

TEST_F(PrintFormTest, ShowPreviewBringsAMinimisedWindowBack)
{
    auto form = makeForm();
    form->ShowPreview();
    Settle();
    form->setWindowState(Qt::WindowMinimized);
    Settle();
    ASSERT_TRUE(form->isMinimized());
    form->ShowPreview();
    Settle();
    EXPECT_FALSE(form->isMinimized());
    EXPECT_TRUE(form->isVisible());

    // A window that was maximised before it was minimised comes back maximised.
    form->setWindowState(Qt::WindowMaximized);
    Settle();
    form->setWindowState(form->windowState() | Qt::WindowMinimized);
    Settle();
    ASSERT_TRUE(form->isMinimized());
    form->ShowPreview();
    Settle();
    EXPECT_FALSE(form->isMinimized());
    EXPECT_TRUE(form->isMaximized());

    // Closed while minimised: shown again, not minimised.
    form->setWindowState(Qt::WindowMinimized);
    form->close();
    Settle();
    ASSERT_FALSE(form->isVisible());
    form->ShowPreview();
    Settle();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
}

TEST_F(PrintFormTest, APageThatFailsInThePreviewIsReportedOnce)
{
    auto form = makeForm();
    int runs = 0;
    previewState().PageProc = [&] {
        ++runs;
        throw std::runtime_error("Siden mangler data");
    };
    form->ShowPreview();
    Settle();
    form->PaintBox->repaint();
    form->PaintBox->repaint();
    Settle();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(errors, QStringList{"Siden mangler data"});
    form->Oppdater1Click();
    Settle();
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(errors.size(), 2);
    EXPECT_EQ(pageState().Canvas, &form->previewCanvas());
}

TEST_F(PrintFormTest, AViewCommandThatKeepsTheZoomDrawsAFailedPageAgain)
{
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const struct {
        const char* command;
        void (TPrintForm::*handler)();
        int zoom;  // the zoom the command leaves as it is
    } cases[] = {
        {"Zoom ut", &TPrintForm::Zoomut1Click, 1},
        {"Zoom in", &TPrintForm::Zoomin1Click, MaxPreviewZoom},
        {"Hele siden", &TPrintForm::Helsiden1Click, FitPageZoom(screen.height(), false)},
        {"Sidebredde", &TPrintForm::Sidebredde1Click, FitWidthZoom(screen.width(), false)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        ResetPreviewState();
        errors.clear();
        auto form = makeForm();
        previewState().Zoom = c.zoom;
        int runs = 0;
        previewState().PageProc = [&] {
            ++runs;
            throw std::runtime_error("Siden mangler data");
        };
        form->ShowPreview();
        Settle();
        ASSERT_EQ(runs, 1);
        (form.get()->*c.handler)();
        EXPECT_EQ(previewState().Zoom, c.zoom);
        Settle();
        EXPECT_EQ(runs, 2);
        EXPECT_EQ(errors.size(), 2);
    }
}

// ---------------------------------------------------------------------------------------------
// Print jobs

TEST_F(PrintFormTest, TheDialogIsShownUnlessVisDialogIsOne)
{
    const struct {
        const char* stored;
        bool dialog;
    } cases[] = {{nullptr, true}, {"0", true}, {"2", true}, {"1", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "none");
        ResetPreviewState();
        if (c.stored)
            IniWriteString("Skriver_VisDialog", c.stored);
        auto form = makeForm();
        dialogs = 0;
        dialogAnswer = false;  // cancelled: nothing is printed, nothing changes
        form->PrintPage();
        EXPECT_EQ(dialogs, c.dialog ? 1 : 0);
        if (c.dialog) {
            EXPECT_TRUE(pdfFiles().isEmpty());
            EXPECT_EQ(previewState().PrintTitle, "utskrift");
            EXPECT_FALSE(pageState().Printing);
            EXPECT_TRUE(messages.isEmpty());
        } else {
            EXPECT_EQ(pdfFiles(), QStringList{"utskrift.pdf"});
            EXPECT_EQ(previewState().PrintTitle, "");
        }
    }
}

TEST_F(PrintFormTest, PrintsToPdfInPortraitAndLandscape)
{
    IniWriteInteger("Skriver_VisDialog", 1);
    auto form = makeForm();
    double scale = 0;
    bool printing = false;
    previewState().PageProc = [&] {
        scale = pageState().Scale;
        printing = pageState().Printing;
        TestPage();
    };

    form->PrintPage();
    EXPECT_TRUE(printing);
    EXPECT_NEAR(scale, 9917.0 / 210, 0.01);  // A4 at 1200 dpi, scaled from the short side
    const QString portrait = pdfFolder() + "utskrift.pdf";
    ASSERT_TRUE(QFileInfo::exists(portrait));
    EXPECT_EQ(form->lastPdfFile(), portrait);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "Utskrift|Ingen skriver er installert. Utskriften er lagret som PDF-fil:\n" + portrait);
    EXPECT_EQ(previewState().PrintTitle, "");
    EXPECT_EQ(form->printer().docName(), "utskrift");
    EXPECT_EQ(QFileInfo(portrait).permissions() & QFile::ReadOther, QFile::ReadOther);
    EXPECT_FALSE(pageState().Printing);
    EXPECT_EQ(pageState().Canvas, &form->previewCanvas());
    EXPECT_EQ(pageState().Scale, 5);
    const QByteArray firstBytes = TestEnv::readFile(portrait);

    IniWriteBool("RotatedView", true);
    form->PrintPage();
    EXPECT_NEAR(scale, 9917.0 / 210, 0.01);
    EXPECT_TRUE(previewState().Rotated);
    // The title stays the printer's last one; the earlier file is kept.
    const QString landscape = pdfFolder() + "utskrift-2.pdf";
    ASSERT_TRUE(QFileInfo::exists(landscape));
    EXPECT_EQ(TestEnv::readFile(portrait), firstBytes);
    EXPECT_EQ(pdfFiles(), (QStringList{"utskrift-2.pdf", "utskrift.pdf"}));

    const QImage up = PdfPicture(portrait, env.path("portrait"));
    ASSERT_FALSE(up.isNull());
    EXPECT_NEAR(double(up.height()) / up.width(), 297.0 / 210, 0.02);
    EXPECT_TRUE(GreenAround(up, up.width() * 3 / 4, up.height() * 10 / 297));  // the title bar
    EXPECT_FALSE(GreenAround(up, up.width() / 4, up.height() * 10 / 297));
    const QImage across = PdfPicture(landscape, env.path("landscape"));
    ASSERT_FALSE(across.isNull());
    EXPECT_NEAR(double(across.width()) / across.height(), 297.0 / 210, 0.02);
    EXPECT_TRUE(GreenAround(across, across.width() * 3 / 4, across.height() * 10 / 210));
    EXPECT_FALSE(GreenAround(across, across.width() / 4, across.height() * 10 / 210));
}

TEST_F(PrintFormTest, ThePrintedPageHasThePapersMeasures)
{
    // Text on the printer page is measured at the printer's resolution: the 92-digit ruler of
    // Courier New 10 (0.6 em a digit) runs from 1 mm to about 195.8 mm on the paper. Fonts
    // measured at a screen's resolution would make it a twelfth as long.
    IniWriteInteger("Skriver_VisDialog", 1);
    auto form = makeForm();
    form->PrintPage();
    constexpr int dpi = 100;
    const QImage page = PdfPicture(pdfFolder() + "utskrift.pdf", env.path("measured"), dpi);
    ASSERT_FALSE(page.isNull());
    auto mm = [](double px) { return px * 25.4 / dpi; };
    auto px = [](double mm) { return int(mm * dpi / 25.4); };
    EXPECT_NEAR(mm(page.width()), 210, 1);
    EXPECT_NEAR(mm(page.height()), 297, 1);

    // The ruler's ink, in the band between the header rule (20 mm) and the grid (25 mm), inside
    // the frame's two sides.
    int left = page.width(), right = -1, top = page.height(), bottom = -1;
    for (int y = px(20.6); y < px(24.8); ++y)
        for (int x = px(0.8); x < px(208); ++x)
            if (Dark(page.pixel(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, 0) << "no ruler on the page";
    EXPECT_NEAR(mm(left), 1.3, 0.8);
    EXPECT_NEAR(mm(right + 1), 195.8, 1.2);
    // Digits of a 10-point font stand about 2.4 mm high.
    EXPECT_NEAR(mm(bottom + 1 - top), 2.4, 0.5);
}

TEST_F(PrintFormTest, TheDialogsOrientationIsUsedForThatJob)
{
    auto form = makeForm();
    dialogTurnsToLandscape = true;
    form->PrintPage();
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(previewState().Rotated);
    EXPECT_FALSE(IniReadBool("RotatedView"));  // not stored
    const QImage page = PdfPicture(pdfFolder() + "utskrift.pdf", env.path("page"));
    ASSERT_FALSE(page.isNull());
    EXPECT_GT(page.width(), page.height());
}

TEST_F(PrintFormTest, AFileNamedInTheDialogIsWrittenThere)
{
    // The user typed the name of an existing file and agreed to replace it in the dialog.
    dialogFile = env.path("valgt.pdf");
    TestEnv::writeFile(dialogFile, "gammel");
    auto form = makeForm();
    form->PrintPage();
    EXPECT_TRUE(TestEnv::readFile(dialogFile).startsWith("%PDF"));
    EXPECT_TRUE(pdfFiles().isEmpty());
    EXPECT_EQ(QDir(env.root()).entryList({".valgt*"}, QDir::Files | QDir::Hidden), QStringList{});
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].endsWith(dialogFile));
}

TEST_F(PrintFormTest, JobTitlesBecomeSafeFileNames)
{
    const std::pair<const char*, const char*> titles[] = {
        {"utskrift", "utskrift"},
        {"Rapport 3/4: test?", "Rapport 3_4_ test_"},
        {"a\\b*c<d>e|f\"g", "a_b_c_d_e_f_g"},
        {"../../etc/passwd", "_.._etc_passwd"},
        {"  ..  ", "utskrift"},
        {"", "utskrift"},
        {"linje\nto", "linje_to"},
        {"Årsrapport 2011", "Årsrapport 2011"},
    };
    for (const auto& [title, name] : titles)
        EXPECT_EQ(SafeFileTitle(QString::fromUtf8(title)), QString::fromUtf8(name)) << title;
    EXPECT_EQ(SafeFileTitle(QString(300, 'x')).size(), 120);

    QDir().mkpath(env.path("out"));
    const QString folder = env.path("out/");
    EXPECT_EQ(FreePdfPath(folder, "a"), folder + "a.pdf");
    TestEnv::writeFile(folder + "a.pdf", "1");
    TestEnv::writeFile(folder + "a-2.pdf", "2");
    EXPECT_EQ(FreePdfPath(folder, "a"), folder + "a-3.pdf");

    IniWriteInteger("Skriver_VisDialog", 1);
    auto form = makeForm();
    previewState().PrintTitle = "Rapport 3/4";
    form->PrintPage();
    EXPECT_EQ(pdfFiles(), QStringList{"Rapport 3_4.pdf"});
}

TEST_F(PrintFormTest, AFailingPageEndsTheJobAndLeavesNoFile)
{
    IniWriteInteger("Skriver_VisDialog", 1);
    auto form = makeForm();
    previewState().PageProc = [] {
        TestPage();
        if (pageState().Printing)
            throw std::runtime_error("Siden mangler data");
    };
    EXPECT_THROW(form->PrintPage(), std::runtime_error);
    EXPECT_FALSE(form->jobActive());
    EXPECT_FALSE(pageState().Printing);
    EXPECT_EQ(pageState().Canvas, &form->previewCanvas());
    EXPECT_EQ(pageState().Scale, 5);
    EXPECT_EQ(pageState().FrameRight, 1049);
    EXPECT_TRUE(pdfFiles().isEmpty());
    EXPECT_TRUE(messages.isEmpty());

    previewState().PageProc = TestPage;
    form->PrintPage();
    EXPECT_EQ(pdfFiles(), QStringList{"utskrift.pdf"});
}

// The message of a print job that throws, or empty when it does not.
QString ThrownBy(const std::function<void()>& job)
{
    try {
        job();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

TEST_F(PrintFormTest, AFolderThatCannotTakeThePdfIsNamed)
{
    // A file stands where the PDF folder should be; the user named a file in a missing folder.
    TestEnv::writeFile(env.path("blocker"), "x");
    const struct {
        const char* folderSetting;  // the data folder "export/pdf", or null: the default
        const char* typed;          // the file typed in the dialog, or null: none
        const char* folder;         // the folder the message names
    } cases[] = {
        {"blocker/pdf/", nullptr, "blocker/pdf"},
        {nullptr, "mangler/valgt.pdf", "mangler"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        IniSection("FOLDERS");
        IniWriteString("export/pdf_folder", c.folderSetting ? env.path(c.folderSetting) : QString());
        IniStandard();
        dialogFile = c.typed ? env.path(c.typed) : QString();
        messages.clear();
        auto form = makeForm();
        const QString error = ThrownBy([&] { form->PrintPage(); });
        EXPECT_EQ(error, "Utskriften kunne ikke lagres i mappen " + env.path(c.folder) +
                             ": mappen finnes ikke eller kan ikke ta imot filer.");
        // The fixed texts of the print canvas are for the canvas, not for a folder.
        EXPECT_TRUE(messages.isEmpty()) << messages.join(", ").toStdString();
        EXPECT_FALSE(pageState().Printing);
        EXPECT_FALSE(form->jobActive());
        EXPECT_EQ(pageState().Canvas, &form->previewCanvas());
        EXPECT_EQ(previewState().PrintTitle, "utskrift");  // no job was made
    }
    EXPECT_EQ(TestEnv::readFile(env.path("blocker")), "x");
    EXPECT_FALSE(QFileInfo::exists(env.path("mangler")));
}

TEST_F(PrintFormTest, PreviewEventsDuringAJobKeepOffThePrinterPage)
{
    IniWriteInteger("Skriver_VisDialog", 1);
    auto form = makeForm();
    form->ShowPreview();
    Settle();
    int previewRuns = 0;
    int clicks = 0;
    bool stayedOnPrinter = false;
    previewState().PageClick = [&](Qt::MouseButton, Qt::KeyboardModifiers, int, int) { ++clicks; };
    int printRuns = 0;
    previewState().PageProc = [&] {
        if (!pageState().Printing) {
            ++previewRuns;
            return;
        }
        if (++printRuns > 1)
            return;  // a preview paint reached the printer page
        PageCanvas* printerPage = pageState().Canvas;
        form->PaintBox->repaint();
        form->Zoomin1Click();
        form->Roter1Click();
        form->Oppdater1Click();
        form->ShowPreview();
        form->PaintBoxMouseDown(Qt::LeftButton, Qt::NoModifier, 10, 10);
        form->PrintPage();
        Settle();
        stayedOnPrinter = pageState().Canvas == printerPage && pageState().Printing &&
                          printerPage != &form->previewCanvas();
        TestPage();
    };
    previewRuns = 0;
    form->PrintPage();
    EXPECT_TRUE(stayedOnPrinter);
    EXPECT_EQ(printRuns, 1);
    EXPECT_EQ(previewRuns, 0);
    EXPECT_EQ(previewState().Zoom, 5);
    EXPECT_FALSE(previewState().Rotated);
    EXPECT_FALSE(IniReadBool("RotatedView"));
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(pdfFiles(), QStringList{"utskrift.pdf"});
    Settle();
    EXPECT_GT(previewRuns, 0);  // the paint that was put off comes after the job
}

// ---------------------------------------------------------------------------------------------
// A picture of the window

TEST_F(PrintFormTest, WindowShowsTheTestPage)
{
    IniWriteString("Firma_Navn", "Tavlund AS");
    IniWriteString("Firma_PostNr", "0150");
    IniWriteString("Firma_PostSted", "Oslo");
    IniWriteString("Firma_Epost", "post@tavlund.no");
    IniWriteString("Firma_Telefon", "22 00 00 00");
    IniWriteString("PreViewZoom", "3");
    auto form = makeForm();
    form->resize(760, 900);
    form->ShowPreview();
    Settle();
    const QImage shot = form->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(760, 900));
    // The 630-pixel page stands centred: 65 pixels of window on each side, all white.
    EXPECT_EQ(form->PaintBox->pos(), QPoint(65, 0));
    EXPECT_EQ(QColor(shot.pixel(30, 400)), PageWhite);
    EXPECT_EQ(QColor(shot.pixel(730, 400)), PageWhite);
    EXPECT_EQ(QColor(shot.pixel(65 + 600, 30)), PageGreen);  // the title bar at zoom 3
    EXPECT_EQ(QColor(shot.pixel(65 + 150, 50)), PageWhite);
    const QString keep = qEnvironmentVariable("GLIMRA_PREVIEW_PNG");
    if (!keep.isEmpty())
        shot.save(keep);
}

}  // namespace
