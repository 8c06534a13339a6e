#include "window/socket_slot.h"

#include <array>
#include <limits>

namespace rtupoll {

SocketSlot::SocketSlot(Env& env, int index)
    : index_(index), driver_(env.createSocket([this] {
        if (on_data_arrival_) on_data_arrival_(index_, bytesWaiting());
      })) {}

bool SocketSlot::setRemotePort(std::int32_t port) {
  if (port < 1 || port > 65535) return false;
  remote_port_ = port;
  return true;
}

void SocketSlot::Connect() {
  if (State() == kClosed) driver_->connectToHost(remote_host_, static_cast<std::uint16_t>(remote_port_));
}

std::int16_t SocketSlot::State() const {
  switch (driver_->state()) {
    case LinkState::kClosed: return kClosed;
    case LinkState::kResolving: return kResolving;
    case LinkState::kConnecting: return kConnecting;
    case LinkState::kConnected: return kConnected;
    case LinkState::kClosing:
    case LinkState::kPeerClosed: return kClosing;
    case LinkState::kFailed: return kError;
  }
  return kError;
}

void SocketSlot::Close() { driver_->abort(); }

void SocketSlot::SendData(std::span<const std::uint8_t> bytes) {
  if (State() == kConnected) driver_->write(bytes);
}

bool SocketSlot::GetData(std::uint8_t& byte) {
  std::array<std::uint8_t, 1> one{};
  if (driver_->read(one) != 1) return false;
  byte = one[0];
  return true;
}

std::int32_t SocketSlot::bytesWaiting() const {
  const std::size_t n = driver_->bytesAvailable();
  return n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())
             ? std::numeric_limits<std::int32_t>::max()
             : static_cast<std::int32_t>(n);
}

}  // namespace rtupoll
