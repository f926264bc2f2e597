// PlateLayout: where everything sits on the module's front plate, in plate pixels (640 x 494 at
// 100 %). The one home of these numbers: the main panel puts its controls there, the plate
// generator paints the picture around them, and the windowed tests (tests/gui/plate_layout.py
// reads this file) click and look there. No toolkit dependency.
#pragma once

#include <cstdint>

namespace PlateLayout
{
struct Area
{
    int x, y, width, height;
};

constexpr int kWidth = 640;
constexpr int kHeight = 494;
// The window is cut to a rounded rectangle with 50 x 50 corner ellipses.
constexpr float kCornerRadius = 25.0f;

constexpr Area kThruArea { 56, 4, 123, 59 };          // the THRU socket and label
constexpr Area kInArea { 482, 4, 114, 59 };           // the IN label and socket
constexpr Area kCloseArea { 593, 4, 41, 34 };         // the close cross
constexpr Area kMakerLogoArea { 336, 16, 231, 77 };
constexpr Area kDisplayArea { 21, 95, 600, 226 };     // the two-line display window
constexpr Area kProductLogoArea { 25, 333, 280, 144 };
constexpr Area kTrademarkArea { 587, 334, 39, 25 };
constexpr Area kChannelComboArea { 540, 453, 110, 25 };

// The plate's lettering, and the text of the controls that stand for lettering.
constexpr std::uint32_t kLetteringColour = 0xFFFEFFB3;
// The display's lit segments (its text, and the amber of the pictures).
constexpr std::uint32_t kDisplayColour = 0xFFFFBB00;
} // namespace PlateLayout
