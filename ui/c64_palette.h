#pragma once

#include <QRgb>
#include <array>

namespace vq {

// The sixteen C64 colours in the machine's colour-index order.
inline constexpr std::array<QRgb, 16> kC64Palette = {
    0xFF000000,  // 0 black
    0xFFFFFFFF,  // 1 white
    0xFFFA3200,  // 2 red
    0xFF1DE0FF,  // 3 cyan
    0xFFA949D2,  // 4 purple
    0xFF68BA51,  // 5 green
    0xFF004AD0,  // 6 blue
    0xFFFFEB45,  // 7 yellow
    0xFFFF5B00,  // 8 orange
    0xFFC23D00,  // 9 brown
    0xFFFF7142,  // 10 light red
    0xFF605E62,  // 11 dark grey
    0xFF8C937F,  // 12 grey
    0xFFB2FF90,  // 13 light green
    0xFF4788FF,  // 14 light blue
    0xFFC3B8D7,  // 15 light grey
};

inline constexpr int kC64Blue = 6;
inline constexpr int kC64LightBlue = 14;

}  // namespace vq
