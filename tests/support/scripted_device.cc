#include "support/scripted_device.h"

#include <stdexcept>

#include "polling/modbus_tcp.h"

namespace rtupoll::testing {

namespace {

using namespace std::chrono_literals;

constexpr Nanos kLatency = 2ms;
constexpr Nanos kByteGap = 3ms;

std::uint16_t wordAt(const Bytes& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

}  // namespace

void ScriptedDevice::onData(VirtualLink& link, const Bytes& bytes) {
  // The program writes each request whole, in one write.
  if (bytes.size() != modbus::kRequestSize || bytes[modbus::kFunctionAt] != modbus::kReadHoldingRegisters) return;
  const ReceivedRead read{wordAt(bytes, 0), wordAt(bytes, 8), wordAt(bytes, 10)};
  requests_.push_back(read);
  const ScriptedReply reply = scriptedReply(read, held_);
  if (reply.end != ScriptedReply::End::kStayOpen)
    throw std::logic_error("a close or a reset needs real sockets: ScriptedPeer");

  Nanos at = kLatency;
  if (!reply.at_once.empty()) link.deliver(reply.at_once, at);
  for (const std::uint8_t byte : reply.one_byte_a_write) link.deliver({byte}, at += kByteGap);
  sending_until_ = env_.monotonicNow() + at;
}

}  // namespace rtupoll::testing
