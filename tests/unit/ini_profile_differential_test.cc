// Our INI reader and writer (settings/ini_file), as the program uses them
// through the system's files, against the platform's own profile functions,
// GetPrivateProfileStringA and WritePrivateProfileStringA, on the same table
// of files. Windows builds only; under Wine the profile functions are Wine's
// own implementation, which the check runs it with.
//
// Every row states what to expect:
// - kSame: the two agree, byte for byte.
// - kWineDiffers: Windows and we agree, Wine does not; the reason says
//   where Windows's behaviour is known from. Under Wine the row must differ,
//   on Windows it must agree.
// - kDeparture: a deliberate departure of ours from the profile functions
//   (docs/design.md, "Deliberate departures"); it differs everywhere.
// The test prints every difference in a table, and fails on a row that
// does not do what it states.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "platform/system_files.h"
#include "settings/ini_file.h"
#include "support/temp_folder.h"
#include "support/virtual_env.h"

#include <windows.h>

namespace rtupoll {
namespace {

using namespace std::string_literals;
using testing::TempFolder;

// As readSetting and writeSetting call the platform: a buffer of 255.
constexpr DWORD kBuffer = 255;
constexpr const char* kSection = "set";
constexpr const char* kDefault = "dflt";
constexpr std::size_t kNoLimit = std::string::npos;

// Blank lines and every line the writer does not touch: Windows edits the
// file in place (Wine's own conformance test for bytes before the first
// section, which Windows keeps, is marked as failing under Wine); Wine
// writes the whole file anew from what it parsed, without blank lines.
constexpr const char* kWineRewritesTheFile =
    "Windows edits the file in place and keeps every line it does not write; Wine writes the file anew "
    "from what it parsed, dropping blank lines";
// docs/design.md states that "[set" without its bracket is the section, as
// the Windows reader takes it; Wine takes that line for a key of the
// section before it, so the entries below it fall out of "set".
constexpr const char* kWineNeedsTheBracket =
    "a header without its ']' names the section under Windows (docs/design.md); Wine ignores it";
constexpr const char* kKeepsTheStyle =
    "a hand-edited setting.ini keeps its style: written lines end as the line before them (docs/design.md)";
constexpr const char* kNoLineBreaks =
    "the writer drops CR and LF from values, so a value cannot add lines or sections (docs/design.md)";

enum class Expect { kSame, kWineDiffers, kDeparture };

struct ReadRow {
  const char* name;
  std::optional<std::string> file;  // nothing: no file at all
  const char* key;
  Expect expect = Expect::kSame;
  const char* why = "";
  // Text beyond ASCII, which both read as Windows-1252 only where that is
  // the platform's ANSI code page.
  bool windows_1252 = false;
};

struct WriteRow {
  const char* name;
  std::optional<std::string> file;
  const char* key;
  std::string value;
  Expect expect = Expect::kSame;
  const char* why = "";
};

const std::string k254(254, 'a');
const std::string k255(255, 'b');
const std::string k300(300, 'c');

const std::vector<ReadRow> kReadRows = {
    {"double quotes", "[set]\r\ntxtIP0=\"127.0.0.1\"\r\n", "txtIP0"},
    {"single quotes", "[set]\r\ntxtIP0='10.0.0.2'\r\n", "txtIP0"},
    {"quotes with blanks inside and out", "[set]\r\ntxtIP0 =  \" a b \"  \r\n", "txtIP0"},
    {"mismatched quotes", "[set]\r\nport0=\"502'\r\n", "port0"},
    {"a quote at one end", "[set]\r\nport0=\"502\r\n", "port0"},
    {"a lone quote", "[set]\r\nport0=\"\r\n", "port0"},
    {"empty quotes", "[set]\r\nport0=\"\"\r\n", "port0"},
    {"quotes twice", "[set]\r\nport0=\"\"x\"\"\r\n", "port0"},
    {"letter case of section and key", "[SeT]\r\nTXTIP0=10.0.0.1\r\n", "txtIP0"},
    {"a header without its ']'", "[set\r\nport0=7\r\n", "port0", Expect::kWineDiffers, kWineNeedsTheBracket},
    {"text after the header's ']'", "[set] ; line 3\r\nport0=7\r\n", "port0"},
    {"blanks inside the brackets", "  [ set ]  \r\nport0=7\r\n", "port0"},
    {"LF line ends", "[set]\nport0=1\nport1=2\n", "port1"},
    {"CR LF line ends", "[set]\r\nport0=1\r\nport1=2\r\n", "port1"},
    {"CR line ends", "[set]\rport0=1\rport1=2\r", "port1"},
    {"mixed line ends", "[set]\r\nport0=1\nport1=2\rport2=3\r\n", "port2"},
    {"mixed line ends, the key before a CR", "[set]\r\nport0=1\nport1=2\rport2=3\r\n", "port1"},
    {"an unterminated last line", "[set]\r\nport0=1", "port0"},
    {"a value of 254 characters", "[set]\r\ntxtIP0=" + k254 + "\r\n", "txtIP0"},
    {"a value of 255 characters", "[set]\r\ntxtIP0=" + k255 + "\r\n", "txtIP0"},
    {"a value of 300 characters", "[set]\r\ntxtIP0=" + k300 + "\r\n", "txtIP0"},
    {"a quoted value of 300 characters", "[set]\r\ntxtIP0=\"" + k300 + "\"\r\n", "txtIP0"},
    {"duplicate keys", "[set]\r\nport0=1\r\nPORT0=2\r\n", "port0"},
    {"duplicate sections", "[set]\r\nport0=1\r\n[set]\r\nport0=3\r\nport1=4\r\n", "port1"},
    {"other sections before and after", "[a]\r\nport0=1\r\n[set]\r\nport0=2\r\n[b]\r\nport0=3\r\n", "port0"},
    {"blanks around names and '='", "[set]\r\n \t port0 \t=  5 0 2 \t\r\n", "port0"},
    {"an empty value", "[set]\r\nport0=\r\n", "port0"},
    {"a value of blanks", "[set]\r\nport0=   \r\n", "port0"},
    {"a comment", "[set]\r\n;port0=7\r\n", "port0"},
    {"garbage lines", "garbage\r\n\x01\x02\r\n[set]\r\n%%%\r\nport0=1\r\n", "port0"},
    {"a key before any section", "port0=1\r\n[set]\r\nport1=2\r\n", "port0"},
    {"a line without '='", "[set]\r\nport0\r\n", "port0"},
    {"'=' inside a value", "[set]\r\nport0=a=b\r\n", "port0"},
    {"a zero byte ends the value", "[set]\r\nport0=12\0xy\r\n"s, "port0"},
    {"Windows-1252 text", "[set]\r\ntxtIP0=caf\xE9 \x80\r\n", "txtIP0", Expect::kSame, "", true},
    {"an empty file", "", "port0"},
    {"a missing file", std::nullopt, "port0"},
    {"a missing section", "[other]\r\nport0=1\r\n", "port0"},
    {"a missing key", "[set]\r\nport1=1\r\n", "port0"},
};

const std::vector<WriteRow> kWriteRows = {
    {"a present key rewritten", "[set]\r\nport0=1\r\nport1=2\r\n", "port0", "502"},
    {"a missing key added", "[set]\r\nport0=1\r\n", "port1", "2"},
    {"a missing section added", "[other]\r\nx=1\r\n", "port0", "502"},
    {"a new file created", std::nullopt, "Scon0", "True"},
    {"an empty value written", "[set]\r\nport0=1\r\n", "port0", ""},
    {"the key in the file's spelling, blanks and all", "[SET]\r\n  PORT0 = 1  \r\n", "port0", "502"},
    {"an unterminated last line", "[set]\r\nport0=1", "port1", "2"},
    {"duplicate sections", "[set]\r\nport0=1\r\n[set]\r\nport1=2\r\n", "port1", "9"},
    {"duplicate keys", "[set]\r\nport0=1\r\nport0=2\r\n", "port0", "9"},
    {"a key before any section", "port0=1\r\n[set]\r\nport1=2\r\n", "port0", "9"},
    {"other sections before and after", "[a]\r\nx=1\r\n[set]\r\nport0=1\r\n[b]\r\ny=2\r\n", "port1", "2"},
    {"garbage lines kept", "garbage\r\n[set]\r\nport0=1\r\n", "port0", "2"},
    {"a value of 300 characters", "[set]\r\nport0=1\r\n", "txtIP0", k300},
    {"comments and blank lines", "; line 3\r\n\r\n[set]\r\n\r\nport0=1\r\n", "port0", "2", Expect::kWineDiffers,
     kWineRewritesTheFile},
    {"blank lines at the end of the section", "[set]\r\nport0=1\r\n\r\n[b]\r\ny=2\r\n", "port1", "2",
     Expect::kWineDiffers, kWineRewritesTheFile},
    {"a header without its ']'", "[set\r\nport0=7\r\n", "port0", "8", Expect::kWineDiffers, kWineNeedsTheBracket},
    {"LF line ends, a key rewritten", "[set]\nport0=1\n", "port0", "2", Expect::kDeparture, kKeepsTheStyle},
    {"LF line ends, a key added", "[set]\nport0=1\n", "port1", "2", Expect::kDeparture, kKeepsTheStyle},
    {"CR line ends", "[set]\rport0=1\r", "port0", "2", Expect::kDeparture, kKeepsTheStyle},
    {"mixed line ends", "[set]\nport0=1\r\nport1=2\n", "port2", "3", Expect::kDeparture, kKeepsTheStyle},
    {"a value with CR LF", "[set]\r\nport0=1\r\n", "port0", "1\r\n[evil]", Expect::kDeparture, kNoLineBreaks},
};

// Bytes as a row of the table shows them: line ends and other control
// characters escaped, long runs of one character counted.
std::string shown(const std::optional<std::string>& bytes) {
  if (!bytes) return "(no file)";
  std::string out;
  for (std::size_t i = 0; i < bytes->size();) {
    const char c = (*bytes)[i];
    std::size_t run = 1;
    while (i + run < bytes->size() && (*bytes)[i + run] == c) ++run;
    if (run >= 8) {
      out += std::string(1, c) + "{" + std::to_string(run) + "}";
      i += run;
      continue;
    }
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
      out += hex;
    } else {
      out += c;
    }
    ++i;
  }
  return "\"" + out + "\"";
}

bool underWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The path as the ANSI profile functions take it.
std::string windowsPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// The virtual runtime on the system's files: our reader and writer take an
// Env, and reach the files through it.
class SystemFilesEnv : public VirtualRuntime {
 public:
  explicit SystemFilesEnv(std::string folder) : VirtualRuntime(std::move(folder)) {}
  Files& files() override { return files_; }

