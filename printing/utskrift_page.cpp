// The print layer's state, its millimetre/pixel conversions, the page geometry and the drawing
// operations. Positions are whole millimetres in 32-bit signed arithmetic, used as given: sums
// wrap instead of overflowing, and a product beyond the 32-bit range is cut to it.
#include "printing/utskrift.h"

#include "framework/kv_reg.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using std::int32_t;

// a + b in 32-bit signed arithmetic, wrapping like the machine does.
int32_t Add(int32_t a, int32_t b) { return static_cast<int32_t>(std::int64_t(a) + std::int64_t(b)); }
int32_t Sub(int32_t a, int32_t b) { return static_cast<int32_t>(std::int64_t(a) - std::int64_t(b)); }

// Truncation toward zero of a product or quotient of pixels and millimetres. The scale of a
// printer is a fraction such as 4960 / 210 that a double cannot hold exactly, so a whole page's
// 210 mm can come out as 4959.9999999999991 pixels, one pixel short. A value that lies within a
// few units of its last bit below the next whole number is therefore taken as that number. The
// allowance is relative to the value's own precision (a few parts in 10^16), so it can never add
// a whole step, and a value that is already whole is left as it is.
int32_t TruncateToInt(double value)
{
    if (std::isnan(value))
        return 0;
    const double magnitude = std::fabs(value);
    double whole = std::trunc(magnitude);
    if (whole != magnitude) {
        const double next = whole + 1.0;
        const double lastBit = std::nextafter(next, std::numeric_limits<double>::infinity()) - next;
        if (next - magnitude <= 4.0 * lastBit)
            whole = next;
    }
    value = std::copysign(whole, value);
    value = std::clamp(value, double(std::numeric_limits<int32_t>::min()),
                       double(std::numeric_limits<int32_t>::max()));
    return static_cast<int32_t>(value);
}

// Position of a millimetre coordinate relative to the origin.
int32_t X(int32_t x) { return MmToPx(Add(x, pageState().OriginX)); }
int32_t Y(int32_t y) { return MmToPx(Add(y, pageState().OriginY)); }

PageCanvas* Canvas() { return pageState().Canvas; }

void RecomputeLineHeight()
{
    PageState& s = pageState();
    if (s.Canvas)
        s.LineHeight = Add(PxToMm(s.Canvas->textHeight(QStringLiteral("@My"))), 1);
}

// What TextAt and TextRotated do after drawing.
void AfterText(const QString& text)
{
    PageState& s = pageState();
    RecomputeLineHeight();
    if (s.Canvas)
        s.WidestText = std::max(s.WidestText, PxToMm(s.Canvas->textWidth(text)));
}

}  // namespace

PageState& pageState()
{
    static PageState state;
    return state;
}

void ResetPageState() { pageState() = PageState{}; }

// ---------------------------------------------------------------------------------------------
// Units

int32_t MmToPxAt(int32_t v, double scale) { return TruncateToInt(double(v) * scale); }

int32_t PxToMmAt(int32_t p, double scale)
{
    if (scale == 0)
        return 0;
    return TruncateToInt(double(p) / scale);
}

int32_t MmToPx(int32_t v) { return MmToPxAt(v, pageState().Scale); }
int32_t PxToMm(int32_t p) { return PxToMmAt(p, pageState().Scale); }

int32_t RoundHalfEven(double v)
{
    if (std::isnan(v))
        return 0;
    double r = std::round(v);  // halves away from zero
    if (std::fabs(v - std::trunc(v)) == 0.5)
        r = 2.0 * std::round(v / 2.0);
    r = std::clamp(r, double(std::numeric_limits<int32_t>::min()),
                   double(std::numeric_limits<int32_t>::max()));
    return static_cast<int32_t>(r);
}

// ---------------------------------------------------------------------------------------------
// Geometry

PageMargins ReadPageMargins()
{
    PageMargins m;
    m.left = IniReadInteger(QStringLiteral("Skriver_VenstreMarg"));
    m.top = IniReadInteger(QStringLiteral("Skriver_ToppMarg"));
    m.right = IniReadInteger(QStringLiteral("Skriver_HoyreMarg"));
    m.bottom = IniReadInteger(QStringLiteral("Skriver_BunnMarg"));
    return m;
}

