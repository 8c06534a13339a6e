#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/virtual_folder.h"

namespace rtupoll {
namespace {

using namespace std::string_literals;
using testing::VirtualFiles;
using testing::VirtualFolder;

constexpr std::size_t kNoLimit = std::string::npos;

class IniFile : public ::testing::Test {
 protected:
  std::string path() const { return folder.file("setting.ini"); }
  void given(const std::string& bytes) const { folder.write("setting.ini", bytes); }
  std::string contents() const { return folder.read("setting.ini"); }
  std::string read(const std::string& key, const std::string& fallback = "dflt") {
    return iniString(readIniFile(env, path(), kNoLimit), "set", key, fallback);
  }
  bool write(const std::string& key, const std::string& value, const std::string& file = "") {
    return writeIniStrings(env, file.empty() ? path() : file, kNoLimit, "set", {{key, value}});
  }

  VirtualEnv env;
  VirtualFolder folder{env};
};

// Bytes that are no INI text: zero bytes, stray brackets and line ends.
std::string garbage(std::size_t size) {
  std::mt19937 random(20261208);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

TEST_F(IniFile, GivesTheDefaultOnlyWhenTheFileSectionOrKeyIsMissing) {
  EXPECT_EQ(read("port0", "502"), "502");      // no file
  EXPECT_FALSE(folder.exists("setting.ini"));  // reading creates nothing

  given("[other]\r\nport0=1\r\n");
  EXPECT_EQ(read("port0", "502"), "502");  // no section "set"

  given("port0=1\r\n[set]\r\nport1=2\r\n[other]\r\nport0=3\r\n");
  EXPECT_EQ(read("port0", "502"), "502");  // only in other sections, or before any
  EXPECT_EQ(read("port1", "502"), "2");

  given("[set]\r\nport0=\r\nport1=   \r\nport2\r\n;port3=7\r\n");
  EXPECT_EQ(read("port0", "502"), "");  // present and empty stays empty
  EXPECT_EQ(read("port1", "502"), "");
  EXPECT_EQ(read("port2", "502"), "502");  // a line without '=' holds no key
  EXPECT_EQ(read("port3", "502"), "502");  // a comment is no entry

  // A folder in place of the file reads as a missing file.
  env.files().erase(path());
  env.files().addFolder(path());
  EXPECT_EQ(read("port0", "502"), "502");
}

TEST_F(IniFile, MatchesNamesInAnyLetterCaseAndTrimsBlanks) {
  given("; settings of the line 3 panel\n  [ SeT ]  \n\tsCoN0 \t=  False \t\nTXTIP0=10.0.0.1\r\nport0 = 5 0 2\n");
  EXPECT_EQ(read("Scon0"), "False");
  EXPECT_EQ(read("txtIP0"), "10.0.0.1");
  EXPECT_EQ(read("port0"), "5 0 2");  // blanks inside a value are kept
  EXPECT_EQ(iniString(readIniFile(env, path(), kNoLimit), "SET", "SCON0", "x"), "False");
}

// Files edited by hand, as the Windows profile functions take them.
TEST_F(IniFile, ReadsAValueInOneMatchingPairOfQuotesWithoutThem) {
  given("[set]\r\ntxtIP0=\"127.0.0.1\"\r\ntxtIP1= '10.0.0.2' \r\ntxtIP2=\" a b \"\r\nport0=\"\"\r\n"
        "port1=\"502\r\nport2='7\"\r\nstrreg0=\"\r\nstrreg1=\"\"x\"\"\r\nstrreg2=\"" +
        std::string(300, 'y') + "\"\r\n");
  EXPECT_EQ(read("txtIP0"), "127.0.0.1");
  EXPECT_EQ(read("txtIP1"), "10.0.0.2");
  EXPECT_EQ(read("txtIP2"), " a b ");  // the blanks inside stay
  EXPECT_EQ(read("port0"), "");
  EXPECT_EQ(read("port1"), "\"502");  // a quote at one end, or two different ones, stay
  EXPECT_EQ(read("port2"), "'7\"");
  EXPECT_EQ(read("strreg0"), "\"");
  EXPECT_EQ(read("strreg1"), "\"x\"");  // one pair only
  EXPECT_EQ(read("strreg2"), std::string(254, 'y'));
}

TEST_F(IniFile, TakesAHeaderWithoutItsClosingBracketAsTheSection) {
  given("[set\r\nport0=7\r\n  [ other \r\nport1=9");
  EXPECT_EQ(read("port0"), "7");
  EXPECT_EQ(read("port1"), "dflt");
  EXPECT_EQ(iniValue(contents(), "other", "port1").value_or("missing"), "9");
  ASSERT_TRUE(write("port0", "8"));
  ASSERT_TRUE(write("port1", "2"));
  EXPECT_EQ(contents(), "[set\r\nport0=8\r\nport1=2\r\n  [ other \r\nport1=9");
}

TEST_F(IniFile, ReadsTheFirstEntryOfTheFirstSectionOfAName) {
  given("[set]\r\nport0=1\r\nPORT0=2\r\n[set]\r\nport0=3\r\nport1=4\r\n");
  EXPECT_EQ(read("port0"), "1");
  EXPECT_EQ(read("port1"), "dflt");  // the second "set" is not looked at
}

TEST_F(IniFile, ReadsAtMost254CharactersCountedInTheFilesBytes) {
  given("[set]\r\ntxtIP0=" + std::string(300, 'a') + "\r\ntxtIP1=" + std::string(300, '\xE9') + "\r\n");
  EXPECT_EQ(read("txtIP0"), std::string(254, 'a'));
  std::string accents;
  for (int i = 0; i < 254; ++i) accents += "\u00E9";
  EXPECT_EQ(read("txtIP1"), accents);  // 254 characters, 508 bytes of UTF-8
  EXPECT_EQ(read("missing", std::string(300, 'd')), std::string(254, 'd'));
}

TEST_F(IniFile, ReadsWindows1252AsUtf8) {
  given("[set]\r\ntxtIP0=caf\xE9 \x80\r\n");
  EXPECT_EQ(read("txtIP0"), "caf\u00E9 \u20AC");
  EXPECT_EQ(iniString(readIniFile(env, path(), kNoLimit), "set", "missing", "\u00E9"), "\u00E9");
}

TEST_F(IniFile, SurvivesBinaryGarbageHugeFilesAndLongLines) {
  given("[set]\r\nport0=12\0garbage\r\nport1=\0\r\n"s);
  EXPECT_EQ(read("port0"), "12");  // a value ends at a zero byte
  EXPECT_EQ(read("port1"), "");

  given(garbage(1 << 16));
  EXPECT_EQ(read("port0", "502"), "502");

  // 10 MB of garbage, then the section; and a line of 10,000 characters.
  given(garbage(10 << 20) + "\r\n[set]\r\nlegreg0=" + std::string(10000, 'x') + "\r\nport0=7\r\n");
  EXPECT_EQ(read("port0"), "7");
  EXPECT_EQ(read("legreg0"), std::string(254, 'x'));
}

TEST_F(IniFile, CreatesAMissingFileWithTheSectionAndKeysInOrder) {
  ASSERT_TRUE(write("Scon0", "True"));
  ASSERT_TRUE(write("port0", "502"));
  ASSERT_TRUE(write("txtIP0", ""));
  EXPECT_EQ(contents(), "[set]\r\nScon0=True\r\nport0=502\r\ntxtIP0=\r\n");
  EXPECT_EQ(read("txtIP0"), "");  // stored empty, not deleted
}

TEST_F(IniFile, RewritesAPresentKeyInPlaceAndLeavesEveryOtherByte) {
  const std::string before =
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
  given(before);
  ASSERT_TRUE(write("port0", "502"));
  EXPECT_EQ(contents(),
            "; line 3 panel\n"
            "[other]\r\n"
            "port0=9\r\n"
            "[SET]   \n"
            "PORT0=502\n"  // the file's spelling, its first line's line end
            "port0=2\r\n"
            "\tkeep = this \r\n"
            "\r\n"
            "[set]\r\n"
            "port0=3");

  given("[set]\r\nport0=1");  // the last line has no line end
  ASSERT_TRUE(write("port0", "2"));
  EXPECT_EQ(contents(), "[set]\r\nport0=2\r\n");
}

TEST_F(IniFile, AddsAMissingKeyAfterTheLastNonBlankLineOfItsSection) {
  given("[set]\nport0=1\n\n  \r\n[other]\nx=y\n");
  ASSERT_TRUE(write("port1", "2"));
  EXPECT_EQ(contents(), "[set]\nport0=1\nport1=2\n\n  \r\n[other]\nx=y\n");

  given("[set]");
  ASSERT_TRUE(write("port0", "1"));
  EXPECT_EQ(contents(), "[set]\r\nport0=1\r\n");

  // Added lines end as the line before them: the file's style.
  given("[set]\nport0=1");
  ASSERT_TRUE(write("port1", "2"));
  EXPECT_EQ(contents(), "[set]\nport0=1\nport1=2\n");
  given("; notes\n[set]\r\nport0=1\r\n");
  ASSERT_TRUE(write("port1", "2"));
  EXPECT_EQ(contents(), "; notes\n[set]\r\nport0=1\r\nport1=2\r\n");

  given("[set]\r\n; only a comment");
  ASSERT_TRUE(write("port0", "1"));
  EXPECT_EQ(contents(), "[set]\r\n; only a comment\r\nport0=1\r\n");
}

TEST_F(IniFile, AddsAMissingSectionAtTheEndOfTheFile) {
  given("[other]\r\nx=1");
  ASSERT_TRUE(write("port0", "502"));
  EXPECT_EQ(contents(), "[other]\r\nx=1\r\n[set]\r\nport0=502\r\n");

  given("[other]\nx=1\n");
  ASSERT_TRUE(write("port0", "502"));
  EXPECT_EQ(contents(), "[other]\nx=1\n[set]\nport0=502\n");
}

TEST_F(IniFile, KeepsGarbageByteForByte) {
  const std::string junk = garbage(4096) + "x";  // ends inside a line
  given(junk);
  ASSERT_TRUE(write("port0", "502"));
  const std::string after = contents();
  ASSERT_GE(after.size(), junk.size());
  EXPECT_EQ(after.substr(0, junk.size()), junk);
  EXPECT_EQ(read("port0"), "502");
}

TEST_F(IniFile, AValueCannotAddLinesOrSections) {
  given("[set]\r\nport0=1\r\n");
  ASSERT_TRUE(write("txtIP0", "10.0.0.1\r\n[evil]\nport0=9\r"));
  EXPECT_EQ(contents(), "[set]\r\nport0=1\r\ntxtIP0=10.0.0.1[evil]port0=9\r\n");
  EXPECT_EQ(read("port0"), "1");
  EXPECT_EQ(iniString(readIniFile(env, path(), kNoLimit), "evil", "port0", "none"), "none");

  ASSERT_TRUE(write("txtIP1", "ab\0cd"s));  // the value ends at a zero byte
  EXPECT_EQ(read("txtIP1"), "ab");
  EXPECT_EQ(contents().find('\0'), std::string::npos);
}

TEST_F(IniFile, WritesWindows1252) {
  ASSERT_TRUE(write("txtIP0", "caf\u00E9 \u20AC \u0100"));
  EXPECT_EQ(contents(), "[set]\r\ntxtIP0=caf\xE9 \x80 ?\r\n");
  EXPECT_EQ(read("txtIP0"), "caf\u00E9 \u20AC ?");
}

TEST_F(IniFile, RewritesAHugeFileWhole) {
  const std::string head = garbage(10 << 20);
  given(head + "\r\n[set]\r\nport0=1\r\n");
  ASSERT_TRUE(write("port0", "2"));
  EXPECT_EQ(contents(), head + "\r\n[set]\r\nport0=2\r\n");
}

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
  given("[set]\r\nport0=1\r\n");
  env.files().setReadOnly(path(), true);
  EXPECT_FALSE(write("port0", "2"));
  EXPECT_EQ(read("port0"), "1");
  env.files().setReadOnly(path(), false);

  // What cannot be read cannot be edited safely: the defaults, and no write.
  env.files().fail(VirtualFiles::Op::kRead, path(), FileError::kDenied);
  EXPECT_EQ(read("port0", "502"), "502");
  EXPECT_FALSE(write("port0", "2"));
  env.files().clearFaults();
  EXPECT_EQ(contents(), "[set]\r\nport0=1\r\n");
  EXPECT_EQ(env.files().listFolder(folder.path()), std::vector<std::string>{"setting.ini"});
}

}  // namespace
}  // namespace rtupoll
