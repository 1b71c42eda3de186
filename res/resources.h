// Look-ups of the numbered resources that the resource module (librvkhelper.so) carries.
// Every dialog layout, menu and string is found by its number only; a number the module does
// not have gives an empty result. Bitmaps and icons are in res/artwork.h, apart, so that the
// command line does not load Qt's GUI libraries.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace res {

// True once the resource module's tree is registered (the module is loaded).
bool Available();

QString String(int id);             // :/string/<id>
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
