// The rows of the sensor views against a virtual sensor: names, values and
// their signedness in both byte orders, the calibration text, the command
// chain of the KRV02 diagnostics and what a failed command leaves shown.

#include "tarkon/document/live_panels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/command_ids.h"
#include "protocol/frame.h"
#include "support/sim_document.h"

namespace {

using testsupport::SensorOf;
using testsupport::SimDocumentTest;

std::vector<std::pair<std::string, std::string>> Pairs(const PanelRows& rows) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const PanelRow& r : rows) out.emplace_back(r.name, r.value);
  return out;
}
using RowPairs = std::vector<std::pair<std::string, std::string>>;

class LivePanelsTest : public SimDocumentTest {
 protected:
  void Connect(const std::string& model, int32_t mode = frame::kChecksum) {
    StartSensor(SensorOf(model, mode));
    ASSERT_TRUE(ConnectDoc());
    listener_.Clear();
    trace_.Clear();
  }
  // Live values held still, with a word whose sign shows in each table.
  void Freeze(uint16_t range = 12345) {
    sensor_->Mutate([range](sim::SensorState& s) {
      s.live.animate = false;
      s.live.basePix = 1;
      s.live.sumPix = 0xFFFF;
      s.live.numPix = 3;
      s.live.subPix = 4;
      s.live.range = range;
      s.live.laserPower = 200;
      s.live.peak = 0xFFFE;
      s.scanning = false;
      s.scanCount = 40000;
    });
  }
  uint64_t RepliesSent() { return sensor_->Snapshot().activity.repliesSent; }
  void DropReply(uint64_t number) {
    sensor_->Mutate([number](sim::SensorState& s) { s.faults.rule(sim::FaultKind::kDrop).atReplies = {number}; });
  }
};

class KRV02Diagnostics : public LivePanelsTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(KRV02Diagnostics, TenRowsWithTheEmptyEighth) {
  Connect("KRV02", GetParam());
  Freeze();
  PanelRows rows;
  ASSERT_TRUE(PollDiagnostics(Doc(), LivePanel::kKRV02, rows));
  EXPECT_EQ(Pairs(rows), (RowPairs{{"Base pix.", "1"},
                                   {"Sum pix.", "65535"},
                                   {"Num pix.", "3"},
                                   {"Sub pix.", "4"},
                                   {"Scan count", "-25536"},
                                   {"Scanning", "Off"},
                                   {"Laser power", "200"},
                                   {"Peak", "-2"},
                                   {"", ""},
                                   {"Range", "12.345 inch"}}));
  EXPECT_EQ(trace_.Commands(), (std::vector<int>{cmd::GetKRV02State, cmd::GetLaserPower, cmd::GetPeak}));
  EXPECT_TRUE(listener_.lines().empty());
}

TEST_P(KRV02Diagnostics, OutOfRangeAndScanningShowAsText) {
  Connect("Qmt Long", GetParam());
  Freeze(0x8000);
  ASSERT_TRUE(Doc().operations().StartScan());
  PanelRows rows;
  ASSERT_TRUE(PollDiagnostics(Doc(), LivePanelOfModel(Doc().sensor().modelIndex()), rows));
  ASSERT_EQ(rows.size(), 10u);
  EXPECT_EQ(rows[5].value, "On");
  EXPECT_EQ(ScanningShown(rows), std::optional<bool>(true));
  EXPECT_EQ(rows[9].name, "Range");
  EXPECT_EQ(rows[9].value, "Out of Range");
}

INSTANTIATE_TEST_SUITE_P(BothCheckModes, KRV02Diagnostics, ::testing::Values(frame::kChecksum, frame::kCrc));

