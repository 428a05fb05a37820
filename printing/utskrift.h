#pragma once
// The print layer: a page procedure draws one page in whole millimetres through the operations
// below, on whichever surface is current (the preview window's surface or a printer page). Every
// position is converted to that surface's device pixels with one scale factor, PageState.Scale.
//
// The layer keeps its state in one process-wide record, pageState(), between calls. Pen, brush
// and font belong to the surface (PageCanvas) and keep their values on it between runs. All of it
// runs on the GUI thread.
//
// The same unit holds the preview's process-wide values (PageProc, PageClick, Rotated, Zoom,
// PrintTitle), the preview's size rules as plain functions, the PDF file naming used when no
// printer is installed, and the built-in test page. The window itself is printing/printform.h.
#include <QColor>
#include <QFont>
#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>
#include <Qt>
#include <cstdint>
#include <functional>

class QPainter;
class QPaintDevice;

// The printing subsystem's version text and date, shown by the system-information window.
inline constexpr const char* PrintingVersionText = "RGV: 1.13";
inline constexpr const char* PrintingVersionDate = "11.10.2011";

// ---------------------------------------------------------------------------------------------
// Colours of the layer

inline const QColor PageBlack(0, 0, 0);
inline const QColor PageWhite(255, 255, 255);
inline const QColor PageGreen(0, 128, 0);
inline const QColor PageLightCyan(176, 255, 255);

// Brush style codes of HatchRect and PageCanvas::brushStyle.
enum BrushCode : int {
    BrushSolid = 0,
    BrushClear = 1,
    BrushHorizontal = 2,
    BrushVertical = 3,
    BrushForwardDiagonal = 4,   // lines falling from top left to bottom right
    BrushBackwardDiagonal = 5,  // lines rising from bottom left to top right
    BrushCross = 6,
    BrushDiagonalCross = 7,
};

// The Qt brush style of a code; a code outside 0..7 draws no fill.
Qt::BrushStyle BrushStyleOf(int code);

// The installed font that stands for a font name of the maker's pages: Arial, Times New Roman
// and Courier New resolve to their metric-compatible Liberation fonts, Arial Black to the heavy
// weight of DejaVu Sans (no metric-compatible font exists). Any other name is left to
// fontconfig. Only the family and weight are set.
QFont ResolveFont(const QString& name);

// Pixels of a font size in points at a resolution: points × dpi / 72, rounded, at least 1.
int FontPixelSize(int points, double dpi);

// ---------------------------------------------------------------------------------------------
// The drawing surface

// One drawing surface with its own pen, brush and font. It draws through a QPainter bound for
// the duration of one paint or one print job (bind/unbind); while unbound it still measures text
// (at its resolution) but draws nothing. The drawing primitives are virtual so that a test can
// record what a page draws.
//
// All coordinates are device pixels. Text is drawn with its top-left corner at the given point;
// under a solid brush the text's cell (advance width × font height) is filled with the brush
// colour first, under a hatch or clear brush the text is drawn transparent.
class PageCanvas {
public:
    // fontDpi: the resolution at which font points become pixels (96 for the preview, so the page
    // looks the same on every screen; the printer's own resolution for a printer page).
    explicit PageCanvas(double fontDpi = 96.0);
    virtual ~PageCanvas();
    PageCanvas(const PageCanvas&) = delete;
    PageCanvas& operator=(const PageCanvas&) = delete;

    void bind(QPainter* painter);
    void unbind();
    QPainter* painter() const { return m_painter; }
    double fontDpi() const { return m_fontDpi; }
    void setFontDpi(double dpi) { m_fontDpi = dpi; }

    // Pen
    QColor penColor = PageBlack;
    int penWidth = 1;  // device pixels
    // Brush
    QColor brushColor = PageWhite;
    int brushStyle = BrushSolid;
    // Font
    QString fontName = QStringLiteral("Arial");
    int fontSize = 10;  // points
    QColor fontColor = PageBlack;
    bool fontBold = false;
    bool fontItalic = false;
    bool fontUnderline = false;
    bool fontStrikeOut = false;

    // The font as it is drawn: resolved family, pixel size at fontDpi, style.
    QFont font() const;

    // Width and height in device pixels of text in the current font, measured on the bound
    // painter's device (or at fontDpi while unbound).
    virtual int textWidth(const QString& text) const;
    virtual int textHeight(const QString& text) const;

