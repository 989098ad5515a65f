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

// The numeric field's check, as NumericEdit filters keystrokes and `set`
// refuses a value: exactly one number, then the range.
TEST(NumberCheck, ExactlyOneNumberThenTheRange) {
  struct Case {
    const char* text;
    NumberCheck expected;
  };
  const Case cases[] = {
      {"5", kNumberValid},        {" -5 ", kNumberValid},     {"1.", kNumberValid},   {".5", kNumberValid},
      {"+2.5e3", kNumberValid},   {"1e38", kNumberValid},     {"", kNotANumber},      {"   ", kNotANumber},
      {"-", kNotANumber},         {".", kNotANumber},         {"12abc", kNotANumber}, {"abc", kNotANumber},
      {"1 2", kNotANumber},       {"--1", kNotANumber},       {"1e", kNotANumber},    {"1e39", kNumberOutOfRange},
      {"-1e39", kNumberOutOfRange}, {"1e400", kNumberOutOfRange},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckNumberText(c.text), c.expected) << '"' << c.text << '"';
  // Bounds are inside.
  EXPECT_EQ(CheckNumberText("255", 0, 255), kNumberValid);
  EXPECT_EQ(CheckNumberText("255.5", 0, 255), kNumberOutOfRange);
  EXPECT_EQ(CheckNumberText("-0.1", 0, 255), kNumberOutOfRange);
  EXPECT_STREQ(kNotANumberMessage, "Characters must be a number.\n");
  EXPECT_STREQ(kNumberOutOfRangeMessage, "Given value is out of range.\n");
}

}  // namespace
