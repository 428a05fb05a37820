// The print layer: millimetre/pixel rules, page geometry, the operations as they reach the
// surface, the page dressing, and the test page rendered into a picture.
#include "printing/utskrift.h"

#include "framework/kv_reg.h"
#include "testenv.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

// One call that reached the surface, with the surface's state at that moment.
struct Drawn {
    QString kind;  // "text", "polyline", "line", "rect", "roundrect", "ellipse", "arc"
    QList<QPoint> points;
    QString text;
    int angle = 0;
    QColor pen;
    int penWidth = 0;
    QColor brush;
    int brushStyle = 0;
    QString fontName;
    int fontSize = 0;
    QColor fontColor;
};

// Records every primitive and still draws it when a painter is bound.
class RecordingCanvas : public PageCanvas {
public:
    using PageCanvas::PageCanvas;
    QList<Drawn> calls;

    QList<Drawn> ofKind(const QString& kind) const
    {
        QList<Drawn> result;
        for (const Drawn& d : calls)
            if (d.kind == kind)
                result.append(d);
        return result;
    }
    QStringList texts() const
    {
        QStringList result;
        for (const Drawn& d : ofKind("text"))
            result.append(d.text);
        return result;
    }

    void textOut(int x, int y, const QString& text, int angle) override
    {
        record("text", {QPoint(x, y)}).text = text;
        calls.back().angle = angle;
        PageCanvas::textOut(x, y, text, angle);
    }
    void polyline(const QList<QPoint>& points) override
    {
        record("polyline", points);
        PageCanvas::polyline(points);
    }
    void line(int x1, int y1, int x2, int y2) override
    {
        record("line", {QPoint(x1, y1), QPoint(x2, y2)});
        PageCanvas::line(x1, y1, x2, y2);
    }
    void rectangle(int x1, int y1, int x2, int y2) override
    {
        record("rect", {QPoint(x1, y1), QPoint(x2, y2)});
        PageCanvas::rectangle(x1, y1, x2, y2);
    }
    void roundRect(int x1, int y1, int x2, int y2, int w, int h) override
    {
        record("roundrect", {QPoint(x1, y1), QPoint(x2, y2), QPoint(w, h)});
        PageCanvas::roundRect(x1, y1, x2, y2, w, h);
    }
    void ellipse(int x1, int y1, int x2, int y2) override
    {
        record("ellipse", {QPoint(x1, y1), QPoint(x2, y2)});
        PageCanvas::ellipse(x1, y1, x2, y2);
    }
    void arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) override
    {
        record("arc", {QPoint(x1, y1), QPoint(x2, y2), QPoint(x3, y3), QPoint(x4, y4)});
        PageCanvas::arc(x1, y1, x2, y2, x3, y3, x4, y4);
    }

private:
    Drawn& record(const QString& kind, const QList<QPoint>& points)
    {
        Drawn d;
        d.kind = kind;
        d.points = points;
        d.pen = penColor;
        d.penWidth = penWidth;
        d.brush = brushColor;
        d.brushStyle = brushStyle;
        d.fontName = fontName;
        d.fontSize = fontSize;
        d.fontColor = fontColor;
        calls.append(d);
        return calls.back();
    }
};

// Text metrics fixed by the test: every character 10 pixels wide, every font 14 pixels high.
class FixedMetricsCanvas : public RecordingCanvas {
public:
    int textWidth(const QString& text) const override { return 10 * int(text.size()); }
    int textHeight(const QString&) const override { return 14; }
};

class UtskriftTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetPageState();
        ResetPreviewState();
    }
    void TearDown() override { ResetPageState(); }

    // A preview page of zoom 5 with the given canvas current.
    void previewPage(PageCanvas& canvas, int zoom = 5)
    {
        pageState().Canvas = &canvas;
        pageState().Printing = false;
        const QSize size = PreviewSurfaceSize(zoom, false);
        SetPageGeometry(size.width(), size.height(), zoom);
    }

    TestEnv env;
};

bool IsDark(QRgb c) { return qRed(c) < 90 && qGreen(c) < 90 && qBlue(c) < 90; }

// ---------------------------------------------------------------------------------------------
// Units and geometry