TEST_F(LivePanelsTest, FailedLaserPowerSkipsPeakAndChangesNoRow) {
  Connect("KRV02");
  Freeze();
  PanelRows rows;
  ASSERT_TRUE(PollDiagnostics(Doc(), LivePanel::kKRV02, rows));
  const PanelRows before = rows;
  sensor_->Mutate([](sim::SensorState& s) {
    s.live.basePix = 999;
    s.live.range = 1000;
  });
  trace_.Clear();
  DropReply(RepliesSent() + 2);  // state answers, laser power does not
  EXPECT_FALSE(PollDiagnostics(Doc(), LivePanel::kKRV02, rows));
  EXPECT_EQ(Pairs(rows), Pairs(before));
  EXPECT_EQ(trace_.Commands(), (std::vector<int>{cmd::GetKRV02State, cmd::GetLaserPower}));
  const std::vector<std::string> errors = listener_.TextsOfKind(kLogError);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Command GetLaserPower failed.", 0), 0u) << errors[0];

  // The next tick tries again and shows the new values.
  ASSERT_TRUE(PollDiagnostics(Doc(), LivePanel::kKRV02, rows));
  EXPECT_EQ(rows[0].value, "999");
  EXPECT_EQ(rows[9].value, "1.000 inch");
}

struct KRV04FamilyCase {
  const char* model;
  int32_t checkMode;
  LivePanel panel;
  const char* rangeText;  // of the raw range 8000
  size_t failureLines;    // the board flipper's state query is polled silently
};

class KRV04FamilyDiagnostics : public LivePanelsTest, public ::testing::WithParamInterface<KRV04FamilyCase> {};

TEST_P(KRV04FamilyDiagnostics, EightUnsignedRowsFromTheStateCommand) {
  const KRV04FamilyCase& c = GetParam();
  Connect(c.model, c.checkMode);
  EXPECT_EQ(LivePanelOfModel(Doc().sensor().modelIndex()), c.panel);
  Freeze(8000);
  PanelRows rows;
  ASSERT_TRUE(PollDiagnostics(Doc(), c.panel, rows));
  EXPECT_EQ(Pairs(rows), (RowPairs{{"Base pix.", "1"},
                                   {"Sum pix.", "65535"},
                                   {"Num pix.", "3"},
                                   {"Sub pix.", "4"},
                                   {"Laser power", "200"},
                                   {"Peak", "65534"},
                                   {"", ""},
                                   {"Range", c.rangeText}}));
  EXPECT_EQ(trace_.Commands(), std::vector<int>{cmd::GetSensorState});

  Freeze(0x8000);
  ASSERT_TRUE(PollDiagnostics(Doc(), c.panel, rows));
  EXPECT_EQ(rows[7].value, "Out of Range");

  // A failed state command leaves every row as it was.
  sensor_->Mutate([](sim::SensorState& s) { s.live.basePix = 77; });
  const PanelRows before = rows;
  DropReply(RepliesSent() + 1);
  EXPECT_FALSE(PollDiagnostics(Doc(), c.panel, rows));
  EXPECT_EQ(Pairs(rows), Pairs(before));
  EXPECT_EQ(listener_.TextsOfKind(kLogError).size(), c.failureLines);
}

INSTANTIATE_TEST_SUITE_P(Models, KRV04FamilyDiagnostics,
                         ::testing::Values(KRV04FamilyCase{"KRV04", frame::kChecksum, LivePanel::kKRV04, "8.000 inch", 1},
                                           KRV04FamilyCase{"KRV04", frame::kCrc, LivePanel::kKRV04, "8.000 inch", 1},
                                           KRV04FamilyCase{"Qmt Short", frame::kCrc, LivePanel::kQmtShort,
                                                           "8.000 inch", 1},
                                           KRV04FamilyCase{"KRV04 Board Flipper", frame::kCrc,
                                                           LivePanel::kKRV04BoardFlipper, "8.000 inch", 0}));

