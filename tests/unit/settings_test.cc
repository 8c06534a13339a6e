#include "settings/settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/virtual_env.h"
#include "support/virtual_folder.h"
#include "window/option_ip.h"

namespace rtupoll {
namespace {

using testing::VirtualFolder;

class Settings : public ::testing::Test {
 protected:
  Settings() : w(env) {}

  // The controls as a first start leaves them.
  void showDefaults() {
    for (std::size_t i = 0; i < kSlots; ++i) {
      w.txtPort[i].setText("502");
      w.txtIP[i].setText("192.168.1.1");
    }
    for (std::size_t r = 0; r < kReadDefs; ++r) {
      w.strReg[r].setText("000");
      w.LegReg[r].setText("000");
      w.LstIP[r].setListIndex(0);
    }
  }

  VirtualEnv env;
  VirtualFolder folder{env};
  OptionIP w;
};

// An Env whose program folder moves, as after the program was moved.
class MovingEnv : public VirtualEnv {
 public:
  std::string programFolder() const override { return folder; }
  std::string folder;
};

constexpr const char* kDefaultFile =
    "[set]\r\n"
    "Scon0=True\r\nScon1=True\r\nScon2=True\r\n"
    "port0=502\r\nport1=502\r\nport2=502\r\n"
    "txtIP0=192.168.1.1\r\ntxtIP1=192.168.1.1\r\ntxtIP2=192.168.1.1\r\n"
    "strreg0=000\r\nstrreg1=000\r\nstrreg2=000\r\nstrreg3=000\r\nstrreg4=000\r\n"
    "legreg0=000\r\nlegreg1=000\r\nlegreg2=000\r\nlegreg3=000\r\nlegreg4=000\r\n"
    "LstIP0=0\r\nLstIP1=0\r\nLstIP2=0\r\nLstIP3=0\r\nLstIP4=0\r\n";

TEST_F(Settings, TheFileLiesInTheProgramFolderAsItIsNow) {
  EXPECT_EQ(settingsPath(env), folder.path() + "/setting.ini");

  MovingEnv moving;
  const VirtualFolder first(moving, "/first");
  const VirtualFolder other(moving, "/other");
  moving.folder = first.path();
  first.write("setting.ini", "[set]\r\nport0=1\r\n");
  EXPECT_EQ(readSetting(readSettingsFile(moving), "set", "port0", "502"), "1");
  moving.folder = other.path();
  EXPECT_EQ(readSetting(readSettingsFile(moving), "set", "port0", "502"), "502");
  OptionIP moved(moving);
  save(moved);
  EXPECT_TRUE(other.exists("setting.ini"));
  EXPECT_EQ(first.read("setting.ini"), "[set]\r\nport0=1\r\n");
}

TEST_F(Settings, ReadsTheStoredTextOrTheDefault) {
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "Scon0", "True"), "True");
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "txtIP0", "192.168.1.1"), "192.168.1.1");
  folder.write("setting.ini", "[SET]\r\nscon0=false\r\ntxtIP0=\r\nstrreg0=" + std::string(300, '7') + "\r\n");
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "Scon0", "True"), "false");  // as stored, letter case and all
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "txtIP0", "192.168.1.1"), "");
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "strreg0", "000"), std::string(254, '7'));
}

TEST_F(Settings, SaveWritesTheKeysInTableOrderIntoAMissingFile) {
  showDefaults();
  save(w);
  EXPECT_EQ(folder.read("setting.ini"), kDefaultFile);
}

TEST_F(Settings, SaveTakesEachTextFromItsControl) {
  showDefaults();
  w.cmdConnect[1].setEnabled(false);  // a connection was asked for
  w.txtPort[2].setText("1502");
  w.txtIP[0].setText("127.0.0.1");
  w.strReg[4].setText("100");
  w.LegReg[3].setText("2.5");
  w.LstIP[0].setListIndex(2);
  w.LstIP[1].setListIndex(-1);
  save(w);
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "Scon0", "True"), "True");
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "Scon1", "True"), "False");
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "port2", "502"), "1502");
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "txtIP0", "192.168.1.1"), "127.0.0.1");
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "strreg4", "000"), "100");
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "legreg3", "000"), "2.5");
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "LstIP0", "000"), "2");
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "LstIP1", "000"), "-1");
}