TEST_F(UtskriftTest, ConversionsTruncateTowardZero)
{
    struct Case {
        double scale;
        int value;
        int mmToPx;
        int pxToMm;
    } cases[] = {
        {5, 7, 35, 1},
        {5, -7, -35, -1},
        {23.62, 7, 165, 0},
        {23.62, -3, -70, 0},
        {23.62, 165, 3897, 6},
        {4960.0 / 210.0, 210, 4960, 8},  // a whole page of a 4960-pixel printer stays whole
        {9917.0 / 210.0, 210, 9917, 4},
        {2028.0 / 210.0, 210, 2028, 21},   // 2027.9999999999998 as a double
        {2050.0 / 210.0, 820, 8004, 84},   // 820 pixels are 83.99999999999999 mm as a double
        {1, 0, 0, 0},
        // Large values: the allowance for a scale's last bit never adds a whole step.
        {1, 999999999, 999999999, 999999999},
        {1, -999999999, -999999999, -999999999},
        {5, 200000000, 1000000000, 40000000},
        {1, 1000000000, 1000000000, 1000000000},
        {1, 2147483647, 2147483647, 2147483647},
        {2, 2147483647, 2147483647, 1073741823},  // a product beyond the 32-bit range is cut to it
        {0.1, 999999999, 99999999, 2147483647},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MmToPxAt(c.value, c.scale), c.mmToPx) << c.scale << " " << c.value;
        EXPECT_EQ(PxToMmAt(c.value, c.scale), c.pxToMm) << c.scale << " " << c.value;
    }
    // Whole pages of printers of every common resolution come back whole both ways.
    for (int width : {2028, 2480, 4960, 4961, 9917, 9921, 19842}) {
        const double scale = width / 210.0;
        EXPECT_EQ(MmToPxAt(210, scale), width) << width;
        EXPECT_EQ(PxToMmAt(width, scale), 210) << width;
        EXPECT_EQ(PxToMmAt(width - 1, scale), 209) << width;
    }
}

TEST_F(UtskriftTest, RoundsHalvesToEven)
{
    const std::pair<double, int> cases[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4},
                                            {0.49, 0}, {25.97, 26}, {7.79, 8}, {1.51, 2}};
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(RoundHalfEven(value), expected) << value;
}

TEST_F(UtskriftTest, PageGeometryFromSurfaceScaleAndMargins)
{
    struct Case {
        int w, h;
        double scale;
        PageMargins margins;  // left, top, right, bottom
        int frameLeft, frameTop, frameRight, frameBottom, halfWidth, rightMm, bottomMm, originAfterReset;
    } cases[] = {
        {1050, 1485, 5, {0, 0, 0, 0}, 0, 0, 1049, 1484, 104, 209, 296, 0},
        {1050, 1485, 5, {10, 10, 10, 10}, 50, 50, 999, 1434, 94, 199, 286, 10},
        {1485, 1050, 5, {0, 0, 0, 0}, 0, 0, 1484, 1049, 148, 296, 209, 0},
        // Four different margins, so that no edge can be taken from another one's margin.
        {1050, 1485, 5, {10, 20, 15, 25}, 50, 100, 974, 1359, 92, 194, 271, 10},
        {1485, 1050, 5, {12, 8, 20, 30}, 60, 40, 1384, 899, 132, 276, 179, 12},
        // A printer's fractional scale: the 7 mm margin comes back as 6 mm.
        {4960, 7015, 23.62, {7, 0, 0, 0}, 165, 0, 4959, 7014, 101, 209, 296, 6},
    };
    for (const Case& c : cases) {
        IniWriteInteger("Skriver_VenstreMarg", c.margins.left);
        IniWriteInteger("Skriver_ToppMarg", c.margins.top);
        IniWriteInteger("Skriver_HoyreMarg", c.margins.right);
        IniWriteInteger("Skriver_BunnMarg", c.margins.bottom);
        SetPageGeometry(c.w, c.h, c.scale);
        const PageState& s = pageState();
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " at " << c.scale);
        EXPECT_EQ(s.Scale, c.scale);
        EXPECT_EQ(s.OriginX, c.margins.left);
        EXPECT_EQ(s.OriginY, c.margins.top);
        EXPECT_EQ(s.FrameLeft, c.frameLeft);
        EXPECT_EQ(s.FrameTop, c.frameTop);
        EXPECT_EQ(s.FrameRight, c.frameRight);
        EXPECT_EQ(s.FrameBottom, c.frameBottom);
        EXPECT_EQ(s.HalfWidth, c.halfWidth);
        EXPECT_EQ(s.RightMm, c.rightMm);
        EXPECT_EQ(s.BottomMm, c.bottomMm);
        SetOriginX(0);
        EXPECT_EQ(s.OriginX, c.originAfterReset);
    }
}

TEST_F(UtskriftTest, MissingMarginsReadAsZero)
{
    SetPageGeometry(1050, 1485, 5);
    EXPECT_EQ(pageState().FrameLeft, 0);
    EXPECT_EQ(pageState().FrameBottom, 1484);
}

TEST_F(UtskriftTest, PenWidthsAndFontSizes)
{
    struct PenCase {
        double scale;
        int k, width;
    } pens[] = {{5, 2, 2}, {2, 2, 1}, {23.62, 2, 14}, {23.62, 1, 7}, {5, 0, 1}, {5, -3, 1}, {47.22, 1, 15}};
    for (const PenCase& c : pens)
        EXPECT_EQ(PenWidthFor(c.scale, c.k), c.width) << c.scale << " " << c.k;

    struct FontCase {
        double scale;
        bool printing;
        int points, size;
    } fonts[] = {{5, false, 20, 26}, {5, false, 6, 8}, {5, true, 20, 20}, {5, true, 6, 6},
                 {3, false, 12, 9}, {10, false, 12, 31}};
    for (const FontCase& c : fonts)
        EXPECT_EQ(FontSizeFor(c.scale, c.printing, c.points), c.size) << c.scale << " " << c.points;

    // Through the operations, on the current surface.
    RecordingCanvas canvas;
    previewPage(canvas);
    SetPenWidth(2);
    EXPECT_EQ(canvas.penWidth, 2);
    SetFont("Times New Roman", 20);
    EXPECT_EQ(canvas.fontName, "Times New Roman");
    EXPECT_EQ(canvas.fontSize, 26);
    SetFont("", 6);
    EXPECT_EQ(canvas.fontName, "Times New Roman");  // an empty name keeps the font
    EXPECT_EQ(canvas.fontSize, 8);
    pageState().Printing = true;
    SetFontSize(20);
    EXPECT_EQ(canvas.fontSize, 20);
}

