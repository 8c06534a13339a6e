#include "platform/dead_links.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace rtupoll {

namespace {

// A link that merely loses many packets must not be taken for dead. TCP
// waits twice as long before each retransmission of a segment, so within
// 10 s it tries only four or five times, and a live link that loses 30 % of
// its packets each way loses them all now and then, stalling for many
// seconds. A polling link is a thin stream (a request or an answer in
// flight), which Linux can retransmit the first six times at an even pace
// instead: some ten tries fit in the 10 s and the stalls stay short. Linux
// does so once a loss has set the stream's slow-start threshold, as cubic
// (Debian's default) and reno do; under BBR this changes nothing.
constexpr int kThinLinearTimeouts = 1;

}  // namespace

void endDeadLinksSoon(QTcpSocket& socket) {
  socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
  const auto fd = static_cast<int>(socket.socketDescriptor());
  if (fd < 0) return;
  auto set = [fd](int option, int value) { setsockopt(fd, IPPROTO_TCP, option, &value, sizeof value); };
  set(TCP_KEEPIDLE, kKeepIdleS);
  set(TCP_KEEPINTVL, kKeepIntervalS);
  set(TCP_KEEPCNT, kKeepProbes);
  set(TCP_USER_TIMEOUT, kUserTimeoutMs);
#ifdef TCP_THIN_LINEAR_TIMEOUTS
  set(TCP_THIN_LINEAR_TIMEOUTS, kThinLinearTimeouts);
#endif
}

}  // namespace rtupoll