 private:
  SystemFiles files_;
};

class IniProfileDifferential : public ::testing::Test {
 protected:
  void given(const std::string& name, const std::optional<std::string>& bytes) const {
    if (bytes) folder.write(name, *bytes);
  }
  std::optional<std::string> contents(const std::string& name) const {
    if (!folder.exists(name)) return std::nullopt;
    return folder.read(name);
  }

  // Adds the row to the table when the two differ, and to the faults when
  // that is not what the row expects.
  void compare(const char* name, Expect expect, const char* why, const std::optional<std::string>& ours,
               const std::optional<std::string>& platform) {
    const bool differ = ours != platform;
    const bool should_differ = expect == Expect::kDeparture || (expect == Expect::kWineDiffers && wine);
    const char* verdict = differ == should_differ ? (differ ? "expected" : "") : "UNEXPECTED";
    if (differ || differ != should_differ) {
      table << "| " << name << " | " << shown(ours) << " | " << shown(platform) << " | " << verdict;
      if (differ == should_differ && *why) table << ": " << why;
      table << " |\n";
    }
    if (differ != should_differ) ++faults;
  }

  void report(const char* what) {
    const std::string rows = table.str();
    const std::string header = std::string("| ") + what + " | ours | " + (wine ? "Wine" : "Windows") +
                               " | verdict |\n|---|---|---|---|\n";
    std::cout << (rows.empty() ? std::string("No differences.\n") : header + rows);
    EXPECT_EQ(faults, 0) << "rows that do not do what they state:\n" << header << rows;
  }