TEST(LivePanelRows, EmptyRowsCarryTheNames) {
  EXPECT_EQ(Pairs(EmptyDiagnosticRows(LivePanel::kKRV02)),
            (RowPairs{{"Base pix.", ""}, {"Sum pix.", ""}, {"Num pix.", ""}, {"Sub pix.", ""}, {"Scan count", ""},
                      {"Scanning", ""}, {"Laser power", ""}, {"Peak", ""}, {"", ""}, {"Range", ""}}));
  EXPECT_EQ(EmptyDiagnosticRows(LivePanel::kKRV04BoardFlipper).size(), 8u);
  EXPECT_EQ(Pairs(EmptyScanStatisticsRows()),
            (RowPairs{{"Scans count", ""}, {" High scan number", ""}, {"High scan value", ""},
                      {"Low scan number", ""}, {"Low scan value", ""}, {"Average scan value", ""}}));
  EXPECT_EQ(LivePanelOfModel(kModelQmtLong), LivePanel::kKRV02);
  EXPECT_EQ(LivePanelOfModel(kModelQmtShort), LivePanel::kQmtShort);
}

class ErrorCounters : public LivePanelsTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(ErrorCounters, SixSignedCountersAndTheCalibrationText) {
  Connect("KRV02", GetParam());
  sensor_->Mutate([](sim::SensorState& s) {
    s.errors.powerUps = 12;
    s.errors.resets = 0xFFFF;
    s.errors.checkErrors = 7;
    s.errors.commandErrors = 8;
    s.errors.calibration = 21845;
    s.errors.illegalOperations = 300;
  });
  PanelRows rows;
  ASSERT_TRUE(ReadErrorCounters(Doc(), rows));
  EXPECT_EQ(Pairs(rows), (RowPairs{{"PowerUp count", "12"},
                                   {"Callibration status", "Callibration OK"},
                                   {"Reset count", "-1"},
                                   {"Illegal opertions", "300"},
                                   {"Command errors", "8"},
                                   {"Checksum/CRC errors", "7"}}));
  for (uint16_t status : {uint16_t{0}, uint16_t{21846}, uint16_t{0x5554}, uint16_t{0xD555}}) {
    sensor_->Mutate([status](sim::SensorState& s) { s.errors.calibration = status; });
    ASSERT_TRUE(ReadErrorCounters(Doc(), rows));
    EXPECT_EQ(rows[1].value, "No Callibration") << status;
  }
  EXPECT_EQ(trace_.CountCommand(cmd::GetErrorState), 5u);
}

INSTANTIATE_TEST_SUITE_P(BothCheckModes, ErrorCounters, ::testing::Values(frame::kChecksum, frame::kCrc));

// The "Scanning" row's icon: none before the first poll, else on or off.
TEST(LivePanelRows, ScanningShownFollowsTheScanningRow) {
  PanelRows krv02 = EmptyDiagnosticRows(LivePanel::kKRV02);
  EXPECT_EQ(ScanningShown(krv02), std::nullopt);
  for (const auto& [text, shown] : std::vector<std::pair<std::string, bool>>{{"On", true}, {"Off", false}}) {
    krv02[5].value = text;
    EXPECT_EQ(ScanningShown(krv02), std::optional<bool>(shown)) << text;
  }
  EXPECT_EQ(ScanningShown(PanelRows{}), std::nullopt);
}

TEST_F(LivePanelsTest, FilterThenStatisticsOfTheFilteredBuffer) {
  Connect("KRV02", frame::kCrc);
  sensor_->Mutate([](sim::SensorState& s) {
    const uint16_t values[] = {1000, 9000, 2000, 3000, 4000};
    for (size_t i = 0; i < 5; ++i) s.scanBuffer[i] = values[i];
    s.scanFill = 5;
    s.scanCount = 5;
    s.scanning = false;
  });
  ASSERT_TRUE(ApplyFilterAndReadStatistics(Doc()));
  ASSERT_TRUE(Doc().polling().RefreshPolledState());
  // The single wild sample (9000) is gone once the filter has run.
  EXPECT_EQ(Pairs(ScanStatisticsRows(Doc())), (RowPairs{{"Scans count", "5"},
                                                        {" High scan number", "4"},
                                                        {"High scan value", "4.000 inch"},
                                                        {"Low scan number", "0"},
                                                        {"Low scan value", "1.000 inch"},
                                                        {"Average scan value", "2.600 inch"}}));
  EXPECT_EQ(trace_.Commands(),
            (std::vector<int>{cmd::ApplyScanFilter, cmd::HLAScanResult, cmd::GetKRV02State}));
}

}  // namespace
