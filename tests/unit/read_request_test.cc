#include "polling/read_request.h"

#include "support/window_fixture.h"

namespace rtupoll::testing {
namespace {

class ReadRequestTest : public WindowFixture {
 protected:
  ReadRequestTest() {
    w.tabel.setRows(30);
    w.tabel.setCols(30);
  }
  // Makes read definition `row` current, on slot 0, with these texts.
  void define(const std::string& first, const std::string& count, int row) {
    w.currentRow = static_cast<std::int16_t>(row);
    w.LstIP[static_cast<std::size_t>(row)].setListIndex(0);
    w.strReg[static_cast<std::size_t>(row)].setText(first);
    w.LegReg[static_cast<std::size_t>(row)].setText(count);
  }
  // Sends read definition `row` with these texts and returns bytes 2 to 11
  // of the frame that went out.
  Bytes request(const std::string& first, const std::string& count, int row = 0) {
    define(first, count, row);
    const std::size_t before = sent(0).size();
    sendReadRequest(w);
    if (sent(0).size() != before + 1) {
      ADD_FAILURE() << "no frame was sent";
      return {};
    }
    const Bytes& frame = sent(0).back();
    EXPECT_EQ(frame.size(), 12u);
    return Bytes(frame.begin() + 2, frame.end());
  }
  static Bytes body(std::uint8_t sh, std::uint8_t sl, std::uint8_t ch, std::uint8_t cl) {
    return {0, 0, 0, 6, 1, 3, sh, sl, ch, cl};
  }
};

struct RequestCase {
  const char* first;
  const char* count;
  Bytes body;  // bytes 2 to 11 of the frame
};

TEST_F(ReadRequestTest, ConvertsTheTextsIntoStartingAddressAndQuantity) {
  connectNow(0);
  ASSERT_EQ(status(0), "Connected OK");
  const RequestCase cases[] = {
      {"1", "10", body(0x00, 0x00, 0x00, 0x0A)},
      {"301", "2", body(0x01, 0x2C, 0x00, 0x02)},
      {"257", "1", body(0x01, 0x00, 0x00, 0x01)},
      // Register 0 is address -1: the low byte is out of range and goes as 0.
      {"0", "1", body(0, 0, 0, 1)},
      {"000", "1", body(0, 0, 0, 1)},
      // 65537 is address 65536: the high byte 256 is out of range.
      {"65537", "1", body(0, 0, 0, 1)},
      // Not a number as a whole: address 0. As a count it reads as 12.
      {"12abc", "3", body(0, 0, 0, 3)},
      {"5", "12abc", body(0, 4, 0, 12)},
      // Counts round halves to even.
      {"1", "2.5", body(0, 0, 0, 2)},
      {"1", "3.5", body(0, 0, 0, 4)},
      {"1", "&H10", body(0, 0, 0, 16)},
      // A count above 0xFFFF: each byte is taken on its own (70000 = 273 * 256 + 112).
      {"1", "70000", body(0, 0, 0, 112)},
  };
  for (const RequestCase& c : cases)
    EXPECT_EQ(request(c.first, c.count), c.body) << "first register " << c.first << ", count " << c.count;
}

// A count that reads as no registers sends nothing: a device would refuse
// a request for 0 with exception 3. The read is done at once, and since
// nothing came back the label keeps the device's last real outcome.
TEST_F(ReadRequestTest, AReadOfNoRegistersPutsNothingOnTheWire) {
  connectNow(0);
  for (const char* count : {"", "000", "0", "abc", "0.4", "-4", "65536"}) {
    for (int row : {0, 4}) {
      w.lblStatus[0].setCaption("Exception 2", colors::kYellow);
      w.Timer4.setEnabled(false);
      w.strReg[4].setBackColor(colors::kGreen);
      define("5", count, row);
      const std::size_t before = sent(0).size();
      sendReadRequest(w);
      EXPECT_EQ(sent(0).size(), before) << '"' << count << "\" in row " << row;
      EXPECT_EQ(status(0), "Exception 2") << count;
      EXPECT_EQ(statusColor(0), colors::kYellow) << count;
      EXPECT_FALSE(w.poll.outstanding.active) << count;
      // Done: the next step is armed, or after the last read the highlight ends.
      EXPECT_EQ(w.Timer4.enabled(), row < 4) << count;
      if (row == 4) {
        EXPECT_EQ(w.strReg[4].backColor(), colors::kWindowBackground) << count;
      }
    }
  }
  for (int row = 1; row < 30; ++row)
    for (int column : {2, 10}) EXPECT_EQ(cell(row, column), "") << "no value is written";
  // Nor does it find a slot that is down: no "Not connected", no reload.
  w.cmdConnect[1].setEnabled(false);
  define("5", "0", 0);
  w.LstIP[0].setListIndex(1);
  sendReadRequest(w);
  EXPECT_EQ(status(1), "Label3");
  EXPECT_FALSE(w.tloading.enabled());
}

TEST_F(ReadRequestTest, UsesTheUsersDecimalSeparatorForTheFirstRegister) {
  connectNow(0);
  VirtualEnv comma_env(folder.path(), ',');
  OptionIP comma(comma_env);
  WindowEvents comma_events(comma);
  FakeDevice peer;
  comma_env.listen(kHost, port(0), &peer);
  comma.txtIP[0].setText(kHost);
  comma.txtPort[0].setText(std::to_string(port(0)));
  comma.Winsock1(0).setRemoteHost(kHost);
  comma.Winsock1(0).setRemotePort(port(0));
  comma.Winsock1(0).Connect();
  comma_env.advance(10ms);
  comma.LstIP[0].setListIndex(0);
  comma.currentRow = 0;
  // "3,5" is 3.5; minus one is "2,5", read back as 2 since a comma ends it.
  comma.strReg[0].setText("3,5");
  comma.LegReg[0].setText("1");
  sendReadRequest(comma);
  EXPECT_EQ(comma_env.socket(0).writes().back()[9], 2);
  // In the full-stop format 3.5 - 1 = 2.5 rounds to the even 2 as well, and 4.5 - 1 to 4.
  EXPECT_EQ(request("3.5", "1")[7], 2);
  EXPECT_EQ(request("5.5", "1")[7], 4);
}

TEST_F(ReadRequestTest, CountsTheTransactionIdentifierUpAndWraps) {
  connectNow(0);
  request("1", "1");
  EXPECT_EQ(lastTransactionId(0), 0);
  request("1", "1");
  EXPECT_EQ(lastTransactionId(0), 1);
  w.poll.nextTransactionId = 0xFFFF;
  request("1", "1");
  EXPECT_EQ(lastTransactionId(0), 0xFFFF);
  request("1", "1");
  EXPECT_EQ(lastTransactionId(0), 0);
}

TEST_F(ReadRequestTest, TogglesTheTransmitCaptionOnConsecutiveSends) {
  connectNow(0);
  device[0].setMode(FakeDevice::Mode::kSilent);
  request("1", "1");
  EXPECT_EQ(status(0), "Transmit");
  request("1", "1");
  EXPECT_EQ(status(0), "Transmit..............");
  request("1", "1");
  EXPECT_EQ(status(0), "Transmit");
  EXPECT_TRUE(w.requestSent);
  EXPECT_FALSE(w.Timer4.enabled());  // the answer moves the poll on, not the send
}

TEST_F(ReadRequestTest, MarksValuesUnknownAndMovesOnWhenTheSlotIsDown) {
  w.currentRow = 2;
  w.LstIP[2].setListIndex(1);
  w.strReg[2].setText("7");
  w.LegReg[2].setText("3");
  sendReadRequest(w);
  EXPECT_EQ(status(1), "Not connected");
  EXPECT_EQ(statusColor(1), colors::kLightRed);  // the colour is left alone
  for (int r = 1; r <= 3; ++r) EXPECT_EQ(cell(r, 6), "???");
  EXPECT_EQ(cell(4, 6), "");
  EXPECT_TRUE(w.Timer4.enabled());
  EXPECT_TRUE(sent(1).empty());
  // The Connect button is enabled: nobody asked for this slot, no reload.
  EXPECT_FALSE(w.tloading.enabled());

  // The last read definition ends the cycle's highlight instead.
  w.Timer4.setEnabled(false);
  w.currentRow = 4;
  w.strReg[4].setBackColor(colors::kGreen);
  w.LstIP[4].setListIndex(2);
  w.LegReg[4].setText("30");
  sendReadRequest(w);
  EXPECT_EQ(w.strReg[4].backColor(), colors::kWindowBackground);
  EXPECT_FALSE(w.Timer4.enabled());
  EXPECT_EQ(cell(29, 10), "???");  // row 30 does not exist and is skipped
}

TEST_F(ReadRequestTest, StartsTheReloadWhenASlotMeantToBeConnectedIsDown) {
  connectNow(1);
  ASSERT_FALSE(w.cmdConnect[1].enabled());
  device[1].link()->closeFromPeer();
  advance(1ms);
  ASSERT_NE(w.Winsock1(1).State(), SocketSlot::kConnected);
  define("1", "1", 0);
  w.LstIP[0].setListIndex(1);
  sendReadRequest(w);
  EXPECT_EQ(status(1), "Not connected");
  EXPECT_TRUE(w.tloading.enabled());
}

// A read with no device chosen never borrows another read's device: it asks
// nobody, its values are unknown, and no slot is touched.
TEST_F(ReadRequestTest, WithoutADeviceChoiceNothingIsAskedAndTheValuesAreUnknown) {
  connectNow(2);
  define("7", "2", 0);
  w.LstIP[0].setListIndex(2);
  sendReadRequest(w);
  w.lblStatus[2].setCaption("Received", colors::kGreen);
  w.LstIP[0].setListIndex(-1);
  sendReadRequest(w);
  EXPECT_EQ(sent(2).size(), 1u);
  EXPECT_EQ(w.requestSlot, 2);
  EXPECT_EQ(status(2), "Received");
  EXPECT_EQ(cell(2, 2), "???");
  EXPECT_EQ(cell(2, 1), "8>>");
  EXPECT_TRUE(w.Timer4.enabled());
  EXPECT_FALSE(w.tloading.enabled());
}

}  // namespace
}  // namespace rtupoll::testing