  TempFolder folder;
  SystemFilesEnv env{folder.path()};
  const bool wine = underWine();
  std::ostringstream table;
  int faults = 0;
};

TEST_F(IniProfileDifferential, TheReaderReadsAsGetPrivateProfileStringA) {
  for (std::size_t i = 0; i < kReadRows.size(); ++i) {
    const ReadRow& row = kReadRows[i];
    if (row.windows_1252 && ::GetACP() != 1252) {
      std::cout << "Not compared, the ANSI code page being " << ::GetACP() << ": " << row.name << "\n";
      continue;
    }
    // A file of its own for every row: no cache of the platform's can mix them.
    const std::string name = "read-" + std::to_string(i) + ".ini";
    given(name, row.file);
    const std::string ours =
        utf8ToCp1252(iniString(readIniFile(env, folder.file(name), kNoLimit), kSection, row.key, kDefault));
    char buffer[kBuffer] = {};
    const DWORD copied = ::GetPrivateProfileStringA(kSection, row.key, kDefault, buffer, kBuffer,
                                                    windowsPath(folder.file(name)).c_str());
    compare(row.name, row.expect, row.why, ours, std::string(buffer, copied));
  }
  report("file read");
}

TEST_F(IniProfileDifferential, TheWriterWritesAsWritePrivateProfileStringA) {
  for (std::size_t i = 0; i < kWriteRows.size(); ++i) {
    const WriteRow& row = kWriteRows[i];
    const std::string ours = "ours-" + std::to_string(i) + ".ini";
    const std::string platform = "platform-" + std::to_string(i) + ".ini";
    given(ours, row.file);
    given(platform, row.file);
    EXPECT_EQ(writeIniStrings(env, folder.file(ours), kNoLimit, kSection, {{row.key, row.value}}), FileError::kNone)
        << row.name;
    EXPECT_TRUE(::WritePrivateProfileStringA(kSection, row.key, row.value.c_str(),
                                             windowsPath(folder.file(platform)).c_str()))
        << row.name;
    compare(row.name, row.expect, row.why, contents(ours), contents(platform));
  }
  report("file written");
}

}  // namespace
}  // namespace rtupoll
