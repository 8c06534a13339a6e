#include "polling/register_span.h"

#include <algorithm>
#include <optional>
#include <string>

#include "base/number_text.h"
#include "window/option_ip.h"

namespace rtupoll {

namespace {

// A 16-bit field as two bytes, each sent only if it lies in 0..255 (and as
// 0 otherwise): a start or count outside 0..0xFFFF is not wrapped around.
std::uint16_t wireField(std::optional<std::int32_t> value) {
  if (!value) return 0;
  const std::int32_t low = *value % 256;   // remainder keeps the sign of the value
  const std::int32_t high = *value / 256;  // truncated toward zero
  const auto byteOrZero = [](std::int32_t byte) { return byte >= 0 && byte <= 255 ? byte : 0; };
  return static_cast<std::uint16_t>(byteOrZero(high) * 256 + byteOrZero(low));
}

// The first register is counted from 1 on screen and from 0 on the wire.
// The text must be a number as a whole; the address minus one goes through
// its decimal text and back, so a fractional part survives only where the
// user's decimal separator is a full stop.
std::optional<std::int32_t> startingAddress(const OptionIP& w, int row) {
  const char sep = w.env().decimalSeparator();
  const auto first = wholeTextNumber(w.strReg[static_cast<std::size_t>(row)].text(), sep);
  if (!first) return std::nullopt;
  return toInt32(leadingNumber(numberText(*first - 1, sep)));
}

// The count is read only up to where its leading number ends ("12abc" is 12).
std::optional<std::int32_t> quantity(const OptionIP& w, int row) {
  return toInt32(leadingNumber(w.LegReg[static_cast<std::size_t>(row)].text()));
}

int captionColumn(int row) { return 2 * row + 1; }

}  // namespace

int valueColumn(int row) { return 2 * row + 2; }

RegisterSpan requestedRegisters(const OptionIP& w, int row) {
  return {wireField(startingAddress(w, row)), wireField(quantity(w, row))};
}

int rowsShown(const OptionIP& w, std::uint16_t quantity) {
  return std::min<int>(quantity, w.tabel.rows() - 1);
}

void writeCaptions(OptionIP& w, int row, RegisterSpan span) {
  const int shown = rowsShown(w, span.quantity);
  for (int k = 0; k < shown; ++k)
    w.tabel.setText(k + 1, captionColumn(row), std::to_string(span.start + 1 + k) + ">>");
  for (int r = shown + 1; r < w.tabel.rows(); ++r) {
    w.tabel.setText(r, captionColumn(row), "");
    w.tabel.setText(r, valueColumn(row), "");
  }
  w.poll.captioned[static_cast<std::size_t>(row)] = span;
}

void followRegisterSpan(OptionIP& w, RegisterSpan span) {
  if (w.poll.captioned[static_cast<std::size_t>(w.currentRow)] == span) return;
  writeCaptions(w, w.currentRow, span);
  markValuesUnknown(w, span.quantity);
}

void markValuesUnknown(OptionIP& w, std::uint16_t quantity) {
  for (int r = 1; r <= rowsShown(w, quantity); ++r) w.tabel.setText(r, valueColumn(w.currentRow), "???");
}

}  // namespace rtupoll
