// The built program on settings files and program folders the operator's
// machine can hold: a FIFO, a link to a device or to itself, a sparse
// gigabyte, lines of 10,000 characters, files linked from elsewhere, and a
// program folder the program may not write. It starts, polls and closes in
// order; writes that cannot be made fail, are told in one line on standard
// error and leave the old files whole; nothing hangs. The window's start-up on such files in the test's
// own process is in tests/qt/bad_files_startup_test.cc.

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
#include <string>

#include "platform/qt_env.h"
#include "qt/support/bad_files.h"
#include "qt/support/loopback.h"
#include "qt/support/program_folder.h"
#include "qt/support/scripted_peer.h"
#include "window/control_arrays.h"

namespace rtupoll::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::seconds kPatience = 30s;
// Far beyond what reading any of these files takes: a start-up this slow
// would look hung to the operator.
constexpr auto kHang = 10s;

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
void makeFolder(const QString& path) { ASSERT_TRUE(QDir().mkdir(path)); }
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
  // The set-up that could not be saved is told, once, with the file's path.
  const QStringList told = folder.toldLines();
  ASSERT_EQ(told.size(), 1) << told.join('\n').toStdString();
  EXPECT_TRUE(told[0].startsWith("rtupoll: the set-up was not saved to " + path + ": ")) << told[0].toStdString();
}

void PrintTo(const HostileSettingsFile& file, std::ostream* os) { *os << file.name; }

INSTANTIATE_TEST_SUITE_P(BadFiles, BadSettingsFile,
                         ::testing::Values(HostileSettingsFile{"Fifo", makeFifo},
                                           HostileSettingsFile{"LinkToDevZero", linkToDevZero},
                                           HostileSettingsFile{"LinkLoop", linkToItself},
                                           HostileSettingsFile{"SparseGigabyte", makeGigabyte},
                                           HostileSettingsFile{"Folder", makeFolder}),
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

}  // namespace
}  // namespace rtupoll::testing
