#pragma once

#include <cstdint>

namespace rtupoll {

// Colours as the window's logic sees them: 0x00BBGGRR, low byte red. A value
// with the top bit set names a system colour instead.
using Color = std::uint32_t;

namespace colors {
inline constexpr Color kGreen = 0x00FF00;             // 65280
inline constexpr Color kYellow = 0x00FFFF;            // 65535
inline constexpr Color kRed = 0x0000FF;               // 255
inline constexpr Color kLightRed = 0x8080FF;          // red 255, green 128, blue 128
inline constexpr Color kWindowBackground = 0x80000005;  // the system's window background
inline constexpr Color kButtonFace = 0x8000000F;        // the system's face colour (labels)

inline constexpr bool isSystem(Color c) { return (c & 0x80000000u) != 0; }
inline constexpr int red(Color c) { return static_cast<int>(c & 0xFF); }
inline constexpr int green(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
inline constexpr int blue(Color c) { return static_cast<int>((c >> 16) & 0xFF); }
}  // namespace colors

}  // namespace rtupoll
