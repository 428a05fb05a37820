#include "viewer/picturecontrol.h"
#include "viewer/displayrule.h"
#include "viewer/metafile.h"
#include "viewer/pictureloader.h"
#include "viewer/picturesource.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>

#include <cstdio>

namespace {

// "A moment": a load that takes longer than this shows the busy cursor.
constexpr int BusyDelayMs = 150;

// The display rule works in the window's logical pixels; the picture is drawn in the device's,
// so that on a screen with more pixels per point it is sharp. This is the painter's engine's
// device: when the control is rendered into another device, that one's.
qreal PaintRatio(const QPainter& painter)
{
    const QPaintDevice* surface = painter.paintEngine() ? painter.paintEngine()->paintDevice() : painter.device();
    return surface ? surface->devicePixelRatio() : 1.0;
}

}  // namespace

PictureControl::PictureControl(QWidget* parent) : QWidget(parent), m_source(std::make_unique<PictureSource>())
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_source->answer = [this](const PictureAnswer& answer) { answered(answer); };
    m_busyTimer.setSingleShot(true);
    m_busyTimer.setInterval(BusyDelayMs);
    connect(&m_busyTimer, &QTimer::timeout, this, [this] {
        if (loading() && !m_refreshing && !m_busy)
            m_busy.emplace();
    });
}

PictureControl::~PictureControl() = default;

DrawTarget PictureControl::target() const
{
    return DrawTarget{size(), m_stretch, m_proportional, devicePixelRatio()};
}

void PictureControl::request(const QString& path, Done done, double originMs)
{
    m_done = std::move(done);
    m_refreshing = false;
    m_coarse.reset();
    m_traceOrigin = PictureTraceOn() ? (originMs >= 0 ? originMs : TraceNowMs()) : -1;
    m_traceFirst = -1;
    m_traceFinal = false;
    m_tracePath = path;
    m_source->request(path, target());
    m_busyTimer.start();
}

void PictureControl::prefetch(const QString& path)
{
    if (!path.isEmpty())
        m_source->prefetch(path, target());
}

void PictureControl::load(const QString& path)
{
    auto outcome = std::make_shared<std::optional<QString>>();
    request(path, [outcome](const QString& error) { *outcome = error; });
    waitForPictures();
    if (outcome->has_value() && !outcome->value().isEmpty())
        throw PictureLoadError(outcome->value());
}

bool PictureControl::loading() const
{
    return !m_source->settled();
}

bool PictureControl::waitForPictures(int timeoutMs)
{
    return m_source->waitUntilIdle(timeoutMs);
}

void PictureControl::answered(const PictureAnswer& answer)
{
    if (!answer.final) {
        m_coarse = Coarse{answer.picture.image, answer.picture.naturalSize, answer.drawn};
        update();
        return;
    }
    m_coarse.reset();
    m_busyTimer.stop();
    m_busy.reset();
    Done done = std::move(m_done);
    m_done = nullptr;
    const bool refresh = std::exchange(m_refreshing, false);
    if (!answer.picture.ok()) {
        m_traceOrigin = -1;
        update();
        // A picture decoded again for a larger window that cannot be read any more keeps the
        // smaller one quietly; the user asked for nothing.
        if (done && !refresh)
            done(answer.picture.error);
        return;
    }
    m_picture = answer.picture.image;
    m_metafile = answer.picture.metafile;
    m_natural = answer.picture.naturalSize;
    m_scaleNum = answer.picture.scaleNum;
    m_drawn = answer.drawn;
    m_path = answer.path;
    m_scaled = QImage();
    m_scaledTarget = m_scaledPart = QRect();
    m_traceFinal = m_traceOrigin >= 0;
    m_traceScale = m_scaleNum;
    update();
    emit pictureShown();
    if (done)
        done(QString());
    redecodeIfGrown();
}

// The window grew (or the choices changed) past what the picture was decoded at: decode it
// again at the scale that covers the new size, showing the smaller one meanwhile.
void PictureControl::redecodeIfGrown()
{
    if (loading() || m_path.isEmpty() || m_picture.isNull() || m_scaleNum >= 8)
        return;
    const QSize drawn = DisplayRect(m_natural, size(), m_stretch, m_proportional).size();
    if (drawn.width() <= m_picture.width() && drawn.height() <= m_picture.height())
        return;
    m_done = nullptr;
    m_refreshing = true;
    m_traceOrigin = -1;
    m_source->request(m_path, target());
}

void PictureControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    redecodeIfGrown();
}

void PictureControl::setStretch(bool on)
{
    m_stretch = on;
    update();
    redecodeIfGrown();
}

void PictureControl::setProportional(bool on)
{
    m_proportional = on;
    update();
    redecodeIfGrown();
}

