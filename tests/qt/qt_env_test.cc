// The Qt runtime over real timers and loopback sockets.

#include "platform/qt_env.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "qt/support/loopback.h"

namespace rtupoll {
namespace {

using namespace std::chrono_literals;
using testing::HangingListener;
using testing::RefusingPort;
using testing::socketOptionTowards;
using testing::waitUntil;

// Generous: a slow machine only makes a wait longer, never a test fail.
constexpr Nanos kPatience = 20s;

class QtEnvTest : public ::testing::Test {
 protected:
  QtEnv env;
};

TEST_F(QtEnvTest, TimerTicksNeverNestButOtherTimersTickInside) {
  int outer_ticks = 0;
  int ticks_inside_outer = 0;
  int other_ticks = 0;
  int other_ticks_inside = 0;
  bool inside = false;
  std::unique_ptr<TimerDriver> outer;
  outer = env.createTimer([&] {
    ++outer_ticks;
    if (inside) {
      ++ticks_inside_outer;
      return;
    }
    if (outer_ticks > 1) return;
    inside = true;
    const int before = other_ticks;
    const Nanos deadline = env.monotonicNow() + 50ms;
    while (env.monotonicNow() < deadline) env.waitForEvents(deadline);
    other_ticks_inside = other_ticks - before;
    inside = false;
  });
  auto other = env.createTimer([&] { ++other_ticks; });
  outer->start(5ms);
  other->start(5ms);

  // The outer timer keeps ticking after its long tick.
  ASSERT_TRUE(waitUntil(env, [&] { return outer_ticks >= 3; }, kPatience));
  outer->stop();
  other->stop();
  EXPECT_EQ(ticks_inside_outer, 0);
  EXPECT_GE(other_ticks_inside, 1);
}

TEST_F(QtEnvTest, RestartedTimerTicksOneIntervalAfterTheRestart) {
  const Nanos begin = env.monotonicNow();
  Nanos first_tick{-1};
  auto timer = env.createTimer([&] {
    if (first_tick < Nanos(0)) first_tick = env.monotonicNow() - begin;
  });
  timer->start(300ms);
  const Nanos restart_at = env.monotonicNow() + 150ms;
  while (env.monotonicNow() < restart_at) env.waitForEvents(restart_at);
  ASSERT_LT(first_tick, Nanos(0)) << "the machine stalled for more than 150 ms";
  timer->start(300ms);
  ASSERT_TRUE(waitUntil(env, [&] { return first_tick >= Nanos(0); }, kPatience));
  EXPECT_GE(first_tick, 450ms);

  // A stopped timer stays silent.
  timer->stop();
  const Nanos seen = first_tick;
  int ticks_after_stop = 0;
  auto counter = env.createTimer([&] { ++ticks_after_stop; });
  counter->start(1ms);
  counter->stop();
  waitUntil(env, [] { return false; }, 400ms);
  EXPECT_EQ(first_tick, seen);
  EXPECT_EQ(ticks_after_stop, 0);
}

// While a tick waits (a connect wait inside a reload tick), its own timer
// must not wake the wait 200 times a second only to be told to wait on.
TEST_F(QtEnvTest, AWaitInsideATickIsNotWokenByItsOwnTimer) {
  int wakes_inside = 0;
  int ticks = 0;
  auto timer = env.createTimer([&] {
    if (++ticks > 1) return;
    const Nanos deadline = env.monotonicNow() + 200ms;
    while (env.monotonicNow() < deadline) {
      env.waitForEvents(deadline);
      ++wakes_inside;
    }
  });
  timer->start(5ms);
  ASSERT_TRUE(waitUntil(env, [&] { return ticks >= 2; }, kPatience));
  // The first expiry inside the wait may wake it once; 40 would come due.
  EXPECT_LE(wakes_inside, 3);
}

// A timer faster than the step timer wakes the program once a burst: the
// ticks due by then come one after another, each once, never early.
TEST_F(QtEnvTest, AFastTimerTicksInBurstsAndNeverEarly) {
  const Nanos begin = env.monotonicNow();
  std::vector<Nanos> ticks;
  auto timer = env.createTimer([&] { ticks.push_back(env.monotonicNow() - begin); });
  timer->start(5ms);
  ASSERT_TRUE(waitUntil(env, [&] { return ticks.size() >= 50; }, kPatience));
  timer->stop();
  int wakeups = 1;
  for (std::size_t k = 1; k <= ticks.size(); ++k) {
    EXPECT_GE(ticks[k - 1], 5ms * static_cast<int>(k)) << "tick " << k << " came early";
    if (k > 1 && ticks[k - 1] - ticks[k - 2] > 3ms) ++wakeups;
  }
  // Five ticks a wake-up; a machine that stalls inside a burst may split
  // one now and then, never most of them.
  EXPECT_LE(wakeups, static_cast<int>(ticks.size()) / 2);
}

// A tick that came due while the loop was busy elsewhere, and was not yet
// delivered, belongs to the old setting: a stop or a restart drops it.
TEST_F(QtEnvTest, TickDueButUndeliveredIsDroppedByStopAndRestart) {
  int stopped_ticks = 0;
  int restarted_ticks = 0;
  auto stopped = env.createTimer([&] { ++stopped_ticks; });
  auto restarted = env.createTimer([&] { ++restarted_ticks; });
  stopped->start(10ms);
  restarted->start(10ms);
  std::this_thread::sleep_for(30ms);  // both came due; nothing delivered them
  stopped->stop();
  restarted->start(1h);
  waitUntil(env, [] { return false; }, 100ms);
  EXPECT_EQ(stopped_ticks, 0);
  EXPECT_EQ(restarted_ticks, 0);

  // Ticks missed while the loop was blocked fold into one, as with QTimer.
  restarted->start(10ms);
  std::this_thread::sleep_for(50ms);
  env.waitForEvents(env.monotonicNow());
  EXPECT_EQ(restarted_ticks, 1);
}

TEST_F(QtEnvTest, WaitEndsAtTheDeadlineWithoutSpinning) {
  // A connect that never completes: nothing at all happens during the wait.
  HangingListener listener;
  auto socket = env.createSocket([] {});
  socket->connectToHost("127.0.0.1", listener.port());

  const Nanos begin = env.monotonicNow();
  const Nanos deadline = begin + 300ms;
  int passes = 0;
  while (env.monotonicNow() < deadline) {
    env.waitForEvents(deadline);
    ++passes;
  }
  EXPECT_EQ(socket->state(), LinkState::kConnecting);
  // A spinning wait would make thousands of passes; a blocking one makes
  // one, and a few more only if something stray wakes it.
  EXPECT_LE(passes, 5);

  // A deadline already passed handles what is pending and returns.
  const Nanos before = env.monotonicNow();
  env.waitForEvents(before - 1s);
  EXPECT_LT(env.monotonicNow() - before, 1s);
}

TEST_F(QtEnvTest, WaitReturnsSoonAfterAConnectCompletes) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  auto socket = env.createSocket([] {});
  EXPECT_EQ(socket->state(), LinkState::kClosed);
  const Nanos begin = env.monotonicNow();
  socket->connectToHost("127.0.0.1", server.serverPort());
  ASSERT_TRUE(waitUntil(env, [&] { return socket->state() == LinkState::kConnected; }, kPatience));
  // Well before the deadline: the completed connect itself woke the wait.
  EXPECT_LT(env.monotonicNow() - begin, kPatience / 2);
}

TEST_F(QtEnvTest, PeerCloseStaysVisibleUntilAbort) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  auto socket = env.createSocket([] {});
  socket->connectToHost("127.0.0.1", server.serverPort());
  ASSERT_TRUE(waitUntil(env, [&] { return server.hasPendingConnections(); }, kPatience));
  std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
  ASSERT_TRUE(waitUntil(env, [&] { return socket->state() == LinkState::kConnected; }, kPatience));

