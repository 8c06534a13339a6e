#include "qt/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>
#include <string>

namespace rtupoll::testing {

std::optional<int> socketOptionTowards(std::uint16_t port, int level, int option) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    const int fd = std::stoi(entry.path().filename().string());
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) != 0 || peer.sin_family != AF_INET ||
        ntohs(peer.sin_port) != port)
      continue;
    int value = 0;
    len = sizeof value;
    if (getsockopt(fd, level, option, &value, &len) != 0) return std::nullopt;
    return value;
  }
  return std::nullopt;
}

}  // namespace rtupoll::testing
