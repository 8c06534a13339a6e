// The Qt socket over field links: dead-link detection on every connected
// socket, and connecting by host name with at most one lookup of its own.
// Dead links, single-client devices and resolvers that never answer are
// met for real in tests/linkfault/, inside network namespaces.

#include "runtime/qt_socket.h"

#include <QTcpServer>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>


#include "qt/support/loopback.h"
#include "runtime/qt_env.h"

namespace rtupoll {
namespace {

using namespace std::chrono_literals;
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

}  // namespace
}  // namespace rtupoll
