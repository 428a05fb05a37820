// Draws resources/logo.png, the program's logo (73 x 73): a picture of sun and hills under a
// bold T. Not part of the build; run it again only to change the logo:
//   g++ -std=c++20 -fPIC make_logo.cpp -o make_logo $(pkg-config --cflags --libs Qt6Gui)
//   QT_QPA_PLATFORM=offscreen ./make_logo .
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QLinearGradient>
static QImage draw(int n) {
    QImage img(n, n, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(n / 73.0, n / 73.0);
    // tile: sky gradient in a rounded square
    QPainterPath tile; tile.addRoundedRect(QRectF(1.5, 1.5, 70, 70), 12, 12);
    QLinearGradient sky(0, 0, 0, 73); sky.setColorAt(0, QColor(0x1f, 0x4e, 0x9a)); sky.setColorAt(1, QColor(0x7f, 0xb8, 0xe8));
    p.fillPath(tile, sky);
    p.setClipPath(tile);
    // sun with a glint
    p.setPen(Qt::NoPen); p.setBrush(QColor(0xff, 0xd4, 0x3b));
    p.drawEllipse(QPointF(49, 22), 10, 10);
    p.setPen(QPen(QColor(255, 240, 180), 2.2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 8; ++i) { p.save(); p.translate(49, 22); p.rotate(i * 45); p.drawLine(QPointF(13, 0), QPointF(17, 0)); p.restore(); }
    // hills
    p.setPen(Qt::NoPen);
    QPainterPath back; back.moveTo(0, 52); back.cubicTo(18, 36, 34, 40, 50, 50); back.cubicTo(60, 46, 68, 44, 73, 46); back.lineTo(73, 73); back.lineTo(0, 73); back.closeSubpath();
    p.setBrush(QColor(0x3c, 0x9a, 0x4a)); p.drawPath(back);
    QPainterPath front; front.moveTo(0, 62); front.cubicTo(20, 52, 44, 56, 73, 64); front.lineTo(73, 73); front.lineTo(0, 73); front.closeSubpath();
    p.setBrush(QColor(0x1e, 0x6b, 0x2c)); p.drawPath(front);
    p.setClipping(false);
    // frame
    p.setBrush(Qt::NoBrush); p.setPen(QPen(QColor(0x0b, 0x2a, 0x5c), 2.5)); p.drawPath(tile);
    // a bold white T for Tavlund, lower left
    QFont f("DejaVu Sans"); f.setBold(true); f.setPixelSize(26); p.setFont(f);
    p.setPen(QPen(QColor(0x0b, 0x2a, 0x5c), 1));
    QPainterPath t; t.addText(9, 35, f, "T");
    p.setBrush(Qt::white); p.setPen(QPen(QColor(0x0b, 0x2a, 0x5c), 1.2)); p.drawPath(t);
    return img;
}
int main(int c, char** v) {
    QGuiApplication app(c, v);
    draw(73).save(QString(v[1]) + "/logo.png");
}
