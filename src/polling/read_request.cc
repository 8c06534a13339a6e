#include "polling/read_request.h"

#include "polling/modbus_tcp.h"
#include "polling/poll_cycle.h"
#include "polling/register_span.h"
#include "window/option_ip.h"

namespace rtupoll {

namespace {

void sendOnConnectedSlot(OptionIP& w, RegisterSpan span) {
  PollState& poll = w.poll;
  const std::uint8_t slot = w.requestSlot;
  const std::uint16_t tid = poll.nextTransactionId++;

  w.requestFrame = modbus::encodeReadRequest(tid, span.start, span.quantity);
  w.requestSent = true;

  // Half a frame left from an earlier answer must not merge with this one's.
  poll.replyStreams[slot].clear();
  // Outstanding even when the send fails: no answer can come then, and the
  // next step must still mark the read's values unknown.
  poll.outstanding = {true, slot, tid, span.quantity};
  w.Winsock1(slot).SendData(w.requestFrame);

  // The long form says the previous request here got no answer: the device
  // is failing, and shows it in the colour of its other failures.
  Label& status = w.lblStatus[slot];
  if (status.caption() == "Transmit")
    status.setCaption("Transmit..............", colors::kYellow);
  else
    status.setCaption("Transmit");
}

void skipDisconnectedSlot(OptionIP& w, std::uint16_t quantity) {
  const std::uint8_t slot = w.requestSlot;
  Label& status = w.lblStatus[slot];
  status.setCaption("Not connected");
  // A label that showed the link as good must not go on doing so.
  if (status.backColor() == colors::kGreen) status.setBackColor(colors::kRed);
  // The slot was meant to be connected but its link is gone: reload.
  if (w.Winsock1(slot).State() != SocketSlot::kConnected && !w.cmdConnect[slot].enabled())
    w.tloading.setEnabled(true);
  markValuesUnknown(w, quantity);
  finishRead(w);
}

}  // namespace

void sendReadRequest(OptionIP& w) {
  const int row = w.currentRow;
  // A new request ends the wait for any earlier one (the poll step has
  // dealt with it); a late answer to it will be discarded.
  w.poll.outstanding.active = false;

  const RegisterSpan span = requestedRegisters(w, row);
  followRegisterSpan(w, span);

  // A read of no registers asks nothing of any device: the Modbus standard
  // allows a quantity of 1 to 125 only (Application Protocol V1.1b3, 6.3),
  // so a device would refuse it with exception 3, and some refuse only
  // after a timeout that stalls the cycle. It is done at once. Nothing was
  // asked and nothing came back, so no label changes, and a slot that is
  // down is left to the reads that use it.
  if (span.quantity == 0) {
    finishRead(w);
    return;
  }

  // A read with no device chosen asks no device: another device's values
  // must never stand under it. Its values are unknown.
  const int choice = w.LstIP[static_cast<std::size_t>(row)].listIndex();
  if (choice < 0 || choice >= kSlots) {
    markValuesUnknown(w, span.quantity);
    finishRead(w);
    return;
  }
  w.requestSlot = static_cast<std::uint8_t>(choice);

  if (w.Winsock1(w.requestSlot).State() != SocketSlot::kConnected)
    skipDisconnectedSlot(w, span.quantity);
  else
    sendOnConnectedSlot(w, span);
}

}  // namespace rtupoll
