// The panels' ticks and buttons as the engine runs them, against a virtual
// sensor: which update switch stops which step, the first "Get Errors"
// after a rebuild, the scan page's start/stop state, the polled range for
// the live chart, and the scan buffer as CSV.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "tarkon/document/doc_internals.h"
#include "protocol/command_ids.h"
#include "protocol/frame.h"
#include "support/sim_document.h"
#include "tarkon/document/live_panels.h"
#include "tarkon/document/scan_buffer.h"
#include "tarkon/document/serial_and_model.h"

namespace {

using testsupport::SensorOf;

class PanelOperationsTest : public testsupport::SimDocumentTest {
 protected:
  void Connect(const std::string& model, int32_t mode = frame::kChecksum) {
    StartSensor(SensorOf(model, mode));
    ASSERT_TRUE(ConnectDoc());
    DocInternals::Poll(Doc()).Stop();  // the test drives the ticks itself
    listener_.Clear();
    trace_.Clear();
  }
};

struct TickCase {
  const char* model;
  bool update;
  size_t rowsAfterTick;        // from an empty list
  std::vector<int> commands;   // sent by the tick
};
void PrintTo(const TickCase& c, std::ostream* os) { *os << c.model << (c.update ? " updating" : " not updating"); }

class PanelTicks : public PanelOperationsTest, public ::testing::WithParamInterface<TickCase> {};

TEST_P(PanelTicks, SwitchAndEmptyListDecideWhatATickDoes) {
  const TickCase& c = GetParam();
  Connect(c.model);
  const LivePanel panel = LivePanelOfModel(Doc().sensor().modelIndex());
  PanelRows rows;
  EXPECT_EQ(PanelTick(Doc(), panel, c.update, rows), c.update);
  EXPECT_EQ(rows.size(), c.rowsAfterTick);
  EXPECT_EQ(trace_.Commands(), c.commands);
  if (!c.update && !rows.empty()) {
    for (const PanelRow& row : rows) EXPECT_EQ(row.value, "") << row.name;
  }
  Doc().Disconnect();
  EXPECT_FALSE(PanelTick(Doc(), panel, true, rows));
  EXPECT_TRUE(rows.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Models, PanelTicks,
    ::testing::Values(TickCase{"KRV02", false, 0, {}},
                      TickCase{"KRV02", true, 10, {cmd::GetKRV02State, cmd::GetLaserPower, cmd::GetPeak}},
                      TickCase{"KRV04", false, 8, {}}, TickCase{"KRV04", true, 8, {cmd::GetSensorState}},
                      TickCase{"Qmt Short", false, 8, {}},
                      TickCase{"KRV04 Board Flipper", true, 8, {cmd::GetSensorState}}));

TEST_F(PanelOperationsTest, GetErrorsAfterARebuildSendsNothingOnItsFirstClick) {
  Connect("KRV02", frame::kCrc);
  PanelRows rows;  // emptied, as a click while disconnected leaves it
  EXPECT_FALSE(GetErrorsClick(Doc(), rows));
  EXPECT_EQ(rows.size(), 6u);
  EXPECT_TRUE(trace_.Commands().empty());
  EXPECT_TRUE(GetErrorsClick(Doc(), rows));
  EXPECT_EQ(rows[1].value, "Callibration OK");
  EXPECT_EQ(trace_.Commands(), (std::vector<int>{cmd::GetErrorState}));
}

TEST_F(PanelOperationsTest, StartStopFlipsCaptionStatusAndEnabling) {
  Connect("Qmt Long", frame::kCrc);
  ScanPageState state;
  EXPECT_EQ(state.startCaption, "Start scan");
  ASSERT_TRUE(StartStopScanClick(Doc(), state));
  EXPECT_TRUE(testsupport::WaitUntil([&] { return sensor_->Snapshot().scanning; }));
  EXPECT_EQ(state.status, "Scanning...");
  EXPECT_EQ(state.startCaption, "Stop Scan");
  EXPECT_FALSE(state.readAndFilterEnabled);

  ASSERT_TRUE(StartStopScanClick(Doc(), state));
  EXPECT_TRUE(testsupport::WaitUntil([&] { return !sensor_->Snapshot().scanning; }));
  EXPECT_EQ(state.status, "Not scanning");
  EXPECT_EQ(state.startCaption, "Start Scan");
  EXPECT_TRUE(state.readAndFilterEnabled);
  EXPECT_EQ(trace_.Commands(), (std::vector<int>{cmd::StartScan, cmd::StopScan}));
}

TEST_F(PanelOperationsTest, PolledRangeIsTheLastReplyInDisplayUnits) {
  Connect("KRV04");
  for (const auto& [raw, expected] : std::vector<std::pair<uint16_t, std::optional<double>>>{
           {8000, 8.0}, {0x8000, std::nullopt}, {0xFFF0, std::nullopt}}) {
    sensor_->Mutate([raw = raw](sim::SensorState& s) {
      s.live.animate = false;
      s.live.range = raw;
    });
    PanelRows rows;
    ASSERT_TRUE(PanelTick(Doc(), LivePanel::kKRV04, true, rows));
    trace_.Clear();
    EXPECT_EQ(PolledRange(Doc(), LivePanel::kKRV04), expected) << raw;
    EXPECT_TRUE(trace_.Commands().empty());  // read from the stored reply
  }
}

// A read whose window runs between portions holds the line: no command is
// available, no poll tick may send, a second read is refused; the views hear
// when the line is taken and given back.
TEST_F(PanelOperationsTest, ScanBufferReadHoldsTheLine) {
  Connect("KRV04 Board Flipper");
  sensor_->Mutate([](sim::SensorState& s) {
    for (size_t i = 0; i < 300; ++i) s.scanBuffer[i] = static_cast<uint16_t>(i);
    s.scanFill = 300;
  });
  EXPECT_EQ(Doc().sensor().ScanRangesAvailable(), 8192);
  auto reader = Doc().operations().NewScanBufferReader();
  auto other = Doc().operations().NewScanBufferReader();
  reader->SetRangesAvailable(Doc().sensor().ScanRangesAvailable());
  other->SetRangesAvailable(8192);
  const int updatesBefore = listener_.viewUpdates();
  int portions = 0;
  ScanReadCallbacks callbacks;
  callbacks.betweenPortions = [&] {
    ++portions;
    EXPECT_TRUE(Doc().LineBusy());
    EXPECT_FALSE(Doc().polling().PollAllowed());
    for (DocCommand c : {DocCommand::kDisconnect, DocCommand::kSensorSettings, DocCommand::kRereadSettings}) {
      EXPECT_FALSE(Doc().IsAvailable(c));
    }
    EXPECT_EQ(Doc().operations().ReadScanBuffer(*other, 1, 0, {}), ScanReadOutcome::kRefused);
  };
  EXPECT_EQ(Doc().operations().ReadScanBuffer(*reader, 300, 0, callbacks), ScanReadOutcome::kCompleted);
  EXPECT_EQ(portions, 3);
  EXPECT_EQ(listener_.viewUpdates() - updatesBefore, 2);
  EXPECT_FALSE(Doc().LineBusy());
  EXPECT_TRUE(Doc().IsAvailable(DocCommand::kDisconnect));
  ASSERT_EQ(reader->rows().size(), 300u);
  EXPECT_EQ(reader->rows()[299].value, "0.299 inch");
  EXPECT_EQ(trace_.CountCommand(cmd::GetScanBufferPortion), 3u);
}

// The head says which sensor, unit and time the file holds, with the
// sensor's texts printable (a line break in a serial number cannot end a
// comment line); the rows count from 1 as the list does.
TEST(ScanCsvTest, IndexRawAndRangeWithEmptyOutOfRange) {
  RangeModeTable table;
  const RangeModeRow& row = table.Lookup(1, 0);  // KRV04, inches
  const std::vector<int16_t> buffer = {12345, static_cast<int16_t>(0x8000), -5};
  ScanCsvSource source{"KRV04", "0 M7-30-6\x1b[2J", "1234\n5678",
                       std::chrono::system_clock::from_time_t(1000000000) + std::chrono::milliseconds(123)};
  const std::string head =
      "# Scan buffer of a laser range sensor\n"
      "# Model: KRV04 (model string \"0 M7-30-6\\x1B[2J\")\n"
      "# Serial number: 1234\\x0A5678\n"
      "# Unit: inch\n";
  EXPECT_EQ(ScanCsvText(buffer, row, source),
            head + "# Read: 2001-09-09T01:46:40.123Z\n# Ranges: 3\nIndex,Raw,Range\n1,12345,12.345\n2,-32768,\n3,-5,\n");
  EXPECT_EQ(ScanCsvText({}, row, ScanCsvSource{"KRV04", "0 M7-30-6\x1b[2J", "1234\n5678", std::nullopt}),
            head + "# Read: no complete read\n# Ranges: 0\nIndex,Raw,Range\n");
  char pattern[] = "/tmp/tarkon-csv-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string path = std::string(pattern) + "/ranges.csv";
  ASSERT_TRUE(WriteScanCsv(path, buffer, row, source));
  ASSERT_TRUE(WriteScanCsv(path, buffer, row, source));  // replaced, not appended
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), ScanCsvText(buffer, row, source));
  std::string error;
  EXPECT_FALSE(WriteScanCsv(std::string(pattern) + "/missing/ranges.csv", buffer, row, source, &error));
  EXPECT_NE(error.find("Cannot write"), std::string::npos);
  std::remove(path.c_str());
  rmdir(pattern);
}

}  // namespace

