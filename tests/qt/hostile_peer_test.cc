// The polling engine on the real event loop and real loopback sockets
// against devices that answer badly (the case table,
// support/hostile_cases.h): the cases that need a real kernel (a close in
// mid-frame, a reset, a flood of 16 MiB) against the scripted peer, and
// every case against rtu-sim, which answers all of them well. The other
// cases run on virtual time in tests/unit/hostile_answer_test.cc.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "app/window_events.h"
#include "qt/support/folder_env.h"
#include "qt/support/scripted_peer.h"
#include "qt/support/simulator.h"
#include "support/hostile_window.h"
#include "window/option_ip.h"

namespace rtupoll::testing {
namespace {

using namespace std::chrono_literals;

// Far beyond what handling any of these answers takes: a window that stops
// taking events for this long has hung, as the operator sees it.
constexpr Nanos kHang = 2s;

enum class Peer { kScripted, kRtuSim };

void PrintTo(Peer peer, std::ostream* os) { *os << (peer == Peer::kScripted ? "scripted peer" : "rtu-sim"); }

// rtu-sim's first device holds its own address in every register from 10 on.
std::uint16_t rtuSimValueAt(std::uint16_t address) { return address; }

// The longest time the event loop went without coming round to a timer of
// its own, from the moment it is started: a handler that keeps the window
// from taking events shows here.
class StallMeter {
 public:
  explicit StallMeter(Env& env) : env_(env) {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { tick(); });
  }
  void start() {
    last_ = env_.monotonicNow();
    timer_.start(10ms);
  }
  Nanos longest() {
    tick();
    return longest_;
  }

 private:
  void tick() {
    const Nanos now = env_.monotonicNow();
    longest_ = std::max(longest_, now - last_);
    last_ = now;
  }

  Env& env_;
  QTimer timer_;
  Nanos last_{0};
  Nanos longest_{0};
};

// A window on the real Qt event loop in a temporary program folder.
class HostileFixture {
 protected:
  HostileFixture() : env(folder.path().toStdString()), w(env), stalls(env) {}

  std::string dataCsv() const {
    std::ifstream in(folder.filePath("data.csv").toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  QTemporaryDir folder;
  FolderEnv env;
  OptionIP w;
  WindowEvents events{w};
  StallMeter stalls;
  HostileWindow window{w, [this] { return dataCsv(); }};
};

class HostileAnswer : public HostileFixture, public ::testing::TestWithParam<std::tuple<Peer, HostileCase>> {};

TEST_P(HostileAnswer, NeverShowsAWrongValueAndTheNextAnswersDecode) {
  const auto& [peer_kind, c] = GetParam();
  std::optional<ScriptedPeer> scripted;
  std::optional<Simulator> simulator;
  std::uint16_t port = 0;
  if (peer_kind == Peer::kScripted) {
    port = scripted.emplace().port();
  } else {
    const auto ports = simulator.emplace(QStringList{"--port", "0", "--seconds", "60"}).waitForPorts(1);
    ASSERT_EQ(ports.size(), 1u) << "rtu-sim did not start";
    port = ports[0];
  }
  stalls.start();
  if (scripted)
    window.run(c, port, &*scripted, &scriptedValueAt);
  else
    window.run(c, port, nullptr, &rtuSimValueAt);
  EXPECT_LT(stalls.longest(), kHang);
}

std::vector<std::tuple<Peer, HostileCase>> casesOnRealSockets() {
  std::vector<std::tuple<Peer, HostileCase>> cases;
  for (const HostileCase& c : kHostileCases)
    if (needsRealSockets(c)) cases.emplace_back(Peer::kScripted, c);
  for (const HostileCase& c : kHostileCases) cases.emplace_back(Peer::kRtuSim, c);
  return cases;
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<Peer, HostileCase>>& info) {
  const auto& [peer, c] = info.param;
  return std::string(peer == Peer::kScripted ? "Scripted" : "RtuSim") + "_" + c.name;
}

INSTANTIATE_TEST_SUITE_P(HostilePeer, HostileAnswer, ::testing::ValuesIn(casesOnRealSockets()), caseName);

}  // namespace
}  // namespace rtupoll::testing
