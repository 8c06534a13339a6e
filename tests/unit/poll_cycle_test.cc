#include "polling/poll_cycle.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "support/window_fixture.h"

namespace rtupoll::testing {
namespace {

// Five read definitions over the three devices; device k answers register
// address a with 1000 * k + a.
class PollCycleTest : public WindowFixture {
 protected:
  void startAllSaved() {
    writeSettings({true, true, true}, {{"1", "2", 0}, {"11", "2", 1}, {"21", "1", 2}, {"31", "1", 0}, {"41", "1", 1}});
    startAndRunReload();
  }
  static int lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }
};

TEST_F(PollCycleTest, AllDevicesAnsweringArePolledOnceASecond) {
  startAllSaved();
  ASSERT_TRUE(w.Timer3.enabled());
  ASSERT_EQ(w.currentRow, 4);
  // The first tick of the poll clock: read definition 0 is highlighted and
  // asked for, and the line is written before any answer is handled.
  ASSERT_TRUE(env.advanceUntil([&] { return w.currentRow == 0; }, 1100ms));
  EXPECT_EQ(w.strReg[0].backColor(), colors::kGreen);
  for (int r = 1; r < 5; ++r) EXPECT_EQ(w.strReg[static_cast<std::size_t>(r)].backColor(), colors::kWindowBackground);
  EXPECT_EQ(dataCsv(), ",1>>,,11>>,,21>>,,31>>,,41>>,\r\n");
  EXPECT_EQ(w.txt_print.text(), ",1>>,,11>>,,21>>,,31>>,,41>>,");
  EXPECT_EQ(w.lb_file.caption(), "\\data.csv");

  // The whole cycle: five exchanges and four 10 ms gaps, well within the second.
  advance(100ms);
  EXPECT_EQ(cell(1, 2), "0");
  EXPECT_EQ(cell(2, 2), "1");
  EXPECT_EQ(cell(1, 4), "1010");
  EXPECT_EQ(cell(2, 4), "1011");
  EXPECT_EQ(cell(1, 6), "2020");
  EXPECT_EQ(cell(1, 8), "30");
  EXPECT_EQ(cell(1, 10), "1040");
  EXPECT_EQ(w.currentRow, 4);
  EXPECT_EQ(w.strReg[4].backColor(), colors::kWindowBackground);
  EXPECT_FALSE(w.Timer4.enabled());
  const std::size_t requests = device[0].requests().size();
  advance(800ms);
  EXPECT_EQ(device[0].requests().size(), requests);  // rests until the next tick

  advance(200ms);
  EXPECT_EQ(dataCsv(), ",1>>,0,11>>,1010,21>>,2020,31>>,30,41>>,1040\r\n");
  // A thousand cycles later each device has been asked exactly its share.
  advance(1000s);
  EXPECT_EQ(device[0].requests().size(), 2u * 1002);
  EXPECT_EQ(device[1].requests().size(), 2u * 1002);
  EXPECT_EQ(device[2].requests().size(), 1002u);
}

// A fresh set-up leaves the reads it does not use at count "000": none of
// them reaches the device, which would refuse a read of no registers, so a
// healthy device's label rests on green, and each cycle ends at once.
TEST_F(PollCycleTest, UnusedReadsOfAFreshSetUpNeverReachTheDevice) {
  writeSettings({true, false, false}, {{"1", "2", 0}, {"11", "1", 0}});
  startAndRunReload();
  advance(10s);
  ASSERT_GE(device[0].requests().size(), 2u * 9);
  for (const Bytes& request : device[0].requests()) {
    ASSERT_EQ(request.size(), 12u);
    EXPECT_NE(request[10] << 8 | request[11], 0) << "a read of no registers went out";
  }
  EXPECT_EQ(status(0), "Received");
  EXPECT_EQ(statusColor(0), colors::kGreen);
  EXPECT_EQ(w.currentRow, 4) << "the cycle ran to its end";
  EXPECT_EQ(dataCsv(), ",1>>,0,11>>,10,,,,,,\r\n");
}

// The same fresh set-up on a device that answers read 0 in three ways: the
// label rests on that answer's outcome, which the reads of no registers
// leave alone.
struct Rest {
  const char* name;
  std::optional<std::uint8_t> exception;  // refuses read 0 with it
  bool silent;
  std::set<std::string> captions;
  Color color;
};

class LabelAtRest : public PollCycleTest, public ::testing::WithParamInterface<Rest> {};

TEST_P(LabelAtRest, OnTheOutcomeOfTheReadThatAsks) {
  const Rest& rest = GetParam();
  if (rest.silent) device[0].setMode(FakeDevice::Mode::kSilent);
  if (rest.exception)
    device[0].setScript([&](const Bytes& r) { return exceptionFrame(static_cast<std::uint16_t>(r[0] << 8 | r[1]), *rest.exception); });
  writeSettings({true, false, false}, {{"1", "2", 0}});
  startAndRunReload();
  advance(3500ms);  // a silent device takes two ticks a cycle: its second request is the first unanswered one
  for (int second = 0; second < 4; ++second, advance(1s)) {
    EXPECT_TRUE(rest.captions.contains(status(0))) << status(0);
    EXPECT_EQ(statusColor(0), rest.color) << status(0);
  }
}

INSTANTIATE_TEST_SUITE_P(FreshSetUp, LabelAtRest,
                         ::testing::Values(Rest{"Answering", std::nullopt, false, {"Received"}, colors::kGreen},
                                           Rest{"Refusing", 2, false, {"Exception 2"}, colors::kYellow},
                                           Rest{"Silent", std::nullopt, true, {"Transmit", "Transmit.............."},
                                                colors::kYellow}),
                         [](const auto& info) { return std::string(info.param.name); });

// Changed texts take effect when the read next starts: its captions name the
// registers it now asks for, beside "???" until their answer comes, and the
// rows it no longer reads are emptied. A count typed "2o" asks for two.
TEST_F(PollCycleTest, ARegisterChangeIsCaptionedWhenTheReadNextStarts) {
  writeSettings({true, false, false}, {{"100", "3", 0}});
  startAndRunReload();
  ASSERT_TRUE(env.advanceUntil([&] { return dataCsv() == ",100>>,99,,,,,,,,\r\n" && w.atRest(); }, 3s));
  w.strReg[0].setText("200");
  w.LegReg[0].setText("1");
  ASSERT_TRUE(env.advanceUntil([&] { return w.currentRow == 0; }, 1100ms));
  EXPECT_EQ(dataCsv(), ",200>>,???,,,,,,,,\r\n");
  EXPECT_EQ(cell(2, 1) + cell(2, 2), "");
  advance(100ms);
  EXPECT_EQ(cell(1, 2), "199");
  w.LegReg[0].setText("2o");
  advance(1s);
  EXPECT_EQ(cell(2, 1) + cell(2, 2), "201>>200");
}

TEST_F(PollCycleTest, WithEveryDeviceDownEachTickWalksAllFiveAndWritesOneLine) {
  writeSettings({false, false, false}, {{"1", "2", 0}, {"11", "2", 1}, {"21", "1", 2}, {"31", "1", 0}, {"41", "1", 1}});
  startAndRunReload();
  for (int tick = 0; tick < 20; ++tick) {
    ASSERT_TRUE(env.advanceUntil([&] { return w.currentRow == 0; }, 1100ms));
    EXPECT_EQ(lines(dataCsv()), 1);
    advance(45ms);  // four gaps of 10 ms
    EXPECT_EQ(w.currentRow, 4);
    EXPECT_FALSE(w.Timer4.enabled());
    for (int col : {2, 4, 6, 8, 10}) EXPECT_EQ(cell(1, col), "???");
    EXPECT_EQ(cell(2, 2), "???");
    EXPECT_EQ(cell(3, 2), "");
    EXPECT_FALSE(w.tloading.enabled());  // nobody asked for these slots
  }
  EXPECT_EQ(dataCsv(), ",1>>,???,11>>,???,21>>,???,31>>,???,41>>,???\r\n");
  for (int i = 0; i < kSlots; ++i) EXPECT_TRUE(sent(i).empty());
}

TEST_F(PollCycleTest, ASilentDeviceHoldsTheCycleUntilTheNextTick) {
  device[2].setMode(FakeDevice::Mode::kSilent);
  startAllSaved();
  ASSERT_TRUE(env.advanceUntil([&] { return w.currentRow == 0; }, 1100ms));
  advance(500ms);
  EXPECT_EQ(w.currentRow, 2);
  EXPECT_EQ(cell(1, 4), "1010");
  EXPECT_EQ(cell(1, 8), "");
  const std::string before = dataCsv();
  ASSERT_TRUE(env.advanceUntil([&] { return w.currentRow == 3; }, 600ms));
  EXPECT_NE(dataCsv(), before);
  EXPECT_EQ(lines(dataCsv()), 1);
  advance(50ms);
  EXPECT_EQ(cell(1, 8), "30");
  EXPECT_EQ(cell(1, 10), "1040");
  EXPECT_EQ(cell(1, 6), "???");  // overtaken: its values are unknown
  EXPECT_EQ(status(2), "Transmit");
}

TEST_F(PollCycleTest, LateAnswersNeverLandInAnotherReadDefinitionsColumn) {
  device[1].setLatency(1500ms);  // always overtaken by the poll clock
  startAllSaved();
  const std::set<std::string> column2{"", "0"}, column4{"", "???"}, column6{"", "2020"}, column8{"", "30"};
  for (int tick = 0; tick < 30; ++tick) {
    advance(250ms);
    EXPECT_TRUE(column2.count(cell(1, 2))) << cell(1, 2);
    EXPECT_TRUE(column4.count(cell(1, 4))) << cell(1, 4);
    EXPECT_TRUE(column6.count(cell(1, 6))) << cell(1, 6);
    EXPECT_TRUE(column8.count(cell(1, 8))) << cell(1, 8);
    EXPECT_TRUE(column4.count(cell(1, 10))) << cell(1, 10);
    EXPECT_LE(lines(dataCsv()), 1);
  }
  EXPECT_EQ(cell(1, 6), "2020");
  EXPECT_EQ(cell(1, 8), "30");
}

// Over a slow link the fourth read of each cycle is still out when the poll
// clock ticks: its old values must not stay on show as if current.
TEST_F(PollCycleTest, AReadThePollClockOvertakesShowsUnknownValuesBeforeTheLineIsWritten) {
  for (FakeDevice& d : device) d.setLatency(250ms);
  startAllSaved();
  int overtaken = 0;
  for (int tick = 0; tick < 20; ++tick) {
    ASSERT_TRUE(env.advanceUntil([&] { return w.currentRow == 3; }, 2s));
    // The answer to read 3 comes 250 ms after it was asked for: make it a
    // value never seen before, so that a stale one would stand out.
    device[0].setValue(30, static_cast<std::uint16_t>(500 + tick));
    ASSERT_TRUE(env.advanceUntil([&] { return w.currentRow == 4; }, 1100ms));
    // The tick that moved on wrote the line: read 3 is unknown in it.
    EXPECT_EQ(cell(1, 8), "???");
    if (dataCsv().find(",31>>,???,") != std::string::npos) ++overtaken;
    EXPECT_EQ(cell(1, 2), "0");  // reads answered in time keep their values
    EXPECT_EQ(cell(1, 4), "1010");
  }
  EXPECT_EQ(overtaken, 20);
}

// A data.csv that cannot be written: polling goes on, and once the writes
// have failed for 5 s in a row the window and standard error say so, once;
// the first write that succeeds clears it. A reader that holds the file
// open is outwaited by retries within the second, and nothing is told.
TEST_F(PollCycleTest, ADataFileThatStaysUnwrittenIsToldAfterFiveSecondsAndClearsItself) {
  const std::tuple<VirtualFiles::Op, FileError, std::string> faults[] = {
      {VirtualFiles::Op::kCreate, FileError::kNoSpace, "the disk is full"},
      {VirtualFiles::Op::kRename, FileError::kBusy, "another program has the file open"}};
  writeSettings({false, false, false}, {{"1", "1", 0}});
  startAndRunReload();
  const std::string path = env.file("data.csv");
  for (const auto& [op, error, reason] : faults) {
    ASSERT_TRUE(env.advanceUntil([&] { return w.currentRow == 0; }, 1100ms));  // just after a tick
    env.files().fail(op, path, error);
    advance(5500ms);  // five failed writes, the first four seconds ago
    EXPECT_FALSE(w.lblFileNotice.visible()) << reason;
    advance(10s);
    EXPECT_TRUE(w.lblFileNotice.visible() && w.Timer3.enabled()) << reason;
    EXPECT_NE(w.lblFileNotice.caption().find(reason + ".\nOther programs read old values.\n" + path), std::string::npos);
    EXPECT_EQ(env.warnings().back(), "cannot write " + path + ": " + reason + "; other programs read stale values");
    env.files().clearFaults();
    advance(1s);
    EXPECT_FALSE(w.lblFileNotice.visible());
    EXPECT_EQ(env.warnings().back(), path + " is written again");
  }
  ASSERT_EQ(env.warnings().size(), 2 * std::size(faults));

  ASSERT_TRUE(env.advanceUntil([&] { return w.currentRow == 0; }, 1100ms));
  folder.write("data.csv", "old");
  env.files().fail(VirtualFiles::Op::kRename, path, FileError::kBusy, 4);  // the next tick's write, three retries
  advance(1700ms);  // not yet the tick after
  EXPECT_EQ(dataCsv(), ",1>>,???,,,,,,,,\r\n");
  EXPECT_EQ(env.warnings().size(), 2 * std::size(faults));
}

}  // namespace
}  // namespace rtupoll::testing
