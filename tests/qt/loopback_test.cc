// The core on the real Qt event loop against rtu-sim over loopback: connect,
// poll, values in the table and data.csv, disconnect, and ports that refuse
// or never answer.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QTemporaryDir>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/window_events.h"
#include "devices/connect.h"
#include "qt/support/folder_env.h"
#include "qt/support/loopback.h"
#include "qt/support/simulator.h"
#include "support/setting_ini.h"
#include "window/option_ip.h"

namespace rtupoll::testing {
namespace {

using namespace std::chrono_literals;

std::chrono::microseconds cpuTime() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

class LoopbackTest : public ::testing::Test {
 protected:
  LoopbackTest() : env(folder.path().toStdString()), w(env) {}

  // Start-up from a setting.ini with slot 0 at 127.0.0.1:port and every read
  // definition on slot 0; then the panels are unlocked as the reload would.
  void startWithSlot0At(quint16 port) {
    std::ofstream(folder.filePath("setting.ini").toStdString(), std::ios::binary)
        << SettingIni().device(0, port).read(0, "1", "10").read(1, "4", "3").text();
    events.load();
    w.tloading.setEnabled(false);
    for (Frame& frame : w.frmDevice) frame.setEnabled(true);
  }
  std::string dataCsv() const {
    std::ifstream in(folder.filePath("data.csv").toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  bool waitFor(const std::function<bool()>& done, Nanos timeout = 10s) { return waitUntil(env, done, timeout); }

  QTemporaryDir folder;
  FolderEnv env;
  OptionIP w;
  WindowEvents events{w};
};

TEST_F(LoopbackTest, ConnectsPollsAndDisconnectsARealDevice) {
  Simulator sim({"--port", "0", "--seconds", "60"});
  const auto ports = sim.waitForPorts(1);
  ASSERT_EQ(ports.size(), 1u);
  startWithSlot0At(ports[0]);

  ASSERT_TRUE(w.cmdConnect[0].click());
  EXPECT_EQ(w.lblStatus[0].caption(), "Connected OK");
  EXPECT_EQ(w.lblStatus[0].backColor(), colors::kGreen);
  EXPECT_FALSE(w.cmdConnect[0].enabled());
  EXPECT_EQ(w.form.mousePointer(), Form::kDefaultPointer);

  // Registers 4 to 10 of the first device are fixed at 100 + address.
  w.Timer3.setEnabled(true);
  ASSERT_TRUE(waitFor([&] { return w.tabel.text(1, 4) == "103" && w.tabel.text(10, 2) == "109"; }));
  EXPECT_EQ(w.tabel.text(2, 4), "104");
  EXPECT_EQ(w.tabel.text(3, 4), "105");
  EXPECT_EQ(w.tabel.text(4, 2), "103");
  EXPECT_EQ(w.lblStatus[0].caption(), "Received");
  ASSERT_TRUE(waitFor([&] { return dataCsv().find(",4>>,103,") != std::string::npos; }));
  EXPECT_EQ(dataCsv().substr(0, 4), ",1>>");

  ASSERT_TRUE(w.cmdDisconnect[0].click());
  EXPECT_EQ(w.lblStatus[0].caption(), "Disconnected");
  EXPECT_EQ(w.lblStatus[0].backColor(), colors::kRed);
  EXPECT_TRUE(w.cmdConnect[0].enabled());
  ASSERT_TRUE(waitFor([&] { return w.tabel.text(1, 2) == "???"; }, 3s));
  EXPECT_EQ(w.lblStatus[0].caption(), "Not connected");
}

// Reads 2 to 4 keep a fresh set-up's count "000". rtu-sim refuses a read of
// no registers with exception 3, as the Modbus standard has devices do; none
// reaches it, and the label of this healthy device never leaves green.
TEST_F(LoopbackTest, UnusedReadsOfAFreshSetUpNeverReachARefusingDevice) {
  QTemporaryDir log_folder;
  const QString log = log_folder.filePath("requests");
  Simulator sim({"--port", "0", "--log", log, "--seconds", "60"});
  const auto ports = sim.waitForPorts(1);
  ASSERT_EQ(ports.size(), 1u);
  startWithSlot0At(ports[0]);
  std::vector<std::string> captions = {w.lblStatus[0].caption()};
  w.feed().setListener([&] {
    if (captions.empty() || captions.back() != w.lblStatus[0].caption()) captions.push_back(w.lblStatus[0].caption());
  });
  auto requests = [&] {
    std::vector<std::string> lines;
    std::ifstream in(log.toStdString());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  };

  ASSERT_TRUE(w.cmdConnect[0].click());
  w.Timer3.setEnabled(true);
  ASSERT_TRUE(waitFor([&] { return requests().size() >= 6; })) << "three cycles of two reads";
  w.Timer3.setEnabled(false);
  ASSERT_TRUE(waitFor([&] { return w.atRest(); }));

  for (const std::string& request : requests())  // ns port tid function address count
    EXPECT_NE(request.substr(request.rfind(' ') + 1), "0") << request;
  EXPECT_EQ(w.lblStatus[0].caption(), "Received");
  EXPECT_EQ(w.lblStatus[0].backColor(), colors::kGreen);
  ASSERT_GE(captions.size(), 2u);
  EXPECT_EQ(captions[1], "Connected OK");
  for (std::size_t k = 2; k < captions.size(); ++k)
    EXPECT_TRUE(captions[k] == "Transmit" || captions[k] == "Received") << captions[k];
  EXPECT_EQ(w.tabel.text(1, 4), "103");
}

TEST_F(LoopbackTest, APortThatRefusesOrNeverAnswersFailsAfterTwoSecondsWithoutSpinning) {
  RefusingPort refusing;
  HangingListener hanging;
  for (quint16 port : {refusing.port(), hanging.port()}) {
    startWithSlot0At(port);
    w.cmdConnect[0].setEnabled(true);
    const auto wall = std::chrono::steady_clock::now();
    const auto cpu = cpuTime();
    ASSERT_TRUE(w.cmdConnect[0].click());
    const auto waited = std::chrono::steady_clock::now() - wall;
    EXPECT_EQ(w.lblStatus[0].caption(), "Tidak bisa Connect ");
    EXPECT_EQ(w.lblStatus[0].backColor(), colors::kYellow);
    EXPECT_FALSE(w.cmdConnect[0].enabled());
    EXPECT_GE(waited, 1990ms);
    // A wait that spun would burn the whole two seconds of a core.
    EXPECT_LT(cpuTime() - cpu, 400ms);
    ASSERT_TRUE(w.cmdDisconnect[0].click());
    EXPECT_EQ(w.lblStatus[0].caption(), "Disconnected");
  }
}

}  // namespace
}  // namespace rtupoll::testing
