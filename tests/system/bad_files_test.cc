// Settings files and program folders the operator's machine can hold: a
// setting.ini of binary garbage, beyond a megabyte, with lines of 10,000
// characters, a FIFO, a link to a device or to itself, files linked from
// elsewhere, and a program folder the program may not write. Start-up
// completes and reads what can be read; the program polls; writes that
// cannot be made fail silently and leave the old files whole; nothing hangs.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ostream>
#include <random>
#include <string>

#include "app/window_events.h"
#include "datalog/data_log.h"
#include "devices/connect.h"
#include "polling/poll_cycle.h"
#include "qt/support/folder_env.h"
#include "qt/support/loopback.h"
#include "qt/support/program_folder.h"
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

// Bytes of every value, line breaks and zero bytes among them, but no '['
// so that no section can start in them by chance.
QByteArray garbage(qsizetype size) {
  std::mt19937 random(20240607);
  QByteArray bytes(size, '\0');
  for (char& c : bytes) {
    c = static_cast<char>(random() & 0xFF);
    if (c == '[') c = ']';
  }
  return bytes;
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) << path.toStdString();
}

QStringList entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray iniLines(const QList<QByteArray>& lines) {
  QByteArray text;
  for (const QByteArray& line : lines) text += line + "\r\n";
  return text;
}

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

// The built program on a setting.ini that is no file of ours: it starts,
// its window takes the quit signal and closes in order at once, and the
// file is left as it was, whatever it is.
struct HostileSettingsFile {
  const char* name;
  void (*make)(const QString& path);
};

void makeFifo(const QString& path) { ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0); }
void linkToDevZero(const QString& path) { ASSERT_TRUE(QFile::link("/dev/zero", path)); }
void linkToItself(const QString& path) { ASSERT_TRUE(QFile::link(path, path)); }
// Sparse: a gigabyte that costs no disk.
void makeGigabyte(const QString& path) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(qint64{1} << 30));
}
void makeLongLines(const QString& path) {
  writeFile(path, garbage(1000) + "\r\n" + QByteArray(10000, 'y') + "\r\n" +
                      iniLines({"[set]", "txtIP0=127.0.0.1", "txtIP1=127.0.0.1", "txtIP2=127.0.0.1"}));
}

class BadSettingsFile : public ::testing::TestWithParam<HostileSettingsFile> {};

TEST_P(BadSettingsFile, TheProgramStartsClosesAtOnceAndLeavesTheFile) {
  ProgramFolder folder;
  const QString path = folder.filePath("setting.ini");
  ASSERT_NO_FATAL_FAILURE(GetParam().make(path));
  const QFileInfo before(path);
  ASSERT_TRUE(folder.start());
  const auto signalled = std::chrono::steady_clock::now();
  ASSERT_TRUE(folder.stopWith(SIGTERM)) << "the window did not close in order";
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, kHang);
  const QFileInfo after(path);
  EXPECT_EQ(after.isSymLink(), before.isSymLink());
  EXPECT_EQ(after.isFile(), before.isFile());
  EXPECT_EQ(after.size(), before.size());
  EXPECT_EQ(after.lastModified(), before.lastModified());
}

void PrintTo(const HostileSettingsFile& file, std::ostream* os) { *os << file.name; }

INSTANTIATE_TEST_SUITE_P(BadFiles, BadSettingsFile,
                         ::testing::Values(HostileSettingsFile{"Fifo", makeFifo},
                                           HostileSettingsFile{"LinkToDevZero", linkToDevZero},
                                           HostileSettingsFile{"LinkLoop", linkToItself},
                                           HostileSettingsFile{"SparseGigabyte", makeGigabyte}),
                         [](const auto& info) { return std::string(info.param.name); });

// A file of ours with lines of 10,000 characters is read and saved: the
// save keeps every byte it did not own.
TEST(BadFiles, TheProgramSavesIntoAFileWithLongLinesAndKeepsTheRest) {
  ProgramFolder folder;
  makeLongLines(folder.filePath("setting.ini"));
  const QByteArray before = folder.read("setting.ini");
  ASSERT_TRUE(folder.start());
  ASSERT_TRUE(folder.stopWith(SIGTERM));
  const QByteArray saved = folder.read("setting.ini");
  EXPECT_TRUE(saved.startsWith(before.left(before.indexOf("[set]"))));
  EXPECT_TRUE(saved.contains("\r\ntxtIP0=127.0.0.1\r\n"));
  EXPECT_TRUE(saved.contains("\r\nLstIP4=0\r\n")) << "the save did not run";
}

// An operator who keeps the files elsewhere and links them: the links stay,
// the files they lead to are written. Temporary files a killed run left
// are gone after the start, and nothing else is.
TEST(BadFiles, LinkedFilesStayLinkedAndLeftoversAreRemoved) {
  ProgramFolder folder;
  QTemporaryDir elsewhere;
  writeFile(elsewhere.filePath("setting.ini"), iniLines({"[set]", "txtIP0=127.0.0.1", "txtIP1=127.0.0.1",
                                                          "txtIP2=127.0.0.1", "strreg0=5", "legreg0=1"}));
  ASSERT_TRUE(QFile::link(elsewhere.filePath("setting.ini"), folder.filePath("setting.ini")));
  ASSERT_TRUE(QFile::link(elsewhere.filePath("data.csv"), folder.filePath("data.csv")));
  for (const char* name : {"setting.ini.tmp-999-0", "data.csv.tmp-12-3", "data.csv.tmp-x", "notes.txt"})
    folder.write(name, "left");
  ASSERT_TRUE(folder.start());
  // The first line of data.csv comes with the poll clock, about 6 s in.
  QtEnv env;
  ASSERT_TRUE(waitUntil(env, [&] { return QFile::exists(elsewhere.filePath("data.csv")); }, kPatience));
  ASSERT_TRUE(folder.stopWith(SIGTERM));
  EXPECT_TRUE(QFileInfo(folder.filePath("setting.ini")).isSymLink());
  EXPECT_TRUE(QFileInfo(folder.filePath("data.csv")).isSymLink());
  EXPECT_TRUE(readFile(elsewhere.filePath("setting.ini")).contains("\r\nLstIP4=0\r\n"));
  EXPECT_EQ(readFile(elsewhere.filePath("data.csv")), ",5>>,???,,,,,,,,\r\n");
  EXPECT_EQ(folder.files(), QStringList({"data.csv", "data.csv.tmp-x", "notes.txt", "rtupoll", "setting.ini"}));
}

