// The bitmaps and icons of the resource module, found by number; a number the module does not
// have gives a null pixmap or image.
#pragma once

#include <QImage>
#include <QPixmap>

namespace res {

QPixmap Bitmap(int id);      // :/bitmap/<id>.png (a @2x variant is used on dense screens)
QImage BitmapImage(int id);  // the same at 1x, as an image for pixel work
QPixmap Icon(int id);        // :/icon/<id>.png

}  // namespace res
