#include "qt/support/loopback.h"

namespace rtupoll::testing {

bool waitUntil(Env& env, const std::function<bool()>& done, Nanos timeout) {
  const Nanos deadline = env.monotonicNow() + timeout;
  while (!done() && env.monotonicNow() < deadline) env.waitForEvents(deadline);
  return done();
}

}  // namespace rtupoll::testing
