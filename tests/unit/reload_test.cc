#include "devices/reload.h"

#include <vector>

#include "env/timer_bursts.h"
#include "support/window_fixture.h"

namespace rtupoll::testing {
namespace {

class ReloadTest : public WindowFixture {
 protected:
  // Every read definition names slot 0, which no test saves, so reads never
  // start a reload of their own unless a test connects slot 0.
  void startWithSaved(std::array<bool, kSlots> saved) {
    writeSettings(saved, {{"1", "1", 0}, {"1", "1", 0}, {"1", "1", 0}, {"1", "1", 0}, {"1", "1", 0}});
    start();
  }
  void runToTick(int tick) {
    ASSERT_TRUE(env.advanceUntil([&] { return w.loadingTick == tick; }, 60s)) << "tick " << tick;
  }
  void runToEnd() { ASSERT_TRUE(env.advanceUntil([&] { return !w.tloading.enabled(); }, 60s)); }
};

TEST_F(ReloadTest, WithNoSavedSlotItClosesUnlocksAndStartsThePollClock) {
  startWithSaved({false, false, false});
  EXPECT_TRUE(w.tloading.enabled());
  for (int i = 0; i < kSlots; ++i) {
    runToTick(50 * (i + 1) - 1);
    EXPECT_EQ(status(i), "Label3");
    runToTick(50 * (i + 1));
    EXPECT_EQ(status(i), "Disconnected");
    EXPECT_EQ(statusColor(i), colors::kRed);
    EXPECT_TRUE(w.cmdConnect[static_cast<std::size_t>(i)].enabled());
  }
  runToTick(949);
  EXPECT_FALSE(w.frmDevice[0].enabled());
  EXPECT_FALSE(w.Timer3.enabled());
  EXPECT_EQ(w.bar[0].value(), 949.0f);
  runToTick(950);
  for (const Frame& f : w.frmDevice) EXPECT_TRUE(f.enabled());
  EXPECT_TRUE(w.Timer3.enabled());
  runToEnd();
  EXPECT_FALSE(w.bar[0].visible());
  EXPECT_EQ(w.bar[0].value(), 0.0f);
  EXPECT_EQ(w.loadingTick, 0);
  EXPECT_FALSE(w.Timer2.enabled());
  for (int i = 0; i < kSlots; ++i) EXPECT_EQ(env.socket(static_cast<std::size_t>(i)).connectCalls(), 0);
  // The nominal 990 ticks of 5 ms.
  EXPECT_EQ(env.monotonicNow(), 4950ms);
}

TEST_F(ReloadTest, ASavedReachableSlotReconnectsAtItsTick) {
  startWithSaved({false, true, false});
  runToTick(499);
  EXPECT_EQ(status(1), "Disconnected");
  runToTick(500);
  EXPECT_EQ(status(1), "Connected OK");
  EXPECT_EQ(statusColor(1), colors::kGreen);
  EXPECT_FALSE(w.cmdConnect[1].enabled());
  EXPECT_EQ(env.socket(1).host(), "127.0.0.1");
  EXPECT_EQ(env.socket(1).port(), port(1));
  runToEnd();
  EXPECT_FALSE(w.Timer2.enabled());
  EXPECT_FALSE(w.Label4.visible() && w.Label4.caption().starts_with("Gagal"));
}

TEST_F(ReloadTest, ASavedSlotThatStaysDownIsCountedDownAndReloaded) {
  device[2].setMode(FakeDevice::Mode::kRefuse);
  startWithSaved({false, false, true});
  runToTick(700);
  EXPECT_EQ(status(2), "Tidak bisa Connect ");
  EXPECT_EQ(statusColor(2), colors::kYellow);
  runToEnd();
  ASSERT_TRUE(w.Timer2.enabled());
  for (int n = 1; n <= 10; ++n) {
    advance(1000ms);
    EXPECT_TRUE(w.Label4.visible());
    EXPECT_EQ(w.Label4.caption(), "Gagal koneksi..." + std::to_string(n));
  }
  EXPECT_FALSE(w.tloading.enabled());
  advance(1000ms);
  EXPECT_EQ(w.Label4.caption(), "Gagal koneksi...0");
  EXPECT_FALSE(w.Timer2.enabled());
  EXPECT_TRUE(w.tloading.enabled());
  // The reload timer's first burst of ticks.
  advance(kBurstPeriod);
  EXPECT_FALSE(w.Label4.visible());
  // The second pass closes the failed socket and tries again.
  device[2].setMode(FakeDevice::Mode::kAnswer);
  runToTick(700);
  EXPECT_EQ(status(2), "Connected OK");
  runToEnd();
  EXPECT_FALSE(w.Timer2.enabled());
  EXPECT_EQ(env.socket(2).connectCalls(), 2);
}

TEST_F(ReloadTest, ASavedSlotStaysSavedWhenTheWindowClosesBeforeItsReconnectTick) {
  startWithSaved({false, false, true});
  runToTick(200);
  EXPECT_EQ(status(2), "Disconnected");
  EXPECT_FALSE(w.cmdConnect[2].enabled());
  events.unload();
  const std::string saved = folder.read("setting.ini");
  EXPECT_NE(saved.find("Scon2=False\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("Scon0=True\r\n"), std::string::npos) << saved;
}

TEST_F(ReloadTest, AnUnsavedSlotWhoseLinkDropsIsClosedNotReconnected) {
  startWithSaved({false, false, false});
  runToEnd();
  ASSERT_TRUE(w.cmdConnect[0].click());  // the operator connects slot 0
  ASSERT_EQ(status(0), "Connected OK");
  device[0].link()->closeFromPeer();
  // The next read on slot 0 finds the link gone and starts the reload.
  ASSERT_TRUE(env.advanceUntil([&] { return w.tloading.enabled(); }, 2s));
  runToTick(50);
  EXPECT_EQ(status(0), "Disconnected");
  EXPECT_TRUE(w.cmdConnect[0].enabled());
  runToEnd();
  EXPECT_EQ(env.socket(0).connectCalls(), 1);
  EXPECT_FALSE(w.Timer2.enabled());
  // With the Connect button enabled again, reads no longer start reloads.
  advance(3s);
  EXPECT_FALSE(w.tloading.enabled());
  EXPECT_EQ(status(0), "Not connected");
}

// No read asks any slot here. A link the device closes is still noticed on
// the poll clock's tick: a saved slot is connected again, one the operator
// connected is closed and left to the operator, and a Connect that was
// refused is no lost link.
TEST_F(ReloadTest, ALinkTheDeviceClosesStartsTheReloadThoughNoReadUsesIt) {
  device[2].setMode(FakeDevice::Mode::kRefuse);
  writeSettings({true, false, false}, std::vector<ReadDef>(kReadDefs, {"1", "1", -1}));
  startAndRunReload();
  ASSERT_TRUE(w.cmdConnect[1].click());
  ASSERT_TRUE(w.cmdConnect[2].click());
  advance(3s);
  EXPECT_FALSE(w.tloading.enabled());
  EXPECT_EQ(status(2), "Tidak bisa Connect ");
  device[0].link()->closeFromPeer();
  device[1].link()->closeFromPeer();
  ASSERT_TRUE(env.advanceUntil([&] { return w.tloading.enabled(); }, 1100ms));
  runToEnd();
  EXPECT_EQ(status(0), "Connected OK");
  EXPECT_EQ(env.socket(0).connectCalls(), 2);
  EXPECT_EQ(status(1), "Disconnected");
  EXPECT_TRUE(w.cmdConnect[1].enabled());
}

// The operator's DisConect keeps a saved slot off while another saved slot
// that stays down keeps the reload coming, until the operator's Connect.
TEST_F(ReloadTest, ASlotTheOperatorDisconnectedStaysDisconnected) {
  device[1].setMode(FakeDevice::Mode::kRefuse);
  writeSettings({true, true, false}, std::vector<ReadDef>(kReadDefs, {"1", "1", -1}));
  startAndRunReload();
  ASSERT_TRUE(w.cmdDisconnect[0].click());
  advance(25s);
  EXPECT_EQ(status(0), "Disconnected");
  EXPECT_EQ(env.socket(0).connectCalls(), 1);
  ASSERT_TRUE(w.cmdConnect[0].click());
  device[0].link()->closeFromPeer();
  advance(25s);
  EXPECT_EQ(status(0), "Connected OK");
  EXPECT_EQ(env.socket(0).connectCalls(), 3);
}

TEST_F(ReloadTest, AConnectedSlotIsLeftAlone) {
  startWithSaved({false, true, false});
  runToEnd();
  ASSERT_EQ(status(1), "Connected OK");
  w.tloading.setEnabled(true);
  runToEnd();
  EXPECT_EQ(status(1), "Connected OK");
  EXPECT_EQ(w.Winsock1(1).State(), SocketSlot::kConnected);
  EXPECT_EQ(env.socket(1).connectCalls(), 1);
}

TEST_F(ReloadTest, EventsGoOnInsideAConnectWaitAndTheReloadResumesInOrder) {
  // Slot 0 is saved and hangs, so every reload waits two seconds at tick
  // 300; slot 1, connected by the operator, is polled meanwhile.
  device[0].setMode(FakeDevice::Mode::kHang);
  writeSettings({true, false, false}, {{"1", "1", 1}, {"2", "1", 1}, {"3", "1", 1}, {"4", "1", 1}, {"5", "1", 1}});
  std::vector<float> bar_values;
  w.feed().setListener([&] {
    const float value = w.bar[0].value();
    if (bar_values.empty() ? value != 0 : bar_values.back() != value) bar_values.push_back(value);
  });
  std::vector<int> ticks_at_request;
  device[1].setScript([&](const Bytes& request) -> std::optional<Bytes> {
    ticks_at_request.push_back(w.loadingTick);
    return answerFrame(static_cast<std::uint16_t>(request[0] << 8 | request[1]), {static_cast<std::uint16_t>(request[9])});
  });
  start();
  runToEnd();  // first pass: panels and poll clock on at 950, countdown at 990
  ASSERT_TRUE(w.Timer2.enabled());
  ASSERT_TRUE(w.cmdConnect[1].click());
  ASSERT_TRUE(env.advanceUntil([&] { return w.tloading.enabled(); }, 12s));
  bar_values.clear();
  ticks_at_request.clear();
  runToEnd();

  // Polls were handled while the reload stood at tick 300, answers decoded
  // and the step timer ran, all inside the connect wait.
  EXPECT_GE(std::count(ticks_at_request.begin(), ticks_at_request.end(), 300), 5);
  EXPECT_EQ(cell(1, 2), "0");
  EXPECT_EQ(cell(1, 10), "4");
  // Every tick from 1 to 990 was acted on once, in order.
  ASSERT_EQ(bar_values.size(), 991u);
  for (int i = 0; i < 990; ++i) EXPECT_EQ(bar_values[static_cast<std::size_t>(i)], static_cast<float>(i + 1));
  EXPECT_EQ(bar_values.back(), 0.0f);
  EXPECT_EQ(env.socket(0).connectCalls(), 2);
  w.feed().setListener(nullptr);
}

}  // namespace
}  // namespace rtupoll::testing
