#pragma once

// A Modbus TCP device on the virtual network. By default it answers every
// read of holding registers at once with register value = address (plus an
// offset); a test can make it slow, silent, or answer with bytes of its own.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "support/virtual_env.h"

namespace rtupoll::testing {

using Bytes = std::vector<std::uint8_t>;

// An answer to function 3 with these register values.
Bytes answerFrame(std::uint16_t transaction_id, const std::vector<std::uint16_t>& values);
// An exception answer to function 3.
Bytes exceptionFrame(std::uint16_t transaction_id, std::uint8_t code);

class FakeDevice : public VirtualPeer {
 public:
  enum class Mode { kAnswer, kSilent, kRefuse, kHang };

  explicit FakeDevice(std::uint16_t value_offset = 0) : value_offset_(value_offset) {}

  ConnectPlan onConnect() override;
  void onAccept(VirtualLink& link) override { link_ = link.weak_from_this(); }
  void onData(VirtualLink& link, const Bytes& bytes) override;

  void setMode(Mode mode) { mode_ = mode; }
  void setLatency(Nanos latency) { latency_ = latency; }
  // Replaces the answer: gets the request, returns the bytes to send (or
  // nothing for silence).
  void setScript(std::function<std::optional<Bytes>(const Bytes& request)> script) { script_ = std::move(script); }
  void setValue(std::uint16_t address, std::uint16_t value) { overrides_.emplace_back(address, value); }

  const std::vector<Bytes>& requests() const { return requests_; }
  std::uint16_t valueAt(std::uint16_t address) const;
  // The link of the last connection, to push bytes nobody asked for.
  std::shared_ptr<VirtualLink> link() const { return link_.lock(); }

 private:
  std::uint16_t value_offset_;
  Mode mode_ = Mode::kAnswer;
  Nanos latency_ = std::chrono::milliseconds(2);
  std::function<std::optional<Bytes>(const Bytes&)> script_;
  std::vector<std::pair<std::uint16_t, std::uint16_t>> overrides_;
  std::vector<Bytes> requests_;
  std::weak_ptr<VirtualLink> link_;
};

}  // namespace rtupoll::testing
