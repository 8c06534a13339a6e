#include "devices/connect.h"

#include <chrono>
#include <optional>
#include <string>

#include "base/number_text.h"
#include "window/option_ip.h"

namespace rtupoll {

namespace {

constexpr std::chrono::seconds kWait{2};

// The number a port text names, brought to the nearest whole number;
// nothing for a text that is not a number.
std::optional<std::int32_t> portNumber(const OptionIP& w, const std::string& text) {
  const auto number = wholeTextNumber(text, w.env().decimalSeparator());
  return number ? toInt32(*number) : std::nullopt;
}

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
  w.linkEstablished[k] = false;
  socket.setRemoteHost(w.txtIP[k].text());
  // A port text that names no port (no number, or one the socket refuses)
  // fails the attempt at once: connecting to the slot's previous port
  // instead would be a link nobody asked for.
  const auto port = portNumber(w, w.txtPort[k].text());
  if (port && socket.setRemotePort(*port)) {
    socket.Connect();
    waitForState(w, socket, SocketSlot::kConnected);
    w.linkEstablished[k] = socket.State() == SocketSlot::kConnected;
  }
  if (w.linkEstablished[k])
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
  w.linkEstablished[k] = false;
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

void connectByOperator(OptionIP& w, int index) {
  w.releasedByOperator[static_cast<std::size_t>(index)] = false;
  connectSlot(w, index);
}

void disconnectByOperator(OptionIP& w, int index) {
  const std::size_t k = static_cast<std::size_t>(index);
  disconnectSlot(w, index);
  // Only a close that took: the Connect button is available again.
  if (w.cmdConnect[k].enabled()) w.releasedByOperator[k] = true;
}

}  // namespace rtupoll
