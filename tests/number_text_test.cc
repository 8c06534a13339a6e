#include "base/number_text.h"

#include <gtest/gtest.h>

namespace rtupoll {
namespace {

TEST(WholeTextNumber, AcceptsOnlyAWholeNumberInTheUsersFormat) {
  EXPECT_EQ(wholeTextNumber("100", '.'), 100.0);
  EXPECT_EQ(wholeTextNumber("  -4 \t", '.'), -4.0);
  EXPECT_EQ(wholeTextNumber("2.5", '.'), 2.5);
  EXPECT_EQ(wholeTextNumber("2,5", ','), 2.5);
  EXPECT_EQ(wholeTextNumber("000", '.'), 0.0);
  EXPECT_EQ(wholeTextNumber("1e3", '.'), 1000.0);
  EXPECT_EQ(wholeTextNumber(".5", '.'), 0.5);
  EXPECT_FALSE(wholeTextNumber("", '.'));
  EXPECT_FALSE(wholeTextNumber("   ", '.'));
  EXPECT_FALSE(wholeTextNumber("12abc", '.'));
  EXPECT_FALSE(wholeTextNumber("2.5", ','));  // a full stop is no separator there
  EXPECT_FALSE(wholeTextNumber("1 2", '.'));
  EXPECT_FALSE(wholeTextNumber("-", '.'));
  EXPECT_FALSE(wholeTextNumber("1e999", '.'));
}

TEST(LeadingNumber, ReadsAsFarAsTheNumberGoes) {
  EXPECT_EQ(leadingNumber("12abc"), 12.0);
  EXPECT_EQ(leadingNumber(""), 0.0);
  EXPECT_EQ(leadingNumber("abc"), 0.0);
  EXPECT_EQ(leadingNumber(" 1 0\t\n"), 10.0);  // blanks anywhere are ignored
  EXPECT_EQ(leadingNumber("2.5"), 2.5);
  EXPECT_EQ(leadingNumber("2,5"), 2.0);  // a comma ends the number
  EXPECT_EQ(leadingNumber("-7x"), -7.0);
  EXPECT_EQ(leadingNumber("&H1F"), 31.0);
  EXPECT_EQ(leadingNumber("&hff"), 255.0);
  EXPECT_EQ(leadingNumber("&O17"), 15.0);
  EXPECT_EQ(leadingNumber("&o8"), 0.0);
  EXPECT_EQ(leadingNumber("3e2"), 300.0);
}

TEST(ToInteger, RoundsHalvesToEvenAndRefusesWhatDoesNotFit) {
  EXPECT_EQ(toInt32(2.5), 2);
  EXPECT_EQ(toInt32(3.5), 4);
  EXPECT_EQ(toInt32(-2.5), -2);
  EXPECT_EQ(toInt32(-3.5), -4);
  EXPECT_EQ(toInt32(2.4999), 2);
  EXPECT_EQ(toInt32(2.6), 3);
  EXPECT_EQ(toInt32(2147483647.0), 2147483647);
  EXPECT_FALSE(toInt32(2147483648.0));
  EXPECT_FALSE(toInt32(1e300));
  EXPECT_EQ(toInt16(-1.0), -1);
  EXPECT_FALSE(toInt16(32768.0));
}

TEST(NumberText, WritesWholeNumbersPlainAndFractionsWithTheUsersSeparator) {
  EXPECT_EQ(numberText(100, '.'), "100");
  EXPECT_EQ(numberText(0, '.'), "0");
  EXPECT_EQ(numberText(-1, '.'), "-1");
  EXPECT_EQ(numberText(1.5, '.'), "1.5");
  EXPECT_EQ(numberText(1.5, ','), "1,5");
  EXPECT_EQ(numberText(65536, '.'), "65536");
}

}  // namespace
}  // namespace rtupoll
