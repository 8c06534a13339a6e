#include "polling/reply.h"

#include "polling/poll_cycle.h"
#include "polling/read_request.h"
#include "polling/register_span.h"
#include "support/window_fixture.h"

namespace rtupoll::testing {
namespace {

// Read definition 1 (value column 4) asks slot 0 for registers 301 and 302;
// read definition 2 (value column 6) asks slot 1 for register 7. The devices
// stay quiet; each test sends the answer bytes itself. The bad answers a
// device can give to a read are one table, in hostile_answer_test.cc.
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
    for (int r : {1, 2}) writeCaptions(w, r, requestedRegisters(w, r));  // as start-up does
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
  // The answer's values are in place, "Received" on green, and the next
  // step is armed.
  void expectValues(const std::string& first, const std::string& second) {
    EXPECT_EQ(cell(1, 4), first);
    EXPECT_EQ(cell(2, 4), second);
    EXPECT_EQ(status(0), "Received");
    EXPECT_EQ(statusColor(0), colors::kGreen);
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

// An answer fills the rows of the registers its request asked for, beside
// that request's captions, whatever the texts read by the time it comes.
TEST_F(ReplyTest, AnAnswerFillsTheRowsItsRequestAskedFor) {
  const std::uint16_t tid = requestRow1();
  w.LegReg[1].setText("0");
  w.strReg[1].setText("500");
  arrive(0, answerFrame(tid, {1, 2}));
  expectValues("1", "2");
  EXPECT_EQ(cell(2, 3), "302>>");
}

TEST_F(ReplyTest, AnswersNobodyAskedForShowDataLossAndChangeNothingElse) {
  // Before any request.
  arrive(0, answerFrame(0, {9, 9}));
  expectUnasked(0);

  // The right id on the wrong socket. (An answer with a foreign id is a
  // case of the table in hostile_answer_test.cc.)
  const std::uint16_t tid = requestRow1();
  arrive(1, answerFrame(tid, {9, 9}));
  expectUnasked(1);
  EXPECT_TRUE(w.poll.outstanding.active) << "the poll still waits for its answer";
  arrive(0, answerFrame(tid, {1, 2}));
  expectValues("1", "2");
}

// The late answer comes on one slot while the poll waits on another.
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
