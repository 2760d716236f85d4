#pragma once
// The named colours of the interface, in one place. The core names a colour
// and an opacity; views turn them into pixels with rgbOf().

#include <cstdint>

namespace zirv {

enum class SystemColour {
    red,
    green,
    blue,
    indigo,
    pink,
    mint,
    purple,
    brown,
    cyan,
    gray,
    secondaryLabel,
};

struct DisplayColour {
    SystemColour colour = SystemColour::secondaryLabel;
    double opacity = 1.0;

    friend bool operator==(const DisplayColour&, const DisplayColour&) = default;
};

// 0xRRGGBB of a named colour.
constexpr uint32_t rgbOf(SystemColour colour)
{
    switch (colour) {
    case SystemColour::red: return 0xFF3B30;
    case SystemColour::green: return 0x34C759;
    case SystemColour::blue: return 0x007AFF;
    case SystemColour::indigo: return 0x5856D6;
    case SystemColour::pink: return 0xFF2D55;
    case SystemColour::mint: return 0x00C7BE;
    case SystemColour::purple: return 0xAF52DE;
    case SystemColour::brown: return 0xA2845E;
    case SystemColour::cyan: return 0x32ADE6;
    case SystemColour::gray: return 0x8E8E93;
    case SystemColour::secondaryLabel: return 0x6E6E73;
    }
    return 0x6E6E73;
}

} // namespace zirv
