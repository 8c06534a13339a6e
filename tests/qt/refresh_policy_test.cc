// When the window catches up with the model: a state that lasts is drawn
// soon, the fleeting states of a poll cycle are not, and a bar that moves
// without pause is still drawn ten times a second.

#include "view/refresh_policy.h"

#include <gtest/gtest.h>

namespace rtupoll {
namespace {

using namespace std::chrono_literals;
using Nanos = RefreshPolicy::Nanos;

TEST(RefreshPolicy, AChangeThatStaysIsDrawnOnceTheModelIsQuiet) {
  RefreshPolicy policy;
  EXPECT_FALSE(policy.due());
  policy.changed(Nanos(1s), true);
  EXPECT_EQ(policy.due(), Nanos(1s + 20ms));
  policy.refreshed();
  EXPECT_FALSE(policy.due());
}

// Five reads 10 ms apart: each change pushes the refresh back, so the
// cycle is drawn once, 20 ms after its last change; a state of 40 ms is
// drawn 20 ms after it began.
TEST(RefreshPolicy, APollCycleIsDrawnOnceAtItsEnd) {
  RefreshPolicy policy;
  for (int step = 0; step < 5; ++step) {
    policy.changed(Nanos(10ms * step), true);
    policy.changed(Nanos(10ms * step + 200us), true);
  }
  EXPECT_EQ(policy.due(), Nanos(40ms + 200us + 20ms));
}

// Changes that never pause (a device that answers every 15 ms) are still
// drawn 100 ms after the first one not on screen.
TEST(RefreshPolicy, ChangesWithoutPauseAreDrawnWithin100Ms) {
  RefreshPolicy policy;
  for (Nanos t{0}; t < 300ms; t += 15ms) policy.changed(t, true);
  EXPECT_EQ(policy.due(), Nanos(100ms));
}

// The progress bar moves every 5 ms for seconds: it neither holds other
// changes back nor keeps itself from being drawn.
TEST(RefreshPolicy, TheBarMovingDoesNotHoldOtherChangesBack) {
  RefreshPolicy policy;
  policy.changed(Nanos(0), false);
  EXPECT_EQ(policy.due(), Nanos(100ms));
  policy.changed(Nanos(30ms), true);  // "Transmit" on a label
  for (Nanos t = 35ms; t < 100ms; t += 5ms) policy.changed(t, false);
  EXPECT_EQ(policy.due(), Nanos(50ms));
}

}  // namespace
}  // namespace rtupoll
