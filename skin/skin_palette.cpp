#include "skin/skin_palette.h"

namespace {
constexpr QRgb kInk = 0xFF1F2A37;  // text on every light surface
constexpr QRgb kInkDisabled = 0xFF98A3B1;
constexpr QRgb kSurface = 0xFFEEF2F6;  // the body of the background bitmap
constexpr QRgb kFace = 0xFFF3F5F8;
constexpr QRgb kBase = 0xFFFFFFFF;
constexpr QRgb kAlternateBase = 0xFFF5F7FA;
constexpr QRgb kLight = 0xFFFFFFFF;
constexpr QRgb kMidlight = 0xFFE3E8EE;
constexpr QRgb kMid = 0xFFB8C4D2;
constexpr QRgb kDark = 0xFF8D9BAD;
constexpr QRgb kShadow = 0xFF5A6776;
constexpr QRgb kSelection = 0xFF3F76B3;  // the artwork's steel blue, deepened for white text
constexpr QRgb kSelectionInactive = 0xFFC9D8EA;
constexpr QRgb kLink = 0xFF2F6DB5;
}  // namespace

QPalette SkinPalette() {
    QPalette palette(QColor::fromRgb(kFace), QColor::fromRgb(kSurface));
    const auto set = [&palette](QPalette::ColorRole role, QRgb colour) {
        palette.setColor(QPalette::All, role, QColor::fromRgb(colour));
    };
    set(QPalette::WindowText, kInk);
    set(QPalette::Text, kInk);
    set(QPalette::ButtonText, kInk);
    set(QPalette::ToolTipText, kInk);
    set(QPalette::PlaceholderText, kInkDisabled);
    set(QPalette::Window, kSurface);
    set(QPalette::Button, kFace);
    set(QPalette::Base, kBase);
    set(QPalette::AlternateBase, kAlternateBase);
    set(QPalette::ToolTipBase, kBase);
    set(QPalette::Light, kLight);
    set(QPalette::Midlight, kMidlight);
    set(QPalette::Mid, kMid);
    set(QPalette::Dark, kDark);
    set(QPalette::Shadow, kShadow);
    set(QPalette::Highlight, kSelection);
    set(QPalette::HighlightedText, kBase);
    set(QPalette::Link, kLink);
    set(QPalette::BrightText, kBase);
    palette.setColor(QPalette::Inactive, QPalette::Highlight, QColor::fromRgb(kSelectionInactive));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText, QColor::fromRgb(kInk));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, QColor::fromRgb(kInkDisabled));
    }
    return palette;
}
