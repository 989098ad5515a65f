#include "tarkon/document/range_mode_table.h"

#include <gtest/gtest.h>

namespace {

const RangeModeTable& Table() {
  static const RangeModeTable table;
  return table;
}

std::string Text(int model, int mode, int16_t raw) {
  return RangeModeTable::RangeText(Table().Lookup(model, mode), raw);
}

TEST(RangeModeTable, RawOutOfRangeMarkerInEveryMode) {
  for (int model = 0; model < 5; ++model) {
    for (int mode = -1; mode < 21; ++mode) {
      EXPECT_EQ(Text(model, mode, INT16_MIN), "Out of Range") << model << "/" << mode;
    }
  }
}

TEST(RangeModeTable, NegativeRawFollowsTheSignRuleOfTheMode) {
  EXPECT_EQ(Text(0, 0, -1), "Out of Range");
  EXPECT_EQ(Text(0, 1, -1), "-0.001 inch");
  EXPECT_EQ(Text(0, 3, -500), "-50.0 mm");
  EXPECT_EQ(Text(0, 2, -500), "Out of Range");
  // KRV04 mode 1 prints negative millimetres.
  EXPECT_EQ(Text(1, 1, -250), "-2.50 mm");
  EXPECT_EQ(Text(4, 1, -250), "-2.50 mm");
  EXPECT_EQ(Text(1, 0, -250), "Out of Range");
}

TEST(RangeModeTable, FormatsKeepTheirDecimalPointAndUnit) {
  EXPECT_EQ(Text(0, 0, 12345), "12.345 inch");
  EXPECT_EQ(Text(0, 8, 32000), "3.2000 inch");
  EXPECT_EQ(Text(0, 2, 5), "0.5 mm");
  EXPECT_EQ(Text(0, 2, 0), "0.0 mm");
  EXPECT_EQ(Text(2, 12, 26600), "266.00 ft");
  EXPECT_EQ(Text(3, 0, 24000), "24.000 inch");
  // Width 2 never cuts a value.
  EXPECT_EQ(Text(0, 4, 32767), "327.67 inch");
  EXPECT_EQ(RangeModeTable::FormatBare(Table().Lookup(0, 6), 1.5), "1.500");
}

TEST(RangeModeTable, ModelsWithoutTheModeGetTheInvalidRow) {
  const RangeModeRow& invalid = Table().Invalid();
  EXPECT_EQ(&Table().Lookup(1, 5), &invalid);
  EXPECT_EQ(&Table().Lookup(0, 17), &invalid);
  EXPECT_EQ(&Table().Lookup(3, 1), &invalid);
  EXPECT_EQ(&Table().Lookup(0, 20), &invalid);
  EXPECT_EQ(&Table().Lookup(0, -1), &invalid);
  EXPECT_EQ(&Table().Lookup(5, 0), &invalid);
  EXPECT_EQ(&Table().Lookup(-1, 0), &invalid);
  EXPECT_EQ(invalid.text, "Invalid Mode");
  EXPECT_EQ(Text(1, 5, 0), "Unknown mode number");
  EXPECT_EQ(Text(0, 17, 1234), "Unknown mode number");
  EXPECT_EQ(Text(3, 1, -3), "Out of Range");
  EXPECT_EQ(RangeModeTable::FormatBare(invalid, 3.0), "Unknown mode number");
  EXPECT_DOUBLE_EQ(invalid.divisor, 1);
}

TEST(RangeModeTable, RowsAsListed) {
  const RangeModeRow& a0 = Table().Lookup(0, 0);
  EXPECT_EQ(a0.text, "0:  From 00.000 to  32.000 inch");
  EXPECT_EQ(Table().Lookup(0, 1).text, "1:  From 00.000 to -32.000");
  EXPECT_EQ(Table().Lookup(2, 1).unitFormat, "%#2.3f inch");
  EXPECT_EQ(Table().Lookup(0, 12).text, "12:  From 000.00 to 266.00 ft ");
  EXPECT_EQ(Table().Lookup(0, 15).text, "15:  From 000.00 to -320.00 m ");
  EXPECT_EQ(Table().Lookup(0, 9).bareFormat, "%#2.4f");
  EXPECT_DOUBLE_EQ(Table().Lookup(0, 9).low, -3.2);
  EXPECT_DOUBLE_EQ(Table().Lookup(0, 3).divisor, 10);
  EXPECT_TRUE(Table().Lookup(0, 13).negativeAllowed);
  EXPECT_FALSE(Table().Lookup(0, 14).negativeAllowed);
  EXPECT_EQ(Table().Lookup(1, 0).text, "0:  From 00.000 to  8.000 inch");
  EXPECT_EQ(Table().Lookup(4, 1).text, "1:  From 00.00 to  200.00 mm");
  EXPECT_TRUE(Table().Lookup(4, 1).negativeAllowed);
  const RangeModeRow& c0 = Table().Lookup(3, 0);
  EXPECT_EQ(c0.text, "1:  From 04.000 to  24.000 inch");
  EXPECT_DOUBLE_EQ(c0.high, 30);
  EXPECT_DOUBLE_EQ(c0.low, 0);
}

TEST(RangeModeTable, ModeListsPerModel) {
  EXPECT_EQ(Table().ModeTexts(0).size(), 16u);
  EXPECT_EQ(Table().ModeTexts(2).size(), 16u);
  EXPECT_EQ(Table().ModeTexts(1).size(), 2u);
  EXPECT_EQ(Table().ModeTexts(4).size(), 2u);
  EXPECT_EQ(Table().ModeTexts(3).size(), 1u);
  EXPECT_TRUE(Table().ModeTexts(7).empty());
  EXPECT_EQ(Table().ModeTexts(0)[10], "10:  From 000.00 to 320.00 mm");
}

}  // namespace
