#pragma once

#include <functional>

#include "env/env.h"

namespace rtupoll::testing {

// Keeps the event loop running (or virtual time moving) until `done` holds
// or `timeout` passed; returns whether it holds.
inline bool waitUntil(Env& env, const std::function<bool()>& done, Nanos timeout) {
  const Nanos deadline = env.monotonicNow() + timeout;
  while (!done() && env.monotonicNow() < deadline) env.waitForEvents(deadline);
  return done();
}

}  // namespace rtupoll::testing
