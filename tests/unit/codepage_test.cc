#include "base/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace rtupoll {
namespace {

using namespace std::string_literals;

TEST(Codepage, ConvertsTheWindows1252Characters) {
  EXPECT_EQ(cp1252ToUtf8("port0=502"), "port0=502");
  EXPECT_EQ(cp1252ToUtf8("caf\xE9"), "caf\u00E9");
  EXPECT_EQ(cp1252ToUtf8("\x80 \x92 \x9F \xA0 \xFF"), "\u20AC \u2019 \u0178 \u00A0 \u00FF");
  EXPECT_EQ(utf8ToCp1252("caf\u00E9 \u20AC \u2019 \u0178 \u00FF"), "caf\xE9 \x80 \x92 \x9F \xFF");
  EXPECT_EQ(cp1252ToUtf8("a\0b"s), "a\0b"s);
}

TEST(Codepage, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(all)), all);
  // The unassigned bytes are their C1 controls, not lost as '?'.
  EXPECT_EQ(cp1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
}

TEST(Codepage, WhatWindows1252CannotHoldBecomesAQuestionMark) {
  EXPECT_EQ(utf8ToCp1252("\u0100"), "?");          // Latin Extended-A beyond the table
  EXPECT_EQ(utf8ToCp1252("\u0080"), "?");          // a C1 control whose byte is the euro sign
  EXPECT_EQ(utf8ToCp1252("x\U0001F600y"), "x?y");  // one mark for a four-byte character
  EXPECT_EQ(utf8ToCp1252("\xFF"), "?");            // not UTF-8 at all
  EXPECT_EQ(utf8ToCp1252("\x80"), "?");            // a continuation byte alone
  EXPECT_EQ(utf8ToCp1252("ab\xE2\x82"), "ab??");   // a sequence cut off at the end
  // An overlong form of '/' and an encoded surrogate decode to nothing.
  EXPECT_EQ(utf8ToCp1252("\xC0\xAF"), "??");
  EXPECT_EQ(utf8ToCp1252("\xED\xA0\x80"), "???");
}

}  // namespace
}  // namespace rtupoll