  peer->close();
  ASSERT_TRUE(waitUntil(env, [&] { return socket->state() != LinkState::kConnected; }, kPatience));
  // The link may pass through closing before it settles.
  waitUntil(env, [&] { return socket->state() == LinkState::kPeerClosed; }, kPatience);
  EXPECT_EQ(socket->state(), LinkState::kPeerClosed);
  waitUntil(env, [] { return false; }, 100ms);
  EXPECT_EQ(socket->state(), LinkState::kPeerClosed);
  const std::uint8_t byte = 1;
  EXPECT_FALSE(socket->write({&byte, 1}));

  socket->abort();
  EXPECT_EQ(socket->state(), LinkState::kClosed);
}

TEST_F(QtEnvTest, RefusedConnectFailsUntilAbortThenTheSocketConnectsAgain) {
  RefusingPort refusing;
  auto socket = env.createSocket([] {});
  socket->connectToHost("127.0.0.1", refusing.port());
  ASSERT_TRUE(waitUntil(env, [&] { return socket->state() == LinkState::kFailed; }, kPatience));
  waitUntil(env, [] { return false; }, 100ms);
  EXPECT_EQ(socket->state(), LinkState::kFailed);
  socket->abort();
  EXPECT_EQ(socket->state(), LinkState::kClosed);

  // An earlier failure does not stick to a new attempt.
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  socket->connectToHost("127.0.0.1", server.serverPort());
  EXPECT_NE(socket->state(), LinkState::kFailed);
  ASSERT_TRUE(waitUntil(env, [&] { return socket->state() == LinkState::kConnected; }, kPatience));

  // Aborting a live link closes it at once, with no failure left over.
  socket->abort();
  EXPECT_EQ(socket->state(), LinkState::kClosed);
}

