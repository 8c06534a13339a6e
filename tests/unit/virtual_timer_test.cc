// The timer promise of the runtime (env/env.h), on the virtual clock:
// a timer faster than the step timer ticks in bursts, never early, each
// tick once and in order.

#include <gtest/gtest.h>

#include <vector>

#include "env/timer_bursts.h"
#include "support/virtual_env.h"

namespace rtupoll {
namespace {

using namespace std::chrono_literals;

TEST(VirtualTimer, AFastTimerTicksInBurstsAtTheEndOfEach) {
  VirtualEnv env;
  std::vector<Nanos> ticks;
  auto timer = env.createTimer([&] { ticks.push_back(env.monotonicNow()); });
  ASSERT_EQ(ticksPerWake(5ms), 5);
  timer->start(5ms);
  env.advance(24ms);
  EXPECT_TRUE(ticks.empty()) << "a tick came before its burst";
  env.advance(4950ms - 24ms);
  ASSERT_EQ(ticks.size(), 990u);
  for (std::size_t k = 1; k <= ticks.size(); ++k) {
    // Tick k is due at 5k ms and comes with the burst that ends at or after it.
    const Nanos burst_end = (k + 4) / 5 * 25ms;
    ASSERT_EQ(ticks[k - 1], burst_end) << "tick " << k;
  }
  EXPECT_EQ(ticks[949], 4750ms);  // the reload's tick 950, on time
}

TEST(VirtualTimer, TheStepTimerKeepsItsOwnTime) {
  VirtualEnv env;
  std::vector<Nanos> ticks;
  auto timer = env.createTimer([&] { ticks.push_back(env.monotonicNow()); });
  timer->start(10ms);
  env.advance(35ms);
  EXPECT_EQ(ticks, (std::vector<Nanos>{10ms, 20ms, 30ms}));
}

TEST(VirtualTimer, ATickThatWaitsEndsItsBurstAndAStopEndsItToo) {
  VirtualEnv env;
  std::vector<int> ticks;
  std::unique_ptr<TimerDriver> timer;
  int count = 0;
  timer = env.createTimer([&] {
    ticks.push_back(++count);
    // Tick 3 waits for events for 100 ms, as a connect wait does.
    if (count == 3) {
      const Nanos until = env.monotonicNow() + 100ms;
      while (env.monotonicNow() < until) env.waitForEvents(until);
    }
  });
  timer->start(5ms);
  env.advance(25ms);
  // Ticks 4 and 5 of the first burst were dropped; the next burst comes a
  // whole burst after tick 3 returned at 125 ms.
  EXPECT_EQ(ticks, (std::vector<int>{1, 2, 3}));
  ASSERT_EQ(env.monotonicNow(), 125ms);
  env.advance(24ms);
  EXPECT_EQ(ticks.size(), 3u);
  env.advance(1ms);
  EXPECT_EQ(ticks, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));

  // A tick that stops its timer ends the burst.
  timer->stop();
  int after_stop = 0;
  std::unique_ptr<TimerDriver> stopping;
  stopping = env.createTimer([&] {
    ++after_stop;
    stopping->stop();
  });
  stopping->start(5ms);
  env.advance(100ms);
  EXPECT_EQ(after_stop, 1);
}

}  // namespace
}  // namespace rtupoll
