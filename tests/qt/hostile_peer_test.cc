// The polling engine on the real event loop against devices that answer
// badly: split, coalesced, over-long, lying or foreign answers, exceptions,
// late answers, silence, a close in mid-frame and a reset. Whatever the
// device does, no value reaches the table or data.csv that the device does
// not hold at that register, the status label tells what happened (bytes
// nobody asked for included), and the answers that follow are decoded. The same cases run against rtu-sim,
// which answers all of them well.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <array>
#include <functional>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "app/window_events.h"
#include "datalog/data_log.h"
#include "devices/connect.h"
#include "polling/poll_cycle.h"
#include "qt/support/folder_env.h"
#include "qt/support/loopback.h"
#include "qt/support/scripted_peer.h"
#include "qt/support/simulator.h"
#include "window/option_ip.h"

namespace rtupoll::testing {
namespace {

using namespace std::chrono_literals;

// For what must come; a slow machine only makes the wait longer.
constexpr Nanos kPatience = 20s;
// For what must not come: the peer has sent everything it meant to.
constexpr Nanos kQuiet = 150ms;
// Far beyond what handling any of these answers takes: a window that stops
// taking events for this long has hung, as the operator sees it.
constexpr Nanos kHang = 2s;

constexpr int kCount = 3;  // registers per read definition
// Starting addresses (on the wire) of read definitions 1 to 4 and of the
// address read definition 0 takes after a lost link; plain reads for both peers.
constexpr std::array<std::uint16_t, kReadDefs> kPlainAddresses = {500, 100, 200, 300, 400};

// What read definition 0 comes to, at the scripted peer.
enum class Outcome {
  kDecoded,   // its values, "Received" on green
  kRejected,  // "???", the case's caption on yellow
  kIgnored,   // nothing at all until the poll clock moves on
  kLinkLost,  // nothing, then the link is down: the next read finds it "Not connected"
};

// When an answer nobody asked for shows as "Data Loss" on slot 0, beside
// read definition 0's own outcome.
enum class Unasked {
  kNone,
  kBefore,          // before read definition 0's answer
  kAfter,           // right after it
  kWhileWaiting,    // while read definition 0 waits in vain
  kAfterOvertaken,  // after the poll moved on, before read definition 1's answer
};

struct HostileCase {
  const char* name;
  std::uint16_t address;  // read definition 0's starting address on the wire
  Outcome outcome;
  const char* caption = "";  // for kRejected
  std::uint16_t first_transaction_id = 0;
  Unasked unasked = Unasked::kNone;
};

const HostileCase kCases[] = {
    {"PlainAnswer", 50, Outcome::kDecoded},
    {"SplitByteByByte", faultAddress(PeerFault::kByteByByte), Outcome::kDecoded},
    {"CoalescedWithACopyForTheNextId", faultAddress(PeerFault::kWithNextCopy), Outcome::kDecoded, "", 0, Unasked::kAfter},
    {"CoalescedWithAForeignAnswer", faultAddress(PeerFault::kWithForeignAnswer), Outcome::kDecoded, "", 0,
     Unasked::kAfter},
    {"BehindAFloodOfForeignAnswers", faultAddress(PeerFault::kFlood), Outcome::kDecoded, "", 0, Unasked::kBefore},
    {"JunkBehindAGoodAnswer", faultAddress(PeerFault::kJunkBehind), Outcome::kDecoded},
    {"LengthField254WholeFrame", faultAddress(PeerFault::kLength254), Outcome::kRejected, "Data Loss"},
    {"LengthFieldBeyond254", faultAddress(PeerFault::kBeyond254), Outcome::kRejected, "Data Loss"},
    {"Exception1", exceptionAddress(1), Outcome::kRejected, "Exception 1"},
    {"Exception2", exceptionAddress(2), Outcome::kRejected, "Exception 2"},
    {"Exception3", exceptionAddress(3), Outcome::kRejected, "Exception 3"},
    {"Exception4", exceptionAddress(4), Outcome::kRejected, "Exception 4"},
    {"Exception10", exceptionAddress(0x0A), Outcome::kRejected, "Exception 10"},
    {"Exception11", exceptionAddress(0x0B), Outcome::kRejected, "Exception 11"},
    {"UnknownExceptionCode", exceptionAddress(0x99), Outcome::kRejected, "Exception 153"},
    {"ExceptionOfAnotherFunction", faultAddress(PeerFault::kForeignException), Outcome::kRejected, "Data Loss"},
    {"WrongFunctionCode", faultAddress(PeerFault::kWrongFunction), Outcome::kRejected, "Data Loss"},
    {"WrongByteCount", faultAddress(PeerFault::kWrongByteCount), Outcome::kRejected, "Data Loss"},
    {"ForeignTransactionId", faultAddress(PeerFault::kForeignId), Outcome::kIgnored, "", 0, Unasked::kWhileWaiting},
    {"ProtocolIdNotZero", faultAddress(PeerFault::kProtocolId), Outcome::kRejected, "Data Loss"},
    {"LengthFieldZero", faultAddress(PeerFault::kLengthZero), Outcome::kRejected, "Data Loss"},
    {"LengthField2000", faultAddress(PeerFault::kLength2000), Outcome::kRejected, "Data Loss"},
    {"LateAnswerAfterThePollMovedOn", faultAddress(PeerFault::kLate), Outcome::kIgnored, "", 0,
     Unasked::kAfterOvertaken},
    {"HeaderThenSilence", faultAddress(PeerFault::kHeaderThenSilence), Outcome::kIgnored},
    {"NoAnswer", faultAddress(PeerFault::kSilent), Outcome::kIgnored},
    {"ClosedInMidFrame", faultAddress(PeerFault::kCloseMidFrame), Outcome::kLinkLost},
    {"Reset", faultAddress(PeerFault::kReset), Outcome::kLinkLost},
    {"TransactionIdsAcrossTheWrap", 60, Outcome::kDecoded, "", 0xFFFE},
    {"CopyForTheNextIdAcrossTheWrap", faultAddress(PeerFault::kWithNextCopy), Outcome::kDecoded, "", 0xFFFF,
     Unasked::kAfter},
};

enum class Peer { kScripted, kRtuSim };

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }
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

// The status label of slot 0 as the operator saw it change: one entry per
// caption, with the colour it had when the caption changed again.
struct Shown {
  std::string caption;
  Color color;
};

// A window on the real Qt event loop in a temporary program folder, with
// slot 0 connected to one device and every read definition on slot 0.
class HostileFixture {
 protected:
  using ValueAt = std::uint16_t (*)(std::uint16_t);