void ComputePageGeometry(PageState& s, int32_t w, int32_t h, double scale, const PageMargins& margins)
{
    s.Scale = scale;
    s.OriginX = margins.left;
    s.OriginY = margins.top;
    s.FrameLeft = MmToPxAt(s.OriginX, scale);
    s.FrameTop = MmToPxAt(s.OriginY, scale);
    s.FrameRight = Sub(Sub(w, MmToPxAt(margins.right, scale)), 1);
    s.FrameBottom = Sub(Sub(h, MmToPxAt(margins.bottom, scale)), 1);
    s.HalfWidth = PxToMmAt(Sub(s.FrameRight, s.FrameLeft) / 2, scale);
    s.RightMm = PxToMmAt(s.FrameRight, scale);
    s.BottomMm = PxToMmAt(s.FrameBottom, scale);
}

void SetPageGeometry(int32_t w, int32_t h, double scale)
{
    ComputePageGeometry(pageState(), w, h, scale, ReadPageMargins());
}

// ---------------------------------------------------------------------------------------------
// Origin, font and pen

void SetOriginX(int32_t mm) { pageState().OriginX = Add(mm, PxToMm(pageState().FrameLeft)); }

void SetOriginY(int32_t mm) { pageState().OriginY = Add(mm, PxToMm(pageState().FrameTop)); }

void LineFeed(double lines)
{
    PageState& s = pageState();
    s.OriginY = RoundHalfEven(double(s.LineHeight) * lines + double(s.OriginY));
}

int32_t FontSizeFor(double scale, bool printing, int32_t points)
{
    if (printing)
        return points;
    return RoundHalfEven(double(points) / 3.85 * scale);
}

void SetFontSize(int32_t points)
{
    if (PageCanvas* c = Canvas())
        c->fontSize = FontSizeFor(pageState().Scale, pageState().Printing, points);
}

void SetFont(const QString& name, int32_t points)
{
    if (PageCanvas* c = Canvas()) {
        if (!name.isEmpty())
            c->fontName = name;
    }
    SetFontSize(points);
    RecomputeLineHeight();
}

int32_t PenWidthFor(double scale, int32_t k)
{
    const std::int64_t width = std::int64_t(TruncateToInt(scale / 3.0)) * k;
    return static_cast<int32_t>(std::clamp<std::int64_t>(width, 1, std::numeric_limits<int32_t>::max()));
}

void SetPenWidth(int32_t k)
{
    if (PageCanvas* c = Canvas())
        c->penWidth = PenWidthFor(pageState().Scale, k);
}

// ---------------------------------------------------------------------------------------------
// Text

void TextAt(int32_t x, int32_t y, const QString& text)
{
    if (PageCanvas* c = Canvas())
        c->textOut(X(x), Y(y), text);
    AfterText(text);
}

void TextLine(const QString& text)
{
    TextAt(1, 0, text);
    if (pageState().LineAdvance)
        LineFeed(1.0);
}

void TextRight(int32_t distance, const QString& text)
{
    const PageState& s = pageState();
    const int32_t w = s.Canvas ? s.Canvas->textWidth(text) : 0;
    const int32_t x = Sub(Sub(PxToMm(Sub(s.FrameRight, Add(w, s.FrameLeft))), distance), 1);
    TextAt(x, 0, text);
}

void TextRotated(int32_t angle, int32_t x, int32_t y, const QString& text)
{
    if (PageCanvas* c = Canvas())
        c->textOut(X(x), Y(y), text, angle);
    // The measurements run along the text's own baseline, as for unturned text.
    AfterText(text);
}

// ---------------------------------------------------------------------------------------------
// Shapes

void DrawLine(int32_t x, int32_t y, int32_t dx, int32_t dy)
{
    if (PageCanvas* c = Canvas())
        c->line(X(x), Y(y), X(Add(x, dx)), Y(Add(y, dy)));
}

void DrawEllipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (PageCanvas* c = Canvas())
        c->ellipse(X(x1), Y(y1), X(x2), Y(y2));
}

void DrawArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
             int32_t y4)
{
    if (PageCanvas* c = Canvas())
        c->arc(X(x1), Y(y1), X(x2), Y(y2), X(x3), Y(y3), X(x4), Y(y4));
}

QList<QPoint> ArrowPointsMm(int32_t x, int32_t y, int32_t size, int32_t direction)
{
    const PageState& s = pageState();
    const int32_t X0 = Add(x, s.OriginX);
    const int32_t Y0 = Add(y, s.OriginY);
    const int32_t sz = size;
    const int32_t h = sz / 2;
    auto at = [](int32_t a, int32_t b) { return QPoint(a, b); };
    if (direction == 3) {
        const int32_t top = Sub(Sub(Y0, h), sz);
        const int32_t s1 = Add(top, sz), s2 = Add(s1, sz), s3 = Add(s2, sz);
        const int32_t tail = Add(X0, sz);
        return {at(tail, s1), at(X0, s1), at(X0, s2), at(tail, s2), at(tail, s3),
                at(Add(Add(tail, sz), h), Add(s1, h)), at(tail, top), at(tail, s1)};
    }
    if (direction == 5) {
        const int32_t left = Sub(Sub(X0, h), sz);
        const int32_t l1 = Add(left, sz), l2 = Add(l1, sz), l3 = Add(l2, sz);
        const int32_t tail = Add(Y0, sz);
        return {at(l1, tail), at(l1, Y0), at(l2, Y0), at(l2, tail), at(l3, tail),
                at(Add(l1, h), Add(Add(tail, sz), h)), at(left, tail), at(l1, tail)};
    }
    return {};
}

void DrawArrow(int32_t x, int32_t y, int32_t size, int32_t direction)
{
    const QList<QPoint> mm = ArrowPointsMm(x, y, size, direction);
    PageCanvas* c = Canvas();
    if (mm.isEmpty() || !c)
        return;
    QList<QPoint> px;
    px.reserve(mm.size());
    for (const QPoint& p : mm)
        px.append(QPoint(MmToPx(p.x()), MmToPx(p.y())));
    c->polyline(px);
}

void HatchRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t style)
{
    PageCanvas* c = Canvas();
    if (!c)
        return;
    c->brushStyle = style;
    c->brushColor = PageBlack;
    c->penColor = PageWhite;
    c->rectangle(X(x1), Y(y1), X(x2), Y(y2));
    c->penColor = PageBlack;
    c->brushColor = PageWhite;
    c->brushStyle = BrushSolid;
}

void PageFrame()
{
    SetPenWidth(2);
    PageCanvas* c = Canvas();
    if (!c)
        return;
    const PageState& s = pageState();
    c->penColor = PageBlack;
    c->rectangle(s.FrameLeft, s.FrameTop, s.FrameRight, s.FrameBottom);
}

void GridLines(int32_t step, const QColor& colour)
{
    PageCanvas* c = Canvas();
    if (!c)
        return;
    const PageState& s = pageState();
    c->penWidth = 1;
    const QColor kept = c->penColor;
    c->penColor = colour;
    // A step below 1 would never reach the far edge.
    if (step >= 1) {
        // Counted in 64 bits so that a last line near the 32-bit limit still ends the loop.
        for (std::int64_t x = s.OriginX; x <= s.RightMm; x += step) {
            const int32_t px = MmToPx(int32_t(x));
            c->polyline({QPoint(px, MmToPx(s.OriginY)), QPoint(px, MmToPx(s.BottomMm))});
        }
        for (std::int64_t y = s.OriginY; y <= s.BottomMm; y += step) {
            const int32_t py = MmToPx(int32_t(y));
            c->polyline({QPoint(MmToPx(Add(s.OriginX, 1)), py), QPoint(MmToPx(s.RightMm), py)});
        }
    }
    c->penColor = kept;
}
