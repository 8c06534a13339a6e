#include "platform/dead_links.h"

#include <winsock2.h>
// After winsock2.h, which it builds on.
#include <mstcpip.h>

// Windows has the same limits under other names: SIO_KEEPALIVE_VALS sets
// keepalive's idle time and interval, TCP_KEEPCNT its number of probes
// (Windows 10 1703 and later; before, ten), and TCP_MAXRT, in whole
// seconds, how long TCP retransmits before it ends the connection, as
// Linux's user timeout does. Windows has no even-paced retransmission of
// thin streams: a very lossy but live link may be ended sooner than on Linux.
//
// Wine 8 carries SIO_KEEPALIVE_VALS through to Linux's TCP_KEEPIDLE and
// TCP_KEEPINTVL, but refuses TCP_KEEPCNT and TCP_MAXRT (WSAENOPROTOOPT),
// so under Wine a link that dies while polled is not ended by TCP; the poll
// still shows "???" for its reads at its next tick.

namespace rtupoll {

namespace {

// Option numbers of ws2ipdef.h in the Windows SDK; mingw-w64's headers
// lack them.
constexpr int kTcpMaxRt = 5;
constexpr int kTcpKeepCount = 16;

void setTcpOption(SOCKET handle, int option, DWORD value) {
  setsockopt(handle, IPPROTO_TCP, option, reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

void endDeadLinksSoon(QTcpSocket& socket) {
  const auto handle = static_cast<SOCKET>(socket.socketDescriptor());
  if (handle == INVALID_SOCKET) return;
  // Turns keepalive on, with its times in milliseconds.
  tcp_keepalive keepalive{};
  keepalive.onoff = 1;
  keepalive.keepalivetime = kKeepIdleS * 1000;
  keepalive.keepaliveinterval = kKeepIntervalS * 1000;
  DWORD returned = 0;
  WSAIoctl(handle, SIO_KEEPALIVE_VALS, &keepalive, sizeof keepalive, nullptr, 0, &returned, nullptr, nullptr);
  setTcpOption(handle, kTcpKeepCount, kKeepProbes);
  setTcpOption(handle, kTcpMaxRt, kUserTimeoutMs / 1000);
}

}  // namespace rtupoll
