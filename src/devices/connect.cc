#include "devices/connect.h"

#include <chrono>

#include "base/number_text.h"
#include "window/option_ip.h"

namespace rtupoll {

namespace {

constexpr std::chrono::seconds kWait{2};

// Keeps the event loop running until the socket reaches `wanted` or two
// seconds have passed on the monotonic clock. Handlers run inside; they may
// connect or disconnect again, also this slot.
void waitForState(OptionIP& w, SocketSlot& socket, std::int16_t wanted) {
  Env& env = w.env();
  const Nanos deadline = env.monotonicNow() + kWait;
  while (env.monotonicNow() < deadline && socket.State() != wanted) env.waitForEvents(deadline);
}

}  // namespace

void connectSlot(OptionIP& w, int index) {
  const std::size_t k = static_cast<std::size_t>(index);
  SocketSlot& socket = w.Winsock1(index);
  w.form.setMousePointer(Form::kWaitPointer);
  socket.setRemoteHost(w.txtIP[k].text());
  // A port text that is not a usable port leaves the previous port in place.
  if (const auto port = wholeTextNumber(w.txtPort[k].text(), w.env().decimalSeparator()))
    if (const auto whole = toInt32(*port)) socket.setRemotePort(*whole);
  socket.Connect();
  waitForState(w, socket, SocketSlot::kConnected);
  if (socket.State() == SocketSlot::kConnected)
    w.lblStatus[k].setCaption("Connected OK", colors::kGreen);
  else
    w.lblStatus[k].setCaption("Tidak bisa Connect ", colors::kYellow);
  // Disabled records that a connection was asked for, whatever came of it.
  w.cmdConnect[k].setEnabled(false);
  w.form.setMousePointer(Form::kDefaultPointer);
}

void disconnectSlot(OptionIP& w, int index) {
  const std::size_t k = static_cast<std::size_t>(index);
  SocketSlot& socket = w.Winsock1(index);
  w.form.setMousePointer(Form::kWaitPointer);
  if (socket.State() != SocketSlot::kClosed) socket.Close();
  waitForState(w, socket, SocketSlot::kClosed);
  if (socket.State() == SocketSlot::kClosed) {
    w.lblStatus[k].setCaption("Disconnected", colors::kRed);
    w.cmdConnect[k].setEnabled(true);
  } else {
    w.lblStatus[k].setCaption("Error disconnect!", colors::kYellow);
  }
  w.form.setMousePointer(Form::kDefaultPointer);
}

}  // namespace rtupoll
