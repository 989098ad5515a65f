// The rules of the settings dialogs' buttons that need no sensor: checks,
// conversions of typed display values, record layouts and display formats;
// and that each dialog object refuses with its own message.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "protocol/sensor_commands.h"
#include "tarkon/models/krv02/krv02_settings.h"
#include "tarkon/models/krv04/krv04_settings.h"
#include "tarkon/models/qmt_short/qmt_short_settings.h"
#include "tarkon/models/krv04bf/krv04bf_settings.h"
#include "tarkon/models/model_settings.h"
#include "tarkon/models/setting_values.h"
#include "tarkon/document/numeric_text.h"
#include "tarkon/document/range_mode_table.h"
#include "tarkon/document/settings_editing.h"

namespace edit = settings_editing;

// The rows' reading of a typed value (setting_values.h) with the context
// of a model's dialog: the raw value it sends, or its refusal.
class RowReading : public ::testing::Test {
 protected:
  setting_values::Typed Read(const std::vector<SettingField>& rows, const char* name, const std::string& text,
                             int model = kModelKRV04, int mode = 0) {
    SettingContext context;
    context.row = &table.Lookup(model, mode);
    context.modeCount = static_cast<int>(table.ModeTexts(model).size());
    const SettingField* row = setting_fields::Find(rows, name);
    EXPECT_NE(row, nullptr) << name;
    return row != nullptr ? setting_values::ReadTyped(*row, text, context) : setting_values::Typed{};
  }
  int64_t Raw(const std::vector<SettingField>& rows, const char* name, const std::string& text, int model = kModelKRV04,
              int mode = 0) {
    const setting_values::Typed typed = Read(rows, name, text, model, mode);
    EXPECT_TRUE(typed.ok) << name << " \"" << text << "\": " << typed.refusal;
    return typed.raw;
  }
  bool Refused(const std::vector<SettingField>& rows, const char* name, const std::string& text,
               int model = kModelKRV04, int mode = 0) {
    return !Read(rows, name, text, model, mode).ok;
  }
  RangeModeTable table;
};

TEST_F(RowReading, LaserPowerAcceptsZeroTo254AsWholeNumbers) {
  const auto& rows = krv04::Rows();
  EXPECT_EQ(Raw(rows, "Min. Laser Power", "0"), 0);
  EXPECT_EQ(Raw(rows, "Min. Laser Power", "254"), 254);
  EXPECT_EQ(Raw(rows, "Min. Laser Power", " 1.7e1 "), 17);  // one number, however spelled
  EXPECT_TRUE(Refused(rows, "Min. Laser Power", "  17abc"));  // not one number
  EXPECT_EQ(Read(rows, "Min. Laser Power", "99.9").refusal, "Min. Laser Power must be a whole number from 0 to 254");
  EXPECT_EQ(Read(rows, "Min. Laser Power", "255").refusal, "Min laser power must be between 0 and 254");
  EXPECT_TRUE(Refused(rows, "Min. Laser Power", "-1"));
  EXPECT_TRUE(Refused(rows, "Min. Laser Power", "4294967296"));  // no wrap into range
  EXPECT_EQ(Read(rows, "Min. Laser Power", "abc").refusal, kNumericNotANumberMessage);  // never read as 0
}

TEST_F(RowReading, ThresholdAcceptsZeroTo255) {
  const auto& rows = krv04::Rows();
  EXPECT_EQ(Raw(rows, "Threshold", "255"), 255);
  EXPECT_EQ(Raw(rows, "Threshold", "0"), 0);
  EXPECT_EQ(Raw(rows, "Threshold", "1e2"), 100);
  EXPECT_EQ(Read(rows, "Threshold", "256").refusal, "Threshold must be between 0 and 255");
  EXPECT_TRUE(Refused(rows, "Threshold", "-1"));
  EXPECT_TRUE(Refused(rows, "Threshold", "inf"));
}

