#include "polling/read_request.h"

#include <optional>

#include "base/number_text.h"
#include "polling/modbus_tcp.h"
#include "polling/poll_cycle.h"
#include "window/option_ip.h"

namespace rtupoll {

namespace {

// A 16-bit field as two bytes, each sent only if it lies in 0..255 (and as
// 0 otherwise): a start or count outside 0..0xFFFF is not wrapped around.
std::uint16_t wireField(std::optional<std::int32_t> value) {
  if (!value) return 0;
  const std::int32_t low = *value % 256;   // remainder keeps the sign of the value
  const std::int32_t high = *value / 256;  // truncated toward zero
  const auto byteOrZero = [](std::int32_t byte) { return byte >= 0 && byte <= 255 ? byte : 0; };
  return static_cast<std::uint16_t>(byteOrZero(high) * 256 + byteOrZero(low));
}

// The first register is counted from 1 on screen and from 0 on the wire.
// The text must be a number as a whole; the address minus one goes through
// its decimal text and back, so a fractional part survives only where the
// user's decimal separator is a full stop.
std::optional<std::int32_t> startingAddress(const OptionIP& w, int row) {
  const char sep = w.env().decimalSeparator();
  const auto first = wholeTextNumber(w.strReg[static_cast<std::size_t>(row)].text(), sep);
  if (!first) return std::nullopt;
  return toInt32(leadingNumber(numberText(*first - 1, sep)));
}

// The count is read only up to where its leading number ends ("12abc" is 12).
std::optional<std::int32_t> quantity(const OptionIP& w, int row) {
  return toInt32(leadingNumber(w.LegReg[static_cast<std::size_t>(row)].text()));
}

void sendOnConnectedSlot(OptionIP& w, int row, std::uint16_t count) {
  PollState& poll = w.poll;
  const std::uint8_t slot = w.requestSlot;
  const std::uint16_t start = wireField(startingAddress(w, row));
  const std::uint16_t tid = poll.nextTransactionId++;

  w.requestFrame = modbus::encodeReadRequest(tid, start, count);
  w.requestSent = true;

  // Half a frame left from an earlier answer must not merge with this one's.
  poll.replyStreams[slot].clear();
  // Outstanding even when the send fails: no answer can come then, and the
  // next step must still mark the read's values unknown.
  poll.outstanding = {true, slot, tid, count};
  w.Winsock1(slot).SendData(w.requestFrame);

  Label& status = w.lblStatus[slot];
  status.setCaption(status.caption() == "Transmit" ? "Transmit.............." : "Transmit");
}

// A read of no registers (a count of 0, empty, or no number: what a fresh
// set-up leaves) puts nothing on the wire. The Modbus standard allows a
// quantity of 1 to 125 only (Application Protocol V1.1b3, 6.3), so a device
// would refuse the request with exception 3, and some refuse only after a
// timeout that stalls the cycle. The read is done at once, as an answer of
// no registers leaves it: no value written, "Received".
void completeEmptyRead(OptionIP& w) {
  w.lblStatus[w.requestSlot].setCaption("Received", colors::kGreen);
  finishRead(w);
}

void skipDisconnectedSlot(OptionIP& w) {
  const std::uint8_t slot = w.requestSlot;
  w.lblStatus[slot].setCaption("Not connected");
  // The slot was meant to be connected but its link is gone: reload.
  if (w.Winsock1(slot).State() != SocketSlot::kConnected && !w.cmdConnect[slot].enabled())
    w.tloading.setEnabled(true);
  markValuesUnknown(w);
  finishRead(w);
}

}  // namespace

void sendReadRequest(OptionIP& w) {
  const int row = w.currentRow;
  // A new request ends the wait for any earlier one (the poll step has
  // dealt with it); a late answer to it will be discarded.
  w.poll.outstanding.active = false;

  // With no device chosen the request goes to the slot of the previous one.
  const int choice = w.LstIP[static_cast<std::size_t>(row)].listIndex();
  if (choice >= 0 && choice < kSlots) w.requestSlot = static_cast<std::uint8_t>(choice);

  if (w.Winsock1(w.requestSlot).State() != SocketSlot::kConnected) {
    skipDisconnectedSlot(w);
    return;
  }
  const std::uint16_t count = wireField(quantity(w, row));
  if (count == 0)
    completeEmptyRead(w);
  else
    sendOnConnectedSlot(w, row, count);
}

}  // namespace rtupoll
