#pragma once

// Peers for a device that is down, on 127.0.0.1 at a port the system picks,
// each gone with its object. The tests and the simulator hold them, so that
// a program under test meets both ways a real device can be down.

#include <cstdint>
#include <vector>

namespace rtupoll {

// A listener that never accepts and whose accept queue is full, so a
// further connect attempt gets no answer at all and hangs in the handshake
// (the kernel drops the SYN).
class HangingListener {
 public:
  HangingListener();
  ~HangingListener();
  HangingListener(const HangingListener&) = delete;
  HangingListener& operator=(const HangingListener&) = delete;

  std::uint16_t port() const { return port_; }

 private:
  int listen_fd_ = -1;
  std::vector<int> fillers_;
  std::uint16_t port_ = 0;
};

// A loopback port that is taken but never listened on, so a connect there
// is refused, and no other program can start listening on it meanwhile.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  std::uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace rtupoll