    // Text with its top-left corner at (x, y), turned angleTenths tenths of a degree
    // counter-clockwise about that corner.
    virtual void textOut(int x, int y, const QString& text, int angleTenths = 0);
    // Open polyline through the points (not filled).
    virtual void polyline(const QList<QPoint>& points);
    // Straight line: the pen moves to the first point and draws to the second.
    virtual void line(int x1, int y1, int x2, int y2);
    // Shapes with corners (x1, y1) and (x2, y2), outlined by the pen and filled by the brush.
    virtual void rectangle(int x1, int y1, int x2, int y2);
    virtual void roundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight);
    virtual void ellipse(int x1, int y1, int x2, int y2);
    // The arc of the ellipse inscribed in (x1, y1)-(x2, y2), counter-clockwise from where the ray
    // from the centre towards (x3, y3) meets the ellipse to where the ray towards (x4, y4) does.
    virtual void arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);

private:
    void applyPen(QPainter& p) const;
    // Sets pen and brush for a closed shape, then draws it.
    void closedShape(const std::function<void(QPainter&)>& draw);

    QPainter* m_painter = nullptr;
    double m_fontDpi;
};

// Start and span, in degrees counter-clockwise with 0 at three o'clock, of the arc of the ellipse
// with half-axes rx, ry centred at (cx, cy) from the ray towards (x3, y3) to the ray towards
// (x4, y4), as the parametric angles that Qt's arcs take. The span lies in (0, 360]; equal rays
// give the whole ellipse.
struct ArcAngles {
    double start = 0;
    double span = 360;
};
ArcAngles ArcAnglesFor(double cx, double cy, double rx, double ry, double x3, double y3, double x4,
                       double y4);

// ---------------------------------------------------------------------------------------------
// The layer's state

struct PageState {
    std::int32_t OriginX = 0;      // mm from the surface's top-left corner
    std::int32_t OriginY = 0;
    bool LineAdvance = false;      // TextLine moves down one line after drawing
    bool Printing = false;         // a print job is drawing
    std::int32_t FrameLeft = 0;    // the printable frame inside the margins, device pixels
    std::int32_t FrameTop = 0;
    std::int32_t FrameRight = 0;
    std::int32_t FrameBottom = 0;
    double Scale = 1.0;            // device pixels per millimetre
    std::int32_t HalfWidth = 0;    // mm
    std::int32_t RightMm = 0;      // the frame's right and bottom edges, mm
    std::int32_t BottomMm = 0;
    std::int32_t LineHeight = 0;   // mm, one line of text in the current font
    std::int32_t WidestText = 0;   // mm, widest text drawn by TextAt since last reset
    PageCanvas* Canvas = nullptr;  // the surface drawn on; none until the preview sets one
};

PageState& pageState();
// Puts the layer's state back to its start (tests).
void ResetPageState();

// ---------------------------------------------------------------------------------------------
// Units

// v × Scale, truncated toward zero. A result a few units of the last bit below a whole number
// (a scale such as 4960 / 210 that a double cannot hold) counts as that number; nothing else is
// rounded. Results beyond the 32-bit range are cut to it.
std::int32_t MmToPx(std::int32_t v);
// p ÷ Scale, truncated toward zero, with the same allowance.
std::int32_t PxToMm(std::int32_t p);
// The same with an explicit scale.
std::int32_t MmToPxAt(std::int32_t v, double scale);
std::int32_t PxToMmAt(std::int32_t p, double scale);
// Rounds to the nearest integer, halves to even.
std::int32_t RoundHalfEven(double v);

