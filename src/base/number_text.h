#pragma once

// How the window reads numbers out of its text boxes, and writes them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rtupoll {

// Whole-text conversion: the whole text, with blanks allowed around it, must
// be a number in the user's format (its decimal separator, an optional sign
// and exponent). Any other text, the empty text included, gives nothing.
std::optional<double> wholeTextNumber(std::string_view text, char decimal_separator);

// Leading-number reading: blanks, tabs and line feeds anywhere are ignored,
// a full stop is the decimal separator, &H and &O select hexadecimal and
// octal; reading stops at the first character that cannot continue the
// number, and a text without a leading number gives 0.
double leadingNumber(std::string_view text);

// The nearest whole number, halves to the even neighbour; nothing when the
// result does not fit the integer type.
std::optional<std::int32_t> toInt32(double value);
std::optional<std::int16_t> toInt16(double value);

// Decimal text of a number: up to 15 significant digits, no trailing zeros,
// no leading zeros, the user's decimal separator ("100", "2.5", "-1").
std::string numberText(double value, char decimal_separator);

}  // namespace rtupoll