  HostileFixture() : env(folder.path().toStdString()), w(env), stalls(env) {
    w.tabel.setRows(30);
    w.tabel.setCols(30);
    // Every change of the window passes here: the table is checked at each
    // one, so a wrong value is caught even if a later write hides it.
    w.feed().setListener([this] { observe(); });
  }

  void setRead(int r, std::uint16_t address) {
    const auto k = static_cast<std::size_t>(r);
    allowed[k].push_back(address);
    w.LstIP[k].setListIndex(0);
    w.strReg[k].setText(std::to_string(address + 1));  // counted from 1 on screen
    w.LegReg[k].setText(std::to_string(kCount));
  }

  void connectTo(std::uint16_t port, ValueAt value_at) {
    valueAt = value_at;
    w.txtIP[0].setText("127.0.0.1");
    w.txtPort[0].setText(std::to_string(port));
    connectSlot(w, 0);
    ASSERT_EQ(w.lblStatus[0].caption(), "Connected OK");
    shown = {{w.lblStatus[0].caption(), w.lblStatus[0].backColor()}};
    stalls.start();
    // As start-up leaves it, so that the first step polls read definition 0.
    w.currentRow = kLastReadDef;
  }

  bool waitFor(const std::function<bool()>& done, Nanos timeout = kPatience) { return waitUntil(env, done, timeout); }
  void letEventsRun(Nanos span) { waitFor([] { return false; }, span); }
  bool cycleEnded() const {
    return w.currentRow == kLastReadDef && !w.Timer4.enabled() &&
           w.strReg[kLastReadDef].backColor() == colors::kWindowBackground;
  }

