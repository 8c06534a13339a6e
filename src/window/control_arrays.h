#pragma once

// The sizes of the window's control arrays.

namespace rtupoll {

inline constexpr int kSlots = 3;        // device slots
inline constexpr int kReadDefs = 5;     // read definitions
inline constexpr int kLastReadDef = 4;  // the current row's highest value

}  // namespace rtupoll
