#pragma once
// The viewer's picture control: draws one picture by the display rule (from the top-left corner,
// stretched and/or proportional), reports clicks, double-clicks and pointer moves, and shows
// its pop-up menu. While disabled it takes none of these.
#include <QImage>
#include <QWidget>
#include <memory>

class MetafilePicture;
class QMenu;

class PictureControl : public QWidget {
    Q_OBJECT
public:
    explicit PictureControl(QWidget* parent = nullptr);

    // Loads the picture file; throws PictureLoadError and keeps the current picture when the
    // file cannot be loaded.
    void load(const QString& path);

    void setStretch(bool on);
    bool stretch() const { return m_stretch; }
    void setProportional(bool on);
    bool proportional() const { return m_proportional; }
    void setPopupMenu(QMenu* menu) { m_popup = menu; }

    // The current bitmap picture; null for none and for a metafile.
    const QImage& picture() const { return m_picture; }
    bool hasPicture() const { return !m_picture.isNull() || m_metafile != nullptr; }
    // Natural size of the current picture; 0 x 0 when none is shown.
    QSize pictureSize() const { return hasPicture() ? m_natural : QSize(0, 0); }
    // Where the picture is drawn inside the control now.
    QRect displayRect() const;

signals:
    void clicked();
    void doubleClicked();
    void pointerMoved(int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QImage m_picture;
    std::shared_ptr<const MetafilePicture> m_metafile;
    QSize m_natural;
    QImage m_scaled;          // the picture as last drawn, so repaints are cheap
    QRect m_scaledTarget;     // where that drawing was placed, and the part of it drawn
    QRect m_scaledPart;
    qreal m_scaledRatio = 1;  // the device pixels per logical pixel it was drawn for
    bool m_stretch = true;
    bool m_proportional = true;
    bool m_pressed = false;
    bool m_afterDoubleClick = false;
    QMenu* m_popup = nullptr;
};