// Qmt Short checks nothing of its own: its bytes take 0 to 255, and what a
// byte cannot hold is refused rather than sent as its low 8 bits.
TEST_F(RowReading, UncheckedByteTakesWhatAByteHolds) {
  const auto& rows = qmt_short::Rows();
  EXPECT_EQ(Read(rows, "Threshold", "256", kModelQmtShort).refusal, "Threshold must be between 0 and 255");
  EXPECT_TRUE(Refused(rows, "Threshold", "-1", kModelQmtShort));
  EXPECT_TRUE(Refused(rows, "Threshold", "300", kModelQmtShort));
  EXPECT_TRUE(Refused(rows, "Threshold", "x", kModelQmtShort));
  EXPECT_EQ(Raw(rows, "Threshold", "255", kModelQmtShort), 255);
}

TEST(SettingsEditingChecks, RangeCheckIncludesBoundsAndRefusesNan) {
  RangeModeTable table;
  const RangeModeRow& up = table.Lookup(0, 0);    // 0 .. 32 inch
  const RangeModeRow& down = table.Lookup(0, 3);  // -3200 .. 0 mm
  EXPECT_TRUE(edit::WithinRow(0.0, up));
  EXPECT_TRUE(edit::WithinRow(32.0, up));
  EXPECT_FALSE(edit::WithinRow(32.001, up));
  EXPECT_FALSE(edit::WithinRow(-0.001, up));
  EXPECT_TRUE(edit::WithinRow(-3200.0, down));
  EXPECT_FALSE(edit::WithinRow(0.1, down));
  EXPECT_FALSE(edit::WithinRow(std::nan(""), up));
  EXPECT_FALSE(edit::WithinRow(std::numeric_limits<double>::infinity(), up));
}

TEST(SettingsEditingChecks, RangeMessagePrintsBoundsWithTheUnitFormat) {
  RangeModeTable table;
  EXPECT_EQ(edit::RangeMessage(table.Lookup(0, 0)),
            "Range values must be between 0.000 inch and 32.000 inch");
  EXPECT_EQ(edit::RangeMessage(table.Lookup(0, 3)),
            "Range values must be between -3200.0 mm and 0.0 mm");
  EXPECT_EQ(edit::RangeMessage(table.Lookup(1, 1)),
            "Range values must be between 0.00 mm and 200.00 mm");
}

// A scaled value is sent exactly: a value finer than its field's step is
// refused, never cut toward zero.
TEST_F(RowReading, ScaledValuesAreSentExactlyOrRefused) {
  const auto& rows = setting_fields::KRV02Family();
  EXPECT_EQ(Raw(rows, "Min. Volts", "12.345", kModelKRV02), 12345);
  EXPECT_EQ(Raw(rows, "Min. Volts", "-0.002", kModelKRV02), -2);
  EXPECT_EQ(Read(rows, "Min. Volts", "-0.0019", kModelKRV02).refusal,
            "Min. Volts must be a multiple of 0.001 from -32.768 to 32.767");
  EXPECT_EQ(Raw(rows, "Min. Range", "3.2", kModelKRV02, 8), 32000);  // 10000 per inch
  EXPECT_TRUE(Refused(rows, "Min. Range", "1.2349", kModelKRV02, 4));   // 100 per inch
  EXPECT_EQ(Raw(rows, "Min. Range", "1.23", kModelKRV02, 4), 123);
}

TEST_F(RowReading, ShownDecimalsGoBackWithoutLosingACount) {
  // 0.29 x 100 is 28.999999999999996 in binary arithmetic; the value a
  // dialog shows must come back as the same raw count.
  ASSERT_LT(0.29 * 100.0, 29.0);
  const auto& rows = setting_fields::KRV02Family();
  EXPECT_EQ(Raw(rows, "Range Offset", "0.29", kModelKRV02, 4), 29);
  for (int raw = -3200; raw <= 3200; ++raw) {
    const std::string shown = std::to_string(raw / 100.0);
    ASSERT_EQ(Read(rows, "Range Offset", shown, kModelKRV02, 4).raw, raw) << shown;
    const std::string volts = std::to_string(raw * 0.001);
    ASSERT_EQ(Read(rows, "Min. Volts", volts, kModelKRV02).raw, raw) << volts;
  }
}

