#include "support/hostile_window.h"

#include <gtest/gtest.h>

#include "datalog/data_log.h"
#include "devices/connect.h"
#include "polling/poll_cycle.h"
#include "polling/register_span.h"
#include "support/wait_until.h"

namespace rtupoll::testing {

HostileWindow::HostileWindow(OptionIP& w, std::function<std::string()> data_csv)
    : w_(w), data_csv_(std::move(data_csv)) {
  w_.tabel.setRows(30);
  w_.tabel.setCols(30);
  // Every change of the window passes here: the table is checked at each
  // one, so a wrong value is caught even if a later write hides it.
  w_.feed().setListener([this] { observe(); });
}

HostileWindow::~HostileWindow() { w_.feed().setListener(nullptr); }

void HostileWindow::setRead(int r, std::uint16_t address) {
  const auto k = static_cast<std::size_t>(r);
  allowed_[k].push_back(address);
  w_.LstIP[k].setListIndex(0);
  w_.strReg[k].setText(std::to_string(address + 1));  // counted from 1 on screen
  w_.LegReg[k].setText(std::to_string(kCount));
  writeCaptions(w_, r, requestedRegisters(w_, r));  // as start-up does
}

void HostileWindow::setPlainReads() {
  for (int r = 1; r < kReadDefs; ++r) setRead(r, kPlainAddresses[static_cast<std::size_t>(r)]);
}

void HostileWindow::connectTo(std::uint16_t port, ValueAt value_at) {
  value_at_ = value_at;
  w_.txtIP[0].setText("127.0.0.1");
  w_.txtPort[0].setText(std::to_string(port));
  connectSlot(w_, 0);
  ASSERT_EQ(w_.lblStatus[0].caption(), "Connected OK");
  shown_ = {{w_.lblStatus[0].caption(), w_.lblStatus[0].backColor()}};
  // As start-up leaves it, so that the first step polls read definition 0.
  w_.currentRow = kLastReadDef;
}

bool HostileWindow::waitFor(const std::function<bool()>& done, Nanos timeout) {
  return waitUntil(w_.env(), done, timeout);
}

void HostileWindow::letEventsRun(Nanos span) {
  waitFor([] { return false; }, span);
}

bool HostileWindow::cycleEnded() const {
  return w_.currentRow == kLastReadDef && !w_.Timer4.enabled() &&
         w_.strReg[kLastReadDef].backColor() == colors::kWindowBackground;
}

std::string HostileWindow::cell(int row, int r) const { return w_.tabel.text(row, (r + 1) * 2); }

void HostileWindow::expectValues(int r, std::uint16_t address) const {
  for (int k = 0; k < kCount; ++k)
    EXPECT_EQ(cell(k + 1, r), std::to_string(value_at_(static_cast<std::uint16_t>(address + k))))
        << "read definition " << r << ", register " << k + 1;
}

void HostileWindow::expectCells(int r, const std::string& text) const {
  for (int k = 1; k <= kCount; ++k) EXPECT_EQ(cell(k, r), text) << "read definition " << r << ", row " << k;
}

// A value cell holds nothing, "???", or what the device holds at the
// register of its row for one of the addresses its read definition had; a
// caption cell names that register.
bool HostileWindow::plausible(int row, int col, const std::string& text) const {
  if (text.empty()) return true;
  if (col < 1 || col > 2 * kReadDefs || row < 1 || row > kCount) return false;
  const bool caption = col % 2 != 0;
  if (text == "???") return !caption;
  for (const std::uint16_t address : allowed_[static_cast<std::size_t>((col - 1) / 2)]) {
    const auto reg = static_cast<std::uint16_t>(address + row - 1);
    if (text == (caption ? std::to_string(reg + 1) + ">>" : std::to_string(value_at_(reg)))) return true;
  }
  return false;
}

void HostileWindow::observe() {
  for (int row = 0; row < w_.tabel.rows(); ++row)
    for (int col = 0; col < w_.tabel.cols(); ++col) {
      const std::string text = w_.tabel.text(row, col);
      if (!plausible(row, col, text)) wrong_.push_back("(" + std::to_string(row) + "," + std::to_string(col) + ") " + text);
    }
  const Label& status = w_.lblStatus[0];
  if (!shown_.empty() && shown_.back().caption == status.caption())
    shown_.back().color = status.backColor();
  else
    shown_.push_back({status.caption(), status.backColor()});
}

std::vector<std::string> HostileWindow::captionsShown() const {
  std::vector<std::string> captions;
  for (const Shown& s : shown_) captions.push_back(s.caption);
  return captions;
}

std::optional<Color> HostileWindow::colorShownWith(const std::string& caption) const {
  for (const Shown& s : shown_)
    if (s.caption == caption) return s.color;
  return std::nullopt;
}

void HostileWindow::expectDataCsvMatchesTheTable() const {
  std::string line;
  for (int c = 1; c <= 2 * kReadDefs; ++c) {
    line += "," + w_.tabel.text(1, c);
    EXPECT_TRUE(plausible(1, c, w_.tabel.text(1, c)));
  }
  EXPECT_EQ(data_csv_(), line + "\r\n");
}

void HostileWindow::run(const HostileCase& c, std::uint16_t port, const ScriptedRequests* scripted,
                        ValueAt value_at) {
  // A device that answers well answers every one of these reads well.
  const Outcome outcome = scripted != nullptr ? c.outcome : Outcome::kDecoded;
  const Unasked unasked = scripted != nullptr ? c.unasked : Unasked::kNone;
  setRead(0, c.address);
  setPlainReads();
  w_.poll.nextTransactionId = c.first_transaction_id;
  ASSERT_NO_FATAL_FAILURE(connectTo(port, value_at));

  std::vector<std::string> expected = {"Connected OK", "Transmit"};
  pollStep(w_);
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
        EXPECT_EQ(w_.lblStatus[0].caption(), "Data Loss");
        EXPECT_EQ(w_.lblStatus[0].backColor(), colors::kYellow);
        expected.push_back("Data Loss");
      } else {
        EXPECT_EQ(w_.lblStatus[0].caption(), "Transmit");
      }
      EXPECT_EQ(w_.currentRow, 0);
      EXPECT_FALSE(w_.Timer4.enabled()) << "the poll moved on without an answer";
      expectCells(0, "");
      // The poll clock overtakes the request, which leaves its values
      // unknown; a late answer to it now comes just before the answer to
      // the next one, and is discarded, as bytes nobody asked for.
      pollStep(w_);
      expectCells(0, "???");
      ASSERT_TRUE(waitFor([&] { return cycleEnded(); }));
      expectCells(0, "???");
      break;

