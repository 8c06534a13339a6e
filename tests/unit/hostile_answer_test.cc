// The polling engine on virtual time against a device that answers badly:
// split, coalesced, over-long, lying or foreign answers, junk, exceptions,
// late answers and silence (the case table, support/hostile_cases.h). The
// cases that need a real kernel, and every case against rtu-sim, run on
// real sockets in tests/qt/hostile_peer_test.cc.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/window_events.h"
#include "support/hostile_window.h"
#include "support/scripted_device.h"
#include "support/virtual_folder.h"

namespace rtupoll::testing {
namespace {

constexpr std::uint16_t kPort = 15020;
// Far beyond what handling any of these answers takes: a window that stops
// taking events for this long has hung, as the operator sees it. Virtual
// time stands still while a handler runs, so the real time is measured.
constexpr auto kHang = std::chrono::seconds(2);

// Slot 0 of a window on virtual time, and the scripted device it talks to.
class HostileOnVirtualTime : public ::testing::Test {
 protected:
  HostileOnVirtualTime() { env.listen("127.0.0.1", kPort, &device); }

  VirtualEnv env;
  VirtualFolder folder{env};
  ScriptedDevice device{env};
  OptionIP w{env};
  WindowEvents events{w};
  HostileWindow window{w, [this] { return folder.read("data.csv"); }};
};

class HostileAnswer : public HostileOnVirtualTime, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileAnswer, NeverShowsAWrongValueAndTheNextAnswersDecode) {
  const auto began = std::chrono::steady_clock::now();
  window.run(GetParam(), kPort, &device, &scriptedValueAt);
  EXPECT_LT(std::chrono::steady_clock::now() - began, kHang);
}

std::vector<HostileCase> casesOnVirtualTime() {
  std::vector<HostileCase> cases;
  for (const HostileCase& c : kHostileCases)
    if (!needsRealSockets(c)) cases.push_back(c);
  return cases;
}

INSTANTIATE_TEST_SUITE_P(HostilePeer, HostileAnswer, ::testing::ValuesIn(casesOnVirtualTime()),
                         [](const auto& info) { return std::string(info.param.name); });

class HostilePollClock : public HostileOnVirtualTime {};

// The poll clock, not a step of the test's own, overtakes a request the
// device answers only after the next one has gone out; the tick's data.csv
// line never shows the late answer either.
TEST_F(HostilePollClock, ALateAnswerNeverLandsInTheColumnOfTheNextRead) {
  using P = HostileWindow;
  window.setRead(0, faultAddress(PeerFault::kLate));
  window.setPlainReads();
  ASSERT_NO_FATAL_FAILURE(window.connectTo(kPort, &scriptedValueAt));

  w.Timer3.setEnabled(true);
  // Tick 1 sends read 0, which the device holds back; tick 2 overtakes it,
  // and the rest of the cycle follows 10 ms apart.
  ASSERT_TRUE(window.waitFor([&] { return device.requests().size() >= kReadDefs && window.cycleEnded(); }));
  window.expectCells(0, "???");  // overtaken: unknown, and its late answer discarded
  for (int r = 1; r < kReadDefs; ++r) window.expectValues(r, P::kPlainAddresses[static_cast<std::size_t>(r)]);
  // Tick 3 starts the next cycle and logs the table as the last one left it.
  // The device hears of a request only after the tick that sent it, which
  // has also written its line.
  ASSERT_TRUE(window.waitFor([&] { return device.requests().size() > kReadDefs; }));
  w.Timer3.setEnabled(false);
  window.expectDataCsvMatchesTheTable();
  EXPECT_TRUE(window.wrongValuesShown().empty())
      << "wrong values shown: " << ::testing::PrintToString(window.wrongValuesShown());
  EXPECT_EQ(device.requests()[0].address, faultAddress(PeerFault::kLate));
  EXPECT_EQ(device.requests()[1].address, P::kPlainAddresses[1]);
  // The late answer shows on the label as bytes nobody asked for, and
  // changes nothing else the operator sees.
  EXPECT_EQ(window.captionsShown(),
            (std::vector<std::string>{"Connected OK", "Transmit", "Transmit..............", "Data Loss", "Received",
                                      "Transmit", "Received", "Transmit", "Received", "Transmit", "Received",
                                      "Transmit"}));
  EXPECT_EQ(window.colorShownWith("Data Loss"), colors::kYellow);
}

}  // namespace
}  // namespace rtupoll::testing