// Every length a KRV02 dialog shows, in every range mode, goes back as the
// count the sensor holds: a press of its Set button writes what was read.
TEST_F(RowReading, ShownLengthsGoBackAsTheSensorsCountInEveryMode) {
  const auto& rows = setting_fields::KRV02Family();
  const int modes = static_cast<int>(table.ModeTexts(kModelKRV02).size());
  ASSERT_GE(modes, 10);
  for (const char* name : {"Range Offset", "Min. Range", "Max. Range"}) {
    const SettingField* row = setting_fields::Find(rows, name);
    ASSERT_NE(row, nullptr) << name;
    for (int mode = 0; mode < modes; ++mode) {
      SettingContext context;
      context.row = &table.Lookup(kModelKRV02, mode);
      for (int64_t count : {1, 1234, 25999}) {
        const int64_t raw = context.row->negativeAllowed ? -count : count;
        const std::string shown = setting_values::ShownText(*row, raw, context);
        const setting_values::Typed typed = Read(rows, name, shown, kModelKRV02, mode);
        EXPECT_TRUE(typed.ok && typed.raw == raw)
            << name << " mode " << mode << ": " << raw << " shown as \"" << shown << "\" reads back as " << typed.raw
            << " " << typed.refusal;
      }
    }
  }
}

TEST_F(RowReading, OutOfRangeValuesAreRefusedWithTheWordsRange) {
  const auto& rows = setting_fields::KRV02Family();
  EXPECT_EQ(Read(rows, "Min. Volts", "1e12", kModelKRV02).refusal, "Min. Volts must be between -32.768 and 32.767");
  EXPECT_EQ(Read(rows, "Min. Volts", "-1e12", kModelKRV02).refusal, "Min. Volts must be between -32.768 and 32.767");
  EXPECT_EQ(Read(rows, "Min. Volts", "nan", kModelKRV02).refusal, kNumericNotANumberMessage);
  EXPECT_EQ(Read(rows, "Multiplier", "inf", kModelKRV02).refusal, "Multiplier must be between -32.768 and 32.767");
}

TEST_F(RowReading, MultiplierTakesThousandths) {
  const auto& rows = setting_fields::KRV02Family();
  EXPECT_TRUE(Refused(rows, "Multiplier", "1.2345", kModelKRV02));
  EXPECT_TRUE(Refused(rows, "Multiplier", "-1.0005", kModelKRV02));
  EXPECT_EQ(Raw(rows, "Multiplier", "1.001", kModelKRV02), 1001);
  EXPECT_EQ(Raw(rows, "Multiplier", "-1.001", kModelKRV02), -1001);
}

TEST_F(RowReading, CosineFromZeroToOneInclusive) {
  const auto& rows = setting_fields::KRV02Family();
  EXPECT_EQ(Raw(rows, "Cosine", "1", kModelKRV02), 10000);
  EXPECT_EQ(Raw(rows, "Cosine", "0", kModelKRV02), 0);
  EXPECT_EQ(Raw(rows, "Cosine", "0.8660", kModelKRV02), 8660);
  EXPECT_TRUE(Refused(rows, "Cosine", "0.99995", kModelKRV02));  // finer than 0.0001
  EXPECT_EQ(Read(rows, "Cosine", "1.0001", kModelKRV02).refusal, "Cosine must be between 0 and 1.0000");
  EXPECT_TRUE(Refused(rows, "Cosine", "-0.0001", kModelKRV02));
  EXPECT_TRUE(Refused(rows, "Cosine", "nan", kModelKRV02));
  EXPECT_TRUE(Refused(rows, "Cosine", "x", kModelKRV02));  // no number is no 0
}

TEST(SettingsEditingConversion, AveragingPeriodRoundsDownToTheFirmwareStep) {
  // Revision "C": factor 1000, step 1500.
  EXPECT_EQ(edit::AveragingCount(74.565, 1000.0, 1500), 73500);
  EXPECT_EQ(edit::AveragingCount(1.5, 1000.0, 1500), 1500);
  EXPECT_EQ(edit::AveragingCount(1.4999, 1000.0, 1500), 0);
  // Other revisions: factor 100, step 60.
  EXPECT_EQ(edit::AveragingCount(745.65, 100.0, 60), 74520);
  EXPECT_EQ(edit::AveragingCount(745.2, 100.0, 60), 74520);
  EXPECT_EQ(edit::AveragingCount(0.6, 100.0, 60), 60);
  // Before any version was read: factor 1, step 1.
  EXPECT_EQ(edit::AveragingCount(5.9, 1.0, 1), 5);
}