// The built program in a program folder it may not write. The superuser
// may write anywhere, so as root the program runs as the user nobody.
class BadFilesReadOnlyFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() == 0) {
      setpriv_ = QStandardPaths::findExecutable("setpriv");
      if (setpriv_.isEmpty()) GTEST_SKIP() << "as the superuser this needs setpriv to run the program as nobody";
    }
  }
  void TearDown() override { chmod(QFile::encodeName(folder_.path()).constData(), 0700); }

  // The program folder becomes read-only, r-x for everybody, while its
  // files stay writable: only the folder stands in the way of a write.
  void start() {
    for (const QString& name : entries(folder_.path()))
      ASSERT_EQ(chmod(QFile::encodeName(folder_.filePath(name)).constData(), 0777), 0);
    ASSERT_EQ(chmod(QFile::encodeName(folder_.path()).constData(), 0555), 0);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process_.setProcessEnvironment(environment);
    process_.setWorkingDirectory(QDir::rootPath());
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString program = folder_.filePath("rtupoll");
    if (setpriv_.isEmpty())
      process_.start(program, {});
    else
      process_.start(setpriv_, {"--reuid=65534", "--regid=65534", "--clear-groups", program});
    ASSERT_TRUE(process_.waitForStarted());
  }

  QTemporaryDir folder_;
  QString setpriv_;
  QProcess process_;
};

// No temporary file can be made there: a file the user may write is
// rewritten in place, as the platform's own writer would, and a read-only
// one keeps its content.
TEST_F(BadFilesReadOnlyFolder, StillPollsRewritesWritableFilesInPlaceAndLeavesReadOnlyOnes) {
  ScriptedPeer device;
  QtEnv env;
  ASSERT_TRUE(QFile::copy(RTUPOLL_EXE, folder_.filePath("rtupoll")));
  // Slot 0 saved, so the reload connects it; every read definition on it.
  // The save shows: it writes "False" in its own letter case and adds the
  // missing LstIP4.
  const QByteArray port = QByteArray::number(device.port());
  const QByteArray ini = iniLines({"[set]",           "Scon0=false",      "Scon1=True",       "Scon2=True",
                                   "port0=" + port,   "port1=" + port,    "port2=" + port,    "txtIP0=127.0.0.1",
                                   "txtIP1=127.0.0.1", "txtIP2=127.0.0.1", "strreg0=11",       "strreg1=21",
                                   "strreg2=31",      "strreg3=41",       "strreg4=51",       "legreg0=2",
                                   "legreg1=2",       "legreg2=2",        "legreg3=2",        "legreg4=2",
                                   "LstIP0=0",        "LstIP1=0",         "LstIP2=0",         "LstIP3=0"});
  const QByteArray old_line = ",10>>,81,20>>,151,30>>,221,40>>,291,50>>,361\r\n";
  writeFile(folder_.filePath("setting.ini"), ini);
  writeFile(folder_.filePath("data.csv"), old_line);
  ASSERT_NO_FATAL_FAILURE(start());

  ASSERT_EQ(chmod(QFile::encodeName(folder_.filePath("data.csv")).constData(), 0444), 0);
  // A whole cycle: the tick that began it has also tried to write data.csv.
  ASSERT_TRUE(waitUntil(env, [&] { return device.requests().size() >= kReadDefs; }, kPatience))
      << "the program did not poll";
  EXPECT_EQ(device.requests()[0].address, 10);
  EXPECT_EQ(device.requests()[4].address, 50);
  ASSERT_EQ(kill(static_cast<pid_t>(process_.processId()), SIGTERM), 0);
  ASSERT_TRUE(process_.waitForFinished(std::chrono::milliseconds(kPatience).count()));
  EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process_.exitCode(), 0);

  const std::string saved = readFile(folder_.filePath("setting.ini")).toStdString();
  EXPECT_NE(saved.find("\r\nScon0=False\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\r\nLstIP4=0\r\n"), std::string::npos) << saved;
  EXPECT_EQ(readFile(folder_.filePath("data.csv")).toStdString(), old_line.toStdString());
  EXPECT_EQ(entries(folder_.path()), QStringList({"data.csv", "rtupoll", "setting.ini"}));
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
  EXPECT_EQ(w.tabel.text(1, 2), std::to_string(ScriptedPeer::valueAt(7)));
  print_click(w);
  EXPECT_EQ(w.txt_print.text(), ",," + w.tabel.text(1, 2) + ",,,,,,,,");
  events.unload();

  EXPECT_EQ(readFile(not_a_folder).toStdString(), "kept\r\n");
  EXPECT_EQ(entries(folder.path()), QStringList({"program"}));
}

}  // namespace
}  // namespace rtupoll::testing
