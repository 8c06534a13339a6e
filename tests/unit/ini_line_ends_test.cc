// A CR alone ends a line of setting.ini, as it does for the Windows profile
// functions (a file of old Macintosh line ends, or one whose lines were
// joined by hand): the reader finds the entries between CRs, and the writer
// rewrites or adds lines in the file's own line ends, CR among them.

#include <gtest/gtest.h>

#include <string>

#include "settings/ini_file.h"
#include "support/virtual_folder.h"

namespace rtupoll {
namespace {

using testing::VirtualFolder;

constexpr std::size_t kNoLimit = std::string::npos;

class IniLineEnds : public ::testing::Test {
 protected:
  std::string path() const { return folder.file("setting.ini"); }

  VirtualEnv env;
  VirtualFolder folder{env};
};

TEST_F(IniLineEnds, ACrAloneEndsALineForTheReader) {
  struct Row {
    const char* name;
    std::string file;
    const char* key;
    const char* value;
  };
  const Row rows[] = {
      {"CR line ends", "[set]\rport0=1\rport1=2\r", "port1", "2"},
      {"an unterminated last line", "[set]\rport0=1", "port0", "1"},
      {"LF, then CR", "[set]\r\nport0=1\nport1=2\rport2=3\r\n", "port1", "2"},
      {"CR, then CR LF", "[set]\r\nport0=1\nport1=2\rport2=3\r\n", "port2", "3"},
      {"a section ended by a CR header", "[set]\rport0=1\r[other]\rport1=9\r", "port1", "dflt"},
      {"CR before CR LF", "[set]\nport0=1\r\r\nport1=2\r\r\n", "port0", "1"},
      {"a header after a CR", "port0=9\r[set]\rport0=1\r", "port0", "1"},
  };
  for (const Row& row : rows) {
    folder.write("setting.ini", row.file);
    EXPECT_EQ(iniString(readIniFile(env, path(), kNoLimit), "set", row.key, "dflt"), row.value) << row.name;
  }
}

TEST_F(IniLineEnds, TheWriterKeepsTheFilesCrLineEnds) {
  struct Row {
    const char* name;
    std::string before;
    const char* key;
    const char* value;
    std::string after;
  };
  const Row rows[] = {
      {"a key rewritten", "[set]\rport0=1\r", "port0", "2", "[set]\rport0=2\r"},
      {"a key added", "[set]\rport0=1\r", "port1", "2", "[set]\rport0=1\rport1=2\r"},
      {"a key added after an unterminated line", "[set]\rport0=1", "port1", "2", "[set]\rport0=1\rport1=2\r"},
      {"a section added", "[other]\rx=1\r", "port0", "502", "[other]\rx=1\r[set]\rport0=502\r"},
      {"a key between CR and LF lines", "[set]\r\nport0=1\rport1=2\n", "port0", "9", "[set]\r\nport0=9\rport1=2\n"},
      {"a CR before CR LF kept", "[set]\nport0=1\r\r\n", "port0", "2", "[set]\nport0=2\r\r\n"},
  };
  for (const Row& row : rows) {
    folder.write("setting.ini", row.before);
    ASSERT_TRUE(writeIniStrings(env, path(), kNoLimit, "set", {{row.key, row.value}})) << row.name;
    EXPECT_EQ(folder.read("setting.ini"), row.after) << row.name;
  }
}

}  // namespace
}  // namespace rtupoll
