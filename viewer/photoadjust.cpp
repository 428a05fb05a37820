#include "viewer/photoadjust.h"

#include <QColorSpace>
#include <QTransform>

QImage UprightPicture(const QImage& stored, int orientation)
{
    switch (orientation) {
    case 2:  // mirrored left to right
        return stored.mirrored(true, false);
    case 3:  // upside down
        return stored.mirrored(true, true);
    case 4:  // mirrored top to bottom
        return stored.mirrored(false, true);
    case 5:  // mirrored along the main diagonal
        return stored.transformed(QTransform(0, 1, 1, 0, 0, 0));
    case 6:  // stored turned a quarter to the left: turn it a quarter to the right
        return stored.transformed(QTransform().rotate(90));
    case 7:  // mirrored along the other diagonal
        return stored.transformed(QTransform(0, -1, -1, 0, 0, 0));
    case 8:  // stored turned a quarter to the right
        return stored.transformed(QTransform().rotate(270));
    default:
        return stored;
    }
}

QSize UprightSize(QSize stored, int orientation)
{
    return orientation >= 5 && orientation <= 8 ? stored.transposed() : stored;
}

void ConvertToSrgb(QImage& picture, const QByteArray& iccProfile)
{
    if (iccProfile.isEmpty() || picture.isNull())
        return;
    const QColorSpace profile = QColorSpace::fromIccProfile(iccProfile);
    if (!profile.isValid() || profile == QColorSpace(QColorSpace::SRgb))
        return;
    picture.setColorSpace(profile);
    picture.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
}
