// The drawing surface of the print layer: pen, brush and font kept on the surface, the maker's
// font names resolved to installed fonts, and the primitives drawn through QPainter in device
// pixels without antialiasing of shapes, like the printer drivers the pages were made for.
#include "printing/utskrift.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <QRectF>
#include <QTransform>
#include <algorithm>
#include <cmath>

namespace {

struct FontStandIn {
    const char* name;
    const char* family;
    QFont::Weight weight;
};

// The fonts the maker's pages ask for, and what stands in for them on Debian.
const FontStandIn kStandIns[] = {
    {"Arial", "Liberation Sans", QFont::Normal},
    {"Times New Roman", "Liberation Serif", QFont::Normal},
    {"Courier New", "Liberation Mono", QFont::Normal},
    {"Arial Black", "DejaVu Sans", QFont::Black},
    {"Tahoma", "DejaVu Sans", QFont::Normal},
};

QRectF BoxOf(int x1, int y1, int x2, int y2)
{
    return QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized();
}

}  // namespace

Qt::BrushStyle BrushStyleOf(int code)
{
    switch (code) {
    case BrushSolid: return Qt::SolidPattern;
    case BrushClear: return Qt::NoBrush;
    case BrushHorizontal: return Qt::HorPattern;
    case BrushVertical: return Qt::VerPattern;
    case BrushForwardDiagonal: return Qt::FDiagPattern;
    case BrushBackwardDiagonal: return Qt::BDiagPattern;
    case BrushCross: return Qt::CrossPattern;
    case BrushDiagonalCross: return Qt::DiagCrossPattern;
    default: return Qt::NoBrush;
    }
}

QFont ResolveFont(const QString& name)
{
    QFont font;
    font.setFamily(name);
    font.setWeight(QFont::Normal);
    for (const FontStandIn& standIn : kStandIns) {
        if (name.compare(QLatin1String(standIn.name), Qt::CaseInsensitive) != 0)
            continue;
        if (QFontDatabase::hasFamily(QLatin1String(standIn.family)))
            font.setFamily(QLatin1String(standIn.family));
        font.setWeight(standIn.weight);
        break;
    }
    return font;
}

int FontPixelSize(int points, double dpi)
{
    const double pixels = std::round(double(points) * dpi / 72.0);
    // Qt refuses a pixel size below 1; far beyond any page the rasteriser only wastes memory.
    return int(std::clamp(pixels, 1.0, 100000.0));
}

PageCanvas::PageCanvas(double fontDpi) : m_fontDpi(fontDpi) {}

PageCanvas::~PageCanvas() = default;

void PageCanvas::bind(QPainter* painter) { m_painter = painter; }

void PageCanvas::unbind() { m_painter = nullptr; }

QFont PageCanvas::font() const
{
    QFont f = ResolveFont(fontName);
    f.setPixelSize(FontPixelSize(fontSize, m_fontDpi));
    if (fontBold && f.weight() < QFont::Bold)
        f.setWeight(QFont::Bold);
    f.setItalic(fontItalic);
    f.setUnderline(fontUnderline);
    f.setStrikeOut(fontStrikeOut);
    f.setKerning(false);
    return f;
}

int PageCanvas::textWidth(const QString& text) const
{
    const QFontMetrics metrics = m_painter && m_painter->device()
                                     ? QFontMetrics(font(), m_painter->device())
                                     : QFontMetrics(font());
    return metrics.horizontalAdvance(text);
}

int PageCanvas::textHeight(const QString& text) const
{
    Q_UNUSED(text);  // the cell height is the font's, whatever the letters
    const QFontMetrics metrics = m_painter && m_painter->device()
                                     ? QFontMetrics(font(), m_painter->device())
                                     : QFontMetrics(font());
    return metrics.height();
}

void PageCanvas::applyPen(QPainter& p) const
{
    QPen pen(penColor);
    pen.setWidth(std::max(1, penWidth));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
}

