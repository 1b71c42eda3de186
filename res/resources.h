// Look-ups of the numbered resources that the resource module (librvkhelper.so) carries.
// Every dialog layout, menu, string, bitmap and icon is found by its number only; a number
// the module does not have gives an empty result (null pixmap, empty string).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <vector>

namespace res {

// True once the resource module's tree is registered (the module is loaded).
bool Available();

QString String(int id);             // :/string/<id>
QPixmap Bitmap(int id);             // :/bitmap/<id>.png (a @2x variant is used on dense screens)
QImage BitmapImage(int id);         // the same at 1x, as an image for pixel work
QPixmap Icon(int id);               // :/icon/<id>.png
QByteArray DialogTemplate(int id);  // :/dialog/<id>.ui, a Qt Designer file

struct MenuItem {
    int command = 0;  // 0 for a separator
    QString text;
};
struct MenuPopup {
    QString title;
    std::vector<MenuItem> items;
};
// :/menu/<id>, a small JSON description: {"popups":[{"title":..,"items":[{"id":271,"text":..}]}]}
std::vector<MenuPopup> Menu(int id);

}  // namespace res
