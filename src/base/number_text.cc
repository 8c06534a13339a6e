#include "base/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace rtupoll {

namespace {

// Every character test here is ASCII only: the C library's would follow
// the process locale, which the toolkit takes from the environment.
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Whether a number in C form ("12.5e3") that std::from_chars finds out of
// range is too large rather than too small: the power of ten of its leading
// digit is 0 or more. Its mantissa is not zero, or it would be in range.
bool beyondLargest(std::string_view c_form) {
  const std::size_t e = std::min(c_form.find('e'), c_form.size());
  const std::string_view mantissa = c_form.substr(0, e);
  const auto point = static_cast<long>(std::min(mantissa.find('.'), mantissa.size()));
  const auto lead = static_cast<long>(mantissa.find_first_of("123456789"));
  long power = lead < point ? point - lead - 1 : point - lead;
  if (e < c_form.size()) {
    std::string_view exponent = c_form.substr(e + 1);
    const bool down = exponent.front() == '-';
    if (exponent.front() == '+' || down) exponent.remove_prefix(1);
    long value = 0;
    // An exponent beyond long decides alone.
    if (std::from_chars(exponent.data(), exponent.data() + exponent.size(), value).ec != std::errc()) return !down;
    power += down ? -value : value;
  }
  return power >= 0;
}

// Reads [sign] digits [sep digits] [exponent] from the front of `s`; returns
// the number of characters that form the number (0 when there is none).
// Out of range, the value is infinity or 0, as strtod gives it.
std::size_t scanDecimal(std::string_view s, char sep, double& out) {
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::string digits;  // the number in C form, for std::from_chars
  bool any = false;
  while (i < s.size() && isDigit(s[i])) digits += s[i++], any = true;
  if (i < s.size() && s[i] == sep) {
    std::size_t j = i + 1;
    std::string frac;
    while (j < s.size() && isDigit(s[j])) frac += s[j++];
    if (any || !frac.empty()) {
      digits += '.';
      digits += frac;
      any = true;
      i = j;
    }
  }
  if (!any) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    std::size_t j = i + 1;
    std::string exp = "e";
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) exp += s[j++];
    const std::size_t start = j;
    while (j < s.size() && isDigit(s[j])) exp += s[j++];
    if (j > start) {
      digits += exp;
      i = j;
    }
  }
  if (std::from_chars(digits.data(), digits.data() + digits.size(), out).ec == std::errc::result_out_of_range)
    out = beyondLargest(digits) ? std::numeric_limits<double>::infinity() : 0.0;
  if (negative) out = -out;
  return i;
}

}  // namespace

std::optional<double> wholeTextNumber(std::string_view text, char decimal_separator) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  const std::string_view core = text.substr(begin, end - begin);
  double value = 0;
  if (core.empty() || scanDecimal(core, decimal_separator, value) != core.size()) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

double leadingNumber(std::string_view text) {
  std::string s;
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\n') s += c;
  if (s.size() >= 2 && s[0] == '&') {
    const char kind = asciiUpper(s[1]);
    const int base = kind == 'H' ? 16 : 8;
    std::size_t i = (kind == 'H' || kind == 'O') ? 2 : 1;
    double value = 0;
    for (; i < s.size(); ++i) {
      const char c = asciiUpper(s[i]);
      int digit = -1;
      if (isDigit(c)) digit = c - '0';
      else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0 || digit >= base) break;
      value = value * base + digit;
    }
    return value;
  }
  double value = 0;
  if (scanDecimal(s, '.', value) == 0) return 0;
  return std::isfinite(value) ? value : 0;
}

namespace {
template <typename Int>
std::optional<Int> roundInto(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double r = std::round(value);  // halves away from zero ...
  if (std::fabs(value - std::trunc(value)) == 0.5 && std::fmod(r, 2.0) != 0) r -= std::copysign(1.0, value);  // ... to even
  if (r < static_cast<double>(std::numeric_limits<Int>::min()) || r > static_cast<double>(std::numeric_limits<Int>::max()))
    return std::nullopt;
  return static_cast<Int>(r);
}
}  // namespace

std::optional<std::int32_t> toInt32(double value) { return roundInto<std::int32_t>(value); }
std::optional<std::int16_t> toInt16(double value) { return roundInto<std::int16_t>(value); }

std::string numberText(double value, char decimal_separator) {
  if (value == 0) return "0";  // also for -0
  // As "%.15g" would write it in the C locale, whatever the process locale.
  char buf[64];
  const auto written = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  std::string s(buf, written.ptr);
  for (char& c : s)
    if (c == '.') c = decimal_separator;
  return s;
}

}  // namespace rtupoll