TEST_F(UtskriftTest, FontPointsBecomePixelsAtTheSurfacesResolution)
{
    EXPECT_EQ(FontPixelSize(26, 96), 35);
    EXPECT_EQ(FontPixelSize(20, 1200), 333);
    EXPECT_EQ(FontPixelSize(0, 96), 1);
    PageCanvas preview(96), printer(1200);
    preview.fontSize = printer.fontSize = 12;
    EXPECT_EQ(preview.font().pixelSize(), 16);
    EXPECT_EQ(printer.font().pixelSize(), 200);
}

TEST_F(UtskriftTest, MakersFontsResolveToInstalledStandIns)
{
    const struct {
        const char* name;
        const char* family;
        bool heavy;
    } cases[] = {{"Arial", "Liberation Sans", false},
                 {"Times New Roman", "Liberation Serif", false},
                 {"Courier New", "Liberation Mono", false},
                 {"Arial Black", "DejaVu Sans", true}};
    for (const auto& c : cases) {
        const QFont font = ResolveFont(c.name);
        EXPECT_EQ(font.family(), c.family) << c.name;
        EXPECT_EQ(font.weight() >= QFont::Bold, c.heavy) << c.name;
        EXPECT_EQ(QFontInfo(font).family(), c.family) << c.name << " is not installed";
    }
    EXPECT_EQ(ResolveFont("DejaVu Serif").family(), "DejaVu Serif");
}

// ---------------------------------------------------------------------------------------------
// Operations

TEST_F(UtskriftTest, LineFeedMovesByLineHeightRoundingHalvesToEven)
{
    PageState& s = pageState();
    struct Case {
        int lineHeight, originY;
        double lines;
        int result;
    } cases[] = {{3, 10, 1.0, 13}, {3, 0, 0.5, 2}, {3, 1, 0.5, 2}, {5, 0, 0.5, 2}, {3, 10, -1.0, 7}, {4, 7, 2.25, 16}};
    for (const Case& c : cases) {
        s.LineHeight = c.lineHeight;
        s.OriginY = c.originY;
        LineFeed(c.lines);
        EXPECT_EQ(s.OriginY, c.result) << c.lineHeight << " " << c.originY << " " << c.lines;
    }
}

TEST_F(UtskriftTest, TextAtPlacesTopLeftAndTracksLineHeightAndWidest)
{
    FixedMetricsCanvas canvas;
    previewPage(canvas);
    SetOriginX(10);
    SetOriginY(20);
    TextAt(2, 3, "abcdefg");  // 70 pixels = 14 mm
    ASSERT_EQ(canvas.calls.size(), 1);
    EXPECT_EQ(canvas.calls[0].points[0], QPoint(60, 115));
    EXPECT_EQ(pageState().LineHeight, 14 / 5 + 1);
    EXPECT_EQ(pageState().WidestText, 14);
    TextAt(0, 0, "ab");
    EXPECT_EQ(pageState().WidestText, 14);

    // TextLine: one millimetre in, then one line down while LineAdvance is on.
    pageState().LineAdvance = true;
    TextLine("x");
    EXPECT_EQ(canvas.calls.back().points[0], QPoint(55, 100));
    EXPECT_EQ(pageState().OriginY, 23);
    pageState().LineAdvance = false;
    TextLine("x");
    EXPECT_EQ(pageState().OriginY, 23);
}

TEST_F(UtskriftTest, ArrowOutlines)
{
    const QList<QPoint> right = {{115, 9}, {113, 9}, {113, 11}, {115, 11},
                                 {115, 13}, {118, 10}, {115, 7}, {115, 9}};
    EXPECT_EQ(ArrowPointsMm(113, 10, 2, 3), right);
    const QList<QPoint> down = {{48, 24}, {48, 20}, {52, 20}, {52, 24},
                                {56, 24}, {50, 30}, {44, 24}, {48, 24}};
    EXPECT_EQ(ArrowPointsMm(50, 20, 4, 5), down);

    RecordingCanvas canvas;
    previewPage(canvas);
    DrawArrow(113, 10, 2, 4);
    DrawArrow(113, 10, 2, 0);
    EXPECT_TRUE(canvas.calls.isEmpty());
    SetOriginX(10);
    SetOriginY(40);
    DrawArrow(113, 10, 2, 3);
    ASSERT_EQ(canvas.calls.size(), 1);
    EXPECT_EQ(canvas.calls[0].kind, "polyline");
    EXPECT_EQ(canvas.calls[0].points.first(), QPoint(625, 245));
    EXPECT_EQ(canvas.calls[0].points[5], QPoint(640, 250));  // the tip, origin added
    EXPECT_EQ(canvas.calls[0].points.first(), canvas.calls[0].points.last());
}