TEST(SettingsEditingConversion, AveragingPeriodLimits) {
  EXPECT_EQ(edit::AveragingCount(0.0, 1000.0, 1500), 0);
  EXPECT_EQ(edit::AveragingCount(21474836.0, 1.0, 1), 21474836);
  EXPECT_EQ(edit::AveragingCount(21474836.47, 1.0, 1), 21474836);
  EXPECT_FALSE(edit::AveragingCount(21474837.0, 1.0, 1));
  EXPECT_FALSE(edit::AveragingCount(-0.001, 1000.0, 1500));
  EXPECT_FALSE(edit::AveragingCount(-1.0, 100.0, 60));
  // Far beyond 32 bits must not wrap back into the accepted range.
  EXPECT_FALSE(edit::AveragingCount(4294967296.0 + 100.0, 1.0, 1));
  EXPECT_FALSE(edit::AveragingCount(1e300, 1000.0, 1500));
  EXPECT_FALSE(edit::AveragingCount(std::nan(""), 1000.0, 1500));
  EXPECT_FALSE(edit::AveragingCount(std::numeric_limits<double>::infinity(), 100.0, 60));
}

TEST(SettingsEditingRecords, AveragingCountHighHalfAtFourLowHalfAtSix) {
  uint8_t block[10] = {1, 2, 3, 4, 0xAA, 0xBB, 0xCC, 0xDD, 9, 10};
  edit::PutAveragingCount(block, 74565);  // 0x00012345
  const uint8_t expected[10] = {1, 2, 3, 4, 0x01, 0x00, 0x45, 0x23, 9, 10};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(block[i], expected[i]) << i;
  EXPECT_EQ(edit::AveragingCountOf(block), 74565u);
  // 1 and 9029 read as 74565; the top bit is part of the unsigned value.
  uint8_t high[10] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0};
  EXPECT_EQ(edit::AveragingCountOf(high), 0xFFFFFFFFu);
}

TEST(SettingsEditingRecords, WordsGoInHostOrderAsTheirLow16Bits) {
  uint8_t record[4] = {};
  edit::PutWord(record, 0, -2);
  edit::PutWord(record, 2, 0x12345);
  EXPECT_EQ(record[0], 0xFE);
  EXPECT_EQ(record[1], 0xFF);
  EXPECT_EQ(record[2], 0x45);
  EXPECT_EQ(record[3], 0x23);
  EXPECT_EQ(edit::GetWord(record, 2), 0x2345);
}

TEST(SettingsEditingLists, OrderFactorsAreTheOddNumbersOneToNineteen) {
  EXPECT_EQ(edit::OrderFactorTexts(),
            (std::vector<std::string>{"1", "3", "5", "7", "9", "11", "13", "15", "17", "19"}));
  EXPECT_EQ(edit::OrderFactorIndex(1), 0);
  EXPECT_EQ(edit::OrderFactorIndex(19), 9);
  EXPECT_EQ(edit::OrderFactorIndex(4), -1);
  EXPECT_EQ(edit::OrderFactorIndex(21), -1);
}

TEST(SettingsEditingLists, SwitchWords) {
  EXPECT_EQ(edit::ReadSwitch("On"), true);
  EXPECT_EQ(edit::ReadSwitch(" off "), false);
  EXPECT_EQ(edit::ReadSwitch("ENABLED"), true);
  EXPECT_EQ(edit::ReadSwitch("Disabled"), false);
  EXPECT_EQ(edit::ReadSwitch("1"), true);
  EXPECT_FALSE(edit::ReadSwitch("maybe"));
  EXPECT_FALSE(edit::ReadSwitch(""));
}

TEST(SettingsDisplay, RuntimeFormatsPrintOneRealOrTheirText) {
  using settings_display::FormatReal;
  EXPECT_EQ(FormatReal("%2.3f", 74.565), "74.565");
  EXPECT_EQ(FormatReal("%2.2f", 745.65), "745.65");
  EXPECT_EQ(FormatReal("Unknown version", 74565.0), "Unknown version");
  EXPECT_EQ(FormatReal("%2.1f%%", 50.0), "50.0%");
  // Anything but one floating-point conversion is shown as text, never
  // handed to printf with a double.
  EXPECT_EQ(FormatReal("%s", 1.0), "%s");
  EXPECT_EQ(FormatReal("%d ms", 1.0), "%d ms");
  EXPECT_EQ(FormatReal("%f %f", 1.0), "%f %f");
  EXPECT_EQ(FormatReal("100%", 1.0), "100%");
}

