#include "viewer/picturecontrol.h"
#include "viewer/displayrule.h"
#include "viewer/metafile.h"
#include "viewer/pictureloader.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
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
    if (m_metafile) {
        // A drawing is drawn anew at the size it is shown, and only the part inside the
        // control: a picture larger than the area is cut at its right and bottom anyway.
        const QRect part = target.intersected(rect()).translated(-target.topLeft());
        if (part.isEmpty())
            return;
        if (m_scaledTarget != target || m_scaledPart != part) {
            QString ignored;  // a drawing that fails now leaves the area white
            m_scaled = m_metafile->render(target.size(), part, &ignored);
            m_scaledTarget = target;
            m_scaledPart = part;
        }
        if (!m_scaled.isNull())
            painter.drawImage(target.topLeft() + part.topLeft(), m_scaled);
        return;
    }
    if (target.size() == m_picture.size()) {
        painter.drawImage(target.topLeft(), m_picture);
        return;
    }
    if (m_scaled.size() != target.size())
        m_scaled = m_picture.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(target.topLeft(), m_scaled);
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
