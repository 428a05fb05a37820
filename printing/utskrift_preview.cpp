// The preview's process-wide values and its size rules, and the naming of PDF files written when
// no printer is installed.
#include "printing/utskrift.h"

#include <QApplication>
#include <QFileInfo>
#include <algorithm>

PreviewState& previewState()
{
    static PreviewState state;
    return state;
}

void ResetPreviewState() { previewState() = PreviewState{}; }

void ClickBeep(Qt::MouseButton, Qt::KeyboardModifiers, int, int) { QApplication::beep(); }

QSize PreviewSurfaceSize(int zoom, bool rotated)
{
    zoom = ClampZoom(zoom);
    const int shortSide = zoom * PaperShortMm;
    const int longSide = zoom * PaperLongMm;
    return rotated ? QSize(longSide, shortSide) : QSize(shortSide, longSide);
}

double PrinterScale(int width, int height, bool landscape)
{
    return double(landscape ? height : width) / double(PaperShortMm);
}

int SurfaceLeft(int clientWidth, int surfaceWidth)
{
    return clientWidth > surfaceWidth ? (clientWidth - surfaceWidth) / 2 : 0;
}

int ClampZoom(int zoom) { return std::clamp(zoom, 1, MaxPreviewZoom); }

int FitPageZoom(int screenHeight, bool rotated)
{
    return ClampZoom(screenHeight / (rotated ? PaperShortMm : PaperLongMm));
}

int FitWidthZoom(int screenWidth, bool rotated)
{
    return ClampZoom(screenWidth / (rotated ? PaperLongMm : PaperShortMm));
}

int ZoomIn(int zoom) { return ClampZoom(zoom < MaxPreviewZoom ? zoom + 1 : zoom); }

int ZoomOut(int zoom) { return zoom > 1 ? ClampZoom(zoom - 1) : zoom; }

QString SafeFileTitle(const QString& title)
{
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    QString name;
    name.reserve(title.size());
    for (const QChar ch : title)
        name += (ch.unicode() < 0x20 || ch.unicode() == 0x7f || forbidden.contains(ch)) ? QChar('_') : ch;
    auto trimmable = [](QChar ch) { return ch.isSpace() || ch == QLatin1Char('.'); };
    while (!name.isEmpty() && trimmable(name.front()))
        name.remove(0, 1);
    while (!name.isEmpty() && trimmable(name.back()))
        name.chop(1);
    if (name.size() > 120) {
        name.truncate(120);
        if (name.back().isHighSurrogate())
            name.chop(1);
    }
    return name.isEmpty() ? QStringLiteral("utskrift") : name;
}

QString FreePdfPath(const QString& folder, const QString& title)
{
    const QString base = folder + SafeFileTitle(title);
    QString path = base + QStringLiteral(".pdf");
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = base + QLatin1Char('-') + QString::number(n) + QStringLiteral(".pdf");
    return path;
}
