#include "support/hostile_answers.h"

#include "polling/modbus_tcp.h"

namespace rtupoll::testing {

namespace {

using modbus::kExceptionFlag;
using modbus::kReadHoldingRegisters;
using modbus::kUnitId;
constexpr std::uint8_t kReadInputRegisters = 4;
constexpr std::uint8_t kIllegalFunction = 1;
constexpr std::size_t kMaxLength = modbus::kMaxLength;
constexpr std::uint16_t kForeignOffset = 0x1234;
// Enough that handling it in time out of proportion to its size would
// stall the window for many seconds.
constexpr std::size_t kFloodBytes = 16 << 20;

void appendWord(Bytes& bytes, std::uint16_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
  bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A whole Modbus TCP frame around the PDU; the length field says what
// follows unless a fault wants it to lie.
Bytes frame(std::uint16_t transaction_id, const Bytes& pdu, std::uint16_t protocol = 0,
            std::optional<std::uint16_t> length = std::nullopt) {
  Bytes bytes;
  appendWord(bytes, transaction_id);
  appendWord(bytes, protocol);
  appendWord(bytes, length.value_or(static_cast<std::uint16_t>(1 + pdu.size())));
  bytes.push_back(kUnitId);
  return bytes + pdu;
}

// Function code, byte count and the register values, high byte first.
Bytes registersPdu(std::uint8_t function, const std::vector<std::uint16_t>& values) {
  Bytes pdu = {function, static_cast<std::uint8_t>(2 * values.size())};
  for (const std::uint16_t value : values) appendWord(pdu, value);
  return pdu;
}

// An answer of function 3 with the values and a byte count that fits them,
// padded with more bytes up to a PDU of `size` bytes.
Bytes paddedPdu(const std::vector<std::uint16_t>& values, std::size_t size) {
  Bytes pdu = registersPdu(kReadHoldingRegisters, values);
  pdu.resize(size, 0x5A);
  return pdu;
}

std::vector<std::uint16_t> mapValues(std::uint16_t address, int count) {
  std::vector<std::uint16_t> values;
  for (int k = 0; k < count; ++k) values.push_back(scriptedValueAt(static_cast<std::uint16_t>(address + k)));
  return values;
}

// The map's values with the top bit flipped: since the map steps by an odd
// number, no register below 32768 holds such a value at another address.
std::vector<std::uint16_t> wrongValues(std::uint16_t address, int count) {
  std::vector<std::uint16_t> values = mapValues(address, count);
  for (std::uint16_t& value : values) value ^= 0x8000;
  return values;
}

std::optional<PeerFault> faultAt(std::uint16_t address) {
  if (address >= kFaultBase && address <= faultAddress(kLastFault)) return static_cast<PeerFault>(address - kFaultBase);
  return std::nullopt;
}

std::optional<std::uint8_t> exceptionAt(std::uint16_t address) {
  if (address >= kExceptionBase && address <= exceptionAddress(0xFF))
    return static_cast<std::uint8_t>(address - kExceptionBase);
  return std::nullopt;
}

}  // namespace

ScriptedReply scriptedReply(const ReceivedRead& request, std::optional<Bytes>& held) {
  const std::uint16_t tid = request.transaction_id;
  const std::uint16_t address = request.address;
  const int count = request.quantity;
  const Bytes good = frame(tid, registersPdu(kReadHoldingRegisters, mapValues(address, count)));
  const Bytes wrong = registersPdu(kReadHoldingRegisters, wrongValues(address, count));

  // A late answer goes out just before the answer to the request that
  // overtook it, in the same write.
  ScriptedReply reply;
  reply.at_once = held.value_or(Bytes());
  held.reset();
  Bytes& out = reply.at_once;

  if (const auto code = exceptionAt(address)) {
    out = out + frame(tid, {kReadHoldingRegisters | kExceptionFlag, *code});
    return reply;
  }
  switch (faultAt(address).value_or(PeerFault::kNone)) {
    case PeerFault::kNone: out = out + good; break;
    case PeerFault::kByteByByte: reply.one_byte_a_write = good; break;
    case PeerFault::kWithNextCopy: out = out + good + frame(static_cast<std::uint16_t>(tid + 1), wrong); break;
    case PeerFault::kWithForeignAnswer:
      out = out + good + frame(static_cast<std::uint16_t>(tid + kForeignOffset), wrong);
      break;
    case PeerFault::kFlood: {
      const Bytes one = frame(static_cast<std::uint16_t>(tid + kForeignOffset), wrong);
      for (std::size_t sent = 0; sent + one.size() <= kFloodBytes; sent += one.size())
        out.insert(out.end(), one.begin(), one.end());
      out.insert(out.end(), good.begin(), good.end());
      break;
    }
    case PeerFault::kJunkBehind: out = out + good + Bytes{0x00, 0x07, 0x00, 0x00, 0x00}; break;
    case PeerFault::kLength254: out = out + frame(tid, paddedPdu(wrongValues(address, count), kMaxLength - 1)); break;
    case PeerFault::kBeyond254: out = out + frame(tid, paddedPdu(wrongValues(address, count), kMaxLength)); break;
    case PeerFault::kWrongFunction:
      out = out + frame(tid, registersPdu(kReadInputRegisters, wrongValues(address, count)));
      break;
    case PeerFault::kWrongByteCount:
      out = out + frame(tid, registersPdu(kReadHoldingRegisters, wrongValues(address, count > 0 ? count - 1 : 0)));
      break;
    case PeerFault::kForeignId: out = out + frame(static_cast<std::uint16_t>(tid + kForeignOffset), wrong); break;
    case PeerFault::kProtocolId: out = out + frame(tid, wrong, 1); break;
    case PeerFault::kLengthZero: out = out + frame(tid, wrong, 0, 0); break;
    case PeerFault::kLength2000: out = out + frame(tid, wrong, 0, 2000); break;
    case PeerFault::kLate: held = good; break;
    case PeerFault::kHeaderThenSilence: out = out + Bytes(good.begin(), good.begin() + 7); break;
    case PeerFault::kSilent: break;
    case PeerFault::kForeignException:
      out = out + frame(tid, {kReadInputRegisters | kExceptionFlag, kIllegalFunction});
      break;
    case PeerFault::kCloseMidFrame: {
      const Bytes half = frame(tid, wrong);
      out = out + Bytes(half.begin(), half.begin() + static_cast<std::ptrdiff_t>(half.size() / 2));
      reply.end = ScriptedReply::End::kClose;
      break;
    }
    case PeerFault::kReset: reply.end = ScriptedReply::End::kReset; break;
    case PeerFault::kCorruptJunkBehind: out = out + good + Bytes{0xDE, 0xAD, 0xBE, 0xEF, 0x01}; break;
    case PeerFault::kOneRegisterMore:
      out = out + frame(tid, registersPdu(kReadHoldingRegisters, wrongValues(address, count + 1)));
      break;
    case PeerFault::kByteCountBelowLength: {
      Bytes pdu = registersPdu(kReadHoldingRegisters, wrongValues(address, count));
      pdu[1] = static_cast<std::uint8_t>(pdu[1] - 2);
      out = out + frame(tid, pdu);
      break;
    }
  }
  return reply;
}

}  // namespace rtupoll::testing