// --- Each dialog refuses with its own words and sends nothing ---------------
// Without a link every command fails at once, so a refused button is seen
// by `sent` staying false and an accepted one by `sent` turning true.

class SettingsRefusals : public ::testing::Test {
 protected:
  SensorCommands commands;
  RangeModeTable table;
};

TEST_F(SettingsRefusals, KRV02Messages) {
  KRV02Settings s(commands, table, [] { return 0; }, nullptr);
  KRV02Fields f;
  f.threshold = "256";
  SetResult r = s.SetThreshold(f);
  EXPECT_EQ(r.message, "Thresholdmust be between 0 and 255");
  EXPECT_FALSE(r.sent);
  f.minLaserPower = "255";
  EXPECT_EQ(s.SetMinLaserPower(f).message, "Min laser power must be between 0 and 254");
  f.maxLaserPower = "-1";
  EXPECT_EQ(s.SetMaxLaserPower(f).message, "Max laser power must be between 0 and 254");
  f.cosine = "1.0001";
  EXPECT_EQ(s.SetRangeOffset(f).message, "Cosine must be between 0 and 1.0000");
  f.averagingPeriod = "-1";
  EXPECT_EQ(s.SetAveragingPeriod(f).message,
            "Averaging period must be between 0 and 21474836.47");
  f.scanMode = 0;
  f.minRange = "1";
  f.maxRange = "32.001";
  EXPECT_EQ(s.SetAnalogFactors(f).message,
            "Range values must be between 0.000 inch and 32.000 inch");
  // The fields keep what was typed.
  EXPECT_EQ(s.fields().maxRange, "32.001");
  EXPECT_EQ(s.fields().threshold, "256");

  f.threshold = "255";
  r = s.SetThreshold(f);
  EXPECT_TRUE(r.message.empty());
  EXPECT_TRUE(r.sent);
  EXPECT_FALSE(r.reread);  // no sensor: the re-read fails
}

TEST_F(SettingsRefusals, KRV02RecordWritesWaitForARead) {
  KRV02Settings s(commands, table, [] { return 0; }, nullptr);
  KRV02Fields f;
  f.scanMode = 0;
  f.cosine = "0.5";
  f.minRange = "1";
  f.maxRange = "2";
  f.averagingPeriod = "10";
  EXPECT_EQ(s.SetRangeOffset(f).message, edit::kNotReadMessage);
  EXPECT_EQ(s.SetAnalogFactors(f).message, edit::kNotReadMessage);
  EXPECT_EQ(s.SetAveragingPeriod(f).message, edit::kNotReadMessage);
  EXPECT_FALSE(s.SetAveragingPeriod(f).sent);
}

TEST_F(SettingsRefusals, KRV04AndBoardFlipperThresholdWording) {
  KRV04Settings krv04(commands, table, nullptr);
  KRV04BFSettings flipper(commands, table, nullptr);
  KRV04Fields f;
  f.threshold = "-1";
  EXPECT_EQ(krv04.SetThreshold(f).message, "Threshold must be between 0 and 255");
  EXPECT_EQ(flipper.SetThreshold(f).message, "Thresholdmust be between 0 and 255");
  f.minLaserPower = "255";
  f.maxLaserPower = "255";
  EXPECT_EQ(krv04.SetMinLaserPower(f).message, "Min laser power must be between 0 and 254");
  EXPECT_EQ(flipper.SetMaxLaserPower(f).message, "Max laser power must be between 0 and 254");
  f.mode = 1;
  f.minRange = "200.01";
  EXPECT_EQ(krv04.SetMinRange(f).message, "Range values must be between 0.00 mm and 200.00 mm");
  f.mode = 0;
  f.maxRange = "8.001";
  EXPECT_EQ(flipper.SetMaxRange(f).message,
            "Range values must be between 0.000 inch and 8.000 inch");
  EXPECT_EQ(flipper.SetWaneVariables(f).message, edit::kNotReadMessage);
}

