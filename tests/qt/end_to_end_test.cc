// The built program with no operator action: three saved devices on
// rtu-sim processes reconnect at start and are polled; one device goes away
// and comes back, and its values return without a click.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QThread>

#include <signal.h>

#include <memory>
#include <string>

#include "support/setting_ini.h"
#include "qt/support/program_folder.h"
#include "qt/support/simulator.h"

namespace rtupoll::testing {
namespace {

constexpr int kPatienceMs = 40000;

// Device d on its own process, so that it can go away alone.
std::unique_ptr<Simulator> startDevice(int d, quint16 port) {
  return std::make_unique<Simulator>(
      QStringList{"--port", QString::number(port), "--first-device", QString::number(d), "--seconds", "120"});
}

// Waits until data.csv holds a line that `good` accepts; returns the last line read.
QByteArray waitForLine(const ProgramFolder& folder, const std::function<bool(const QByteArray&)>& good) {
  QElapsedTimer clock;
  clock.start();
  QByteArray line;
  while (clock.elapsed() < kPatienceMs) {
    line = folder.read("data.csv");
    if (good(line)) break;
    QThread::msleep(100);
  }
  return line;
}

// The fields of a data.csv line: the empty one before the leading comma,
// then caption and value of each read definition's first register.
QList<QByteArray> fields(const QByteArray& line) { return line.trimmed().split(','); }

TEST(EndToEnd, SavedDevicesAreReconnectedPolledLostAndRegained) {
  std::unique_ptr<Simulator> devices[3];
  quint16 ports[3];
  for (int i = 0; i < 3; ++i) {
    devices[i] = startDevice(i, 0);
    const auto printed = devices[i]->waitForPorts(1);
    ASSERT_EQ(printed.size(), 1u);
    ports[i] = printed[0];
  }
  ProgramFolder folder;
  SettingIni ini;
  for (int i = 0; i < 3; ++i) ini.device(i, ports[i], true);
  // Register 4 (address 3) of device d holds 100 (d + 1) + 3; the last two
  // read definitions ask devices 0 and 1 again.
  ini.read(0, "4", "1", 0).read(1, "4", "1", 1).read(2, "4", "1", 2).read(3, "5", "2", 0).read(4, "11", "1", 1);
  folder.write("setting.ini", QByteArray::fromStdString(ini.text()));
  ASSERT_TRUE(folder.start());

  const QList<QByteArray> all_up = {"", "4>>", "103", "4>>", "203", "4>>", "303", "5>>", "104", "11>>", "10010"};
  QByteArray line = waitForLine(folder, [&](const QByteArray& l) { return fields(l) == all_up; });
  ASSERT_EQ(fields(line), all_up) << line.toStdString();
  EXPECT_TRUE(line.endsWith("\r\n"));
  EXPECT_EQ(line.count('\n'), 1);

  // Device B goes away: its two read definitions show "???", the others go on.
  devices[1].reset();
  const QList<QByteArray> b_down = {"", "4>>", "103", "4>>", "???", "4>>", "303", "5>>", "104", "11>>", "???"};
  line = waitForLine(folder, [&](const QByteArray& l) { return fields(l) == b_down; });
  ASSERT_EQ(fields(line), b_down) << line.toStdString();

  // It comes back on the same port and is reconnected without a click.
  devices[1] = startDevice(1, ports[1]);
  ASSERT_EQ(devices[1]->waitForPorts(1).size(), 1u);
  line = waitForLine(folder, [&](const QByteArray& l) { return fields(l) == all_up; });
  ASSERT_EQ(fields(line), all_up) << line.toStdString();

  ASSERT_TRUE(folder.stopWith(SIGTERM));
  const QByteArray saved = folder.read("setting.ini");
  for (const char* key : {"Scon0=False\r\n", "Scon1=False\r\n", "Scon2=False\r\n"})
    EXPECT_TRUE(saved.contains(key)) << key << " in\n" << saved.toStdString();
}

}  // namespace
}  // namespace rtupoll::testing
