// Turning a bitmap into a window shape: the pixels that do (or do not) have one colour.
#pragma once

#include <QImage>
#include <QRegion>
#include <QRgb>

// The region of the pixels of `bitmap` whose red, green and blue differ from `colour` (exclude
// set) or equal it (exclude clear); alpha is ignored. A null image gives an empty region.
QRegion CreateRegionFromBitmap(const QImage& bitmap, QRgb colour, bool exclude);