TEST_F(UtskriftTest, GridStartsAtTheOriginAndRestoresThePen)
{
    RecordingCanvas canvas;
    previewPage(canvas);
    canvas.penColor = QColor(10, 20, 30);
    canvas.penWidth = 4;
    SetOriginX(5);
    SetOriginY(25);
    GridLines(4, PageLightCyan);
    const QList<Drawn> lines = canvas.ofKind("polyline");
    // Vertical lines at 5, 9, ... 209 mm, then horizontal ones at 25, 29, ... 293 mm.
    ASSERT_EQ(lines.size(), 52 + 68);
    EXPECT_EQ(lines[0].points, (QList<QPoint>{{25, 125}, {25, 1480}}));
    EXPECT_EQ(lines[1].points, (QList<QPoint>{{45, 125}, {45, 1480}}));
    EXPECT_EQ(lines[51].points[0].x(), 1045);
    EXPECT_EQ(lines[52].points, (QList<QPoint>{{30, 125}, {1045, 125}}));
    EXPECT_EQ(lines.last().points[0].y(), 1465);
    for (const Drawn& d : lines) {
        EXPECT_EQ(d.pen, PageLightCyan);
        EXPECT_EQ(d.penWidth, 1);
    }
    EXPECT_EQ(canvas.penColor, QColor(10, 20, 30));
    EXPECT_EQ(canvas.penWidth, 1);

    canvas.calls.clear();
    GridLines(0, PageBlack);
    GridLines(-4, PageBlack);
    EXPECT_TRUE(canvas.calls.isEmpty());
}

