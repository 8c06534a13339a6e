#pragma once

// The device that misbehaves on purpose (support/hostile_answers.h) on the
// virtual network. What needs a real kernel, a close or a reset of the
// connection, it leaves to ScriptedPeer on real sockets.

#include <optional>
#include <vector>

#include "support/hostile_answers.h"
#include "support/virtual_env.h"

namespace rtupoll::testing {

// Its answers come 2 ms after their request; bytes sent one at a time
// come 3 ms apart, each an arrival of its own.
class ScriptedDevice : public VirtualPeer, public ScriptedRequests {
 public:
  explicit ScriptedDevice(const Env& env) : env_(env) {}

  void onData(VirtualLink& link, const Bytes& bytes) override;

  const std::vector<ReceivedRead>& requests() const override { return requests_; }
  bool doneSending() const override { return env_.monotonicNow() >= sending_until_; }

 private:
  const Env& env_;
  std::vector<ReceivedRead> requests_;
  std::optional<Bytes> held_;  // a late answer waiting for the next request
  Nanos sending_until_{0};
};

}  // namespace rtupoll::testing
