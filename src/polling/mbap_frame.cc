#include "polling/mbap_frame.h"

namespace rtupoll {

FrameStatus frameAtFront(std::span<const std::uint8_t> bytes, std::size_t& size) {
  if (bytes.size() >= 4 && bigEndian16(&bytes[2]) != 0) return FrameStatus::kCorrupt;
  if (bytes.size() < 6) return FrameStatus::kIncomplete;
  const std::uint16_t length = bigEndian16(&bytes[4]);
  if (length < kMinMbapLength || length > kMaxMbapLength) return FrameStatus::kCorrupt;
  const std::size_t total = 6 + std::size_t{length};
  if (bytes.size() < total) return FrameStatus::kIncomplete;
  size = total;
  return FrameStatus::kComplete;
}

}  // namespace rtupoll
