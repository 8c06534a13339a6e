#pragma once

// The files are 8-bit text in Windows-1252, the code page the operators'
// files have always used; the program works in UTF-8.

#include <string>
#include <string_view>

namespace rtupoll {

// A character that Windows-1252 cannot hold becomes '?'.
std::string utf8ToCp1252(std::string_view utf8);
// Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D, unassigned in Windows-1252, map to
// the C1 controls of the same number, so every byte survives a round trip.
std::string cp1252ToUtf8(std::string_view cp1252);

}  // namespace rtupoll
