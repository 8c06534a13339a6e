#include "polling/reply.h"

#include "polling/poll_cycle.h"
#include "polling/read_request.h"
#include "support/window_fixture.h"

namespace rtupoll::testing {
namespace {

// Read definition 1 (value column 4) asks slot 0 for registers 301 and 302;
// read definition 2 (value column 6) asks slot 1 for register 7. The devices
// stay quiet; each test sends the answer bytes itself.
class ReplyTest : public WindowFixture {
 protected:
  ReplyTest() {
    w.tabel.setRows(30);
    w.tabel.setCols(30);
    w.LstIP[1].setListIndex(0);
    w.strReg[1].setText("301");
    w.LegReg[1].setText("2");
    w.LstIP[2].setListIndex(1);
    w.strReg[2].setText("7");
    w.LegReg[2].setText("1");
    for (FakeDevice& d : device) d.setMode(FakeDevice::Mode::kSilent);
    connectNow(0);
    connectNow(1);
  }

  // Sends the request of read definition 1 and returns its transaction id.
  std::uint16_t requestRow1() {
    w.currentRow = 1;
    sendReadRequest(w);
    return lastTransactionId(0);
  }
  void arrive(int slot, const Bytes& bytes) {
    device[static_cast<std::size_t>(slot)].link()->deliver(bytes);
    advance(1ms);
  }
  void expectUntouched() {
    EXPECT_EQ(cell(1, 4), "");
    EXPECT_EQ(cell(2, 4), "");
    EXPECT_EQ(status(0), "Transmit");
    EXPECT_FALSE(w.Timer4.enabled());
  }
  void expectRejected(const std::string& caption) {
    EXPECT_EQ(status(0), caption);
    EXPECT_EQ(statusColor(0), colors::kYellow);
    EXPECT_EQ(cell(1, 4), "???");
    EXPECT_EQ(cell(2, 4), "???");
    EXPECT_TRUE(w.Timer4.enabled());
  }
  // The answer's values are in place and the next step is armed; the label
  // says "Received", or `caption` when more bytes came behind the answer.
  void expectValues(const std::string& first, const std::string& second, const std::string& caption = "Received") {
    EXPECT_EQ(cell(1, 4), first);
    EXPECT_EQ(cell(2, 4), second);
    EXPECT_EQ(status(0), caption);
    EXPECT_EQ(statusColor(0), caption == "Received" ? colors::kGreen : colors::kYellow);
    EXPECT_TRUE(w.Timer4.enabled());
  }
  // Bytes nobody asked for on the slot: its label says so, and nothing else
  // changes; the poll still waits.
  void expectUnasked(int slot) {
    EXPECT_EQ(status(slot), "Data Loss");
    EXPECT_EQ(statusColor(slot), colors::kYellow);
    EXPECT_EQ(cell(1, 4), "");
    EXPECT_EQ(cell(2, 4), "");
    EXPECT_FALSE(w.Timer4.enabled());
  }
};

TEST_F(ReplyTest, AGoodAnswerWritesUnsignedValuesAndArmsTheNextStep) {
  const std::uint16_t tid = requestRow1();
  arrive(0, answerFrame(tid, {300, 65535}));
  expectValues("300", "65535");
  EXPECT_EQ(cell(3, 4), "");
}

TEST_F(ReplyTest, AfterTheLastReadDefinitionTheHighlightEndsAndNothingIsArmed) {
  w.currentRow = 4;
  w.LstIP[4].setListIndex(0);
  w.LegReg[4].setText("1");
  w.strReg[4].setBackColor(colors::kGreen);
  sendReadRequest(w);
  arrive(0, answerFrame(lastTransactionId(0), {42}));
  EXPECT_EQ(cell(1, 10), "42");
  EXPECT_EQ(w.strReg[4].backColor(), colors::kWindowBackground);
  EXPECT_FALSE(w.Timer4.enabled());
}

// A count of 0 sends no request at all; one lowered to 0 while its answer
// is on the way writes no cell either.
TEST_F(ReplyTest, ACountOfZeroWritesNoCell) {
  const std::uint16_t tid = requestRow1();
  w.LegReg[1].setText("0");
  arrive(0, answerFrame(tid, {1, 2}));
  EXPECT_EQ(status(0), "Received");
  EXPECT_EQ(cell(1, 4), "");
}

TEST_F(ReplyTest, AnAnswerSplitOverArrivalsIsHandledOnceWhole) {
  const std::uint16_t tid = requestRow1();
  const Bytes frame = answerFrame(tid, {1, 2});
  for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
    arrive(0, {frame[i]});
    expectUntouched();
  }
  arrive(0, {frame.back()});
  expectValues("1", "2");
}

TEST_F(ReplyTest, OnlyTheFirstOfTwoCoalescedAnswersCounts) {
  const std::uint16_t tid = requestRow1();
  Bytes both = answerFrame(tid, {11, 12});
  const Bytes next = answerFrame(static_cast<std::uint16_t>(tid + 1), {99, 99});
  both.insert(both.end(), next.begin(), next.end());
  arrive(0, both);
  expectValues("11", "12", "Data Loss");
  // The second answer came before its request and must not be taken for it.
  w.Timer4.setEnabled(false);
  const std::uint16_t second = requestRow1();
  EXPECT_EQ(second, tid + 1);
  advance(5ms);
  EXPECT_EQ(status(0), "Transmit");
  EXPECT_EQ(cell(1, 4), "11");
  EXPECT_FALSE(w.Timer4.enabled());
  arrive(0, answerFrame(second, {21, 22}));
  expectValues("21", "22");
}

TEST_F(ReplyTest, JunkBehindAGoodAnswerIsDroppedAndTheNextAnswerDecodes) {
  std::uint16_t tid = requestRow1();
  Bytes with_junk = answerFrame(tid, {5, 6});
  with_junk.insert(with_junk.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x01});
  arrive(0, with_junk);
  expectValues("5", "6", "Data Loss");
  // Junk that looks like the start of a header waits for more bytes; the
  // next request throws it away, so it cannot merge with the next answer.
  arrive(0, {0x00, 0x07, 0x00, 0x00, 0x00});
  tid = requestRow1();
  arrive(0, answerFrame(tid, {7, 8}));
  expectValues("7", "8");
}

