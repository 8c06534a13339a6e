#pragma once

namespace rtupoll {
class OptionIP;

inline constexpr const char* kDataFileName = "data.csv";

// Rewrites data.csv with the first result row: the caption and value of the
// first register of each read definition, as one comma-led line.
void print_click(OptionIP& w);

// The retry timer's tick: tries the latest write again, after another
// program's open handle refused it.
void retryDataFile(OptionIP& w);
}  // namespace rtupoll