TEST_F(UtskriftTest, RightAlignedTextsEndOnOneLineAcrossFonts)
{
    QImage image(1050, 1485, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    RecordingCanvas canvas;
    canvas.bind(&painter);
    previewPage(canvas);
    SetOriginX(10);
    SetFont("Arial Black", 12);
    TextRight(100, "Test 123");
    SetFont("Times New Roman", 16);
    TextRight(100, "Samme vertikale linje");
    SetFont("Courier New", 10);
    TextRight(100, "Ny linje under");

    const QList<Drawn> texts = canvas.ofKind("text");
    ASSERT_EQ(texts.size(), 3);
    QList<int> ends;
    for (const Drawn& d : texts) {
        canvas.fontName = d.fontName;
        canvas.fontSize = d.fontSize;
        ends.append(d.points[0].x() + canvas.textWidth(d.text));
    }
    canvas.unbind();
    // All end within one millimetre (5 pixels) of each other, 91 to 92 mm left of the frame's
    // right edge (100 + 1 - 10 mm of origin).
    for (int end : ends) {
        EXPECT_LE(qAbs(end - ends[0]), 4);
        EXPECT_GT(1049 - end, 91 * 5 - 5);
        EXPECT_LE(1049 - end, 92 * 5);
    }
}

TEST_F(UtskriftTest, TextIsOpaqueUnderSolidBrushOnly)
{
    const struct {
        int style;
        bool opaque;
    } cases[] = {{BrushSolid, true}, {BrushClear, false}, {BrushDiagonalCross, false}, {BrushHorizontal, false}};
    for (const auto& c : cases) {
        QImage image(200, 100, QImage::Format_RGB32);
        image.fill(QColor(255, 0, 0));
        QPainter painter(&image);
        PageCanvas canvas;
        canvas.bind(&painter);
        canvas.fontSize = 20;
        canvas.brushColor = PageGreen;
        canvas.brushStyle = c.style;
        canvas.textOut(10, 10, "    ");
        canvas.unbind();
        painter.end();
        // Blanks have no ink: only the cell can colour the pixels.
        EXPECT_EQ(QColor(image.pixel(15, 20)), c.opaque ? PageGreen : QColor(255, 0, 0)) << c.style;
        EXPECT_EQ(QColor(image.pixel(8, 20)), QColor(255, 0, 0)) << c.style;
    }
}

TEST_F(UtskriftTest, RotatedTextTurnsCounterClockwiseAboutItsTopLeftCorner)
{
    struct Case {
        int angle;
        QRect inkExpected;  // where the text must lie, relative to the anchor (300, 300)
    } cases[] = {
        {0, QRect(298, 298, 250, 40)},     // to the right, below the anchor
        {900, QRect(298, 50, 40, 252)},    // upwards, right of the anchor
        {1800, QRect(50, 262, 252, 40)},   // to the left, above the anchor
        {2700, QRect(262, 298, 40, 250)},  // downwards, left of the anchor
    };
    for (const Case& c : cases) {
        QImage image(600, 600, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        RecordingCanvas canvas;
        canvas.bind(&painter);
        previewPage(canvas);
        pageState().OriginX = pageState().OriginY = 0;
        SetFont("Arial", 12);
        canvas.brushStyle = BrushClear;
        TextRotated(c.angle, 60, 60, "MMMMMMMMMM");
        canvas.unbind();
        painter.end();
        EXPECT_EQ(canvas.calls.back().angle, c.angle);
        int inside = 0, outside = 0;
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 600; ++x)
                if (IsDark(image.pixel(x, y)))
                    (c.inkExpected.contains(x, y) ? inside : outside) += 1;
        EXPECT_GT(inside, 500) << c.angle;
        EXPECT_EQ(outside, 0) << c.angle;
        EXPECT_GT(pageState().WidestText, 30);  // measured along the text's own baseline
    }
}

TEST_F(UtskriftTest, ArcAnglesFollowTheRaysFromTheCentre)
{
    struct Case {
        double rx, ry, x3, y3, x4, y4;
        double start, span;
    } cases[] = {
        // Left half of a tall ellipse, from its top to its bottom.
        {20, 50, 0, -50, 0, 50, 90, 180},
        // A 45-degree ray on an ellipse twice as wide as high meets it at parametric 63.43.
        {100, 50, 100, -100, -100, 0, 63.4349, 116.5651},
        // Counter-clockwise from the bottom round to the top: the right half.
        {20, 50, 0, 50, 0, -50, 270, 180},
        // The same ray twice: the whole ellipse.
        {30, 30, 10, 0, 20, 0, 0, 360},
    };
    for (const Case& c : cases) {
        const ArcAngles a = ArcAnglesFor(0, 0, c.rx, c.ry, c.x3, c.y3, c.x4, c.y4);
        EXPECT_NEAR(a.start, c.start, 1e-3);
        EXPECT_NEAR(a.span, c.span, 1e-3);
    }
}

TEST_F(UtskriftTest, HatchRectDrawsEachPatternThenPutsBrushAndPenBack)
{
    // Each code's pattern, read from the rendered square: whether the ink continues along a row,
    // a column, the falling diagonal (x+1, y+1) or the rising one (x+1, y-1).
    struct Case {
        int code;
        bool rows, columns, falling, rising, ink;
    } cases[] = {
        {BrushSolid, true, true, true, true, true},
        {BrushClear, false, false, false, false, false},
        {BrushHorizontal, true, false, false, false, true},
        {BrushVertical, false, true, false, false, true},
        {BrushForwardDiagonal, false, false, true, false, true},
        {BrushBackwardDiagonal, false, false, false, true, true},
        {BrushCross, true, true, false, false, true},
        {BrushDiagonalCross, false, false, true, true, true},
    };
    for (const Case& c : cases) {
        QImage image(200, 200, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        RecordingCanvas canvas;
        canvas.bind(&painter);
        previewPage(canvas);
        pageState().OriginX = pageState().OriginY = 0;
        HatchRect(2, 2, 38, 38, c.code);
        canvas.unbind();
        painter.end();
        SCOPED_TRACE(c.code);
        ASSERT_EQ(canvas.calls.size(), 1);
        EXPECT_EQ(canvas.calls[0].pen, PageWhite);
        EXPECT_EQ(canvas.calls[0].brush, PageBlack);
        EXPECT_EQ(canvas.penColor, PageBlack);
        EXPECT_EQ(canvas.brushColor, PageWhite);
        EXPECT_EQ(canvas.brushStyle, BrushSolid);

        int ink = 0, row = 0, column = 0, falling = 0, rising = 0;
        for (int y = 40; y < 150; ++y)
            for (int x = 40; x < 150; ++x) {
                if (!IsDark(image.pixel(x, y)))
                    continue;
                ++ink;
                row += IsDark(image.pixel(x + 1, y));
                column += IsDark(image.pixel(x, y + 1));
                falling += IsDark(image.pixel(x + 1, y + 1));
                rising += IsDark(image.pixel(x + 1, y - 1));
            }
        EXPECT_EQ(ink > 0, c.ink);
        if (ink == 0)
            continue;
        // A direction the pattern has continues the ink for at least the pixels of its lines.
        auto runs = [ink](int n) { return n > ink * 4 / 10; };
        EXPECT_EQ(runs(row), c.rows) << row << "/" << ink;
        EXPECT_EQ(runs(column), c.columns) << column << "/" << ink;
        EXPECT_EQ(runs(falling), c.falling) << falling << "/" << ink;
        EXPECT_EQ(runs(rising), c.rising) << rising << "/" << ink;
    }
}

TEST_F(UtskriftTest, HatchOnAFinerSurfaceKeepsItsScreenSize)
{
    // On a 960-dpi surface the 8-pixel pattern of a 96-dpi screen becomes 80 pixels.
    for (double dpi : {96.0, 960.0}) {
        QImage image(1000, 1000, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        PageCanvas canvas(dpi);
        canvas.bind(&painter);
        canvas.brushColor = PageBlack;
        canvas.brushStyle = BrushHorizontal;
        canvas.penColor = PageWhite;
        canvas.rectangle(50, 50, 950, 950);
        canvas.unbind();
        painter.end();
        int lines = 0;
        for (int y = 100; y < 900; ++y)
            lines += IsDark(image.pixel(500, y)) && !IsDark(image.pixel(500, y - 1));
        EXPECT_NEAR(lines, 800 / (8 * dpi / 96), 2) << dpi;
    }
}

TEST_F(UtskriftTest, OperationsWithoutASurfaceDrawNothingAndDoNotFail)
{
    SetPageGeometry(1050, 1485, 5);
    TestPage();
    EXPECT_EQ(pageState().OriginX, 0);
}

// ---------------------------------------------------------------------------------------------
// Page dressing

TEST_F(UtskriftTest, FooterPrefixesTheCentringFigure)
{
    FixedMetricsCanvas canvas;
    previewPage(canvas);
    pageState().LineHeight = 7;
    pageState().WidestText = 33;
    pageState().OriginY = 12;
    PageFooter("abc");  // 30 pixels wide
    ASSERT_EQ(canvas.calls.size(), 1);
    EXPECT_EQ(canvas.calls[0].text, "505-abc");
    EXPECT_EQ(canvas.calls[0].points[0], QPoint(25, 1484 - (14 + 10)));
    EXPECT_EQ(canvas.calls[0].fontSize, FontSizeFor(5, false, 8));
    EXPECT_EQ(canvas.calls[0].fontColor, PageBlack);
    EXPECT_EQ(pageState().LineHeight, 7);
    EXPECT_EQ(pageState().WidestText, 33);
    EXPECT_EQ(pageState().OriginY, 12);

    canvas.fontName = "Courier New";
    PageFooter("tegningskilde: TEST");
    EXPECT_EQ(canvas.calls.back().text, "425-tegningskilde: TEST");
    EXPECT_EQ(canvas.calls.back().fontName, "Courier New");  // no footer font set: unchanged
    IniWriteString("Skriver_Font", "Times New Roman");
    PageFooter("x");
    EXPECT_EQ(canvas.calls.back().fontName, "Times New Roman");
}

TEST_F(UtskriftTest, HeaderWithEmptyCompanySettings)
{
    FixedMetricsCanvas canvas;
    previewPage(canvas);
    PageHeader("Test utskrift");

    ASSERT_GE(canvas.calls.size(), 3);
    EXPECT_EQ(canvas.calls[0].kind, "rect");  // the frame
    EXPECT_EQ(canvas.calls[0].points, (QList<QPoint>{{0, 0}, {1049, 1484}}));
    EXPECT_EQ(canvas.calls[0].penWidth, 2);

    const QList<Drawn> rules = canvas.ofKind("line");
    ASSERT_EQ(rules.size(), 1);
    EXPECT_EQ(rules[0].points, (QList<QPoint>{{0, 100}, {1049, 100}}));
    const QList<Drawn> bars = canvas.ofKind("roundrect");
    ASSERT_EQ(bars.size(), 1);
    EXPECT_EQ(bars[0].points, (QList<QPoint>{{525, 5}, {1044, 95}, {25, 25}}));
    EXPECT_EQ(bars[0].brush, PageGreen);
    EXPECT_EQ(bars[0].pen, PageBlack);

    // Line height of Arial 6 in this canvas: 14 px -> 2 mm + 1.
    const int lh = 3;
    const QList<Drawn> texts = canvas.ofKind("text");
    const QStringList expected = {"Test utskrift", "", " ", "e-post:", "telefon:", "telefax:",
                                  "mobiltlf.:", "org.nr.:", "", "", "", "", ""};
    ASSERT_EQ(canvas.texts(), expected);
    EXPECT_EQ(texts[0].points[0], QPoint(540, 10));
    EXPECT_EQ(texts[0].fontColor, PageWhite);
    EXPECT_EQ(texts[0].brush, PageGreen);
    EXPECT_EQ(texts[0].fontSize, 26);
    EXPECT_EQ(texts[1].points[0], QPoint(20, 10));
    EXPECT_EQ(texts[1].fontColor, PageBlack);
    EXPECT_EQ(texts[1].brush, PageWhite);
    EXPECT_EQ(texts[2].points[0], QPoint(20, 70));
    EXPECT_EQ(texts[2].fontSize, FontSizeFor(5, false, 12));
    // Labels 61 mm in, from 3 mm down, one line apart; "mobiltlf.:" is the widest (10 chars,
    // 100 px = 20 mm), so the values start at 20 + 62 + 1 mm.
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(texts[3 + i].points[0], QPoint(61 * 5, (3 + i * lh) * 5)) << i;
        EXPECT_EQ(texts[8 + i].points[0], QPoint(83 * 5, (3 + i * lh) * 5)) << i;
    }
    EXPECT_EQ(pageState().WidestText, 20);

    // The state a page continues from.
    const PageState& s = pageState();
    EXPECT_EQ(s.OriginX, 0);
    EXPECT_EQ(s.OriginY, 0);
    EXPECT_TRUE(s.LineAdvance);
    EXPECT_EQ(canvas.penColor, PageBlack);
    EXPECT_EQ(canvas.penWidth, PenWidthFor(5, 1));
    EXPECT_EQ(canvas.brushColor, PageWhite);
    EXPECT_EQ(canvas.brushStyle, BrushSolid);
    EXPECT_EQ(canvas.fontName, "Arial");
    EXPECT_EQ(canvas.fontSize, 8);
    EXPECT_EQ(canvas.fontColor, PageBlack);
    EXPECT_FALSE(canvas.fontBold);
}

TEST_F(UtskriftTest, HeaderShowsTheCompanySettings)
{
    IniWriteString("Firma_Navn", "Tavlund AS");
    IniWriteString("Firma_PostNr", "1234");
    IniWriteString("Firma_PostSted", "Bygda");
    IniWriteString("Firma_Epost", "post@example.no");
    IniWriteString("Firma_Telefon", "11 22 33 44");
    IniWriteString("Firma_Telefax", "55 66 77 88");
    IniWriteString("Firma_Mobil", "999 88 777");
    IniWriteString("Firma_OrgNr", "987 654 321");
    IniWriteString("Skriver_HeaderFont", "Times New Roman");
    FixedMetricsCanvas canvas;
    previewPage(canvas);
    canvas.fontBold = true;
    PageHeader("Tittel");
    const QStringList expected = {"Tittel", "Tavlund AS", "1234 Bygda", "e-post:", "telefon:",
                                  "telefax:", "mobiltlf.:", "org.nr.:", "post@example.no",
                                  "11 22 33 44", "55 66 77 88", "999 88 777", "987 654 321"};
    EXPECT_EQ(canvas.texts(), expected);
    const QList<Drawn> texts = canvas.ofKind("text");
    EXPECT_EQ(texts[1].fontName, "Times New Roman");
    EXPECT_EQ(texts[2].fontName, "Arial");
    EXPECT_FALSE(canvas.fontBold);
}

// ---------------------------------------------------------------------------------------------
// The test page

TEST_F(UtskriftTest, TestPageMakesItsCallsInOrder)
{
    FixedMetricsCanvas canvas;
    previewPage(canvas);
    TestPage();

    QStringList expected = {"Test utskrift", "", " ", "e-post:", "telefon:", "telefax:", "mobiltlf.:",
                            "org.nr.:", "", "", "", "", "", "TESTING", "Test 123", "Ny linje under",
                            QString::fromUtf8("Skal være på"), "Samme vertikale linje", "Testing 1234"};
    const QList<Drawn> texts = canvas.ofKind("text");
    const QStringList drawn = canvas.texts();
    ASSERT_EQ(drawn.size(), expected.size() + 4 + 36);
    EXPECT_EQ(drawn.mid(0, expected.size()), expected);
    const int footer = int(expected.size());
    EXPECT_EQ(drawn[footer], QString::number(520 - 190 / 2) + "-tegningskilde: TEST");
    EXPECT_EQ(drawn[footer + 1],
              "12345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012");
    EXPECT_EQ(drawn[footer + 1].size(), 92);
    EXPECT_EQ(texts[footer + 1].points[0], QPoint(5, 105));
    EXPECT_EQ(texts[footer + 1].fontName, "Courier New");
    EXPECT_EQ(drawn[footer + 2], QString::fromUtf8("Dette er en test 123 ÆØÅ xxxx Dette er en test 123 ÆØÅ"));
    EXPECT_EQ(texts[footer + 2].fontSize, FontSizeFor(5, false, 22));
    EXPECT_EQ(texts[footer + 3].fontName, "Times New Roman");
    for (int i = 1; i <= 36; ++i) {
        const Drawn& d = texts[footer + 3 + i];
        EXPECT_EQ(d.text, QString("Rotert tekst, %1 grader").arg(i * 10));
        EXPECT_EQ(d.angle, i * 100);
        EXPECT_EQ(d.points[0], QPoint(500, 1250));
    }

    // The four right-aligned lines one line height apart (14 px -> 3 mm in this canvas),
    // "TESTING" at (10, 0) from the origin (10, 170).
    EXPECT_EQ(texts[13].points[0], QPoint(100, 850));
    EXPECT_EQ(texts[13].fontName, "Arial Black");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(texts[14 + i].points[0].y(), (170 + 3 * i) * 5) << i;
    EXPECT_EQ(texts[18].points[0], QPoint((10 + 38) * 5, (170 + 12 + 24) * 5));

    // The pipe, the arrow and the hatched squares.
    const QList<Drawn> lines = canvas.ofKind("line");
    ASSERT_EQ(lines.size(), 4);  // the header rule, the two edges, the vertical line
    EXPECT_EQ(lines[1].points, (QList<QPoint>{{150, 200}, {850, 200}}));
    EXPECT_EQ(lines[2].points, (QList<QPoint>{{150, 700}, {850, 700}}));
    EXPECT_EQ(lines[3].points, (QList<QPoint>{{550, 850}, {550, 1000}}));
    EXPECT_EQ(lines[1].penWidth, 1);
    const QList<Drawn> arcs = canvas.ofKind("arc");
    ASSERT_EQ(arcs.size(), 1);
    EXPECT_EQ(arcs[0].points, (QList<QPoint>{{50, 200}, {250, 700}, {150, 200}, {150, 700}}));
    const QList<Drawn> ellipses = canvas.ofKind("ellipse");
    ASSERT_EQ(ellipses.size(), 2);
    EXPECT_EQ(ellipses[0].points, (QList<QPoint>{{750, 200}, {950, 700}}));
    EXPECT_EQ(ellipses[0].brush, PageWhite);
    EXPECT_EQ(ellipses[1].points, (QList<QPoint>{{765, 225}, {935, 675}}));
    const QList<Drawn> rects = canvas.ofKind("rect");
    ASSERT_EQ(rects.size(), 3);
    EXPECT_EQ(rects[1].points, (QList<QPoint>{{155, 905}, {195, 945}}));
    EXPECT_EQ(rects[2].points, (QList<QPoint>{{155, 980}, {195, 1020}}));
    EXPECT_EQ(rects[1].brushStyle, BrushDiagonalCross);
    const Drawn arrow = canvas.ofKind("polyline").last();
    EXPECT_EQ(arrow.points[5], QPoint(640, 250));

    // After the header, the calls of every kind come in the page's order.
    qsizetype afterHeader = 0;
    for (int seen = 0; afterHeader < canvas.calls.size() && seen < 13; ++afterHeader)
        seen += canvas.calls[afterHeader].kind == "text";
    QStringList order;
    for (qsizetype i = afterHeader; i < canvas.calls.size(); ++i) {
        const Drawn& d = canvas.calls[i];
        order << (d.kind == "text" ? (d.angle ? QString("rotated") : "text " + d.text.left(7)) : d.kind);
    }
    QStringList expectedOrder = {"line", "line", "arc", "ellipse", "ellipse", "polyline", "line",
                                 "text TESTING", "rect", "rect", "text Test 12", "text Ny linj",
                                 "text Skal væ", "text Samme v", "text Testing", "text " + drawn[footer].left(7),
                                 "text 1234567", "text Dette e", "text Dette e"};
    for (int i = 1; i <= 36; ++i)
        expectedOrder << "rotated";
    EXPECT_EQ(order, expectedOrder);

    // The page ends on the frame's corner with Arial 12, a thin black pen and a white brush.
    EXPECT_EQ(pageState().OriginX, 0);
    EXPECT_EQ(pageState().OriginY, 0);
    EXPECT_EQ(canvas.fontName, "Arial");
    EXPECT_EQ(canvas.fontSize, FontSizeFor(5, false, 12));
    EXPECT_EQ(canvas.penWidth, 1);
    EXPECT_EQ(canvas.brushStyle, BrushSolid);
}

TEST_F(UtskriftTest, TestPageRenderedAtZoomFive)
{
    QImage image(1050, 1485, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    PageCanvas canvas(96);
    canvas.bind(&painter);
    previewPage(canvas);
    TestPage();
    canvas.unbind();
    painter.end();

    // The pipe's upper edge: one pixel high at y 200 from x 150 to 850.
    for (int x = 150; x < 850; ++x)
        ASSERT_TRUE(IsDark(image.pixel(x, 200))) << x;
    for (int x = 300; x < 700; ++x) {
        ASSERT_FALSE(IsDark(image.pixel(x, 199))) << x;
        ASSERT_FALSE(IsDark(image.pixel(x, 201))) << x;
    }
    // The green title bar in the right half of the header band, left of it white.
    EXPECT_EQ(QColor(image.pixel(1000, 50)), PageGreen);
    EXPECT_EQ(QColor(image.pixel(1030, 80)), PageGreen);
    EXPECT_EQ(QColor(image.pixel(500, 50)), PageWhite);
    EXPECT_EQ(QColor(image.pixel(1000, 97)), PageWhite);
    // The white title on it.
    int whiteInBar = 0;
    for (int y = 10; y < 45; ++y)
        for (int x = 540; x < 800; ++x)
            whiteInBar += QColor(image.pixel(x, y)) == PageWhite;
    EXPECT_GT(whiteInBar, 200);
    // The header rule, the frame and the light cyan grid.
    EXPECT_TRUE(IsDark(image.pixel(300, 100)));
    EXPECT_TRUE(IsDark(image.pixel(0, 700)) || IsDark(image.pixel(1, 700)));
    EXPECT_EQ(QColor(image.pixel(25, 1400)), PageLightCyan);
    EXPECT_EQ(QColor(image.pixel(35, 1405)), PageLightCyan);
    EXPECT_EQ(QColor(image.pixel(35, 1406)), PageWhite);
    EXPECT_EQ(QColor(image.pixel(27, 1405)), PageWhite);  // horizontal lines start 1 mm in
    // Hatching inside the first square, white outline around it.
    int ink = 0;
    for (int y = 907; y < 944; ++y)
        for (int x = 157; x < 194; ++x)
            ink += IsDark(image.pixel(x, y));
    EXPECT_GT(ink, 37 * 37 / 10);
    EXPECT_LT(ink, 37 * 37 * 6 / 10);
}

}  // namespace
