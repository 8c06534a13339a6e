// Settings files and program folders the operator's machine can hold, met
// by the window's start-up in this process on the real event loop: a
// setting.ini of binary garbage, beyond a megabyte, with lines of 10,000
// characters, and a program folder whose path names a file. Start-up
// completes and reads what can be read, nothing hangs, the window polls,
// and writes that cannot be made fail silently. The built program on such
// files is in tests/system/bad_files_test.cc.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <string>

#include "app/window_events.h"
#include "datalog/data_log.h"
#include "devices/connect.h"
#include "polling/poll_cycle.h"
#include "qt/support/bad_files.h"
#include "qt/support/folder_env.h"
#include "qt/support/loopback.h"
#include "qt/support/scripted_peer.h"
#include "settings/settings.h"
#include "window/option_ip.h"

namespace rtupoll::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::seconds kPatience = 30s;
// Far beyond what reading any of these files takes: a start-up this slow
// would look hung to the operator.
constexpr auto kHang = 10s;

// The window's start-up on the real event loop's Env, in a folder of its own.
class BadFilesStartUp : public ::testing::Test {
 protected:
  BadFilesStartUp() : env(folder.path().toStdString()), w(env) {}

  // Runs start-up and tells whether it came back in reasonable time.
  void startUp(const QByteArray& setting_ini) {
    writeFile(folder.filePath("setting.ini"), setting_ini);
    const auto begin = std::chrono::steady_clock::now();
    events.load();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, kHang);
    // Start-up ran to its end.
    EXPECT_EQ(w.tabel.rows(), 30);
    EXPECT_EQ(w.tabel.cols(), 30);
    EXPECT_TRUE(w.tloading.enabled());
    EXPECT_EQ(w.currentRow, kLastReadDef);
  }

  void expectDefaultsFromSlot(int first_slot, int first_read) {
    for (int i = first_slot; i < kSlots; ++i) {
      const auto k = static_cast<std::size_t>(i);
      EXPECT_EQ(w.savedConnectState[k], "True") << i;
      EXPECT_EQ(w.txtPort[k].text(), "502") << i;
      EXPECT_EQ(w.txtIP[k].text(), "192.168.1.1") << i;
    }
    for (int r = first_read; r < kReadDefs; ++r) {
      const auto k = static_cast<std::size_t>(r);
      EXPECT_EQ(w.strReg[k].text(), "000") << r;
      EXPECT_EQ(w.LegReg[k].text(), "000") << r;
      EXPECT_EQ(w.LstIP[k].listIndex(), 0) << r;
      EXPECT_EQ(w.tabel.text(1, 2 * r + 1), "") << "a count of 000 has no captions";
    }
  }

  // The event loop never runs here, so the reload that start-up begins
  // never ticks: nothing connects anywhere.
  QTemporaryDir folder;
  FolderEnv env;
  OptionIP w;
  WindowEvents events{w};
};

TEST_F(BadFilesStartUp, OfBinaryGarbageGivesTheDefaults) {
  startUp(garbage(1 << 16));
  expectDefaultsFromSlot(0, 0);
}

TEST_F(BadFilesStartUp, BeyondOneMegabyteIsNoSetUpAndGivesTheDefaults) {
  const QByteArray section =
      "\r\n" + iniLines({"[set]", "Scon0=False", "port0=1502", "txtIP0=127.0.0.1", "strreg0=100", "legreg0=3"});
  startUp(garbage(static_cast<qsizetype>(kLargestSettingsFile) + 1 - section.size()) + section);
  expectDefaultsFromSlot(0, 0);
}

TEST_F(BadFilesStartUp, WithLinesOf10000CharactersKeepsTheFirst254OfAValue) {
  const QByteArray long_line(10000, 'x');
  startUp(iniLines({"[" + long_line + "]", "port0=1", "[set]", long_line, long_line + "=1", "txtIP0=" + long_line,
                    "strreg0=" + QByteArray(10000, '7'), "legreg0=2", "port1=" + QByteArray(10000, '9')}));
  EXPECT_EQ(w.txtIP[0].text(), std::string(254, 'x'));
  EXPECT_EQ(w.strReg[0].text(), std::string(254, '7'));
  EXPECT_EQ(w.LegReg[0].text(), "2");
  EXPECT_EQ(w.txtPort[0].text(), "502") << "port0 of another section";
  EXPECT_EQ(w.txtPort[1].text(), std::string(254, '9'));
  // A first register of 254 digits still gets its two captions, and no more.
  EXPECT_TRUE(w.tabel.text(1, 1).ends_with(">>")) << w.tabel.text(1, 1);
  EXPECT_TRUE(w.tabel.text(2, 1).ends_with(">>")) << w.tabel.text(2, 1);
  EXPECT_EQ(w.tabel.text(3, 1), "");
  expectDefaultsFromSlot(2, 1);
}

// Where the superuser cannot be kept from writing, a program folder that
// cannot hold files at all: its path names a file.
TEST(BadFiles, AProgramFolderThatIsAFileStillPollsAndLosesNothing) {
  QTemporaryDir folder;
  const QString not_a_folder = folder.filePath("program");
  writeFile(not_a_folder, "kept\r\n");
  ScriptedPeer device;
  FolderEnv env(not_a_folder.toStdString());
  OptionIP w(env);
  WindowEvents events(w);
  events.load();
  // Nothing could be read; the operator sets the device up by hand and
  // connects it, instead of the reload.
  w.tloading.setEnabled(false);
  EXPECT_EQ(w.txtIP[0].text(), "192.168.1.1");
  w.txtIP[0].setText("127.0.0.1");
  w.txtPort[0].setText(std::to_string(device.port()));
  w.LstIP[0].setListIndex(0);
  w.strReg[0].setText("8");
  w.LegReg[0].setText("1");
  connectSlot(w, 0);
  ASSERT_EQ(w.lblStatus[0].caption(), "Connected OK");

  pollStep(w);
  ASSERT_TRUE(waitUntil(env, [&] { return w.lblStatus[0].caption() == "Received"; }, kPatience));
  EXPECT_EQ(w.tabel.text(1, 2), std::to_string(scriptedValueAt(7)));
  print_click(w);
  EXPECT_EQ(w.txt_print.text(), ",8>>," + w.tabel.text(1, 2) + ",,,,,,,,");
  events.unload();

  EXPECT_EQ(readFile(not_a_folder).toStdString(), "kept\r\n");
  EXPECT_EQ(entries(folder.path()), QStringList({"program"}));
}

}  // namespace
}  // namespace rtupoll::testing
