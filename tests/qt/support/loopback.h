#pragma once

// Loopback peers and waiting helpers for the Qt tests.

#include <cstdint>
#include <optional>

#include "env/env.h"
#include "loopback_peers.h"
#include "support/wait_until.h"

namespace rtupoll::testing {

using ::rtupoll::HangingListener;
using ::rtupoll::RefusingPort;

// The value of a socket option (setsockopt level and name) on this
// process's socket that is connected to the loopback port; none when no
// such socket is open.
std::optional<int> socketOptionTowards(std::uint16_t port, int level, int option);

}  // namespace rtupoll::testing
