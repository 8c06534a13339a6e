#pragma once

// What a Modbus TCP device that misbehaves on purpose answers, whatever
// carries its bytes: ScriptedDevice on the virtual network, ScriptedPeer
// (tests/qt/support) on real loopback sockets. Like libmodbus's unit-test
// server it answers reads of holding registers from a register map, and a
// read whose starting address is one of the special addresses below
// triggers one fault instead.

#include <cstdint>
#include <optional>
#include <vector>

namespace rtupoll::testing {

using Bytes = std::vector<std::uint8_t>;

enum class PeerFault : std::uint16_t {
  kNone,
  kByteByByte,          // the answer one byte per write, a few ms apart
  kWithNextCopy,        // the answer, and in the same write a copy for the next transaction id
  kWithForeignAnswer,   // the answer, and in the same write an answer with a foreign id
  kFlood,               // the answer behind 16 MiB of answers with a foreign id, in one write
  kJunkBehind,          // the answer, and behind it the start of a header that never ends
  kLength254,           // an answer of the right byte count, padded to a whole frame of the largest length (260 bytes)
  kBeyond254,           // the same padded one byte further, past the largest length
  kWrongFunction,       // function 4 instead of 3
  kWrongByteCount,      // one register fewer than asked for, consistently framed
  kForeignId,           // a well-formed answer with another transaction id
  kProtocolId,          // protocol identifier 1
  kLengthZero,          // length field 0
  kLength2000,          // length field 2000
  kLate,                // held back until the next request comes, then sent before its answer
  kHeaderThenSilence,   // the 7-byte header, then nothing
  kSilent,              // no answer at all
  kForeignException,    // an exception of function 4 (0x84, code 1)
  kCloseMidFrame,       // half an answer, then the connection closed in order
  kReset,               // the connection reset (RST) instead of an answer
  kCorruptJunkBehind,   // the answer, and behind it bytes that cannot start a header (protocol id 0xBEEF)
  kOneRegisterMore,     // one register more than asked for, consistently framed
  kByteCountBelowLength,  // the registers asked for, but a byte count of one register fewer
};
inline constexpr PeerFault kLastFault = PeerFault::kByteCountBelowLength;

// Starting addresses (on the wire, counted from 0) that trigger a fault:
// kFaultBase + the fault's number, and kExceptionBase + an exception code
// for an exception answer to function 3 with that code.
inline constexpr std::uint16_t kFaultBase = 5000;
inline constexpr std::uint16_t kExceptionBase = 6000;

inline constexpr std::uint16_t faultAddress(PeerFault fault) {
  return static_cast<std::uint16_t>(kFaultBase + static_cast<std::uint16_t>(fault));
}
inline constexpr std::uint16_t exceptionAddress(std::uint8_t code) {
  return static_cast<std::uint16_t>(kExceptionBase + code);
}

// The register map, the same at every address and on every read. The
// values that faulty answers carry differ from it everywhere, so one that
// reaches the table is caught wherever it lands.
inline constexpr std::uint16_t scriptedValueAt(std::uint16_t address) {
  return static_cast<std::uint16_t>(7 * address + 11);
}

struct ReceivedRead {
  std::uint16_t transaction_id = 0;
  std::uint16_t address = 0;
  std::uint16_t quantity = 0;
};

// What the device does with one read: it writes `at_once` in one write,
// then `one_byte_a_write` a byte per write, a few ms apart, and then keeps
// the connection, closes it in order, or resets it.
struct ScriptedReply {
  enum class End { kStayOpen, kClose, kReset };
  Bytes at_once;
  Bytes one_byte_a_write;
  End end = End::kStayOpen;
};

// The reply to `request`. `held` is a late answer kept back for the next
// request, which it goes out in front of; a kLate fault fills it.
ScriptedReply scriptedReply(const ReceivedRead& request, std::optional<Bytes>& held);

// What a test can ask of a scripted device, over either transport.
class ScriptedRequests {
 public:
  virtual ~ScriptedRequests() = default;
  // Every read request received, in order, over all connections.
  virtual const std::vector<ReceivedRead>& requests() const = 0;
  // Whether every byte the device meant to send so far has gone out.
  virtual bool doneSending() const = 0;
};

}  // namespace rtupoll::testing
