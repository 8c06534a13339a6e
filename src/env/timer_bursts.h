#pragma once

// A timer that ticks more often than the step timer (10 ms) wakes the
// program in bursts: every kBurstPeriod the ticks due by then come one after
// another, each a call of its own, instead of a wake-up for each. The
// reload timer ticks every 5 ms, more than three times a screen frame, so
// no screen could show each of its ticks; a wake-up of the process costs
// about as much as everything a tick does. The step timer keeps its own
// time: its single tick per start is a poll step, and the poll cycle's
// length is made of them. The period is a multiple of 5 ms so that every
// tick of the reload timer that acts (all multiples of 50) ends a burst and
// comes at its own time.

#include <algorithm>
#include <chrono>

namespace rtupoll {

inline constexpr std::chrono::milliseconds kBurstBelow{10};
inline constexpr std::chrono::milliseconds kBurstPeriod{25};

// How many ticks of a timer with this interval come at each wake-up.
constexpr int ticksPerWake(std::chrono::milliseconds interval) {
  if (interval >= kBurstBelow || interval.count() <= 0) return 1;
  return std::max(1, static_cast<int>(kBurstPeriod / interval));
}

}  // namespace rtupoll