    case Outcome::kLinkLost:
      ASSERT_TRUE(waitFor([&] { return w_.Winsock1(0).State() != SocketSlot::kConnected; }));
      letEventsRun(kQuiet);
      EXPECT_EQ(w_.lblStatus[0].caption(), "Transmit");
      expectCells(0, "");
      pollStep(w_);
      ASSERT_TRUE(waitFor([&] { return cycleEnded(); }));
      EXPECT_EQ(w_.lblStatus[0].caption(), "Not connected");
      for (int r = 1; r < kReadDefs; ++r) expectCells(r, "???");
      // The slot was asked to be connected, so its loss starts the reload,
      // whose tick 50 closes the dead link; then the operator connects again.
      EXPECT_TRUE(w_.tloading.enabled());
      ASSERT_TRUE(waitFor([&] { return w_.loadingTick > 50; }));
      EXPECT_EQ(w_.Winsock1(0).State(), SocketSlot::kClosed);
      connectSlot(w_, 0);
      ASSERT_EQ(w_.lblStatus[0].caption(), "Connected OK");
      setRead(0, kPlainAddresses[0]);
      pollStep(w_);
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
  // A device that failed to answer is not shown on green, nor a link that is gone.
  if (outcome == Outcome::kIgnored && unasked != Unasked::kWhileWaiting) {
    EXPECT_EQ(colorShownWith("Transmit.............."), colors::kYellow);
  }
  if (outcome == Outcome::kLinkLost) {
    EXPECT_EQ(colorShownWith("Not connected"), colors::kRed);
  }
  EXPECT_EQ(w_.lblStatus[0].backColor(), colors::kGreen);
  EXPECT_TRUE(wrong_.empty()) << "wrong values shown: " << ::testing::PrintToString(wrong_);

  print_click(w_);
  expectDataCsvMatchesTheTable();

  if (scripted != nullptr) {
    // One transaction identifier more for every request, across the wrap.
    const auto& requests = scripted->requests();
    ASSERT_FALSE(requests.empty());
    for (std::size_t i = 0; i < requests.size(); ++i)
      EXPECT_EQ(requests[i].transaction_id, static_cast<std::uint16_t>(c.first_transaction_id + i)) << i;
  }
}

}  // namespace rtupoll::testing
