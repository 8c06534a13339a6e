#include "devices/connect.h"

#include <chrono>
#include <optional>
#include <string>

#include "base/number_text.h"
#include "window/option_ip.h"

namespace rtupoll {

namespace {

constexpr std::chrono::seconds kWait{2};

// The port a port text names: a whole number from 1 to 65535 once brought
// to the nearest whole number; nothing for any other text.
std::optional<std::uint16_t> portNamed(const OptionIP& w, const std::string& text) {
  const auto number = wholeTextNumber(text, w.env().decimalSeparator());
  if (!number) return std::nullopt;
  const auto whole = toInt32(*number);
  if (!whole || *whole < 1 || *whole > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(*whole);
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
  // A port text that names no port fails the attempt at once: connecting to
  // the slot's previous port instead would be a link nobody asked for.
  if (const auto port = portNamed(w, w.txtPort[k].text())) {
    socket.setRemoteHost(w.txtIP[k].text());
    socket.setRemotePort(*port);
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
