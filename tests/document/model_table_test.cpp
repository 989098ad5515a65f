#include "tarkon/models/model_table.h"

#include "tarkon/document/scan_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(ModelTable, DisplayNamesByIndex) {
  EXPECT_EQ(ModelDisplayName(0), "KRV02");
  EXPECT_EQ(ModelDisplayName(1), "KRV04");
  EXPECT_EQ(ModelDisplayName(2), "Qmt Long");
  EXPECT_EQ(ModelDisplayName(3), "Qmt Short");
  EXPECT_EQ(ModelDisplayName(4), "KRV04 Board Flipper");
  EXPECT_EQ(ModelDisplayName(5), "");
  EXPECT_EQ(ModelDisplayName(-1), "");
  // Qmt Long shares the KRV02 dialog and panel.
  EXPECT_EQ(ModelTable()[2].settingsDialog, SettingsDialogKind::kKRV02);
  EXPECT_EQ(ModelTable()[2].panel, ViewPanelKind::kKRV02);
  EXPECT_EQ(ModelTable()[4].settingsDialog, SettingsDialogKind::kKRV04BoardFlipper);
}

TEST(ModelTable, EveryModelStringIdentifiesItsModel) {
  const struct {
    const char* text;
    int model;
  } expected[] = {
      {"0 QMT2000", 3},  {"0 QMT12-20-6", 3}, {"O QMT2000", 3},  {"1 QMTLONG", 2},
      {"1 QMT2000LR", 2}, {"0 QMT2000LR", 2}, {"0 M3-9-6", 1},   {"0 M3-9-7HT", 1},
      {"0 M3-9-6BF", 4}, {"0 M7-30-6", 0},    {"0 M15-30-6", 0}, {"1 M15-150-7", 0},
      {"0 M25-30-6", 0}, {"0 KRV-02", 0},
  };
  ASSERT_EQ(ModelStringTable().size(), 14u);
  for (size_t i = 0; i < 14; ++i) {
    EXPECT_STREQ(ModelStringTable()[i].modelString, expected[i].text);
    ModelIdentification id = IdentifyModel(expected[i].text, false);
    EXPECT_TRUE(id.identified) << expected[i].text;
    EXPECT_EQ(id.model, expected[i].model) << expected[i].text;
    EXPECT_EQ(id.modelText, ModelDisplayName(expected[i].model));
    EXPECT_FALSE(id.assumedKRV02);
  }
}

TEST(ModelTable, LetterOAndDigitZeroBothMeanQmtShortButCaseMatters) {
  EXPECT_EQ(IdentifyModel("O QMT2000", false).modelText, "Qmt Short");
  EXPECT_EQ(IdentifyModel("0 QMT2000", false).modelText, "Qmt Short");
  EXPECT_FALSE(IdentifyModel("o qmt2000", false).identified);
  EXPECT_FALSE(IdentifyModel("0 qmt2000", false).identified);
}

TEST(ModelTable, OnlyWholeStringsMatch) {
  EXPECT_FALSE(IdentifyModel("0 M3-9-6X", false).identified);
  EXPECT_FALSE(IdentifyModel("0 M3-9-", false).identified);
  EXPECT_FALSE(IdentifyModel(" 0 M3-9-6", false).identified);
  EXPECT_FALSE(IdentifyModel("0 M3-9-6 ", false).identified);
  EXPECT_FALSE(IdentifyModel("", false).identified);
  // "0 M3-9-6BF" is not taken for "0 M3-9-6" nor the other way round.
  EXPECT_EQ(IdentifyModel("0 M3-9-6BF", false).model, kModelKRV04BoardFlipper);
}

TEST(ModelTable, UnknownModelIsKRV02OnlyInManufacturingMode) {
  ModelIdentification off = IdentifyModel("9 XYZ", false);
  EXPECT_FALSE(off.identified);
  EXPECT_FALSE(off.assumedKRV02);
  ModelIdentification on = IdentifyModel("9 XYZ", true);
  EXPECT_TRUE(on.identified);
  EXPECT_TRUE(on.assumedKRV02);
  EXPECT_EQ(on.model, kModelKRV02);
  EXPECT_EQ(on.modelText, "KRV02");
  EXPECT_STREQ(kUnknownModelManufacturingLine,
               "Sensor responded with unknown model string.Since in manufacturing mode "
               "initializing as KRV02.");
  // A known string in manufacturing mode is its own model.
  EXPECT_EQ(IdentifyModel("0 M3-9-6", true).model, kModelKRV04);
  EXPECT_FALSE(IdentifyModel("0 M3-9-6", true).assumedKRV02);
}

TEST(ModelTable, ReplyFieldEndsAtItsFirstNulOrAfter16Bytes) {
  uint8_t reply[16] = {};
  std::memcpy(reply, "0 M3-9-6\0junk", 13);
  EXPECT_EQ(IdentifyModelReply(reply, false).model, kModelKRV04);
  // No NUL at all: the 16 bytes are the string, which matches nothing.
  std::memcpy(reply, "0 M3-9-6BFxxxxxx", 16);
  EXPECT_EQ(ReplyText(reply, 16), "0 M3-9-6BFxxxxxx");
  EXPECT_FALSE(IdentifyModelReply(reply, false).identified);
  EXPECT_EQ(ReplyText(reply, 16, 8), "0 M3-9-6");
}

TEST(ModelTable, VersionCommandByModel) {
  EXPECT_TRUE(UsesKRV02VersionCommand(kModelKRV02));
  EXPECT_TRUE(UsesKRV02VersionCommand(kModelQmtLong));
  EXPECT_FALSE(UsesKRV02VersionCommand(kModelKRV04));
  EXPECT_FALSE(UsesKRV02VersionCommand(kModelQmtShort));
  EXPECT_FALSE(UsesKRV02VersionCommand(kModelKRV04BoardFlipper));
}

TEST(ModelTable, DisplayNameOfAModelString) {
  EXPECT_EQ(DisplayNameOfModelString("1 QMTLONG"), "Qmt Long");
  EXPECT_EQ(DisplayNameOfModelString("nothing"), "");
  EXPECT_EQ(ModelIndexOfString("0 KRV-02"), 0);
  EXPECT_EQ(ModelIndexOfString("0 KRV-02\n"), -1);
}

// One answer for the panels and the command-line tool: which models read
// error counters and a scan buffer, and how many ranges the buffer offers.
TEST(ModelTable, CapabilitiesByModel) {
  uint8_t state[14] = {};
  state[10] = 0xE8;  // scan count 1000, low byte first
  state[11] = 0x03;
  struct Row {
    int model;
    bool family, errors, scan;
    int ranges;
  };
  const Row rows[] = {{kModelKRV02, true, true, true, 1000},
                      {kModelKRV04, false, false, false, 0},
                      {kModelQmtLong, true, true, true, 1000},
                      {kModelQmtShort, false, false, false, 0},
                      {kModelKRV04BoardFlipper, false, false, true, 8192},
                      {-1, false, false, false, 0},
                      {kModelCount, false, false, false, 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.model);
    EXPECT_EQ(IsKRV02Family(r.model), r.family);
    EXPECT_EQ(HasErrorCounters(r.model), r.errors);
    EXPECT_EQ(HasScanBuffer(r.model), r.scan);
    EXPECT_EQ(ScanRangesOffered(r.model, state), r.ranges);
  }
  EXPECT_EQ(ScanRangesOffered(kModelKRV02, nullptr), 0);
}

}  // namespace
