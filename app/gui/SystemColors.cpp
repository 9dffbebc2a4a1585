#include "app/gui/SystemColors.h"

#include <QGuiApplication>
#include <QPalette>

#include <array>
#include <optional>

namespace {

constexpr int32_t rgb(int r, int g, int b) {
    return r | (g << 8) | (b << 16);
}

constexpr int kWindowTextIndex = 8;

// The classic colour of every system colour index (0 to 30); index 25 is
// unused and stands for nothing.
constexpr std::array<std::optional<int32_t>, 31> kClassic = {{
    rgb(212, 208, 200), // 0 scroll bar
    rgb(58, 110, 165),  // 1 desktop
    rgb(10, 36, 106),   // 2 active caption
    rgb(128, 128, 128), // 3 inactive caption
    rgb(212, 208, 200), // 4 menu
    rgb(255, 255, 255), // 5 window
    rgb(0, 0, 0),       // 6 window frame
    rgb(0, 0, 0),       // 7 menu text
    rgb(0, 0, 0),       // 8 window text
    rgb(255, 255, 255), // 9 caption text
    rgb(212, 208, 200), // 10 active border
    rgb(212, 208, 200), // 11 inactive border
    rgb(128, 128, 128), // 12 application workspace
    rgb(10, 36, 106),   // 13 highlight
    rgb(255, 255, 255), // 14 highlighted text
    rgb(212, 208, 200), // 15 button face
    rgb(128, 128, 128), // 16 button shadow
    rgb(128, 128, 128), // 17 grey text
    rgb(0, 0, 0),       // 18 button text
    rgb(212, 208, 200), // 19 inactive caption text
    rgb(255, 255, 255), // 20 button highlight
    rgb(64, 64, 64),    // 21 3D dark shadow
    rgb(212, 208, 200), // 22 3D light
    rgb(0, 0, 0),       // 23 tooltip text
    rgb(255, 255, 225), // 24 tooltip background
    std::nullopt,       // 25 unused
    rgb(0, 0, 128),     // 26 hot-tracked item
    rgb(166, 202, 240), // 27 active caption gradient
    rgb(192, 192, 192), // 28 inactive caption gradient
    rgb(49, 106, 197),  // 29 menu highlight
    rgb(212, 208, 200), // 30 menu bar
}};

struct PaletteRole {
    int index;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// The indices that have a counterpart in the application's palette.
constexpr PaletteRole kPaletteRoles[] = {
    {4, QPalette::Active, QPalette::Window},
    {5, QPalette::Active, QPalette::Base},
    {7, QPalette::Active, QPalette::WindowText},
    {8, QPalette::Active, QPalette::WindowText},
    {10, QPalette::Active, QPalette::Window},
    {11, QPalette::Inactive, QPalette::Window},
    {12, QPalette::Active, QPalette::Dark},
    {13, QPalette::Active, QPalette::Highlight},
    {14, QPalette::Active, QPalette::HighlightedText},
    {15, QPalette::Active, QPalette::Button},
    {16, QPalette::Active, QPalette::Mid},
    {17, QPalette::Disabled, QPalette::Text},
    {18, QPalette::Active, QPalette::ButtonText},
    {20, QPalette::Active, QPalette::Light},
    {21, QPalette::Active, QPalette::Shadow},
    {22, QPalette::Active, QPalette::Midlight},
    {23, QPalette::Active, QPalette::ToolTipText},
    {24, QPalette::Active, QPalette::ToolTipBase},
    {26, QPalette::Active, QPalette::Link},
    {29, QPalette::Active, QPalette::Highlight},
    {30, QPalette::Active, QPalette::Window},
};

} // namespace

int32_t ResolveSystemColor(int32_t value) {
    if (!IsSystemColor(value)) return value;
    int index = static_cast<int>(static_cast<uint32_t>(value) & 0xFFu);
    if (index >= static_cast<int>(kClassic.size()) || !kClassic[index]) index = kWindowTextIndex;
    if (qGuiApp) {
        for (const PaletteRole& r : kPaletteRoles) {
            if (r.index == index) {
                return QColorToColorRef(QGuiApplication::palette().color(r.group, r.role));
            }
        }
    }
    return *kClassic[index];
}

QColor ColorRefToQColor(int32_t value) {
    const auto v = static_cast<uint32_t>(ResolveSystemColor(value));
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF));
}

int32_t QColorToColorRef(const QColor& color) {
    return rgb(color.red(), color.green(), color.blue());
}
