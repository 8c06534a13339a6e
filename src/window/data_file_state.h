#pragma once

// What the window keeps about writing data.csv beyond the line itself: the
// write being tried again, and a run of failed writes, which the operator
// is told of once it has lasted long enough to matter.

#include <optional>
#include <string>

#include "env/env.h"

namespace rtupoll {

struct DataFileState {
  std::string pending;                 // the bytes of the latest write
  int retries = 0;                     // of that write, by the retry timer
  std::optional<Nanos> failing_since;  // the first failure of the current run
  bool told = false;                   // the run is shown and on standard error
};

}  // namespace rtupoll
