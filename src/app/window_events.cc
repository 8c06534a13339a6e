#include "app/window_events.h"

#include "app/startup.h"
#include "datalog/data_log.h"
#include "devices/connect.h"
#include "devices/reload.h"
#include "polling/poll_cycle.h"
#include "polling/read_request.h"
#include "polling/reply.h"
#include "window/option_ip.h"

namespace rtupoll {

WindowEvents::WindowEvents(OptionIP& w) : w_(w) {
  // Timer         each tick runs
  w.tloading.setOnTick([&w] { reloadStep(w); });
  w.Timer2.setOnTick([&w] { countdownStep(w); });
  w.Timer3.setOnTick([&w] {
    reloadLostLinks(w);
    pollStep(w);
    print_click(w);
  });
  w.Timer4.setOnTick([&w] { pollStep(w); });
  w.tDataRetry.setOnTick([&w] { retryDataFile(w); });

  // Event                             handler
  for (int i = 0; i < kSlots; ++i) {
    const auto k = static_cast<std::size_t>(i);
    w.cmdConnect[k].setOnClick([&w, i] { connectByOperator(w, i); });
    w.cmdDisconnect[k].setOnClick([&w, i] { disconnectByOperator(w, i); });
    w.Winsock1(i).setOnDataArrival(
        [&w](int index, std::int32_t bytesTotal) { handleReply(w, index, bytesTotal); });
  }
  w.cmdRead.setOnClick([&w] { sendReadRequest(w); });
  w.cmdConnectDev.setOnClick([&w] { pollStep(w); });
}

void WindowEvents::load() { startUp(w_); }

void WindowEvents::unload() {
  if (unloaded_) return;
  unloaded_ = true;
  shutDown(w_);
}

}  // namespace rtupoll
