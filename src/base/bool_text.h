#pragma once

// A saved connection state as text, read as a Boolean.

#include <string_view>

namespace rtupoll {

// "False" in any letter case, or "0": what setting.ini holds for a slot that
// was meant to be connected at the last close. Anything else, "True"
// included, is not false.
constexpr bool readsAsFalse(std::string_view text) {
  if (text == "0") return true;
  constexpr std::string_view kFalse = "false";
  if (text.size() != kFalse.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if ((text[i] | 0x20) != kFalse[i]) return false;
  return true;
}

}  // namespace rtupoll