TEST_F(ReplyTest, AnExceptionShowsItsCodeAndNoValues) {
  w.tabel.setText(1, 4, "123");  // an old value must not stay as if current
  const std::uint16_t tid = requestRow1();
  arrive(0, exceptionFrame(tid, 2));
  expectRejected("Exception 2");
}

TEST_F(ReplyTest, AWrongFunctionCodeOrByteCountIsDataLoss) {
  std::uint16_t tid = requestRow1();
  Bytes wrong_function = answerFrame(tid, {1, 2});
  wrong_function[7] = 4;
  arrive(0, wrong_function);
  expectRejected("Data Loss");

  w.tabel.setText(1, 4, "");
  tid = requestRow1();
  arrive(0, answerFrame(tid, {1, 2, 3}));  // three values for two registers
  expectRejected("Data Loss");

  tid = requestRow1();
  Bytes short_count = answerFrame(tid, {1, 2});
  short_count[8] = 2;  // byte count says one register, the frame holds two
  arrive(0, short_count);
  expectRejected("Data Loss");
}

TEST_F(ReplyTest, AStreamThatCannotBeFramedIsDataLoss) {
  std::uint16_t tid = requestRow1();
  Bytes bad_protocol = answerFrame(tid, {1, 2});
  bad_protocol[3] = 1;
  arrive(0, bad_protocol);
  expectRejected("Data Loss");

  tid = requestRow1();
  arrive(0, {static_cast<std::uint8_t>(tid >> 8), static_cast<std::uint8_t>(tid), 0, 0, 0x07, 0xD0});  // length 2000
  expectRejected("Data Loss");
  w.Timer4.setEnabled(false);
  tid = requestRow1();
  arrive(0, answerFrame(tid, {3, 4}));
  expectValues("3", "4");
}

TEST_F(ReplyTest, AnswersNobodyAskedForShowDataLossAndChangeNothingElse) {
  // Before any request.
  arrive(0, answerFrame(0, {9, 9}));
  expectUnasked(0);

  const std::uint16_t tid = requestRow1();
  arrive(0, answerFrame(static_cast<std::uint16_t>(tid + 7), {9, 9}));  // foreign transaction id
  expectUnasked(0);
  EXPECT_TRUE(w.poll.outstanding.active) << "the poll still waits for its answer";
  arrive(1, answerFrame(tid, {9, 9}));  // the right id on the wrong socket
  expectUnasked(1);
  arrive(0, answerFrame(tid, {1, 2}));
  expectValues("1", "2");
}

TEST_F(ReplyTest, ALateAnswerAfterThePollClockMovedOnIsDiscardedAsDataLoss) {
  const std::uint16_t late = requestRow1();
  pollStep(w);  // the poll clock overtakes it: read definition 2, slot 1
  ASSERT_EQ(w.currentRow, 2);
  EXPECT_EQ(cell(1, 4), "???");  // no longer current
  arrive(0, answerFrame(late, {66, 66}));
  EXPECT_EQ(cell(1, 4), "???");
  EXPECT_EQ(cell(1, 6), "");
  EXPECT_FALSE(w.Timer4.enabled());
  EXPECT_EQ(status(0), "Data Loss") << "an answer after its read was overtaken";
  arrive(1, answerFrame(lastTransactionId(1), {77}));
  EXPECT_EQ(cell(1, 6), "77");
  EXPECT_EQ(status(1), "Received");
}

TEST_F(ReplyTest, BytesOnAnotherSocketDoNotPoisonItsNextAnswer) {
  requestRow1();
  arrive(1, {0x00, 0x00, 0x00});  // half a header on slot 1, nobody waits there
  w.currentRow = 2;
  sendReadRequest(w);
  arrive(1, answerFrame(lastTransactionId(1), {4321}));
  EXPECT_EQ(cell(1, 6), "4321");
}

}  // namespace
}  // namespace rtupoll::testing
