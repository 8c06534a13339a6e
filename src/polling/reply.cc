#include "polling/reply.h"

#include <span>
#include <string>
#include <vector>

#include "polling/modbus_tcp.h"
#include "polling/poll_cycle.h"
#include "polling/register_span.h"
#include "window/option_ip.h"

namespace rtupoll {

namespace {

// The answer is not the values asked for: say so and show no values.
void rejectAnswer(OptionIP& w, const std::string& caption) {
  w.lblStatus[w.requestSlot].setCaption(caption, colors::kYellow);
  markValuesUnknown(w, w.poll.outstanding.quantity);
  finishRead(w);
}

// Writes the register values into the current row's value column, beside
// the captions of the registers the request asked for: the captions change
// only when a read starts, so they are still this request's.
void writeValues(OptionIP& w, const modbus::ReadAnswer& answer) {
  const int shown = rowsShown(w, static_cast<std::uint16_t>(answer.count()));
  for (int k = 0; k < shown; ++k)
    w.tabel.setText(k + 1, valueColumn(w.currentRow), std::to_string(answer.value(static_cast<std::size_t>(k))));
}

// The answer to the outstanding request, as one whole frame.
void handleAnswer(OptionIP& w, std::span<const std::uint8_t> frame, std::uint16_t quantity) {
  if (w.Winsock1(w.requestSlot).State() != SocketSlot::kConnected) {
    rejectAnswer(w, "Data Loss");
    return;
  }
  const modbus::ReadAnswer answer = modbus::decodeReadAnswer(frame, quantity);
  switch (answer.kind) {
    case modbus::ReadAnswer::Kind::kException:
      rejectAnswer(w, "Exception " + std::to_string(answer.exception_code));
      return;
    case modbus::ReadAnswer::Kind::kMalformed:
      rejectAnswer(w, "Data Loss");
      return;
    case modbus::ReadAnswer::Kind::kValues:
      writeValues(w, answer);
      w.lblStatus[w.requestSlot].setCaption("Received", colors::kGreen);
      finishRead(w);
      return;
  }
}

bool awaitsAnswer(const PollState& poll, int socket) {
  return poll.outstanding.active && poll.outstanding.slot == socket;
}

bool answersOutstanding(const PollState& poll, int socket, std::span<const std::uint8_t> frame) {
  return awaitsAnswer(poll, socket) && modbus::transactionId(frame) == poll.outstanding.transaction_id;
}

// Bytes that answer nothing this slot was asked: a late answer to a read
// the poll clock overtook, a duplicate, a stray. The operator sees it on
// the slot; nothing is decoded, and the poll still waits for its own
// answer or the next tick.
void showUnasked(OptionIP& w, int socket) {
  w.lblStatus[static_cast<std::size_t>(socket)].setCaption("Data Loss", colors::kYellow);
}

}  // namespace

void handleReply(OptionIP& w, int socketIndex, std::int32_t /*bytesWaiting*/) {
  PollState& poll = w.poll;
  std::vector<std::uint8_t>& stream = poll.replyStreams[static_cast<std::size_t>(socketIndex)];
  SocketSlot& socket = w.Winsock1(socketIndex);
  // Take everything waiting, not just what the event announced: bytes left
  // in the socket would raise no further event.
  for (std::uint8_t byte = 0; socket.GetData(byte);) stream.push_back(byte);

  // Whole frames are handled where they lie; their bytes are dropped in
  // one go when the loop ends.
  std::size_t handled = 0;
  for (;;) {
    const std::span<const std::uint8_t> rest = std::span<const std::uint8_t>(stream).subspan(handled);
    std::size_t size = 0;
    switch (modbus::frameAtFront(rest, size)) {
      case modbus::FrameStatus::kIncomplete:
        stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(handled));
        return;
      case modbus::FrameStatus::kCorrupt:
        // No frame boundary can be trusted any more: drop what is buffered.
        stream.clear();
        if (awaitsAnswer(poll, socketIndex)) {
          poll.outstanding.active = false;
          rejectAnswer(w, "Data Loss");
        } else {
          showUnasked(w, socketIndex);
        }
        return;
      case modbus::FrameStatus::kComplete: {
        const std::span<const std::uint8_t> frame = rest.first(size);
        handled += size;
        if (!answersOutstanding(poll, socketIndex, frame)) {
          showUnasked(w, socketIndex);
          break;
        }
        poll.outstanding.active = false;
        handleAnswer(w, frame, poll.outstanding.quantity);
        break;
      }
    }
  }
}

}  // namespace rtupoll
