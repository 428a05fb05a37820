#include "viewer/picturecontrol.h"
#include "viewer/displayrule.h"
#include "viewer/metafile.h"
#include "viewer/pictureloader.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>

PictureControl::PictureControl(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PictureControl::load(const QString& path)
{
    PictureLoadResult result = LoadPicture(path);
    if (!result.ok())
        throw PictureLoadError(result.error);
    m_picture = std::move(result.image);
    m_metafile = std::move(result.metafile);
    m_natural = m_metafile ? result.naturalSize : m_picture.size();
    m_scaled = QImage();
    m_scaledTarget = m_scaledPart = QRect();
    update();
}

void PictureControl::setStretch(bool on)
{
    m_stretch = on;
    update();
}

void PictureControl::setProportional(bool on)
{
    m_proportional = on;
    update();
}

QRect PictureControl::displayRect() const
{
    return DisplayRect(pictureSize(), size(), m_stretch, m_proportional);
}

void PictureControl::paintEvent(QPaintEvent*)
{
    if (!hasPicture())
        return;
    const QRect target = displayRect();
    if (target.isEmpty())
        return;
    QPainter painter(this);
    // The display rule works in the window's logical pixels; the picture is drawn in the
    // device's, so that on a screen with more pixels per point it is sharp.
    // (The engine's device: when the control is rendered into another device, that one's.)
    const QPaintDevice* surface = painter.paintEngine() ? painter.paintEngine()->paintDevice() : painter.device();
    const qreal dpr = surface ? surface->devicePixelRatio() : devicePixelRatio();
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
        return;
    }
    const QSize device = devicePixels(target.size());
    if (device == m_picture.size()) {
        painter.drawImage(QRectF(target), m_picture);
        return;
    }
    if (m_scaled.size() != device)
        m_scaled = m_picture.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(QRectF(target), m_scaled);
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