// The four margins in whole millimetres.
struct PageMargins {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// The margins from the current settings section: "Skriver_VenstreMarg", "Skriver_ToppMarg",
// "Skriver_HoyreMarg", "Skriver_BunnMarg" (a missing key reads as 0).
PageMargins ReadPageMargins();

// The page geometry of a surface of w × h device pixels at the given scale: sets Scale, puts the
// origin on the margins and computes the frame, HalfWidth, RightMm and BottomMm.
void ComputePageGeometry(PageState& state, std::int32_t w, std::int32_t h, double scale,
                         const PageMargins& margins);
// The same on pageState() with the margins read from the settings.
void SetPageGeometry(std::int32_t w, std::int32_t h, double scale);

// ---------------------------------------------------------------------------------------------
// Operations. Positions are millimetres relative to the origin unless said otherwise.

void SetOriginX(std::int32_t mm);
void SetOriginY(std::int32_t mm);
void LineFeed(double lines);

// In a print job the size is points; in the preview points ÷ 3.85 × Scale, rounded half to even.
void SetFontSize(std::int32_t points);
// Font name (an empty name keeps the current one), SetFontSize, LineHeight recomputed.
void SetFont(const QString& name, std::int32_t points);
// Pen width trunc(Scale ÷ 3) × k device pixels, at least 1.
void SetPenWidth(std::int32_t k);
// The pen width SetPenWidth(k) gives at a scale.
std::int32_t PenWidthFor(double scale, std::int32_t k);
// The font size SetFontSize(points) gives.
std::int32_t FontSizeFor(double scale, bool printing, std::int32_t points);

void TextAt(std::int32_t x, std::int32_t y, const QString& text);
void TextLine(const QString& text);
void TextRight(std::int32_t distance, const QString& text);
void TextRotated(std::int32_t angle, std::int32_t x, std::int32_t y, const QString& text);

void DrawLine(std::int32_t x, std::int32_t y, std::int32_t dx, std::int32_t dy);
void DrawEllipse(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
void DrawArc(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, std::int32_t x3,
             std::int32_t y3, std::int32_t x4, std::int32_t y4);
// Outline of a block arrow; direction 3 points right, 5 down, anything else draws nothing.
void DrawArrow(std::int32_t x, std::int32_t y, std::int32_t size, std::int32_t direction);
// The arrow's eight outline points in millimetres (origin already added); empty for a direction
// that draws nothing.
QList<QPoint> ArrowPointsMm(std::int32_t x, std::int32_t y, std::int32_t size, std::int32_t direction);
void HatchRect(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, std::int32_t style);
void PageFrame();
// A grid of one-pixel lines from the origin to (RightMm, BottomMm). A step below 1 draws nothing.
void GridLines(std::int32_t step, const QColor& colour);

// The company header block and the footer line.
void PageHeader(const QString& title);
void PageFooter(const QString& text);

// The built-in page procedure "Test utskrift".
void TestPage();

// ---------------------------------------------------------------------------------------------
// The preview's process-wide values

using PageProcedure = std::function<void()>;
using PageClickHandler =
    std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)>;

// Sounds the default alert; the initial PageClick.
void ClickBeep(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);

inline constexpr int DefaultZoom = 5;
inline constexpr int PaperShortMm = 210;
inline constexpr int PaperLongMm = 297;
// The largest preview zoom: the page's long side at this zoom is still within the largest size a
// widget can take (16777215 pixels), so the surface and Scale always agree. 56488.
inline constexpr int MaxPreviewZoom = 16777215 / PaperLongMm;

struct PreviewState {
    PageProcedure PageProc = TestPage;            // run by every preview paint and PrintPage
    PageClickHandler PageClick = ClickBeep;       // a left press on the preview surface
    bool Rotated = false;                         // landscape
    int Zoom = DefaultZoom;                       // preview pixels per millimetre
    QString PrintTitle = QStringLiteral("utskrift");  // title of the next print job
};

PreviewState& previewState();
void ResetPreviewState();

// The preview surface for a zoom: 210 × 297 mm (297 × 210 rotated) at zoom pixels per mm.
QSize PreviewSurfaceSize(int zoom, bool rotated);
// The printer's scale: the page's short side is 210 mm.
double PrinterScale(int width, int height, bool landscape);
// The surface's left edge in a client area: centred when the client is wider, else 0.
int SurfaceLeft(int clientWidth, int surfaceWidth);
// "Hele siden" and "Sidebredde": the zoom that fits the page's height or width on the screen,
// at least 1 and at most MaxPreviewZoom.
int FitPageZoom(int screenHeight, bool rotated);
int FitWidthZoom(int screenWidth, bool rotated);
// A zoom held to 1..MaxPreviewZoom.
int ClampZoom(int zoom);
// "Zoom in" and "Zoom ut"; "Zoom in" stops at MaxPreviewZoom.
int ZoomIn(int zoom);
int ZoomOut(int zoom);

// ---------------------------------------------------------------------------------------------
// PDF output when no printer is installed

// A job title made safe as a file name: characters that cannot stand in a file name (path
// separators, control characters and those other systems forbid) become '_', leading and
// trailing blanks and dots go, at most 120 characters; "utskrift" when nothing is left.
QString SafeFileTitle(const QString& title);
// A path in folder (ending in '/') for a PDF of that title that names no existing file:
// title.pdf, else title-2.pdf, title-3.pdf, ...
QString FreePdfPath(const QString& folder, const QString& title);

// ---------------------------------------------------------------------------------------------
// The preview window's two entry points, for every caller (the window is printing/printform.h
// and is created at start-up; without it both throw std::runtime_error).

// The page of PageProc in the preview window: the preview surface becomes the canvas, Printing
// ends, and the window is shown (or only brought forward).
void ShowPreview();
// The page of PageProc as one print job; with no printer installed, as a PDF file in the data
// folder "export/pdf".
void PrintPage();
