#pragma once
// The viewer's picture control: draws one picture by the display rule (from the top-left corner,
// stretched and/or proportional), reports clicks, double-clicks and pointer moves, and shows
// its pop-up menu. While disabled it takes none of these.
//
// Pictures come from its picture source (viewer/picturesource.h), decoded on a worker thread at
// the size they are drawn; the control asks and paints. The picture shown stays until the new one
// is ready (for a progressive JPEG: its first coarse picture) and when the new one fails. When
// the control grows past what was decoded, the picture is decoded again at the larger scale. A
// load that takes longer than a moment shows the busy cursor.
#include "framework/uihooks.h"

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class MetafilePicture;
class PictureSource;
class QMenu;
struct PictureAnswer;
struct DrawTarget;

class PictureControl : public QWidget {
    Q_OBJECT
public:
    explicit PictureControl(QWidget* parent = nullptr);

    ~PictureControl() override;

    // Asks for the picture file at the size it would be drawn now. `done` gets empty text once
    // the picture is shown, the message for the user when it cannot be; it is never called for a
    // request that a later one took the place of. originMs is when the user asked (TraceNowMs),
    // for the timing trace.
    using Done = std::function<void(const QString& error)>;
    void request(const QString& path, Done done = {}, double originMs = -1);
    // Decodes the picture file ahead, at the size it would be drawn now.
    void prefetch(const QString& path);
    // Loads the picture file and waits for it; throws PictureLoadError and keeps the current
    // picture when the file cannot be loaded.
    void load(const QString& path);
    // A request is waiting for its picture.
    bool loading() const;
    // Runs the event loop until no request or prefetch is under way (tests).
    bool waitForPictures(int timeoutMs = 30000);
    PictureSource& source() { return *m_source; }
    // The scale the current picture was decoded at (n / 8), and its decoded size.
    int decodedScale() const { return m_scaleNum; }

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
    // A new picture is on screen (final, not a coarse one).
    void pictureShown();
    // A paint of a picture ended: a progressive JPEG's coarse one, or the picture itself.
    void painted(bool coarse);
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
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Coarse {
        QImage image;
        QSize natural;
        QImage drawn;
    };
    DrawTarget target() const;
    void answered(const PictureAnswer& answer);
    void redecodeIfGrown();
    void paintBitmap(QPainter& painter, const QImage& image, const QImage& drawn, const QRect& target, qreal dpr);
    void traceAfterPaint(bool final);

    std::unique_ptr<PictureSource> m_source;
    Done m_done;
    bool m_refreshing = false;      // the request in flight decodes the shown picture again
    QString m_path;                 // the file of the shown picture
    int m_scaleNum = 8;
    QImage m_drawn;                 // the picture already scaled to its drawn size
    std::optional<Coarse> m_coarse; // a progressive JPEG's picture so far, shown while it loads
    QTimer m_busyTimer;
    std::optional<BusyCursor> m_busy;
    // The timing trace of the newest request.
    double m_traceOrigin = -1;
    double m_traceFirst = -1;
    bool m_traceFinal = false;
    int m_traceScale = 8;
    QString m_tracePath;
    QImage m_picture;
    std::shared_ptr<const MetafilePicture> m_metafile;
    QSize m_natural;
    QImage m_scaled;          // the picture as last drawn, so repaints are cheap
    QRect m_scaledTarget;     // where that drawing was placed, and the part of it drawn
    QRect m_scaledPart;
    qreal m_scaledRatio = 1;  // the device pixels per logical pixel it was drawn for
    qint64 m_scaledFrom = 0;  // the cacheKey of the picture it was drawn from
    bool m_stretch = true;
    bool m_proportional = true;
    bool m_pressed = false;
    bool m_afterDoubleClick = false;
    QMenu* m_popup = nullptr;
};
