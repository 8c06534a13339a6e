#include "app/startup.h"

#include "support/window_fixture.h"

namespace rtupoll::testing {
namespace {

class StartUpTest : public WindowFixture {
 protected:
  void expectCaptions(int r, const std::vector<std::string>& captions) {
    const int col = 2 * r + 1;
    for (int row = 1; row < 30; ++row) {
      const std::size_t k = static_cast<std::size_t>(row - 1);
      EXPECT_EQ(cell(row, col), k < captions.size() ? captions[k] : "") << "row " << row << " col " << col;
    }
  }
};

TEST_F(StartUpTest, WithoutASettingsFileEverythingTakesItsDefault) {
  start();
  EXPECT_EQ(w.currentRow, 4);
  EXPECT_EQ(w.tabel.rows(), 30);
  EXPECT_EQ(w.tabel.cols(), 30);
  EXPECT_EQ(w.tabel.colWidth(0), 400);
  EXPECT_EQ(w.tabel.colWidth(1), 800);
  EXPECT_EQ(w.tabel.colWidth(19), 800);
  EXPECT_EQ(w.tabel.colWidth(20), ResultsTable::kDefaultColumnWidth);
  for (int i = 0; i < kSlots; ++i) {
    const std::size_t k = static_cast<std::size_t>(i);
    EXPECT_EQ(w.txtIP[k].text(), "192.168.1.1");
    EXPECT_EQ(w.txtPort[k].text(), "502");
    EXPECT_EQ(w.savedConnectState[k], "True");
  }
  for (int r = 0; r < kReadDefs; ++r) {
    const std::size_t k = static_cast<std::size_t>(r);
    EXPECT_EQ(w.strReg[k].text(), "000");
    EXPECT_EQ(w.LegReg[k].text(), "000");
    EXPECT_EQ(w.LstIP[k].listIndex(), 0);
  }
  for (int row = 0; row < 30; ++row)
    for (int col = 0; col < 30; ++col) EXPECT_EQ(cell(row, col), "");
  EXPECT_TRUE(w.tloading.enabled());
  EXPECT_TRUE(w.bar[0].visible());
  EXPECT_FALSE(w.Timer2.enabled() || w.Timer3.enabled() || w.Timer4.enabled());
  EXPECT_FALSE(w.frmDevice[0].enabled());
  // Start-up touches no socket and no status label.
  EXPECT_EQ(status(0), "Label3");
  EXPECT_EQ(env.socket(0).connectCalls(), 0);
}

TEST_F(StartUpTest, AppliesEverySettingAndWritesTheRegisterCaptions) {
  folder.write("setting.ini",
               "[set]\r\nScon0=False\r\nScon1=True\r\nScon2=false\r\nport0=1502\r\nport1=\r\nport2=503\r\n"
               "txtIP0=127.0.0.1\r\ntxtIP1=127.0.0.2\r\ntxtIP2=localhost\r\n"
               "strreg0=100\r\nstrreg1=2\r\nstrreg2=7\r\nstrreg3=5\r\nstrreg4=5\r\n"
               "legreg0=3\r\nlegreg1=2.5\r\nlegreg2=0\r\nlegreg3=-4\r\nlegreg4=1\r\n"
               "LstIP0=2\r\nLstIP1=-1\r\nLstIP2=1\r\nLstIP3=0\r\nLstIP4=000\r\n");
  start();
  EXPECT_EQ(w.savedConnectState[0], "False");
  EXPECT_EQ(w.savedConnectState[2], "false");
  EXPECT_EQ(w.txtPort[0].text(), "1502");
  EXPECT_EQ(w.txtPort[1].text(), "");  // a present empty value stays empty
  EXPECT_EQ(w.txtIP[2].text(), "localhost");
  EXPECT_EQ(w.LstIP[0].listIndex(), 2);
  EXPECT_EQ(w.LstIP[1].listIndex(), -1);
  EXPECT_EQ(w.LstIP[4].listIndex(), 0);
  expectCaptions(0, {"100>>", "101>>", "102>>"});
  expectCaptions(1, {"2>>", "3>>"});
  expectCaptions(2, {});
  expectCaptions(3, {});
  expectCaptions(4, {"5>>"});
}

TEST_F(StartUpTest, UnusableValuesStillGiveAFullyFilledWindow) {
  folder.write("setting.ini",
               "[set]\r\nstrreg0=abc\r\nlegreg0=3\r\nstrreg1=1\r\nlegreg1=xyz\r\nstrreg2=10\r\nlegreg2=50\r\n"
               "strreg3=1.5\r\nlegreg3=2\r\nlegreg4=1e300\r\nstrreg4=1\r\n"
               "LstIP0=abc\r\nLstIP1=7\r\nLstIP2=1.5\r\nLstIP3=99999\r\nLstIP4=2\r\n");
  start();
  // Each read's captions name the registers its request asks for: a first
  // register that is no number asks from register 1, a count with no
  // number for none.
  expectCaptions(0, {"1>>", "2>>", "3>>"});
  expectCaptions(1, {});
  std::vector<std::string> rows;
  for (int k = 0; k < 29; ++k) rows.push_back(std::to_string(10 + k) + ">>");
  expectCaptions(2, rows);  // a count above 29 fills the rows that exist
  expectCaptions(3, {"1>>", "2>>"});  // address 0.5 goes as 0
  expectCaptions(4, {});  // a count of 1e300 fits no request: none is asked for
  for (int r = 0; r < 4; ++r) EXPECT_EQ(w.LstIP[static_cast<std::size_t>(r)].listIndex(), r == 2 ? 2 : 0);
  EXPECT_EQ(w.LstIP[4].listIndex(), 2);  // read after the unusable ones
  EXPECT_TRUE(w.tloading.enabled());
}

TEST_F(StartUpTest, ClosingWritesTheSettingsOnceWithTheConnectButtonsState) {
  writeSettings({false, false, false}, {{"1", "1", 0}});
  start();
  w.cmdConnect[1].setEnabled(false);
  w.txtPort[2].setText("");
  w.LstIP[3].setListIndex(-1);
  events.unload();
  const std::string saved = folder.read("setting.ini");
  EXPECT_NE(saved.find("Scon0=True\r\n"), std::string::npos);
  EXPECT_NE(saved.find("Scon1=False\r\n"), std::string::npos);
  EXPECT_NE(saved.find("port2=\r\n"), std::string::npos);
  EXPECT_NE(saved.find("LstIP3=-1\r\n"), std::string::npos);
  folder.write("setting.ini", "changed");
  events.unload();
  EXPECT_EQ(folder.read("setting.ini"), "changed");
}

TEST_F(StartUpTest, ReadsTheSettingsFileOnceAndRemovesTheLeftoversOfKilledRuns) {
  writeSettings({false, false, false}, {{"1", "1", 0}});
  for (const char* name : {"setting.ini.tmp-1-0", "data.csv.tmp-20-7", "data.csv.old", "rtupoll.lock"})
    folder.write(name, "");
  start();
  EXPECT_EQ(env.files().readCount(folder.file("setting.ini")), 1);
  EXPECT_EQ(env.files().listFolder(folder.path()),
            (std::vector<std::string>{"data.csv.old", "rtupoll.lock", "setting.ini"}));
}

// A save that fails leaves the old file and is told once; a file made
// read-only, the owner's choice, gets no message for the operator.
TEST_F(StartUpTest, ASaveThatFailsIsToldOnceAndLeavesTheOldFile) {
  const std::string path = folder.file("setting.ini");
  const std::pair<FileError, std::string> faults[] = {
      {FileError::kReadOnly, path + " is read-only; the set-up of this run is not saved"},
      {FileError::kNoSpace, "the set-up was not saved to " + path + ": the disk is full; the file was left as it was"}};
  start();
  for (const auto& [error, told] : faults) {
    folder.write("setting.ini", "old");
    env.files().setReadOnly(path, error == FileError::kReadOnly);
    if (error != FileError::kReadOnly) env.files().fail(VirtualFiles::Op::kCreate, path, error);
    shutDown(w);
    EXPECT_EQ(folder.read("setting.ini"), "old");
    EXPECT_EQ(env.warnings().back(), told);
    EXPECT_EQ(w.settingsNotSaved.find(path) != std::string::npos, error != FileError::kReadOnly);
  }
  EXPECT_EQ(env.warnings().size(), std::size(faults));
}

// A slot saved at the last close stays saved whenever the window closes:
// until the operator disconnects it, or the reload decides otherwise. Slot
// 0's device is down, slot 1's answers, slot 2 is not saved.
TEST(StartUpClose, ASavedSlotStaysSavedWhateverTheMomentOfTheClose) {
  for (int ms = 0; ms <= 1600; ms += 40) {
    VirtualEnv env;
    FakeDevice down, up;
    down.setMode(FakeDevice::Mode::kRefuse);
    env.listen("127.0.0.1", 15020, &down);
    env.listen("127.0.0.1", 15021, &up);
    env.files().write(env.file("setting.ini"),
                      "[set]\r\nScon0=False\r\nScon1=false\r\nScon2=True\r\ntxtIP0=127.0.0.1\r\n"
                      "txtIP1=127.0.0.1\r\nport0=15020\r\nport1=15021\r\n");
    OptionIP w(env);
    WindowEvents events(w);
    events.load();
    env.advance(std::chrono::milliseconds(ms));
    events.unload();
    const std::string saved = env.files().read(env.file("setting.ini")).value_or("");
    EXPECT_NE(saved.find("Scon0=False\r\n"), std::string::npos) << "closed after " << ms << " ms";
    EXPECT_NE(saved.find("Scon1=False\r\n"), std::string::npos) << "closed after " << ms << " ms";
    EXPECT_NE(saved.find("Scon2=True\r\n"), std::string::npos) << "closed after " << ms << " ms";
  }
}

}  // namespace
}  // namespace rtupoll::testing
