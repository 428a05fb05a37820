#pragma once
// Metafile pictures (WMF and EMF) in the viewer. The file is read by the helper program
// glimra-metafil (viewer/metafile/), which runs the metafile renderers in a process of its own
// with a time and memory limit: a damaged or hostile file ends as an error message, never as a
// hang or a crash of the viewer. The picture keeps the file's bytes and is drawn anew at the size
// it is shown, so it stays sharp at any size.
#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <memory>

class MetafilePicture {
public:
    enum class Kind { Wmf, Emf };

    // Reads and measures the metafile; null with the reason in *error when it cannot be shown.
    static std::shared_ptr<const MetafilePicture> open(const QByteArray& data, Kind kind, double dpi, QString* error);

    QSize naturalSize() const { return m_natural; }

    // Draws the part `visible` of the picture scaled to `drawn` into an image of visible's size
    // (transparent where the drawing has nothing). Null with the reason when it fails.
    QImage render(QSize drawn, const QRect& visible, QString* error) const;

private:
    MetafilePicture() = default;
    QByteArray m_data;  // the file, for a WMF drawn again by the helper at each size
    QByteArray m_svg;   // an EMF, drawn here by Qt SVG
    Kind m_kind = Kind::Wmf;
    double m_dpi = 96;
    QSize m_natural;
};

// The helper's answer: its first line "GLIMRA-METAFIL <width> <height>" read into the natural
// size, the rest as the body. Anything else is an error (the helper is ours, but what it says
// comes from a file that may be hostile, so the answer is checked before it is believed).
struct MetafileHelperAnswer {
    bool ok = false;
    QSize natural;
    QByteArray body;
    QString error;
};
MetafileHelperAnswer ParseMetafileHelperAnswer(const QByteArray& out);

// Where the helper program is: beside the running program unless set (tests set it).
QString MetafileHelperPath();
void SetMetafileHelperPath(const QString& path);

// The helper's limits: wall-clock time for one request (10 s unless set; tests shorten it) and
// its address space.
int MetafileHelperTimeoutMs();
void SetMetafileHelperTimeoutMs(int milliseconds);
constexpr qint64 MetafileHelperMemoryBytes = qint64(1536) << 20;
