// Real numbers beyond the range of a double read the way strtod reads them:
// too large gives infinity, too small gives 0, whatever the exponent's sign.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tarkon/document/number_reading.h"
#include "tarkon/document/numeric_text.h"

namespace {

TEST(NumberReadingLimits, ManyDigitsWithANegativeExponentAreStillTooLarge) {
  // 1e400 x 1e-5 = 1e395: beyond every double. It used to read as 0 because
  // the exponent is negative, and 0 passes the cosine check.
  const std::string huge = "1" + std::string(400, '0') + "e-5";
  EXPECT_TRUE(std::isinf(ReadRealNumber(huge)));
  EXPECT_GT(ReadRealNumber(huge), 0.0);
  EXPECT_TRUE(std::isinf(ReadRealNumber("-" + huge)));
  EXPECT_LT(ReadRealNumber("-" + huge), 0.0);
  // The settings' one reading of a typed value calls it a number no field holds.
  double value = 0;
  EXPECT_EQ(ReadTypedNumber(huge, &value), kNumericOutOfRange);
  EXPECT_EQ(ScaleTruncated(ReadRealNumber(huge), 1000.0), INT32_MAX);
}

TEST(NumberReadingLimits, TinyNumbersReadAsZeroWhateverTheirDigits) {
  // 1e-400 written with a positive exponent, and with leading zeros.
  EXPECT_EQ(ReadRealNumber("1e-400"), 0.0);
  EXPECT_EQ(ReadRealNumber("0." + std::string(400, '0') + "1e+5"), 0.0);
  EXPECT_EQ(ReadRealNumber("0.000001e-99999999999999999999"), 0.0);
  // Large again: few digits, a huge positive exponent.
  EXPECT_TRUE(std::isinf(ReadRealNumber("0.0001e99999999999999999999")));
  EXPECT_TRUE(std::isinf(ReadRealNumber("1e999")));
  // Within range, as before.
  EXPECT_DOUBLE_EQ(ReadRealNumber("1" + std::string(300, '0') + "e-5"), 1e295);
}

}  // namespace
