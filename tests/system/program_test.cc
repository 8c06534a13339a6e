// The built program end to end, in a temporary program folder. Every host
// it could reach is on loopback: with no settings file no slot is saved,
// so nothing connects, and a prepared file names 127.0.0.1 only.

#include <QByteArray>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>

#include "qt/support/program_folder.h"

namespace rtupoll {
namespace {

using testing::ProgramFolder;

QByteArray iniLines(const QList<QByteArray>& lines) {
  QByteArray text;
  for (const QByteArray& line : lines) text += line + "\r\n";
  return text;
}

TEST(ProgramTest, FirstRunInAnEmptyFolderSavesTheDefaultsOnSigterm) {
  ProgramFolder folder;
  ASSERT_TRUE(folder.start());
  ASSERT_TRUE(folder.stopWith(SIGTERM));

  EXPECT_EQ(folder.read("setting.ini"),
            iniLines({"[set]", "Scon0=True", "Scon1=True", "Scon2=True", "port0=502", "port1=502", "port2=502",
                      "txtIP0=192.168.1.1", "txtIP1=192.168.1.1", "txtIP2=192.168.1.1", "strreg0=000",
                      "strreg1=000", "strreg2=000", "strreg3=000", "strreg4=000", "legreg0=000", "legreg1=000",
                      "legreg2=000", "legreg3=000", "legreg4=000", "LstIP0=0", "LstIP1=0", "LstIP2=0", "LstIP3=0",
                      "LstIP4=0"}));
  // Next to the program, nowhere else, and no temporary file left over.
  const QStringList files = folder.files();
  EXPECT_TRUE(files == QStringList({"rtupoll", "setting.ini"}) ||
              files == QStringList({"data.csv", "rtupoll", "setting.ini"}))
      << files.join(' ').toStdString();
  EXPECT_TRUE(folder.filesInWorkingFolder().isEmpty());
}

TEST(ProgramTest, EveryQuitSignalClosesTheWindowInOrder) {
  // One key is missing, so a save that ran shows: it adds the key.
  const QList<QByteArray> stored = {
      "[set]",          "Scon0=True",     "Scon1=True",     "Scon2=True",     "port0=1502",     "port1=1503",
      "port2=1504",     "txtIP0=127.0.0.1", "txtIP1=127.0.0.1", "txtIP2=127.0.0.1", "strreg0=100", "strreg1=7",
      "strreg2=&H10",   "strreg3=",       "strreg4=000",    "legreg0=3",      "legreg1=2.5",    "legreg2=0",
      "legreg3=000",    "legreg4=000",    "LstIP0=1",       "LstIP1=2",       "LstIP2=-1",      "LstIP3=0"};
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    ProgramFolder folder;
    folder.write("setting.ini", iniLines(stored));
    ASSERT_TRUE(folder.start());
    ASSERT_TRUE(folder.stopWith(signal_number));
    EXPECT_EQ(folder.read("setting.ini"), iniLines(stored) + "LstIP4=0\r\n");
  }
}

// A file edited by hand, as the Windows profile functions take it: LF line
// ends, a header without its bracket, quoted values, a key in capitals.
TEST(ProgramTest, AHandEditedSettingsFileIsReadAndKeptInItsOwnStyle) {
  const QByteArray reads =
      "strreg0=100\nstrreg1=7\nstrreg2=1\nstrreg3=1\nstrreg4=1\n"
      "legreg0=3\nlegreg1=2\nlegreg2=0\nlegreg3=0\nlegreg4=0\n";
  ProgramFolder folder;
  folder.write("setting.ini",
               "[set\nSCON0=True\nScon1=True\nScon2=True\nport0=\"1502\"\nport1=1503\nport2=1504\n"
               "txtIP0=\"127.0.0.1\"\ntxtIP1='127.0.0.1'\ntxtIP2=127.0.0.1\n" +
                   reads + "LstIP0='2'\nLstIP1=\"1\"\nLstIP2=-1\nLstIP3=0\n");
  ASSERT_TRUE(folder.start());
  ASSERT_TRUE(folder.stopWith(SIGTERM));
  // The values as they were read, without their quotes; no second section.
  const QByteArray saved =
      "[set\nSCON0=True\nScon1=True\nScon2=True\nport0=1502\nport1=1503\nport2=1504\n"
      "txtIP0=127.0.0.1\ntxtIP1=127.0.0.1\ntxtIP2=127.0.0.1\n" +
      reads + "LstIP0=2\nLstIP1=1\nLstIP2=-1\nLstIP3=0\nLstIP4=0\n";
  EXPECT_EQ(folder.read("setting.ini").toStdString(), saved.toStdString());
}

// One poller per program folder. A killed run's lock keeps no start out; a
// second start from the folder ends within seconds, writes nothing and says
// why in one line; a start from another folder runs beside the first.
TEST(ProgramTest, OnePollerPerProgramFolder) {
  const QByteArray settings = iniLines({"[set]", "txtIP0=127.0.0.1", "txtIP1=127.0.0.1", "txtIP2=127.0.0.1"});
  ProgramFolder folder;
  folder.write("setting.ini", settings);
  ASSERT_TRUE(folder.start());
  EXPECT_FALSE(folder.stopWith(SIGKILL));
  EXPECT_TRUE(folder.files().contains("rtupoll.lock"));
  ASSERT_TRUE(folder.start());

  const QStringList before = folder.files();
  QStringList told;
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(folder.startAgain(5, told), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
  ASSERT_EQ(told.size(), 1) << told.join('\n').toStdString();
  const QString path = QFileInfo(folder.filePath("rtupoll")).canonicalPath();
  EXPECT_TRUE(told[0].startsWith("rtupoll: already running from " + path + " (process ")) << told[0].toStdString();
  EXPECT_EQ(folder.files(), before);
  EXPECT_EQ(folder.read("setting.ini"), settings);

  ProgramFolder other;
  other.write("setting.ini", settings);
  ASSERT_TRUE(other.start());
  // A lock its run left behind is taken over even when the process number
  // it names is a live rtupoll's by now, as Wine hands the numbers out again.
  EXPECT_FALSE(folder.stopWith(SIGKILL));
  folder.write("rtupoll.lock", other.read("rtupoll.lock"));
  ASSERT_TRUE(folder.start());
  EXPECT_TRUE(other.stopWith(SIGTERM));
  EXPECT_TRUE(folder.stopWith(SIGTERM));
  EXPECT_FALSE(folder.files().contains("rtupoll.lock"));
  EXPECT_TRUE(folder.toldLines().isEmpty());
}

}  // namespace
}  // namespace rtupoll