void PageCanvas::closedShape(const std::function<void(QPainter&)>& draw)
{
    QPainter& p = *m_painter;
    applyPen(p);
    p.setBackgroundMode(Qt::TransparentMode);
    QBrush brush(brushColor, BrushStyleOf(brushStyle));
    // Hatch patterns are 8 device pixels a side. On a printer they are drawn at the size they
    // have on a 96-dpi screen, or a 1200-dpi page would show only a grey tone.
    const double patternScale = m_fontDpi / 96.0;
    const bool hatch = brushStyle > BrushClear && brushStyle <= BrushDiagonalCross;
    const bool scaled = hatch && patternScale > 1.0;
    if (scaled)
        brush.setTransform(QTransform::fromScale(patternScale, patternScale));
    p.setRenderHint(QPainter::NonCosmeticBrushPatterns, scaled);
    p.setBrush(brush);
    draw(p);
}

void PageCanvas::textOut(int x, int y, const QString& text, int angleTenths)
{
    if (!m_painter)
        return;
    QPainter& p = *m_painter;
    p.save();
    const QFont f = font();
    p.setFont(f);
    const QFontMetrics metrics(f, p.device());
    p.translate(x, y);
    if (angleTenths != 0)
        p.rotate(-angleTenths / 10.0);  // Qt turns clockwise on a y-down surface
    if (brushStyle == BrushSolid)
        p.fillRect(QRect(0, 0, metrics.horizontalAdvance(text), metrics.height()), brushColor);
    p.setPen(fontColor);
    p.drawText(QPoint(0, metrics.ascent()), text);
    p.restore();
}

void PageCanvas::polyline(const QList<QPoint>& points)
{
    if (!m_painter)
        return;
    applyPen(*m_painter);
    m_painter->drawPolyline(QPolygon(points));
}

void PageCanvas::line(int x1, int y1, int x2, int y2)
{
    if (!m_painter)
        return;
    applyPen(*m_painter);
    m_painter->drawLine(x1, y1, x2, y2);
}

void PageCanvas::rectangle(int x1, int y1, int x2, int y2)
{
    if (!m_painter)
        return;
    const QRectF box = BoxOf(x1, y1, x2, y2);
    closedShape([&](QPainter& p) { p.drawRect(box); });
}

void PageCanvas::roundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight)
{
    if (!m_painter)
        return;
    const QRectF box = BoxOf(x1, y1, x2, y2);
    const double rx = std::abs(cornerWidth) / 2.0, ry = std::abs(cornerHeight) / 2.0;
    closedShape([&](QPainter& p) { p.drawRoundedRect(box, rx, ry, Qt::AbsoluteSize); });
}

void PageCanvas::ellipse(int x1, int y1, int x2, int y2)
{
    if (!m_painter)
        return;
    const QRectF box = BoxOf(x1, y1, x2, y2);
    closedShape([&](QPainter& p) { p.drawEllipse(box); });
}

void PageCanvas::arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    if (!m_painter)
        return;
    const QRectF box = BoxOf(x1, y1, x2, y2);
    const ArcAngles angles = ArcAnglesFor(box.center().x(), box.center().y(), box.width() / 2,
                                          box.height() / 2, x3, y3, x4, y4);
    applyPen(*m_painter);
    m_painter->drawArc(box, int(std::lround(angles.start * 16)), int(std::lround(angles.span * 16)));
}

ArcAngles ArcAnglesFor(double cx, double cy, double rx, double ry, double x3, double y3, double x4,
                       double y4)
{
    // A point of the ellipse is (cx + rx cos t, cy - ry sin t) on the y-down surface. The ray
    // towards (x, y) meets it where (cos t, sin t) is parallel to (dx / rx, -dy / ry).
    auto angleOf = [&](double x, double y) {
        const double dx = (x - cx) / (rx > 0 ? rx : 1);
        const double dy = -(y - cy) / (ry > 0 ? ry : 1);
        if (dx == 0 && dy == 0)
            return 0.0;
        double degrees = std::atan2(dy, dx) * 180.0 / M_PI;
        if (degrees < 0)
            degrees += 360;
        return degrees;
    };
    ArcAngles result;
    result.start = angleOf(x3, y3);
    const double end = angleOf(x4, y4);
    double span = end - result.start;
    while (span <= 0)
        span += 360;
    result.span = span;
    return result;
}
