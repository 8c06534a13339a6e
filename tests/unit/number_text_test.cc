#include "base/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <string>

#include "support/comma_locale.h"

namespace rtupoll {
namespace {

using testing::CommaLocale;

// The conversions run in the C locale and, as the toolkit sets it from the
// environment, in one with a decimal comma: the process locale must change
// nothing, the separator is the one each function is given.
class NumberTextInLocale : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == CommaLocale::kName) {
      comma_ = std::make_unique<CommaLocale>();
      if (!comma_->missing().empty()) GTEST_SKIP() << comma_->missing();
    }
    ASSERT_NE(std::setlocale(LC_NUMERIC, GetParam().c_str()), nullptr);
  }
  void TearDown() override { std::setlocale(LC_NUMERIC, "C"); }

 private:
  std::unique_ptr<CommaLocale> comma_;
};

INSTANTIATE_TEST_SUITE_P(Locales, NumberTextInLocale, ::testing::Values("C", CommaLocale::kName),
                         [](const auto& info) { return info.param == "C" ? "C" : "DecimalComma"; });

TEST_P(NumberTextInLocale, WholeTextAcceptsOnlyAWholeNumberInTheUsersFormat) {
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
  // Beyond the range of a double: too large fails, too small is 0.
  EXPECT_FALSE(wholeTextNumber("1e999", '.'));
  EXPECT_FALSE(wholeTextNumber("1,5e99999999999999999999", ','));
  EXPECT_FALSE(wholeTextNumber("0.001e312", '.'));
  EXPECT_EQ(wholeTextNumber("-1e-999", '.'), 0.0);
  EXPECT_EQ(wholeTextNumber("1000e-99999999999999999999", '.'), 0.0);
}

TEST_P(NumberTextInLocale, LeadingNumberReadsAsFarAsTheNumberGoes) {
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
  EXPECT_EQ(leadingNumber("1e999"), 0.0);
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

TEST_P(NumberTextInLocale, WritesWholeNumbersPlainAndFractionsWithTheUsersSeparator) {
  EXPECT_EQ(numberText(100, '.'), "100");
  EXPECT_EQ(numberText(0, '.'), "0");
  EXPECT_EQ(numberText(-1, '.'), "-1");
  EXPECT_EQ(numberText(1.5, '.'), "1.5");
  EXPECT_EQ(numberText(1.5, ','), "1,5");
  EXPECT_EQ(numberText(65536, '.'), "65536");
  EXPECT_EQ(numberText(-0.0, ','), "0");
  EXPECT_EQ(numberText(0.1 + 0.2, ','), "0,3");  // 15 significant digits
  EXPECT_EQ(numberText(1e15, '.'), "1e+15");
  EXPECT_EQ(numberText(-1.5e-7, ','), "-1,5e-07");
}

}  // namespace
}  // namespace rtupoll