QRect PictureControl::displayRect() const
{
    return DisplayRect(pictureSize(), size(), m_stretch, m_proportional);
}

void PictureControl::paintBitmap(QPainter& painter, const QImage& image, const QImage& drawn, const QRect& target,
                                 qreal dpr)
{
    if (drawn.size() == (QSizeF(target.size()) * dpr).toSize()) {
        painter.drawImage(QRectF(target), drawn);
        return;
    }
    // Only the part inside the control is scaled: a picture at natural size may be far larger.
    const QRect part = target.intersected(rect()).translated(-target.topLeft());
    if (part.isEmpty())
        return;
    if (m_scaledTarget != target || m_scaledPart != part || m_scaledFrom != image.cacheKey() || m_scaledRatio != dpr) {
        const double sx = double(image.width()) / target.width();
        const double sy = double(image.height()) / target.height();
        const QRect source = QRectF(part.x() * sx, part.y() * sy, part.width() * sx, part.height() * sy)
                                 .toAlignedRect()
                                 .intersected(image.rect());
        m_scaled = (source == image.rect() ? image : image.copy(source))
                       .scaled((QSizeF(part.size()) * dpr).toSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_scaledTarget = target;
        m_scaledPart = part;
        m_scaledFrom = image.cacheKey();
        m_scaledRatio = dpr;
    }
    painter.drawImage(QRectF(target.topLeft() + part.topLeft(), QSizeF(part.size())), m_scaled);
}

void PictureControl::paintEvent(QPaintEvent*)
{
    if (m_coarse) {
        const QRect target = DisplayRect(m_coarse->natural, size(), m_stretch, m_proportional);
        if (target.isEmpty())
            return;
        QPainter painter(this);
        paintBitmap(painter, m_coarse->image, m_coarse->drawn, target, PaintRatio(painter));
        traceAfterPaint(false);
        emit painted(true);
        return;
    }
    if (!hasPicture())
        return;
    const QRect target = displayRect();
    if (target.isEmpty())
        return;
    QPainter painter(this);
    const qreal dpr = PaintRatio(painter);
    const auto devicePixels = [dpr](QSize logical) { return (QSizeF(logical) * dpr).toSize(); };
    if (m_metafile) {
        // A drawing is drawn anew at the size it is shown, and only the part inside the
        // control: a picture larger than the area is cut at its right and bottom anyway.
        const QRect part = target.intersected(rect()).translated(-target.topLeft());
        if (part.isEmpty())
            return;
        if (m_scaledTarget != target || m_scaledPart != part || m_scaledRatio != dpr) {
            QString ignored;  // a drawing that fails now leaves the area white
            const QRect devicePart(QPoint(int(part.x() * dpr), int(part.y() * dpr)), devicePixels(part.size()));
            m_scaled = m_metafile->render(devicePixels(target.size()),
                                          devicePart.intersected(QRect(QPoint(0, 0), devicePixels(target.size()))),
                                          &ignored);
            m_scaledTarget = target;
            m_scaledPart = part;
            m_scaledRatio = dpr;
        }
        if (!m_scaled.isNull())
            painter.drawImage(QRectF(target.topLeft() + part.topLeft(), QSizeF(part.size())), m_scaled);
    } else {
        paintBitmap(painter, m_picture, m_drawn, target, dpr);
    }
    if (m_traceFinal)  // the picture asked for, not the one before it painted again
        traceAfterPaint(true);
    emit painted(false);
}

// One line on stderr per picture: from the request to its first and to its final paint.
void PictureControl::traceAfterPaint(bool final)
{
    if (m_traceOrigin < 0)
        return;
    const double now = TraceNowMs();
    if (m_traceFirst < 0)
        m_traceFirst = now - m_traceOrigin;
    if (!final)
        return;
    std::fprintf(stderr, "glimra: bilde %s: første maling %.1f ms, siste maling %.1f ms, skala %d/8\n",
                 qPrintable(m_tracePath), m_traceFirst, now - m_traceOrigin, m_traceScale);
    std::fflush(stderr);
    m_traceOrigin = -1;
    m_traceFinal = false;
}

void PictureControl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pressed = true;
}

void PictureControl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const bool wasPressed = m_pressed && !m_afterDoubleClick;
    m_pressed = false;
    m_afterDoubleClick = false;
    // The release that ends a double-click is no click of its own.
    if (wasPressed && rect().contains(event->position().toPoint()))
        emit clicked();
}

void PictureControl::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_afterDoubleClick = true;
    emit doubleClicked();
}

void PictureControl::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    emit pointerMoved(p.x(), p.y());
}

void PictureControl::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_popup)
        m_popup->exec(event->globalPos());
}
