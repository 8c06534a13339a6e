#include "polling/modbus_tcp.h"

namespace rtupoll::modbus {

namespace {

std::uint16_t word(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

std::uint8_t high(std::uint16_t value) { return static_cast<std::uint8_t>(value >> 8); }
std::uint8_t low(std::uint16_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

}  // namespace

Request encodeReadRequest(std::uint16_t transaction_id, std::uint16_t start, std::uint16_t quantity) {
  constexpr std::uint16_t kRequestLength = kRequestSize - kLengthPrefix;
  return {high(transaction_id), low(transaction_id), 0, 0, high(kRequestLength), low(kRequestLength),
          kUnitId,              kReadHoldingRegisters, high(start), low(start), high(quantity), low(quantity)};
}

FrameStatus frameAtFront(std::span<const std::uint8_t> bytes, std::size_t& size) {
  if (bytes.size() >= kLengthAt && word(bytes, kProtocolIdAt) != 0) return FrameStatus::kCorrupt;
  if (bytes.size() < kLengthPrefix) return FrameStatus::kIncomplete;
  const std::uint16_t length = word(bytes, kLengthAt);
  if (length < kMinLength || length > kMaxLength) return FrameStatus::kCorrupt;
  const std::size_t total = kLengthPrefix + length;
  if (bytes.size() < total) return FrameStatus::kIncomplete;
  size = total;
  return FrameStatus::kComplete;
}

std::uint16_t transactionId(std::span<const std::uint8_t> frame) { return word(frame, kTransactionIdAt); }

ReadAnswer decodeReadAnswer(std::span<const std::uint8_t> frame, std::uint16_t quantity) {
  ReadAnswer answer;
  const std::uint8_t function = frame[kFunctionAt];
  if (function == (kReadHoldingRegisters | kExceptionFlag)) {
    answer.kind = ReadAnswer::Kind::kException;
    answer.exception_code = frame[kByteCountAt];
    return answer;
  }
  const std::size_t byte_count = frame[kByteCountAt];
  if (function != kReadHoldingRegisters)
    answer.fault = ReadAnswer::Fault::kWrongFunction;
  else if (byte_count != 2u * quantity)
    answer.fault = ReadAnswer::Fault::kWrongByteCount;
  else if (frame.size() != kFirstValueAt + byte_count)
    answer.fault = ReadAnswer::Fault::kWrongLength;
  else {
    answer.kind = ReadAnswer::Kind::kValues;
    answer.data = frame.subspan(kFirstValueAt, byte_count);
  }
  return answer;
}

}  // namespace rtupoll::modbus
