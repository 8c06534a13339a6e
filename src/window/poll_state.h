#pragma once

// What the poll keeps for itself between events, beside the window's own
// variables: which answer it waits for, and per socket the bytes of a frame
// not yet whole. An answer counts only if it comes on the slot of the
// outstanding request with its transaction identifier; the identifier
// counts up with every request, so a late answer can never pass for a
// newer one.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "window/control_arrays.h"

namespace rtupoll {

struct OutstandingRequest {
  bool active = false;
  std::uint8_t slot = 0;
  std::uint16_t transaction_id = 0;
  std::uint16_t quantity = 0;  // registers asked for
};

// The registers a read asks for, as its request carries them: the starting
// address counted from 0 and the quantity.
struct RegisterSpan {
  std::uint16_t start = 0;
  std::uint16_t quantity = 0;
  bool operator==(const RegisterSpan&) const = default;
};

struct PollState {
  std::uint16_t nextTransactionId = 0;  // wraps after 0xFFFF
  OutstandingRequest outstanding;
  std::array<std::vector<std::uint8_t>, kSlots> replyStreams;
  // Per read definition, the registers its captions name; none before
  // start-up has written them.
  std::array<std::optional<RegisterSpan>, kReadDefs> captioned;
};

}  // namespace rtupoll
