#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "support/virtual_folder.h"

namespace rtupoll {
namespace {

using namespace std::string_literals;
using testing::VirtualFiles;
using testing::VirtualFolder;

constexpr std::size_t kNoLimit = std::string::npos;
constexpr const char* kIniName = "setting.ini";

// Bytes that are no INI text: zero bytes, stray brackets and line ends.
std::string garbage(std::size_t size) {
  std::mt19937 random(20261208);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// What lies at the path of setting.ini: nothing, a folder, or a file of
// `garbage_before` bytes of garbage followed by `text` (large files are
// made when a case runs, not when the table is built).
struct Given {
  enum class Kind { kNoFile, kFolder, kFile };
  Kind kind = Kind::kFile;
  std::string text;
  std::size_t garbage_before = 0;

  std::string bytes() const { return garbage(garbage_before) + text; }
};

Given noFile() { return {Given::Kind::kNoFile, ""}; }
Given folderInstead() { return {Given::Kind::kFolder, ""}; }
Given file(std::string text) { return {Given::Kind::kFile, std::move(text)}; }
Given garbageThen(std::size_t garbage_bytes, std::string text) {
  return {Given::Kind::kFile, std::move(text), garbage_bytes};
}

class IniFile : public ::testing::Test {
 protected:
  std::string path() const { return folder.file(kIniName); }
  void given(const Given& g) {
    switch (g.kind) {
      case Given::Kind::kNoFile: break;
      case Given::Kind::kFolder: env.files().addFolder(path()); break;
      case Given::Kind::kFile: folder.write(kIniName, g.bytes()); break;
    }
  }
  std::string contents() const { return folder.read(kIniName); }
  std::string read(const std::string& section, const std::string& key, const std::string& fallback) {
    return iniString(readIniFile(env, path(), kNoLimit), section, key, fallback);
  }
  bool write(const std::string& key, const std::string& value, const std::string& file = "") {
    return writeIniStrings(env, file.empty() ? path() : file, kNoLimit, "set", {{key, value}}) == FileError::kNone;
  }

  VirtualEnv env;
  VirtualFolder folder{env};
};

// The reader: the value of one key in the file as it is, or the default.
struct ReadCase {
  const char* name;
  Given file;
  std::string key;
  std::string fallback;
  std::string expected;
  std::string section = "set";
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

// Values of 300 characters and more, and a line of 10,000.
const std::string k300a(300, 'a');
const std::string k300d(300, 'd');
const std::string k300y(300, 'y');
const std::string k254a(254, 'a');
const std::string k254d(254, 'd');
const std::string k254y(254, 'y');
const std::string k300Accents(300, '\xE9');
std::string accents254() {
  std::string utf8;
  for (int i = 0; i < 254; ++i) utf8 += "\u00E9";
  return utf8;  // 254 characters, 508 bytes of UTF-8
}
const std::string k10000x(10000, 'x');

const char* const kSectionsFile = "port0=1\r\n[set]\r\nport1=2\r\n[other]\r\nport0=3\r\n";
const char* const kEmptyValuesFile = "[set]\r\nport0=\r\nport1=   \r\nport2\r\n;port3=7\r\n";
const char* const kCaseAndBlanksFile =
    "; settings of the line 3 panel\n  [ SeT ]  \n\tsCoN0 \t=  False \t\nTXTIP0=10.0.0.1\r\nport0 = 5 0 2\n";
// Files edited by hand, as the Windows profile functions take them.
const std::string kQuotesFile =
    "[set]\r\ntxtIP0=\"127.0.0.1\"\r\ntxtIP1= '10.0.0.2' \r\ntxtIP2=\" a b \"\r\nport0=\"\"\r\n"
    "port1=\"502\r\nport2='7\"\r\nstrreg0=\"\r\nstrreg1=\"\"x\"\"\r\nstrreg2=\"" +
    k300y + "\"\r\n";
const char* const kNoClosingBracketFile = "[set\r\nport0=7\r\n  [ other \r\nport1=9";
const char* const kTwoSectionsOfANameFile = "[set]\r\nport0=1\r\nPORT0=2\r\n[set]\r\nport0=3\r\nport1=4\r\n";
const std::string kLongValuesFile = "[set]\r\ntxtIP0=" + k300a + "\r\ntxtIP1=" + k300Accents + "\r\n";
const std::string kZeroBytesFile = "[set]\r\nport0=12\0garbage\r\nport1=\0\r\n"s;
const std::string kAfterGarbageFile = "\r\n[set]\r\nlegreg0=" + k10000x + "\r\nport0=7\r\n";

const ReadCase kReadCases[] = {
    // The default only when the file, the section or the key is missing.
    {"NoFile", noFile(), "port0", "502", "502"},
    {"NoSectionSet", file("[other]\r\nport0=1\r\n"), "port0", "502", "502"},
    {"OnlyInOtherSectionsOrBeforeAny", file(kSectionsFile), "port0", "502", "502"},
    {"InItsSection", file(kSectionsFile), "port1", "502", "2"},
    {"PresentAndEmptyStaysEmpty", file(kEmptyValuesFile), "port0", "502", ""},
    {"PresentAndBlankStaysEmpty", file(kEmptyValuesFile), "port1", "502", ""},
    {"ALineWithoutEqualsHoldsNoKey", file(kEmptyValuesFile), "port2", "502", "502"},
    {"ACommentIsNoEntry", file(kEmptyValuesFile), "port3", "502", "502"},
    {"AFolderReadsAsAMissingFile", folderInstead(), "port0", "502", "502"},
    // Names in any letter case, blanks around names and values trimmed.
    {"KeyInAnyLetterCase", file(kCaseAndBlanksFile), "Scon0", "dflt", "False"},
    {"KeyInCapitals", file(kCaseAndBlanksFile), "txtIP0", "dflt", "10.0.0.1"},
    {"BlanksInsideAValueAreKept", file(kCaseAndBlanksFile), "port0", "dflt", "5 0 2"},
    {"SectionAndKeyAskedForInCapitals", file(kCaseAndBlanksFile), "SCON0", "x", "False", "SET"},
    // A value in one matching pair of quotes is read without them.
    {"DoubleQuotes", file(kQuotesFile), "txtIP0", "dflt", "127.0.0.1"},
    {"SingleQuotesWithBlanksAround", file(kQuotesFile), "txtIP1", "dflt", "10.0.0.2"},
    {"BlanksInsideQuotesStay", file(kQuotesFile), "txtIP2", "dflt", " a b "},
    {"EmptyQuotes", file(kQuotesFile), "port0", "dflt", ""},
    {"AQuoteAtOneEndStays", file(kQuotesFile), "port1", "dflt", "\"502"},
    {"TwoDifferentQuotesStay", file(kQuotesFile), "port2", "dflt", "'7\""},
    {"ALoneQuoteStays", file(kQuotesFile), "strreg0", "dflt", "\""},
    {"OnePairOnly", file(kQuotesFile), "strreg1", "dflt", "\"x\""},
    {"QuotedLongValueIsCut", file(kQuotesFile), "strreg2", "dflt", k254y},
    // A header without its closing bracket names the section.
    {"HeaderWithoutBracket", file(kNoClosingBracketFile), "port0", "dflt", "7"},
    {"KeyOfTheNextHeaderWithoutBracket", file(kNoClosingBracketFile), "port1", "dflt", "dflt"},
    {"SectionOfAHeaderWithBlanksAndNoBracket", file(kNoClosingBracketFile), "port1", "missing", "9", "other"},
    // The first entry of the first section of a name.
    {"FirstEntryOfAKey", file(kTwoSectionsOfANameFile), "port0", "dflt", "1"},
    {"ASecondSectionOfTheNameIsNotLookedAt", file(kTwoSectionsOfANameFile), "port1", "dflt", "dflt"},
    // At most 254 characters, counted in the file's bytes.
    {"LongValueIsCut", file(kLongValuesFile), "txtIP0", "dflt", k254a},
    {"LongValueIsCutInCharactersNotUtf8Bytes", file(kLongValuesFile), "txtIP1", "dflt", accents254()},
    {"LongDefaultIsCut", noFile(), "missing", k300d, k254d},
    // Windows-1252 in the file, UTF-8 in the program.
    {"Windows1252ReadsAsUtf8", file("[set]\r\ntxtIP0=caf\xE9 \x80\r\n"), "txtIP0", "dflt", "caf\u00E9 \u20AC"},
    {"TheDefaultIsUtf8Already", file("[set]\r\ntxtIP0=caf\xE9 \x80\r\n"), "missing", "\u00E9", "\u00E9"},
    // Binary garbage, huge files and long lines.
    {"AValueEndsAtAZeroByte", file(kZeroBytesFile), "port0", "dflt", "12"},
    {"AValueOfAZeroByteIsEmpty", file(kZeroBytesFile), "port1", "dflt", ""},
    {"GarbageOnly", garbageThen(1 << 16, ""), "port0", "502", "502"},
    {"SectionBehind10MBOfGarbage", garbageThen(10 << 20, kAfterGarbageFile), "port0", "dflt", "7"},
    {"LineOf10000Characters", garbageThen(10 << 20, kAfterGarbageFile), "legreg0", "dflt", std::string(254, 'x')},
    // A CR alone ends a line, as for the Windows profile functions (old
    // Macintosh line ends, or lines joined by hand).
    {"CrLineEnds", file("[set]\rport0=1\rport1=2\r"), "port1", "dflt", "2"},
    {"CrLineEndsUnterminatedLastLine", file("[set]\rport0=1"), "port0", "dflt", "1"},
    {"LfThenCr", file("[set]\r\nport0=1\nport1=2\rport2=3\r\n"), "port1", "dflt", "2"},
    {"CrThenCrLf", file("[set]\r\nport0=1\nport1=2\rport2=3\r\n"), "port2", "dflt", "3"},
    {"ASectionEndedByACrHeader", file("[set]\rport0=1\r[other]\rport1=9\r"), "port1", "dflt", "dflt"},
    {"CrBeforeCrLf", file("[set]\nport0=1\r\r\nport1=2\r\r\n"), "port0", "dflt", "1"},
    {"AHeaderAfterACr", file("port0=9\r[set]\rport0=1\r"), "port0", "dflt", "1"},
};

class IniRead : public IniFile, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(IniRead, GivesTheStoredValueOrTheDefault) {
  const ReadCase& c = GetParam();
  given(c.file);
  const bool had_file = folder.exists(kIniName);
  const std::string before = contents();
  EXPECT_EQ(read(c.section, c.key, c.fallback), c.expected);
  // Reading changes nothing, and creates no file.
  EXPECT_EQ(folder.exists(kIniName), had_file);
  EXPECT_EQ(contents(), before);
}

INSTANTIATE_TEST_SUITE_P(IniFile, IniRead, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The writer: keys written one at a time into the file as it is; the file
// afterwards, byte for byte, and what reads back from it.
struct ReadBack {
  std::string key;
  std::string expected;
  std::string section = "set";
};

struct WriteCase {
  const char* name;
  Given before;
  std::vector<IniEntry> writes;
  Given after;
  std::vector<ReadBack> reads_back = {};
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

const char* const kHandEditedFile =
    "; line 3 panel\n"
    "[other]\r\n"
    "port0=9\r\n"
    "[SET]   \n"
    "  PORT0 = 1  \n"
    "port0=2\r\n"
    "\tkeep = this \r\n"
    "\r\n"
    "[set]\r\n"
    "port0=3";
const char* const kHandEditedFileRewritten =
    "; line 3 panel\n"
    "[other]\r\n"
    "port0=9\r\n"
    "[SET]   \n"
    "PORT0=502\n"  // the file's spelling, its first line's line end
    "port0=2\r\n"
    "\tkeep = this \r\n"
    "\r\n"
    "[set]\r\n"
    "port0=3";

const WriteCase kWriteCases[] = {
    {"CreatesAMissingFileWithTheSectionAndKeysInOrder",
     noFile(),
     {{"Scon0", "True"}, {"port0", "502"}, {"txtIP0", ""}},
     file("[set]\r\nScon0=True\r\nport0=502\r\ntxtIP0=\r\n"),
     {{"txtIP0", ""}}},  // stored empty, not deleted
    // A present key is rewritten in place; every other byte stays.
    {"RewritesAPresentKeyInPlace", file(kHandEditedFile), {{"port0", "502"}}, file(kHandEditedFileRewritten)},
    {"RewritesAnUnterminatedLastLine", file("[set]\r\nport0=1"), {{"port0", "2"}}, file("[set]\r\nport0=2\r\n")},
    {"RewritesTheKeysOfAHeaderWithoutBracket",
     file(kNoClosingBracketFile),
     {{"port0", "8"}, {"port1", "2"}},
     file("[set\r\nport0=8\r\nport1=2\r\n  [ other \r\nport1=9")},
    // A missing key goes after the last non-blank line of its section,
    // ending as the line before it: the file's style.
    {"AddsAKeyBeforeTheBlankLinesOfItsSection",
     file("[set]\nport0=1\n\n  \r\n[other]\nx=y\n"),
     {{"port1", "2"}},
     file("[set]\nport0=1\nport1=2\n\n  \r\n[other]\nx=y\n")},
    {"AddsAKeyBehindALoneHeader", file("[set]"), {{"port0", "1"}}, file("[set]\r\nport0=1\r\n")},
    {"AddsAKeyInLfStyle", file("[set]\nport0=1"), {{"port1", "2"}}, file("[set]\nport0=1\nport1=2\n")},
    {"AddsAKeyInTheStyleOfTheLineBeforeIt",
     file("; notes\n[set]\r\nport0=1\r\n"),
     {{"port1", "2"}},
     file("; notes\n[set]\r\nport0=1\r\nport1=2\r\n")},
    {"AddsAKeyAfterAComment",
     file("[set]\r\n; only a comment"),
     {{"port0", "1"}},
     file("[set]\r\n; only a comment\r\nport0=1\r\n")},
    // A missing section goes at the end of the file.
    {"AddsASectionAtTheEnd", file("[other]\r\nx=1"), {{"port0", "502"}}, file("[other]\r\nx=1\r\n[set]\r\nport0=502\r\n")},
    {"AddsASectionInLfStyle", file("[other]\nx=1\n"), {{"port0", "502"}}, file("[other]\nx=1\n[set]\nport0=502\n")},
    {"KeepsGarbageByteForByte",
     garbageThen(4096, "x"),  // ends inside a line
     {{"port0", "502"}},
     garbageThen(4096, "x\r[set]\rport0=502\r"),  // the garbage's last line ends in a CR alone
     {{"port0", "502"}}},
    {"RewritesAHugeFileWhole",
     garbageThen(10 << 20, "\r\n[set]\r\nport0=1\r\n"),
     {{"port0", "2"}},
     garbageThen(10 << 20, "\r\n[set]\r\nport0=2\r\n")},
    // A value cannot add lines or sections; it ends at a zero byte.
    {"ALineBreakInAValueIsDropped",
     file("[set]\r\nport0=1\r\n"),
     {{"txtIP0", "10.0.0.1\r\n[evil]\nport0=9\r"}},
     file("[set]\r\nport0=1\r\ntxtIP0=10.0.0.1[evil]port0=9\r\n"),
     {{"port0", "1"}, {"port0", "none", "evil"}}},
    {"AValueEndsAtAZeroByte",
     file("[set]\r\nport0=1\r\n"),
     {{"txtIP1", "ab\0cd"s}},
     file("[set]\r\nport0=1\r\ntxtIP1=ab\r\n"),
     {{"txtIP1", "ab"}}},
    // The file's CR line ends are kept like its LF ones.
    {"RewritesAKeyInCrStyle", file("[set]\rport0=1\r"), {{"port0", "2"}}, file("[set]\rport0=2\r")},
    {"AddsAKeyInCrStyle", file("[set]\rport0=1\r"), {{"port1", "2"}}, file("[set]\rport0=1\rport1=2\r")},
    {"AddsAKeyAfterAnUnterminatedCrLine",
     file("[set]\rport0=1"),
     {{"port1", "2"}},
     file("[set]\rport0=1\rport1=2\r")},
    {"AddsASectionInCrStyle",
     file("[other]\rx=1\r"),
     {{"port0", "502"}},
     file("[other]\rx=1\r[set]\rport0=502\r")},
    {"RewritesAKeyBetweenCrAndLfLines",
     file("[set]\r\nport0=1\rport1=2\n"),
     {{"port0", "9"}},
     file("[set]\r\nport0=9\rport1=2\n")},
    {"KeepsACrBeforeCrLf", file("[set]\nport0=1\r\r\n"), {{"port0", "2"}}, file("[set]\nport0=2\r\r\n")},
    {"WritesWindows1252",
     noFile(),
     {{"txtIP0", "caf\u00E9 \u20AC \u0100"}},
     file("[set]\r\ntxtIP0=caf\xE9 \x80 ?\r\n"),
     {{"txtIP0", "caf\u00E9 \u20AC ?"}}},
};

class IniWrite : public IniFile, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(IniWrite, StoresEachValueAndLeavesEveryOtherByte) {
  const WriteCase& c = GetParam();
  given(c.before);
  for (const IniEntry& entry : c.writes) ASSERT_TRUE(write(entry.key, entry.value)) << entry.key;
  EXPECT_EQ(contents(), c.after.bytes());
  for (const ReadBack& r : c.reads_back) EXPECT_EQ(read(r.section, r.key, "none"), r.expected) << r.key;
}

INSTANTIATE_TEST_SUITE_P(IniFile, IniWrite, ::testing::ValuesIn(kWriteCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFile, AFailedWriteLeavesTheOldFile) {
  // The folder is missing, is a file, or the path is a folder.
  EXPECT_FALSE(write("port0", "1", folder.file("missing/setting.ini")));
  EXPECT_FALSE(folder.exists("missing"));
  folder.write("plain", "[set]\r\nport0=1\r\n");
  EXPECT_FALSE(write("port0", "2", folder.file("plain/setting.ini")));
  EXPECT_EQ(folder.read("plain"), "[set]\r\nport0=1\r\n");
  env.files().addFolder(path());
  EXPECT_FALSE(write("port0", "2"));
  EXPECT_TRUE(env.files().isFolder(path()));
}

TEST_F(IniFile, AFileThatCannotBeReadOrWrittenIsNotWritten) {
  given(file("[set]\r\nport0=1\r\n"));
  env.files().setReadOnly(path(), true);
  EXPECT_FALSE(write("port0", "2"));
  EXPECT_EQ(read("set", "port0", "dflt"), "1");
  env.files().setReadOnly(path(), false);

  // What cannot be read cannot be edited safely: the defaults, and no write.
  env.files().fail(VirtualFiles::Op::kRead, path(), FileError::kDenied);
  EXPECT_EQ(read("set", "port0", "502"), "502");
  EXPECT_FALSE(write("port0", "2"));
  env.files().clearFaults();
  EXPECT_EQ(contents(), "[set]\r\nport0=1\r\n");
  EXPECT_EQ(env.files().listFolder(folder.path()), std::vector<std::string>{"setting.ini"});
}

}  // namespace
}  // namespace rtupoll
