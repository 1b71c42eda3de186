// Shared by the skin tests: the resource module, loaded from the build's program folder.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QtTest>
#include <memory>

#include "platform/module.h"
#include "res/artwork.h"
#include "res/resources.h"

namespace skintest {

// Loads librvkhelper.so from KJ_BIN_DIR (set by ctest), so that bitmaps resolve by number.
inline std::unique_ptr<Module> LoadResourceModule() {
    const QByteArray folder = qgetenv("KJ_BIN_DIR");
    if (!folder.isEmpty()) {
        SetModuleFolder(folder.toStdString());
    }
    return Module::Load("rvkhelper");
}

// Test bitmaps compiled into the test programs, beside the module's own numbers.
constexpr int kMask40x20 = 9001;  // black button, white 4 x 4 notch at the top-left
constexpr int kTile8x4 = 9010;    // blue first column, magenta after it

// A pixel of an image, as red, green and blue only.
inline QRgb Rgb(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

}  // namespace skintest
