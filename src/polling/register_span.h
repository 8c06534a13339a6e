#pragma once

#include "window/poll_state.h"

namespace rtupoll {
class OptionIP;

// The registers read definition `row` asks for, as its request carries
// them, whether or not it is sent: the texts are read as the request reads
// them, and a value that does not fit a 16-bit field goes as 0.
RegisterSpan requestedRegisters(const OptionIP& w, int row);

// Writes the register captions of read definition `row` for `span`: row
// k + 1 names register start + 1 + k, "N>>", as far as the table goes, and
// the rows beyond the span are emptied in both its columns.
void writeCaptions(OptionIP& w, int row, RegisterSpan span);

// Before the current read definition starts: when it asks for other
// registers than its captions name, the captions follow, and every value
// beside them is unknown until an answer for the new registers comes.
void followRegisterSpan(OptionIP& w, RegisterSpan span);

// The value column of read definition `row`.
int valueColumn(int row);
// The table's data rows that a read of `quantity` registers fills: the
// table has 29, and a register beyond them is not shown.
int rowsShown(const OptionIP& w, std::uint16_t quantity);

// Marks the values of the current read definition unknown: "???" in the
// rows of the `quantity` registers its request asked, or would have asked, for.
void markValuesUnknown(OptionIP& w, std::uint16_t quantity);
}  // namespace rtupoll
