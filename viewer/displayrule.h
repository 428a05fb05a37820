#pragma once
// Where the viewer draws a picture of size `picture` in an area of size `area`: always from the
// area's top-left corner, never centred.
//  - stretch, or proportional with a picture larger than the area in either direction:
//      proportional keeps the picture's shape (the largest size that fits, sizes truncated);
//      otherwise the picture fills the area;
//  - else the picture's natural size (cut at the right and bottom when larger).
#include <QRect>
#include <QSize>

QRect DisplayRect(const QSize& picture, const QSize& area, bool stretch, bool proportional);
