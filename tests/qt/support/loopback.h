#pragma once

// Loopback peers and waiting helpers for the Qt tests.

#include <functional>

#include "loopback_peers.h"
#include "runtime/env.h"

namespace rtupoll::testing {

using ::rtupoll::HangingListener;
using ::rtupoll::RefusingPort;

// Keeps the event loop running until `done` holds or `timeout` passed;
// returns whether it holds.
bool waitUntil(Env& env, const std::function<bool()>& done, Nanos timeout);

}  // namespace rtupoll::testing
