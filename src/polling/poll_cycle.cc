#include "polling/poll_cycle.h"

#include "polling/read_request.h"
#include "polling/register_span.h"
#include "window/option_ip.h"

namespace rtupoll {

void pollStep(OptionIP& w) {
  PollState& poll = w.poll;
  w.Timer4.setEnabled(false);
  // The poll clock overtook the request of the current read: whatever its
  // answer brings will be discarded, so the values it shows are no longer
  // current. Say so before the tick's data.csv line copies them.
  if (poll.outstanding.active) {
    poll.outstanding.active = false;
    markValuesUnknown(w, poll.outstanding.quantity);
  }
  w.bar[0].setVisible(true);
  w.currentRow = w.currentRow < kLastReadDef ? static_cast<std::int16_t>(w.currentRow + 1) : std::int16_t{0};
  for (int r = 0; r < kReadDefs; ++r)
    w.strReg[static_cast<std::size_t>(r)].setBackColor(r == w.currentRow ? colors::kGreen : colors::kWindowBackground);
  sendReadRequest(w);
}

void finishRead(OptionIP& w) {
  if (w.currentRow < kLastReadDef)
    w.Timer4.setEnabled(true);
  else
    w.strReg[kLastReadDef].setBackColor(colors::kWindowBackground);
}

}  // namespace rtupoll
