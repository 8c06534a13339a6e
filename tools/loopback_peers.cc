#include "loopback_peers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace rtupoll {

namespace {

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

std::uint16_t boundPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) throw std::runtime_error("getsockname");
  return ntohs(a.sin_port);
}

// Starts a non-blocking connect; true if the handshake completed within
// the time, so the connection sits in the listener's accept queue.
bool connectsWithin(int fd, std::uint16_t port, int timeout_ms) {
  const sockaddr_in a = loopback(port);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return true;
  pollfd p{fd, POLLOUT, 0};
  if (poll(&p, 1, timeout_ms) != 1) return false;
  int error = 0;
  socklen_t len = sizeof error;
  getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
  return error == 0;
}

}  // namespace

HangingListener::HangingListener() {
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in a = loopback(0);
  if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
      listen(listen_fd_, 0) != 0)
    throw std::runtime_error("cannot listen on loopback");
  port_ = boundPort(listen_fd_);
  // Fill the accept queue; the first connect that does not complete shows
  // that it is full.
  for (int i = 0; i < 16; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    fillers_.push_back(fd);
    if (!connectsWithin(fd, port_, 200)) return;
  }
  throw std::runtime_error("the accept queue does not fill");
}

HangingListener::~HangingListener() {
  for (const int fd : fillers_) close(fd);
  close(listen_fd_);
}

RefusingPort::RefusingPort() {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in a = loopback(0);
  if (fd_ < 0 || bind(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
    throw std::runtime_error("cannot bind on loopback");
  port_ = boundPort(fd_);
}

RefusingPort::~RefusingPort() { close(fd_); }

}  // namespace rtupoll
