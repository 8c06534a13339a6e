#include "support/fake_device.h"

#include "polling/modbus_tcp.h"

namespace rtupoll::testing {

Bytes answerFrame(std::uint16_t transaction_id, const std::vector<std::uint16_t>& values) {
  const std::size_t byte_count = values.size() * 2;
  const std::size_t length = 3 + byte_count;
  Bytes frame = {static_cast<std::uint8_t>(transaction_id >> 8),
                 static_cast<std::uint8_t>(transaction_id),
                 0,
                 0,
                 static_cast<std::uint8_t>(length >> 8),
                 static_cast<std::uint8_t>(length),
                 modbus::kUnitId,
                 modbus::kReadHoldingRegisters,
                 static_cast<std::uint8_t>(byte_count)};
  for (std::uint16_t v : values) {
    frame.push_back(static_cast<std::uint8_t>(v >> 8));
    frame.push_back(static_cast<std::uint8_t>(v));
  }
  return frame;
}

Bytes exceptionFrame(std::uint16_t transaction_id, std::uint8_t code) {
  return {static_cast<std::uint8_t>(transaction_id >> 8), static_cast<std::uint8_t>(transaction_id), 0, 0, 0, 3, modbus::kUnitId,
          modbus::kReadHoldingRegisters | modbus::kExceptionFlag, code};
}

ConnectPlan FakeDevice::onConnect() {
  switch (mode_) {
    case Mode::kRefuse: return {ConnectPlan::Outcome::kRefuse};
    case Mode::kHang: return {ConnectPlan::Outcome::kHang};
    default: return {};
  }
}

std::uint16_t FakeDevice::valueAt(std::uint16_t address) const {
  for (auto it = overrides_.rbegin(); it != overrides_.rend(); ++it)
    if (it->first == address) return it->second;
  return static_cast<std::uint16_t>(address + value_offset_);
}

void FakeDevice::onData(VirtualLink& link, const Bytes& bytes) {
  requests_.push_back(bytes);
  if (script_) {
    if (auto answer = script_(bytes)) link.deliver(*answer, latency_);
    return;
  }
  if (mode_ == Mode::kSilent || bytes.size() != 12) return;
  const std::uint16_t tid = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
  const std::uint16_t start = static_cast<std::uint16_t>(bytes[8] << 8 | bytes[9]);
  const std::uint16_t count = static_cast<std::uint16_t>(bytes[10] << 8 | bytes[11]);
  // A device answers at most 125 registers (Modbus Application Protocol
  // V1.1b3, 6.3), and none: exception 3, illegal data value.
  if (count < 1 || count > 125) {
    link.deliver(exceptionFrame(tid, 3), latency_);
    return;
  }
  std::vector<std::uint16_t> values;
  for (std::uint16_t i = 0; i < count; ++i) values.push_back(valueAt(static_cast<std::uint16_t>(start + i)));
  link.deliver(answerFrame(tid, values), latency_);
}

}  // namespace rtupoll::testing
