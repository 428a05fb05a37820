#pragma once
// What a photo's file says about how to show it, applied to the decoded picture: the EXIF
// orientation (the camera was held on its side or upside down) and the embedded colour profile
// (a wide-gamut photo, Adobe RGB or Display P3, shown in the screen's sRGB).
#include <QByteArray>
#include <QImage>
#include <QSize>

// The picture turned upright by the EXIF orientation 1..8 (1 and unknown values: as stored).
QImage UprightPicture(const QImage& stored, int orientation);

// The upright width and height of a stored size: orientations 5 to 8 swap them.
QSize UprightSize(QSize stored, int orientation);

// Converts the picture's colours from the embedded ICC profile to sRGB. A picture without a
// profile, with an sRGB one, or with one Qt cannot use (CMYK, grey) is left as it is.
void ConvertToSrgb(QImage& picture, const QByteArray& iccProfile);
