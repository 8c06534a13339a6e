#pragma once

#include <time.h>

#include <cstdint>

namespace rtupoll::bench {

// CLOCK_MONOTONIC in nanoseconds: the clock rtu-sim stamps its request log
// with, so that the benchmark programs' stamps compare with the log's.
inline std::int64_t monotonicNanos() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace rtupoll::bench