TEST_F(QtEnvTest, BytesGoOutWholeAndComeBackWithAnArrivalEvent) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  int arrivals = 0;
  auto socket = env.createSocket([&] { ++arrivals; });
  const std::vector<std::uint8_t> request = {0x00, 0x07, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
  EXPECT_FALSE(socket->write(request)) << "a closed socket took bytes";

  socket->connectToHost("127.0.0.1", server.serverPort());
  ASSERT_TRUE(waitUntil(env, [&] { return server.hasPendingConnections(); }, kPatience));
  std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
  ASSERT_TRUE(waitUntil(env, [&] { return socket->state() == LinkState::kConnected; }, kPatience));

  // Requests are small and the device waits for all of them.
  EXPECT_NE(socketOptionTowards(server.serverPort(), IPPROTO_TCP, TCP_NODELAY).value_or(0), 0);

  ASSERT_TRUE(socket->write(request));
  ASSERT_TRUE(waitUntil(env, [&] { return peer->bytesAvailable() >= 12; }, kPatience));
  const QByteArray got = peer->readAll();
  EXPECT_EQ(got, QByteArray(reinterpret_cast<const char*>(request.data()), 12));

  const QByteArray answer("\x00\x07\x00\x00\x00\x05\x01\x03\x02\x01\x2C", 11);
  peer->write(answer);
  ASSERT_TRUE(waitUntil(env, [&] { return socket->bytesAvailable() >= 11; }, kPatience));
  EXPECT_GE(arrivals, 1);
  std::vector<std::uint8_t> buffer(4);
  ASSERT_EQ(socket->read(buffer), 4u);
  std::vector<std::uint8_t> rest(64);
  ASSERT_EQ(socket->read(rest), 7u);
  EXPECT_EQ(socket->bytesAvailable(), 0u);
  buffer.insert(buffer.end(), rest.begin(), rest.begin() + 7);
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buffer.data()), 11), answer);
  EXPECT_EQ(socket->read(rest), 0u);
}

TEST_F(QtEnvTest, ProgramFolderIsTheExecutablesFolder) {
  const std::filesystem::path exe = std::filesystem::canonical("/proc/self/exe");
  EXPECT_EQ(env.programFolder(), exe.parent_path().string());
  const char point = env.decimalSeparator();
  EXPECT_TRUE(point == '.' || point == ',') << point;
}

}  // namespace
}  // namespace rtupoll
