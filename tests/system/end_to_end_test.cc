// The built program with no operator action: three saved devices on
// rtu-sim processes reconnect at start and are polled; one device goes away
// and comes back, and its values return without a click.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>

#include <memory>
#include <string>

#include "qt/support/program_folder.h"
#include "qt/support/simulator.h"
#include "support/comma_locale.h"
#include "support/setting_ini.h"

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

// Under a desktop locale with a decimal comma the window takes the comma
// in its whole-text numbers and writes it in its captions; the leading
// number of a request's fields still ends at a comma. Device 0 is up, device
// 1 is not saved, so its read is skipped.
TEST(EndToEnd, NumbersFollowTheUsersDecimalCommaWhateverTheCLibraryLocale) {
  const CommaLocale comma;  // first: the program's environment takes its LOCPATH
  if (!comma.missing().empty()) GTEST_SKIP() << comma.missing();
  QTemporaryDir log_folder;
  const QString log = log_folder.filePath("requests");
  Simulator device({"--port", "0", "--log", log, "--seconds", "120"});
  const auto port = device.waitForPorts(1);
  ASSERT_EQ(port.size(), 1u);

  ProgramFolder folder;
  folder.setEnvironment("LANG", CommaLocale::kName);
  folder.setEnvironment("LC_ALL", CommaLocale::kName);
  // "4,5" is 4.5: the address 3.5 goes through the text "3,5", whose
  // leading number is 3, so it reads register 4 and is captioned "4>>".
  // The count is the leading number: "2,9" asks for 2, and "0,5e1" for
  // none, so that read has neither captions nor values.
  SettingIni ini;
  ini.device(0, port[0], true);
  ini.read(0, "4,5", "1", 0).read(1, "2,5e1", "1", 0).read(2, "7", "0,5e1", 1).read(3, "1,5e1", "2,9", 0);
  ini.read(4, "6,5", "1", 0);
  folder.write("setting.ini", QByteArray::fromStdString(ini.text()));
  ASSERT_TRUE(folder.start());

  // Addresses 3 and 5 of device 0 hold 103 and 105; from address 10 on,
  // each holds its address.
  const QByteArray expected = ",4>>,103,25>>,24,,,15>>,14,6>>,105\r\n";
  const QByteArray line = waitForLine(folder, [&](const QByteArray& l) { return l == expected; });
  ASSERT_TRUE(folder.stopWith(SIGTERM));
  EXPECT_EQ(line.toStdString(), expected.toStdString());

  QFile requests(log);
  ASSERT_TRUE(requests.open(QIODevice::ReadOnly));
  QStringList asked;  // "address count" of each request
  for (const QByteArray& request : requests.readAll().split('\n'))
    if (!request.isEmpty()) asked += QString(request).section(' ', 4, 5);
  asked.removeDuplicates();
  EXPECT_EQ(asked.join(", ").toStdString(), "3 1, 24 1, 14 2, 5 1");
}

}  // namespace
}  // namespace rtupoll::testing