  std::string cell(int row, int r) const { return w.tabel.text(row, (r + 1) * 2); }
  void expectValues(int r, std::uint16_t address) const {
    for (int k = 0; k < kCount; ++k)
      EXPECT_EQ(cell(k + 1, r), std::to_string(valueAt(static_cast<std::uint16_t>(address + k))))
          << "read definition " << r << ", register " << k + 1;
  }
  void expectCells(int r, const std::string& text) const {
    for (int k = 1; k <= kCount; ++k) EXPECT_EQ(cell(k, r), text) << "read definition " << r << ", row " << k;
  }

  // A value cell holds nothing, "???", or what the device holds at the
  // register of its row for one of the addresses its read definition had.
  bool plausible(int row, int col, const std::string& text) const {
    if (text.empty()) return true;
    if (col < 2 || col > 2 * kReadDefs || col % 2 != 0 || row < 1 || row > kCount) return false;
    if (text == "???") return true;
    for (const std::uint16_t address : allowed[static_cast<std::size_t>(col / 2 - 1)])
      if (text == std::to_string(valueAt(static_cast<std::uint16_t>(address + row - 1)))) return true;
    return false;
  }

  void observe() {
    for (int row = 0; row < w.tabel.rows(); ++row)
      for (int col = 0; col < w.tabel.cols(); ++col) {
        const std::string text = w.tabel.text(row, col);
        if (!plausible(row, col, text))
          wrong.push_back("(" + std::to_string(row) + "," + std::to_string(col) + ") " + text);
      }
    const Label& status = w.lblStatus[0];
    if (!shown.empty() && shown.back().caption == status.caption())
      shown.back().color = status.backColor();
    else
      shown.push_back({status.caption(), status.backColor()});
  }

  std::vector<std::string> captionsShown() const {
    std::vector<std::string> captions;
    for (const Shown& s : shown) captions.push_back(s.caption);
    return captions;
  }
  // The colour the caption had when it first was shown and then changed.
  std::optional<Color> colorShownWith(const std::string& caption) const {
    for (const Shown& s : shown)
      if (s.caption == caption) return s.color;
    return std::nullopt;
  }