// Every sensor operation the window's buttons and the command-line tool run
// sends nothing while a long operation holds the line, and nothing once
// disconnected: the press is dropped, not run later.
TEST_F(PanelOperationsTest, OperationsSendNothingWhileTheLineIsHeldOrDown) {
  StartSensor(SensorOf("KRV02", frame::kChecksum));
  ASSERT_TRUE(ConnectDoc());
  // The reset is a manufacturing operation: with the mode on, only the
  // line decides.
  Doc().options().SetManufacturingMode(true);
  DocInternals::Poll(Doc()).Stop();
  struct Operation {
    const char* name;
    std::function<bool()> run;
  };
  PanelRows rows = EmptyErrorRows();
  ScanPageState state;
  const std::vector<Operation> operations = {
      {"start scan", [&] { return Doc().operations().StartScan(); }},
      {"stop scan", [&] { return Doc().operations().StopScan(); }},
      {"laser on", [&] { return Doc().operations().SetLaser(true); }},
      {"laser off", [&] { return Doc().operations().SetLaser(false); }},
      {"reset", [&] { return Doc().operations().ResetSensor(); }},
      {"state read", [&] { return Doc().polling().RefreshPolledState(); }},
      {"serial number",
       [&] {
         SerialAndModel logic = Doc().operations().SerialAndModelLogic();
         logic.SetSerialText("X1");
         return logic.SetSerialNumber() || logic.Refresh();
       }},
      {"model name",
       [&] {
         SerialAndModel logic = Doc().operations().SerialAndModelLogic();
         logic.Select(0);
         return logic.SetModelName();
       }},
      {"filter", [&] { return ApplyFilterAndReadStatistics(Doc()); }},
      {"error counters", [&] { return ReadErrorCounters(Doc(), rows); }},
      {"diagnostics", [&] { return PollDiagnostics(Doc(), LivePanel::kKRV02, rows); }},
      {"Get Errors", [&] { return GetErrorsClick(Doc(), rows); }},
      {"Start scan", [&] { return StartStopScanClick(Doc(), state); }},
      {"Filter",
       [&] {
         PanelRows statistics = EmptyScanStatisticsRows();
         FilterClick(Doc(), statistics);
         return statistics[1].value != "";
       }},
  };
  for (bool connected : {true, false}) {
    if (!connected) Doc().Disconnect();
    TransferFlag::Scope hold(DocInternals::Transfer(Doc()));
    trace_.Clear();
    for (const Operation& o : operations) {
      EXPECT_FALSE(o.run()) << o.name << (connected ? " while held" : " disconnected");
      EXPECT_TRUE(trace_.Commands().empty()) << o.name;
    }
    EXPECT_EQ(state.startCaption, "Start scan");
  }
}

// Once the line is free again the same operations reach the sensor.
TEST_F(PanelOperationsTest, OperationsRunWhenTheLineIsFree) {
  StartSensor(SensorOf("KRV02", frame::kCrc));
  ASSERT_TRUE(ConnectDoc());
  DocInternals::Poll(Doc()).Stop();
  trace_.Clear();
  EXPECT_FALSE(Doc().operations().ResetSensor());  // not in manufacturing mode: nothing sent
  EXPECT_TRUE(Doc().operations().SetLaser(false));
  EXPECT_TRUE(Doc().operations().StartScan());
  EXPECT_TRUE(Doc().operations().StopScan());
  EXPECT_TRUE(Doc().polling().RefreshPolledState());
  EXPECT_EQ(trace_.Commands(),
            (std::vector<int>{cmd::SetLaserOff, cmd::StartScan, cmd::StopScan, cmd::GetKRV02State}));
}
