#pragma once

// One device slot's TCP client socket, with the members the window uses.
// State() reads 0 when closed and 7 when connected; any other value means
// neither (4 resolving, 6 connecting, 8 closing or ended by the peer,
// 9 failed). A failed or peer-ended link keeps its value until Close().

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "env/env.h"

namespace rtupoll {

class SocketSlot {
 public:
  // The values State() reads.
  enum : std::int16_t { kClosed = 0, kResolving = 4, kConnecting = 6, kConnected = 7, kClosing = 8, kError = 9 };

  SocketSlot(Env& env, int index);
  SocketSlot(const SocketSlot&) = delete;
  SocketSlot& operator=(const SocketSlot&) = delete;

  // DataArrival: handler(index, bytes waiting) runs when received bytes wait.
  void setOnDataArrival(std::function<void(int, std::int32_t)> handler) { on_data_arrival_ = std::move(handler); }

  void setRemoteHost(const std::string& host) { remote_host_ = host; }
  // A port outside 1..65535 is refused, false, and the previous port kept.
  bool setRemotePort(std::int32_t port);

  // Starts an attempt and returns at once; does nothing unless closed.
  void Connect();
  std::int16_t State() const;
  void Close();
  // Queues the bytes; dropped when the socket is not connected or refuses them.
  void SendData(std::span<const std::uint8_t> bytes);
  // Takes the next received byte; false when none waits.
  bool GetData(std::uint8_t& byte);
  std::int32_t bytesWaiting() const;

 private:
  int index_;
  std::string remote_host_;
  std::int32_t remote_port_ = 0;
  std::function<void(int, std::int32_t)> on_data_arrival_;
  std::unique_ptr<SocketDriver> driver_;
};

}  // namespace rtupoll
