#include "tarkon/document/number_reading.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

namespace {

TEST(NumberReading, WholeNumbersStopAtTheFirstOtherCharacter) {
  EXPECT_EQ(ReadWholeNumber("  42abc"), 42);
  EXPECT_EQ(ReadWholeNumber("-17"), -17);
  EXPECT_EQ(ReadWholeNumber("+8"), 8);
  EXPECT_EQ(ReadWholeNumber("abc"), 0);
  EXPECT_EQ(ReadWholeNumber(""), 0);
  EXPECT_EQ(ReadWholeNumber("- 5"), 0);
  EXPECT_EQ(ReadWholeNumber("12.9"), 12);
  EXPECT_EQ(ReadWholeNumber("99999999999"), INT32_MAX);
  EXPECT_EQ(ReadWholeNumber("-99999999999"), INT32_MIN);
  EXPECT_EQ(ReadWholeNumber("-2147483648"), INT32_MIN);
}

TEST(NumberReading, UnsignedNumbersWrapNegativesIn32Bits) {
  EXPECT_EQ(ReadUnsignedNumber("100"), 100u);
  EXPECT_EQ(ReadUnsignedNumber("-1"), 4294967295u);
  // A time-out stored with "%d" reads back as the same unsigned value.
  EXPECT_EQ(ReadUnsignedNumber(std::to_string(static_cast<int32_t>(3000000000u))), 3000000000u);
  EXPECT_EQ(ReadUnsignedNumber("99999999999"), UINT32_MAX);
  EXPECT_EQ(ReadUnsignedNumber("x1"), 0u);
}

TEST(NumberReading, RealNumbersIgnoreTheProcessLocale) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old != nullptr ? old : "C";
  // A locale with a decimal comma, where one is installed.
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  EXPECT_DOUBLE_EQ(ReadRealNumber("3.25 mm"), 3.25);
  EXPECT_DOUBLE_EQ(ReadRealNumber(" -0.5"), -0.5);
  EXPECT_DOUBLE_EQ(ReadRealNumber("1e3"), 1000.0);
  EXPECT_DOUBLE_EQ(ReadRealNumber(".5"), 0.5);
  EXPECT_DOUBLE_EQ(ReadRealNumber("3,25"), 3.0);
  EXPECT_DOUBLE_EQ(ReadRealNumber("abc"), 0.0);
  EXPECT_DOUBLE_EQ(ReadRealNumber("0x10"), 0.0);
  EXPECT_TRUE(std::isinf(ReadRealNumber("1e999")));
  EXPECT_DOUBLE_EQ(ReadRealNumber("1e-999"), 0.0);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(NumberReading, ScaleCutsTowardZeroAndStaysInRange) {
  EXPECT_EQ(ScaleTruncated(1.2345, 1000), 1234);
  EXPECT_EQ(ScaleTruncated(-1.2349, 1000), -1234);
  EXPECT_EQ(ScaleTruncated(3.2, 10000), 32000);
  EXPECT_EQ(ScaleTruncated(1e300, 10), INT32_MAX);
  EXPECT_EQ(ScaleTruncated(-1e300, 10), INT32_MIN);
  EXPECT_EQ(ScaleTruncated(std::nan(""), 10), 0);
}

TEST(NumberReading, WholeNumberTextAllowsBlanksAroundOnly) {
  int64_t value = 0;
  EXPECT_TRUE(IsWholeNumber(" 255 ", &value));
  EXPECT_EQ(value, 255);
  EXPECT_TRUE(IsWholeNumber("-3", &value));
  EXPECT_EQ(value, -3);
  EXPECT_FALSE(IsWholeNumber(""));
  EXPECT_FALSE(IsWholeNumber("  "));
  EXPECT_FALSE(IsWholeNumber("12a"));
  EXPECT_FALSE(IsWholeNumber("1 2"));
  EXPECT_FALSE(IsWholeNumber("1.0"));
  EXPECT_FALSE(IsWholeNumber("-"));
  EXPECT_FALSE(IsWholeNumber("99999999999999999999"));
}

}  // namespace

#include "tarkon/document/numeric_text.h"

namespace {

// The numeric field's check: one number exactly, within the bounds.
TEST(NumericText, OneNumberWithinBounds) {
  struct Case {
    const char* text;
    NumericCheck result;
  };
  const Case wide[] = {{"5", kNumericValid},         {"-5", kNumericValid},       {" 1.5 ", kNumericValid},
                       {"1.", kNumericValid},        {"+2e3", kNumericValid},     {"", kNumericNotANumber},
                       {"  ", kNumericNotANumber},   {"-", kNumericNotANumber},   {".", kNumericNotANumber},
                       {"5x", kNumericNotANumber},   {"1 2", kNumericNotANumber}, {"--1", kNumericNotANumber},
                       {"nan", kNumericNotANumber},  {"1e39", kNumericOutOfRange}, {"-1e400", kNumericOutOfRange},
                       {"1e-400", kNumericValid},     {"2e", kNumericValid},       {"2e-", kNumericValid},
                       {"2e-x", kNumericNotANumber}};
  for (const Case& c : wide) {
    EXPECT_EQ(CheckNumericText(c.text, kNumericLowest, kNumericHighest), c.result) << '"' << c.text << '"';
  }
  float value = 0;
  EXPECT_EQ(CheckNumericText("10", 0.0f, 10.0f, &value), kNumericValid);  // bounds are inside
  EXPECT_EQ(value, 10.0f);
  EXPECT_EQ(CheckNumericText("10.01", 0.0f, 10.0f), kNumericOutOfRange);
  EXPECT_EQ(CheckNumericText("-0.5", 0.0f, 10.0f), kNumericOutOfRange);
  EXPECT_EQ(NumericCheckMessage(kNumericOutOfRange), "Given value is out of range.\n");
  EXPECT_EQ(NumericCheckMessage(kNumericNotANumber), "Characters must be a number.\n");
  EXPECT_EQ(NumericCheckMessage(kNumericValid), "");
  EXPECT_EQ(FormatNumericValue(1.5f), "1.500000");
}

}  // namespace
