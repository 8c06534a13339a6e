#pragma once

// Modbus TCP as this master speaks it: one request, function 3 (Read
// Holding Registers), and the frames that can come back. Every frame starts
// with the 7-byte MBAP header (Modbus Messaging on TCP/IP Implementation
// Guide V1.0b, 3.1.3); multi-byte fields are big-endian.
//
//   request, 12 bytes                   answer
//   0  transaction identifier (2)       0  transaction identifier (2)
//   2  protocol identifier (2) = 0      2  protocol identifier (2) = 0
//   4  length (2) = 6                   4  length (2): the bytes that follow
//   6  unit identifier (1)              6  unit identifier (1)
//   7  function code (1) = 3            7  function code (1): 3, or 0x83 for an exception
//   8  starting address (2)             8  byte count (1), or the exception code
//  10  quantity of registers (2)        9  register values, 2 bytes each, high byte first
//
// A PDU is at most 253 bytes (Modbus Application Protocol V1.1b3, 4.1) and
// at least a function code and one byte, so the length field lies in 3..254.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace rtupoll::modbus {

inline constexpr std::uint8_t kReadHoldingRegisters = 3;
inline constexpr std::uint8_t kExceptionFlag = 0x80;
// The devices are addressed as unit 1 on every request.
inline constexpr std::uint8_t kUnitId = 1;

inline constexpr std::size_t kTransactionIdAt = 0;
inline constexpr std::size_t kProtocolIdAt = 2;
inline constexpr std::size_t kLengthAt = 4;
inline constexpr std::size_t kUnitIdAt = 6;
inline constexpr std::size_t kFunctionAt = 7;
inline constexpr std::size_t kByteCountAt = 8;  // in an exception: the exception code
inline constexpr std::size_t kFirstValueAt = 9;
// The bytes the length field does not count: transaction id, protocol id, length.
inline constexpr std::size_t kLengthPrefix = 6;
inline constexpr std::uint16_t kMinLength = 3;
inline constexpr std::uint16_t kMaxLength = 254;

inline constexpr std::size_t kRequestSize = 12;
using Request = std::array<std::uint8_t, kRequestSize>;

Request encodeReadRequest(std::uint16_t transaction_id, std::uint16_t start, std::uint16_t quantity);

enum class FrameStatus {
  kIncomplete,  // more bytes needed
  kComplete,    // one whole frame at the front of the bytes
  kCorrupt,     // the header cannot be a Modbus TCP header: the stream is lost
};

// Looks at the frame at the front of `bytes`; when it is complete, `size`
// becomes its size (6 + the length field), otherwise `size` is left alone.
// The bytes are not changed: a caller that takes many frames from one
// arrival drops what it has handled in one go, so that a peer flooding the
// link with frames costs time in proportion to the bytes, not their square.
FrameStatus frameAtFront(std::span<const std::uint8_t> bytes, std::size_t& size);

// The transaction identifier of a frame of at least two bytes.
std::uint16_t transactionId(std::span<const std::uint8_t> frame);

// One whole frame taken as the answer to a read of `quantity` registers.
struct ReadAnswer {
  enum class Kind { kValues, kException, kMalformed };
  enum class Fault { kNone, kWrongFunction, kWrongByteCount, kWrongLength };

  Kind kind = Kind::kMalformed;
  Fault fault = Fault::kNone;          // why a malformed answer is one
  std::uint8_t exception_code = 0;     // of an exception
  std::span<const std::uint8_t> data;  // the values' bytes, two per register

  std::size_t count() const { return data.size() / 2; }
  std::uint16_t value(std::size_t k) const {
    return static_cast<std::uint16_t>(data[2 * k] << 8 | data[2 * k + 1]);
  }
};

// `frame` is a complete frame as frameAtFront found it. An exception of
// another function than 3 is malformed, as is an answer whose byte count is
// not that of the registers asked for or disagrees with the length field.
ReadAnswer decodeReadAnswer(std::span<const std::uint8_t> frame, std::uint16_t quantity);

}  // namespace rtupoll::modbus
