#include "polling/mbap_frame.h"

namespace rtupoll {

FrameStatus takeFrame(std::vector<std::uint8_t>& stream, std::vector<std::uint8_t>& frame) {
  if (stream.size() >= 4 && bigEndian16(&stream[2]) != 0) return FrameStatus::kCorrupt;
  if (stream.size() < 6) return FrameStatus::kIncomplete;
  const std::uint16_t length = bigEndian16(&stream[4]);
  if (length < kMinMbapLength || length > kMaxMbapLength) return FrameStatus::kCorrupt;
  const std::size_t total = 6 + std::size_t{length};
  if (stream.size() < total) return FrameStatus::kIncomplete;
  frame.assign(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(total));
  stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(total));
  return FrameStatus::kComplete;
}

}  // namespace rtupoll
