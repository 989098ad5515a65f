// The chart's ranges in the unit itself: signed raw units over the unit's
// scale, and no value for the sensor's "Out of Range".

#include <gtest/gtest.h>

#include "ostrel/operations/field_values.h"

namespace {

TEST(OstrelRangeInUnits, SignedRawOverTheScaleOutOfRangeIsNoValue) {
  EXPECT_DOUBLE_EQ(*ostrel::RangeInUnits(7999, ostrel::kImperial), 7.999);
  EXPECT_DOUBLE_EQ(*ostrel::RangeInUnits(12345, ostrel::kMetric), 123.45);
  EXPECT_DOUBLE_EQ(*ostrel::RangeInUnits(0xFFFE, ostrel::kImperial), -0.002);
  EXPECT_DOUBLE_EQ(*ostrel::RangeInUnits(0x7FFF, ostrel::kImperial), 32.767);
  EXPECT_FALSE(ostrel::RangeInUnits(0x8000, ostrel::kImperial).has_value());
  EXPECT_FALSE(ostrel::RangeInUnits(0x8000, ostrel::kMetric).has_value());
}

}  // namespace