  // data.csv after a write: one line, row 1 of the table, every value in it plausible.
  void expectDataCsvMatchesTheTable() {
    std::ifstream in(folder.filePath("data.csv").toStdString(), std::ios::binary);
    const std::string csv{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string line;
    for (int c = 1; c <= 2 * kReadDefs; ++c) {
      line += "," + w.tabel.text(1, c);
      EXPECT_TRUE(plausible(1, c, w.tabel.text(1, c)));
    }
    EXPECT_EQ(csv, line + "\r\n");
  }

  QTemporaryDir folder;
  FolderEnv env;
  OptionIP w;
  WindowEvents events{w};
  StallMeter stalls;
  ValueAt valueAt = &ScriptedPeer::valueAt;
  std::array<std::vector<std::uint16_t>, kReadDefs> allowed;
  std::vector<std::string> wrong;  // every implausible cell ever seen
  std::vector<Shown> shown;
};

class HostileAnswer : public HostileFixture, public ::testing::TestWithParam<std::tuple<Peer, HostileCase>> {};

TEST_P(HostileAnswer, NeverShowsAWrongValueAndTheNextAnswersDecode) {
  const auto& [peer_kind, c] = GetParam();
  // rtu-sim answers every one of these reads well.
  const Outcome outcome = peer_kind == Peer::kScripted ? c.outcome : Outcome::kDecoded;
  const Unasked unasked = peer_kind == Peer::kScripted ? c.unasked : Unasked::kNone;
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

  setRead(0, c.address);
  for (int r = 1; r < kReadDefs; ++r) setRead(r, kPlainAddresses[static_cast<std::size_t>(r)]);
  w.poll.nextTransactionId = c.first_transaction_id;
  ASSERT_NO_FATAL_FAILURE(connectTo(port, peer_kind == Peer::kScripted ? &ScriptedPeer::valueAt : &rtuSimValueAt));

  std::vector<std::string> expected = {"Connected OK", "Transmit"};
  pollStep(w);
  switch (outcome) {
    case Outcome::kDecoded:
    case Outcome::kRejected:
      ASSERT_TRUE(waitFor([&] { return cycleEnded(); }));
      if (outcome == Outcome::kDecoded) {
        expectValues(0, c.address);
        if (unasked == Unasked::kBefore) expected.push_back("Data Loss");
        expected.push_back("Received");
        if (unasked == Unasked::kAfter) expected.push_back("Data Loss");
      } else {
        expectCells(0, "???");
        expected.push_back(c.caption);
        EXPECT_EQ(colorShownWith(c.caption), colors::kYellow);
      }
      break;

    case Outcome::kIgnored:
      ASSERT_TRUE(waitFor([&] { return !scripted->requests().empty() && scripted->doneSending(); }));
      letEventsRun(kQuiet);
      if (unasked == Unasked::kWhileWaiting) {
        EXPECT_EQ(w.lblStatus[0].caption(), "Data Loss");
        EXPECT_EQ(w.lblStatus[0].backColor(), colors::kYellow);
        expected.push_back("Data Loss");
      } else {
        EXPECT_EQ(w.lblStatus[0].caption(), "Transmit");
      }
      EXPECT_EQ(w.currentRow, 0);
      EXPECT_FALSE(w.Timer4.enabled()) << "the poll moved on without an answer";
      expectCells(0, "");
      // The poll clock overtakes the request, which leaves its values
      // unknown; a late answer to it now comes just before the answer to
      // the next one, and is discarded, as bytes nobody asked for.
      pollStep(w);
      expectCells(0, "???");
      ASSERT_TRUE(waitFor([&] { return cycleEnded(); }));
      expectCells(0, "???");
      break;

    case Outcome::kLinkLost:
      ASSERT_TRUE(waitFor([&] { return w.Winsock1(0).State() != SocketSlot::kConnected; }));
      letEventsRun(kQuiet);
      EXPECT_EQ(w.lblStatus[0].caption(), "Transmit");
      expectCells(0, "");
      pollStep(w);
      ASSERT_TRUE(waitFor([&] { return cycleEnded(); }));
      EXPECT_EQ(w.lblStatus[0].caption(), "Not connected");
      for (int r = 1; r < kReadDefs; ++r) expectCells(r, "???");
      // The slot was asked to be connected, so its loss starts the reload,
      // whose tick 50 closes the dead link; then the operator connects again.
      EXPECT_TRUE(w.tloading.enabled());
      ASSERT_TRUE(waitFor([&] { return w.loadingTick > 50; }));
      EXPECT_EQ(w.Winsock1(0).State(), SocketSlot::kClosed);
      connectSlot(w, 0);
      ASSERT_EQ(w.lblStatus[0].caption(), "Connected OK");
      setRead(0, kPlainAddresses[0]);
      pollStep(w);
      ASSERT_TRUE(waitFor([&] { return cycleEnded(); }));
      expectValues(0, kPlainAddresses[0]);
      expected.insert(expected.end(), {"Not connected", "Disconnected", "Connected OK", "Transmit", "Received"});
      EXPECT_EQ(colorShownWith("Disconnected"), colors::kRed);
      break;
  }
  for (int r = 1; r < kReadDefs; ++r) {
    expectValues(r, kPlainAddresses[static_cast<std::size_t>(r)]);
    // A request sent while the one before it is still unanswered shows the
    // longer of the two captions, unless something else came meanwhile.
    const bool unanswered = r == 1 && outcome == Outcome::kIgnored && unasked != Unasked::kWhileWaiting;
    expected.push_back(unanswered ? "Transmit.............." : "Transmit");
    if (r == 1 && unasked == Unasked::kAfterOvertaken) expected.push_back("Data Loss");
    expected.push_back("Received");
  }
  EXPECT_EQ(captionsShown(), expected);
  EXPECT_EQ(w.lblStatus[0].backColor(), colors::kGreen);
  EXPECT_TRUE(wrong.empty()) << "wrong values shown: " << ::testing::PrintToString(wrong);
  EXPECT_LT(stalls.longest(), kHang);

  print_click(w);
  expectDataCsvMatchesTheTable();

  if (scripted) {
    // One transaction identifier more for every request, across the wrap.
    const auto& requests = scripted->requests();
    ASSERT_FALSE(requests.empty());
    for (std::size_t i = 0; i < requests.size(); ++i)
      EXPECT_EQ(requests[i].transaction_id, static_cast<std::uint16_t>(c.first_transaction_id + i)) << i;
  }
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<Peer, HostileCase>>& info) {
  const auto& [peer, c] = info.param;
  return std::string(peer == Peer::kScripted ? "Scripted" : "RtuSim") + "_" + c.name;
}

INSTANTIATE_TEST_SUITE_P(HostilePeer, HostileAnswer,
                         ::testing::Combine(::testing::Values(Peer::kScripted, Peer::kRtuSim),
                                            ::testing::ValuesIn(kCases)),
                         caseName);

class HostilePollClock : public HostileFixture, public ::testing::Test {};

// The real poll clock, not a step of the test's own, overtakes a request
// the device answers only after the next one has gone out; the tick's
// data.csv line never shows the late answer either.
TEST_F(HostilePollClock, ALateAnswerNeverLandsInTheColumnOfTheNextRead) {
  ScriptedPeer peer;
  setRead(0, faultAddress(PeerFault::kLate));
  for (int r = 1; r < kReadDefs; ++r) setRead(r, kPlainAddresses[static_cast<std::size_t>(r)]);
  ASSERT_NO_FATAL_FAILURE(connectTo(peer.port(), &ScriptedPeer::valueAt));

  w.Timer3.setEnabled(true);
  // Tick 1 sends read 0, which the device holds back; tick 2 overtakes it,
  // and the rest of the cycle follows 10 ms apart.
  ASSERT_TRUE(waitFor([&] { return peer.requests().size() >= kReadDefs && cycleEnded(); }));
  expectCells(0, "???");  // overtaken: unknown, and its late answer discarded
  for (int r = 1; r < kReadDefs; ++r) expectValues(r, kPlainAddresses[static_cast<std::size_t>(r)]);
  // Tick 3 starts the next cycle and logs the table as the last one left it.
  // The peer and the window share the thread, so once the peer has the
  // request, the tick that sent it has also written its line.
  ASSERT_TRUE(waitFor([&] { return peer.requests().size() > kReadDefs; }));
  w.Timer3.setEnabled(false);
  expectDataCsvMatchesTheTable();
  EXPECT_TRUE(wrong.empty()) << "wrong values shown: " << ::testing::PrintToString(wrong);
  EXPECT_EQ(peer.requests()[0].address, faultAddress(PeerFault::kLate));
  EXPECT_EQ(peer.requests()[1].address, kPlainAddresses[1]);
  // The late answer shows on the label as bytes nobody asked for, and
  // changes nothing else the operator sees.
  EXPECT_EQ(captionsShown(),
            (std::vector<std::string>{"Connected OK", "Transmit", "Transmit..............", "Data Loss", "Received",
                                      "Transmit", "Received", "Transmit", "Received", "Transmit", "Received",
                                      "Transmit"}));
  EXPECT_EQ(colorShownWith("Data Loss"), colors::kYellow);
}

}  // namespace
}  // namespace rtupoll::testing
