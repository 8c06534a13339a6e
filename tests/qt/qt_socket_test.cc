// The Qt socket over field links: dead-link detection on every connected
// socket, and connecting by host name with at most one lookup of its own.
// Dead links, single-client devices and resolvers that never answer are
// met for real in tests/system/linkfault/, inside network namespaces.

#include "platform/qt_socket.h"

#include <QTcpServer>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>


#include "platform/qt_env.h"
#include "qt/support/loopback.h"

namespace rtupoll {
namespace {

using namespace std::chrono_literals;
using testing::HangingListener;
using testing::socketOptionTowards;
using testing::waitUntil;

constexpr Nanos kPatience = 20s;

class QtSocketTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0)); }

  bool connectTo(SocketDriver& socket, const std::string& host) {
    socket.connectToHost(host, server.serverPort());
    return waitUntil(env, [&] { return socket.state() == LinkState::kConnected; }, kPatience);
  }

  int option(int level, int name) { return socketOptionTowards(server.serverPort(), level, name).value_or(-1); }

  QtEnv env;
  QTcpServer server;
};

// A dead link must stop counting as connected within 15 s while a device
// polled once a second over a slow link (400 ms) never trips it.
TEST_F(QtSocketTest, AConnectedSocketEndsALinkThatStopsCarryingPackets) {
  QtSocket socket([] {});
  ASSERT_TRUE(connectTo(socket, "127.0.0.1"));

  EXPECT_EQ(option(SOL_SOCKET, SO_KEEPALIVE), 1);
  // A request is under way within a second of the death; the kernel ends
  // the link once it has gone unacknowledged this long.
  const int user_timeout_ms = option(IPPROTO_TCP, TCP_USER_TIMEOUT);
  EXPECT_GE(user_timeout_ms, 5000) << "a slow, lossy link would be taken for dead";
  EXPECT_LE(user_timeout_ms, 12000) << "a dead link would count as connected too long";
#ifdef TCP_THIN_LINEAR_TIMEOUTS
  EXPECT_EQ(option(IPPROTO_TCP, TCP_THIN_LINEAR_TIMEOUTS), 1) << "a lossy link would back off into its user timeout";
#endif
  // A device that no read asks is probed, and found dead, as soon.
  const int idle_s = option(IPPROTO_TCP, TCP_KEEPIDLE);
  const int interval_s = option(IPPROTO_TCP, TCP_KEEPINTVL);
  const int probes = option(IPPROTO_TCP, TCP_KEEPCNT);
  EXPECT_GT(idle_s, 0);
  EXPECT_GT(interval_s, 0);
  EXPECT_GT(probes, 0);
  EXPECT_LE(idle_s + interval_s * probes, 12);
}

// Looked up in the hosts file, so the test asks no name server.
TEST_F(QtSocketTest, ANameIsLookedUpThenConnected) {
  QtSocket socket([] {});
  ASSERT_TRUE(connectTo(socket, "localhost"));
  EXPECT_EQ(option(SOL_SOCKET, SO_KEEPALIVE), 1);
}

// An attempt aborted during its lookup leaves the lookup running; the next
// attempt waits for that answer rather than starting another lookup.
TEST_F(QtSocketTest, AnAttemptAbortedDuringItsLookupLeavesNothingBehind) {
  QtSocket socket([] {});
  socket.connectToHost("localhost", server.serverPort());
  EXPECT_EQ(socket.state(), LinkState::kResolving);
  socket.abort();
  EXPECT_EQ(socket.state(), LinkState::kClosed);
  // The aborted attempt's answer connects nothing.
  waitUntil(env, [] { return false; }, 300ms);
  EXPECT_EQ(socket.state(), LinkState::kClosed);
  EXPECT_FALSE(server.hasPendingConnections());

  socket.connectToHost("localhost", server.serverPort());
  socket.abort();
  ASSERT_TRUE(connectTo(socket, "localhost"));
  ASSERT_TRUE(waitUntil(env, [&] { return server.hasPendingConnections(); }, kPatience));
  delete server.nextPendingConnection();
  EXPECT_FALSE(server.hasPendingConnections()) << "an aborted attempt connected too";
}

// The local ports of this machine's handshakes under way to the loopback
// port, from the kernel's table of TCP sockets.
std::set<unsigned> handshakePortsTowards(std::uint16_t port) {
  constexpr int kSynSent = 2;  // include/net/tcp_states.h
  std::set<unsigned> found;
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the heading
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (std::stoul(remote.substr(remote.find(':') + 1), nullptr, 16) == port && std::stoi(state, nullptr, 16) == kSynSent)
      found.insert(std::stoul(local.substr(local.find(':') + 1), nullptr, 16));
  }
  return found;
}

// A device whose path is dead drops the handshake. The socket tries again
// every second, from a new socket, so that a path that returns is used at
// once, whatever the kernel's own back-off; it stays "connecting" meanwhile.
TEST_F(QtSocketTest, AnUnansweredHandshakeIsTriedAgainEverySecond) {
  HangingListener dead;
  // The listener's own fillers may be among the handshakes; they stay out.
  const std::set<unsigned> fillers = handshakePortsTowards(dead.port());
  auto ours = [&] {
    std::set<unsigned> found;
    for (unsigned port : handshakePortsTowards(dead.port()))
      if (!fillers.contains(port)) found.insert(port);
    return found;
  };
  QtSocket socket([] {});
  socket.connectToHost("127.0.0.1", dead.port());
  std::set<unsigned> ports;
  bool always_connecting = true;
  const Nanos until = env.monotonicNow() + 2500ms;
  while (env.monotonicNow() < until) {
    always_connecting = always_connecting && socket.state() == LinkState::kConnecting;
    ports.merge(ours());
    waitUntil(env, [] { return false; }, 50ms);
  }
  EXPECT_TRUE(always_connecting);
  EXPECT_GE(ports.size(), 3u) << "one handshake at the start and one a second after each";
  socket.abort();
  EXPECT_TRUE(ours().empty()) << "an abort ends the handshake";
}

}  // namespace
}  // namespace rtupoll
