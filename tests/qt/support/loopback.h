#pragma once

// Loopback peers and waiting helpers for the Qt tests.

#include <cstdint>
#include <functional>
#include <optional>

#include "env/env.h"
#include "loopback_peers.h"

namespace rtupoll::testing {

using ::rtupoll::HangingListener;
using ::rtupoll::RefusingPort;

// Keeps the event loop running until `done` holds or `timeout` passed;
// returns whether it holds.
bool waitUntil(Env& env, const std::function<bool()>& done, Nanos timeout);

// The value of a socket option (setsockopt level and name) on this
// process's socket that is connected to the loopback port; none when no
// such socket is open.
std::optional<int> socketOptionTowards(std::uint16_t port, int level, int option);

}  // namespace rtupoll::testing
