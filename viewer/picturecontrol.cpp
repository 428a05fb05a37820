#include "viewer/picturecontrol.h"
#include "viewer/displayrule.h"
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
    m_scaled = QImage();
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
    if (m_picture.isNull())
        return;
    const QRect target = displayRect();
    if (target.isEmpty())
        return;
    QPainter painter(this);
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