TEST_F(Settings, EmptyTextsAndNoDeviceChoiceComeBackAsSaved) {
  showDefaults();
  for (std::size_t r = 0; r < kReadDefs; ++r) {
    w.strReg[r].setText("");
    w.LegReg[r].setText("");
    w.LstIP[r].setListIndex(-1);
  }
  w.txtIP[1].setText("");
  save(w);
  for (int r = 0; r < kReadDefs; ++r) {
    const std::string n = std::to_string(r);
    EXPECT_EQ(readSetting(readSettingsFile(env), "set", "strreg" + n, "000"), "") << r;
    EXPECT_EQ(readSetting(readSettingsFile(env), "set", "legreg" + n, "000"), "") << r;
    EXPECT_EQ(readSetting(readSettingsFile(env), "set", "LstIP" + n, "000"), "-1") << r;
  }
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "txtIP1", "192.168.1.1"), "");
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "txtIP0", "192.168.1.1"), "192.168.1.1");
}

TEST_F(Settings, SaveRewritesOnlyItsKeysAndKeepsTheRestOfTheFile) {
  folder.write("setting.ini",
               "; written by hand\r\n[display]\r\nfont=Tahoma\r\n[set]\r\nport0=1\r\nextra=kept\r\n"
               "\r\n[other]\r\nLstIP0=9\r\n");
  showDefaults();
  save(w);
  std::string keys(kDefaultFile);
  keys.erase(0, std::string("[set]\r\nScon0=True\r\nScon1=True\r\nScon2=True\r\nport0=502\r\n").size());
  EXPECT_EQ(folder.read("setting.ini"),
            "; written by hand\r\n[display]\r\nfont=Tahoma\r\n[set]\r\nport0=502\r\nextra=kept\r\n"
            "Scon0=True\r\nScon1=True\r\nScon2=True\r\n" +
                keys + "\r\n[other]\r\nLstIP0=9\r\n");
}

TEST_F(Settings, ALineBreakInATextBoxStaysInItsValue) {
  showDefaults();
  w.txtIP[0].setText("10.0.0.1\r\n[set]\r\nScon0=False");
  save(w);
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "Scon0", "True"), "True");
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "txtIP0", ""), "10.0.0.1[set]Scon0=False");
  EXPECT_EQ(folder.read("setting.ini").find("\n["), std::string::npos);  // no second header
}

TEST_F(Settings, SaveIntoAFolderThatCannotTakeTheFileChangesNothing) {
  env.files().erase(folder.path());
  env.files().write(folder.path(), "kept");  // the "folder" is a file
  save(w);
  EXPECT_EQ(env.files().read(folder.path()), "kept");
}

// A setting.ini that is no set-up of ours is read as unreadable: the
// defaults apply, and save leaves it as it is.
TEST_F(Settings, AFileThatIsNoSetUpGivesTheDefaultsAndIsNeverWritten) {
  using testing::VirtualFiles;
  const std::string path = folder.file("setting.ini");
  const std::string section = "\r\n[set]\r\nport0=1502\r\n";
  const std::string padding(kLargestSettingsFile - section.size(), ';');
  folder.write("setting.ini", padding + section);
  EXPECT_EQ(readSetting(readSettingsFile(env), "set", "port0", "502"), "1502") << "1 MiB is still read";

  struct Case {
    const char* name;
    std::function<void()> make;
  };
  const Case cases[] = {
      {"beyond 1 MiB", [&] { folder.write("setting.ini", padding + ";" + section); }},
      {"a FIFO", [&] { env.files().addSpecial(path); }},
      {"a link to a device", [&] {
         env.files().addSpecial("/dev-zero");
         env.files().addLink(path, "/dev-zero");
       }},
      {"a link to itself", [&] { env.files().addLink(path, "setting.ini"); }},
      {"a link into a missing folder", [&] { env.files().addLink(path, "/nowhere/setting.ini"); }},
      {"a file that cannot be read", [&] {
         folder.write("setting.ini", section);
         env.files().fail(VirtualFiles::Op::kRead, path, FileError::kDenied);
       }},
  };
  for (const Case& c : cases) {
    env.files().erase(path);
    c.make();
    EXPECT_EQ(readSetting(readSettingsFile(env), "set", "port0", "502"), "502") << c.name;
    const auto before = env.files().read(path);
    const bool was_link = env.files().isLink(path);
    showDefaults();
    save(w);
    EXPECT_EQ(env.files().read(path), before) << c.name;
    EXPECT_EQ(env.files().isLink(path), was_link) << c.name;
    EXPECT_FALSE(env.files().exists("/nowhere")) << c.name;
    EXPECT_EQ(env.files().listFolder(folder.path()), std::vector<std::string>{"setting.ini"}) << c.name;
    env.files().clearFaults();
  }
}

}  // namespace
}  // namespace rtupoll
