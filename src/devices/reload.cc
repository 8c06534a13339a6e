#include "devices/reload.h"

#include <string>

#include "base/bool_text.h"
#include "devices/connect.h"
#include "window/option_ip.h"

namespace rtupoll {

namespace {

constexpr std::int16_t kTickCeiling = 1000;
constexpr std::int16_t kPanelsTick = 950;
constexpr std::int16_t kLastTick = 990;
constexpr std::int16_t kCountdownEnd = 10;

// Ticks on which slot 0, 1, 2 is closed when not connected, and reconnected
// when saved and closed.
constexpr std::int16_t kCloseTicks[kSlots] = {50, 100, 150};
constexpr std::int16_t kReconnectTicks[kSlots] = {300, 500, 700};

// A saved slot was meant to be connected at the last close, and the
// operator has not disconnected it since.
bool isSaved(const OptionIP& w, int slot) {
  const auto k = static_cast<std::size_t>(slot);
  return readsAsFalse(w.savedConnectState[k]) && !w.releasedByOperator[k];
}

// The device closed or lost a link that stood: neither connected, nor
// closed, nor on its way.
bool linkLost(OptionIP& w, int slot) {
  if (!w.linkEstablished[static_cast<std::size_t>(slot)]) return false;
  const std::int16_t state = w.Winsock1(slot).State();
  return state == SocketSlot::kClosing || state == SocketSlot::kError;
}

bool anySavedSlotDown(OptionIP& w) {
  bool down = false;
  for (int i = 0; i < kSlots; ++i)  // every slot is tested, as the operator expects from the labels
    if (isSaved(w, i) && w.Winsock1(i).State() != SocketSlot::kConnected) down = true;
  return down;
}

void endReload(OptionIP& w) {
  w.tloading.setEnabled(false);
  w.bar[0].setValue(0);
  w.bar[0].setVisible(false);
  w.loadingTick = 0;
  if (anySavedSlotDown(w)) w.Timer2.setEnabled(true);
}

}  // namespace

void reloadStep(OptionIP& w) {
  w.Label4.setVisible(false);
  w.bar[0].setVisible(true);
  if (w.loadingTick < kTickCeiling) ++w.loadingTick;
  w.bar[0].setValue(static_cast<float>(w.loadingTick));

  const std::int16_t tick = w.loadingTick;
  for (int i = 0; i < kSlots; ++i) {
    if (tick == kCloseTicks[i] && w.Winsock1(i).State() != SocketSlot::kConnected) {
      disconnectSlot(w, i);
      // This close is the reload's own, not the operator's: a saved slot
      // stays meant to be connected, so that a window closed before its
      // reconnect tick still saves it as such.
      if (isSaved(w, i)) w.cmdConnect[static_cast<std::size_t>(i)].setEnabled(false);
    }
    if (tick == kReconnectTicks[i] && w.Winsock1(i).State() == SocketSlot::kClosed && isSaved(w, i))
      connectSlot(w, i);
  }
  if (tick == kPanelsTick) {
    for (Frame& frame : w.frmDevice) frame.setEnabled(true);
    w.Timer3.setEnabled(true);
  }
  if (tick == kLastTick) endReload(w);
}

void reloadLostLinks(OptionIP& w) {
  if (w.tloading.enabled() || w.Timer2.enabled()) return;
  for (int i = 0; i < kSlots; ++i)
    if (!w.cmdConnect[static_cast<std::size_t>(i)].enabled() && linkLost(w, i)) w.tloading.setEnabled(true);
}

void countdownStep(OptionIP& w) {
  if (w.failureTick >= kCountdownEnd) {
    w.failureTick = 0;
    w.Timer2.setEnabled(false);
    w.tloading.setEnabled(true);
  } else {
    ++w.failureTick;
  }
  w.Label4.setVisible(true);
  w.Label4.setCaption("Gagal koneksi..." + std::to_string(w.failureTick));
}

}  // namespace rtupoll
