#pragma once

// Modbus TCP framing. Every frame starts with the 7-byte MBAP header
// (Modbus Messaging on TCP/IP Implementation Guide V1.0b, 3.1.3):
//
//   offset 0  transaction identifier (2, big-endian)
//   offset 2  protocol identifier    (2, always 0 for Modbus)
//   offset 4  length                 (2, bytes that follow: unit id + PDU)
//   offset 6  unit identifier        (1)
//   offset 7  PDU: function code, data ...
//
// A PDU is at most 253 bytes (Modbus Application Protocol V1.1b3, 4.1) and
// at least a function code and one byte, so the length field lies in 3..254.

#include <cstddef>
#include <cstdint>
#include <span>

namespace rtupoll {

inline constexpr std::size_t kMbapHeaderSize = 7;
inline constexpr std::uint16_t kMinMbapLength = 3;
inline constexpr std::uint16_t kMaxMbapLength = 254;

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

inline std::uint16_t bigEndian16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

}  // namespace rtupoll