TEST_F(SettingsRefusals, QmtShortChecksOnlyWhatItsWordsHold) {
  QmtShortSettings s(commands, table, nullptr);
  KRV04Fields f;
  f.threshold = "256";
  f.minLaserPower = "-1";
  f.maxLaserPower = "999";
  f.minRange = "-5";
  f.maxRange = "1000";
  // A byte holds 0 to 255: beyond it is refused, never sent as its low 8 bits.
  EXPECT_EQ(s.SetThreshold(f).message, "Threshold must be between 0 and 255");
  EXPECT_EQ(s.SetMinLaserPower(f).message, "Min. Laser Power must be between 0 and 255");
  EXPECT_EQ(s.SetMaxLaserPower(f).message, "Max. Laser Power must be between 0 and 255");
  f.threshold = "255";
  f.minLaserPower = "0";
  f.maxLaserPower = "255";
  for (SetResult r : {s.SetThreshold(f), s.SetMinLaserPower(f), s.SetMaxLaserPower(f)}) {
    EXPECT_TRUE(r.message.empty()) << r.message;
    EXPECT_TRUE(r.sent);
  }
  // Its ranges have no check, but a range that does not fit the unsigned
  // 16-bit word is refused rather than sent wrapped.
  EXPECT_EQ(s.SetMinRange(f).message, "Min. Range must be between 0.000 inch and 65.535 inch");
  EXPECT_EQ(s.SetMaxRange(f).message, "Max. Range must be between 0.000 inch and 65.535 inch");
  f.minRange = "40";  // beyond the row's 30 inch, within the word
  EXPECT_TRUE(s.SetMinRange(f).sent);
  // A mode chosen in fields of the family's record means nothing to a
  // model without a mode list: its one mode stays.
  f.mode = 1;
  EXPECT_TRUE(s.SetMinRange(f).sent);
}

TEST_F(SettingsRefusals, ModeWithoutAChosenEntrySendsNothing) {
  KRV04Settings krv04(commands, table, nullptr);
  KRV04BFSettings flipper(commands, table, nullptr);
  KRV02Settings krv02(commands, table, [] { return 2; }, nullptr);
  KRV04Fields f;
  f.mode = -1;
  SetResult r = krv04.SetMode(f);
  EXPECT_FALSE(r.sent);
  EXPECT_FALSE(r.Refused());
  EXPECT_FALSE(flipper.SetMode(f).sent);
  KRV02Fields g;
  g.scanMode = -1;
  EXPECT_FALSE(krv02.SetMode(g).sent);
  g.scanMode = 16;  // beyond the 16 entries of the list
  EXPECT_FALSE(krv02.SetMode(g).sent);
}

TEST_F(SettingsRefusals, ChangesByNameNeedAReadAndAKnownName) {
  KRV04Settings krv04(commands, table, nullptr);
  SetResult r = krv04.ChangeSetting("Threshold", "10");
  EXPECT_EQ(r.message, edit::kNotReadMessage);
  EXPECT_FALSE(r.sent);
  r = krv04.ChangeSetting("Min Wane Height", "1");
  EXPECT_EQ(r.message, "No setting named \"Min Wane Height\" for this sensor model");
  QmtShortSettings qmt(commands, table, nullptr);
  EXPECT_TRUE(qmt.ChangeSetting("Mode", "0").Refused());
}

TEST_F(SettingsRefusals, ListsOfEachDialog) {
  KRV02Settings krv02(commands, table, [] { return 0; }, nullptr);
  KRV04Settings krv04(commands, table, nullptr);
  QmtShortSettings qmt(commands, table, nullptr);
  KRV04BFSettings flipper(commands, table, nullptr);
  ASSERT_EQ(krv02.ModeTexts().size(), 16u);
  EXPECT_EQ(krv02.ModeTexts()[12], "12:  From 000.00 to 266.00 ft ");
  EXPECT_EQ(KRV02Settings::LaserTexts(), (std::vector<std::string>{"On", "Off"}));
  EXPECT_EQ(krv04.ModeTexts(), (std::vector<std::string>{"0:  From 00.000 to  8.000 inch",
                                                         "1:  From 00.00 to  200.00 mm"}));
  EXPECT_EQ(flipper.ModeTexts(), krv04.ModeTexts());
  EXPECT_TRUE(qmt.ModeTexts().empty());
  // Before any read nothing is listed for the setup pane.
  std::vector<std::string> names{"stale"}, values{"stale"};
  krv02.Summary(names, values);
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(values.empty());
}
