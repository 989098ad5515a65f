// tarkon-cli end to end: the sensor commands against a virtual sensor that
// the test owns, checking what reached the sensor, what was printed and
// the exit status.

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_test_support.h"
#include "protocol/command_ids.h"

namespace clitest {
namespace {

// Waits up to two seconds for the sensor to show what a request without a
// reply did.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}


using namespace std::chrono_literals;

const Pairs kKRV02SettingsRows = {{"Serial Number", "K0000042"},
                                  {"Laser", "On"},
                                  {"Mode", "0:  From 00.000 to  32.000 inch"},
                                  {"Scan Interval", "10"},
                                  {"Dropout", "3"},
                                  {"Smooth", "5"},
                                  {"Order", "3"},
                                  {"Range Offset", "0.000"},
                                  {"Multiplier", "1.000"},
                                  {"Cosine", "1.0000"},
                                  {"Threshold", "40"},
                                  {"Min. Laser Power", "10"},
                                  {"Max. Laser Power", "200"},
                                  {"Min. Range", "0.000"},
                                  {"Max. Range", "32.000"},
                                  {"Min. Volts", "0.000"},
                                  {"Max. Volts", "10.000"},
                                  {"Offset", "0.000"},
                                  {"Out of Range", "0.000"},
                                  {"Averaging Period(ms)", "6.000"}};

sim::SensorConfig WithSerial(sim::SensorConfig config, const std::string& serial = "K0000042") {
  config.serial = serial;
  config.revision = 'C';
  return config;
}

// Live values held still.
void Freeze(sim::VirtualSensor& sensor, uint16_t range) {
  sensor.Mutate([range](sim::SensorState& s) {
    s.live.animate = false;
    s.live.basePix = 11;
    s.live.sumPix = 40000;
    s.live.numPix = 13;
    s.live.subPix = 14;
    s.live.range = range;
    s.live.laserPower = 150;
    s.live.peak = 0xFFF6;  // -10 on the KRV02 panel
    s.scanning = false;
    s.scanCount = 7;
  });
}

// ---------------------------------------------------------------------------
// settings, set

TEST_F(CliTest, SettingsListsTheSetupPaneRows) {
  StartSensor(WithSerial(Sensor("KRV02")));
  ProcessResult r = RunOnSensor({"--json", "settings"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_EQ(r.err, QuietRun("KRV02"));
  EXPECT_EQ(Rows(OneObject(r)), kKRV02SettingsRows);

  r = RunOnSensor({"settings"});
  EXPECT_EQ(r.exitCode, kOk);
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), kKRV02SettingsRows.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].rfind(kKRV02SettingsRows[i].first + "  ", 0), 0u) << lines[i];
    EXPECT_GE(lines[i].size(), kKRV02SettingsRows[i].second.size());
    EXPECT_EQ(lines[i].substr(lines[i].size() - kKRV02SettingsRows[i].second.size()),
              kKRV02SettingsRows[i].second);
  }
}

TEST_F(CliTest, SettingsOfTheBoardFlipperShowTheWaneRowsAfterAnEmptyRow) {
  const ProcessResult r = Run({"--simulate", "KRV04 Board Flipper", "--json", "settings"});
  EXPECT_EQ(r.exitCode, kOk);
  const Pairs rows = Rows(OneObject(r));
  std::vector<std::string> names;
  for (const auto& row : rows) names.push_back(row.first);
  EXPECT_EQ(names, (std::vector<std::string>{"Serial Number", "Mode", "Min. Laser Power", "Max. Laser Power",
                                             "Threshold", "Min. Range", "Max. Range", "Min. Volts", "Max. Volts",
                                             "Out of Range", "Min Wane Height", "Min Wane Width",
                                             "Pulse duration", "Conveyer Speed", "Board timeout"}));
}

TEST_F(CliTest, SetWritesAndPrintsTheValueAsReRead) {
  StartSensor(WithSerial(Sensor("KRV02", 1)));
  ProcessResult r = RunOnSensor({"set", "Threshold", "45"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(r.out, "Threshold  45\n");
  EXPECT_EQ(r.err, QuietRun("KRV02"));
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 45);

  r = RunOnSensor({"--json", "set", "Min. Range", "1.5"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  const Json j = OneObject(r);
  EXPECT_EQ(j.Keys(), (std::vector<std::string>{"name", "value", "number", "unit"}));
  EXPECT_EQ(j["name"].text, "Min. Range");
  EXPECT_EQ(j["value"].text, "1.500");
  EXPECT_EQ(j["number"].number, 1.5);
  EXPECT_EQ(sensor_->Snapshot().settings.analog.minRange, 1500);

  r = RunOnSensor({"set", "Mode", "2"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(r.out, "Mode  2:  From 0000.0 to 3200.0mm\n");
  EXPECT_EQ(sensor_->Snapshot().settings.rangeMode, 2);

  // Revision C: milliseconds with three decimals, in steps of 1.5 ms.
  r = RunOnSensor({"--json", "set", "Averaging Period(ms)", "4"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(OneObject(r)["value"].text, "3.000");
  const sim::SensorState s = sensor_->Snapshot();
  EXPECT_EQ((uint32_t{s.settings.averagingHigh} << 16) | s.settings.averagingLow, 3000u);
}

TEST_F(CliTest, SetWaneVariableOfTheBoardFlipper) {
  StartSensor(Sensor("KRV04 Board Flipper"));
  const ProcessResult r = RunOnSensor({"--json", "set", "Min Wane Height", "0.5"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(OneObject(r)["value"].text, "0.500");
  EXPECT_EQ(sensor_->Snapshot().settings.wane.height, 500);
}

TEST_F(CliTest, SetRefusedByItsCheckSendsNothingAndExitsWithTwo) {
  StartSensor(Sensor("KRV02"));
  ProcessResult r = RunOnSensor({"set", "Threshold", "300"});
  EXPECT_EQ(r.exitCode, kUsage);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Lines(r.err), (std::vector<std::string>{ConnectedLine("KRV02"), "Thresholdmust be between 0 and 255",
                                                    kDisconnectedLine, kCloseLine}));
  EXPECT_EQ(trace_.CountCommand(cmd::SetThreshold), 0u);
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 40);

  r = RunOnSensor({"--json", "set", "Colour", "3"});
  EXPECT_EQ(r.exitCode, kUsage);
  ExpectErrorObject(r, kUsage, "Colour");
  EXPECT_NE(r.err.find("Colour"), std::string::npos) << r.err;
}

// ---------------------------------------------------------------------------
// state, watch, errors

TEST_F(CliTest, StateGivesOnePollOfTheLiveRows) {
  StartSensor(Sensor("KRV02"));
  Freeze(*sensor_, 0x8000);
  ProcessResult r = RunOnSensor({"--json", "state"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_EQ(r.err, QuietRun("KRV02"));
  EXPECT_EQ(Rows(OneObject(r)), (Pairs{{"Base pix.", "11"},
                                       {"Sum pix.", "40000"},
                                       {"Num pix.", "13"},
                                       {"Sub pix.", "14"},
                                       {"Scan count", "7"},
                                       {"Scanning", "Off"},
                                       {"Laser power", "150"},
                                       {"Peak", "-10"},
                                       {"Range", "Out of Range"}}));
  EXPECT_EQ(trace_.CountCommand(cmd::GetKRV02State), 1u);
  EXPECT_EQ(trace_.CountCommand(cmd::GetPeak), 1u);

  Freeze(*sensor_, 2500);
  r = RunOnSensor({"state"});
  EXPECT_EQ(r.exitCode, kOk);
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 10u) << r.out;
  EXPECT_EQ(lines[8], "");
  EXPECT_EQ(lines[9], "Range        2.500 inch");
}

TEST_F(CliTest, StateOfAKRV04HasEightRows) {
  StartSensor(Sensor("KRV04", 1));
  Freeze(*sensor_, 0x8000);
  const ProcessResult r = RunOnSensor({"--json", "state"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_EQ(Rows(OneObject(r)), (Pairs{{"Base pix.", "11"},
                                       {"Sum pix.", "40000"},
                                       {"Num pix.", "13"},
                                       {"Sub pix.", "14"},
                                       {"Laser power", "150"},
                                       {"Peak", "65526"},
                                       {"Range", "Out of Range"}}));
}

TEST_F(CliTest, AFailedCommandGivesExitOne) {
  StartSensor(Sensor("KRV02"));
  // How many replies a connect takes.
  ProcessResult r = RunOnSensor({"info"});
  ASSERT_EQ(r.exitCode, kOk);
  const uint64_t perConnect = sensor_->Snapshot().activity.repliesSent;
  ASSERT_GT(perConnect, 0u);
  // The next run: connect, then GetKRV02State answers and GetLaserPower
  // does not.
  sensor_->Mutate([perConnect](sim::SensorState& s) {
    s.faults.rule(sim::FaultKind::kDrop).atReplies = {2 * perConnect + 2};
  });
  r = RunOnSensor({"--json", "state"});
  EXPECT_EQ(r.exitCode, kFailed);
  ExpectErrorObject(r, kFailed, "Command GetLaserPower failed. ");
  const std::vector<std::string> lines = Lines(r.err);
  ASSERT_EQ(lines.size(), 4u) << r.err;
  EXPECT_EQ(lines[0], ConnectedLine("KRV02"));
  EXPECT_EQ(lines[1].rfind("error: Command GetLaserPower failed. ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2], kDisconnectedLine);
  EXPECT_EQ(lines[3], kCloseLine);
  EXPECT_EQ(trace_.CountCommand(cmd::GetPeak), 0u);
}

TEST_F(CliTest, WatchPollsEvery250Ms) {
  StartSensor(Sensor("KRV02"));
  Freeze(*sensor_, 1000);
  const ProcessResult r = RunOnSensor({"watch", "--count", "3"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_EQ(r.err, QuietRun("KRV02"));
  // Each poll with its time stamp.
  EXPECT_NE(r.out.find("-- poll 1  20"), std::string::npos);
  EXPECT_NE(r.out.find("-- poll 3  20"), std::string::npos);
  EXPECT_EQ(r.out.find("-- poll 4"), std::string::npos);
  size_t ranges = 0;
  for (const std::string& line : Lines(r.out))
    if (line == "Range        1.000 inch") ++ranges;
  EXPECT_EQ(ranges, 3u);
  EXPECT_EQ(trace_.CountCommand(cmd::GetKRV02State), 3u);
  EXPECT_GE(r.elapsed, 500ms);  // three ticks are two intervals apart
}

TEST_F(CliTest, ErrorsListsTheSixCounters) {
  StartSensor(Sensor("Qmt Long", 1));
  sensor_->Mutate([](sim::SensorState& s) {
    s.errors.powerUps = 5;
    s.errors.resets = 0xFFFE;
    s.errors.checkErrors = 1;
    s.errors.commandErrors = 2;
    s.errors.calibration = 0;
    s.errors.illegalOperations = 3;
  });
  ProcessResult r = RunOnSensor({"--json", "errors"});
  EXPECT_EQ(r.exitCode, kOk);
  const Pairs rows = Rows(OneObject(r));
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0], (std::pair<std::string, std::string>{"PowerUp count", "5"}));
  EXPECT_EQ(rows[1], (std::pair<std::string, std::string>{"Callibration status", "No Callibration"}));
  EXPECT_EQ(rows[2], (std::pair<std::string, std::string>{"Reset count", "-2"}));
  EXPECT_EQ(rows[3], (std::pair<std::string, std::string>{"Illegal opertions", "3"}));
  EXPECT_EQ(rows[4].first, "Command errors");
  EXPECT_EQ(rows[5].first, "Checksum/CRC errors");

  sensor_->Mutate([](sim::SensorState& s) { s.errors.calibration = 21845; });
  r = RunOnSensor({"errors"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_NE(r.out.find("Callibration status  Callibration OK\n"), std::string::npos) << r.out;

  const ProcessResult krv04 = Run({"--simulate", "KRV04", "errors"});
  EXPECT_EQ(krv04.exitCode, kUsage);
  EXPECT_EQ(krv04.out, "");
}

// ---------------------------------------------------------------------------
// scan, laser, scan-buffer

TEST_F(CliTest, ScanAndLaserSwitchTheSensor) {
  StartSensor(Sensor("KRV02"));
  ProcessResult r = RunOnSensor({"scan", "start"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_EQ(r.err, QuietRun("KRV02"));
  // These commands get no reply: the tool ends as soon as the request is
  // written, so the sensor may take it a moment later.
  EXPECT_TRUE(Eventually([&] { return sensor_->Snapshot().scanning; }));
  r = RunOnSensor({"scan", "stop"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_TRUE(Eventually([&] { return !sensor_->Snapshot().scanning; }));

  r = RunOnSensor({"laser", "off"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_TRUE(Eventually([&] { return !sensor_->Snapshot().settings.laserOn; }));
  r = RunOnSensor({"laser", "on"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_TRUE(Eventually([&] { return sensor_->Snapshot().settings.laserOn; }));

  sensor_->Mutate([](sim::SensorState& s) {
    const uint16_t values[] = {1000, 9000, 2000, 3000, 4000};
    for (size_t i = 0; i < 5; ++i) s.scanBuffer[i] = values[i];
    s.scanFill = 5;
    s.scanCount = 5;
  });
  r = RunOnSensor({"scan", "filter"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"Scans count         5",
                                                    " High scan number   4",
                                                    "High scan value     4.000 inch",
                                                    "Low scan number     0",
                                                    "Low scan value      1.000 inch",
                                                    "Average scan value  2.600 inch"}));
  // The window's "Filter", after the one state read that stands in for the
  // window's polling.
  const std::vector<int> sent = trace_.Commands();
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(std::vector<int>(sent.end() - 3, sent.end()),
            (std::vector<int>{cmd::GetKRV02State, cmd::ApplyScanFilter, cmd::HLAScanResult}));
}

class ScanBufferCli : public CliTest {
 protected:
  void Fill(size_t count) {
    sensor_->Mutate([count](sim::SensorState& s) {
      for (size_t i = 0; i < count; ++i) s.scanBuffer[i] = static_cast<uint16_t>(i * 10);
      s.scanBuffer[5] = 0x8000;
      s.scanBuffer[6] = static_cast<uint16_t>(-5);
      s.scanFill = count;
      s.scanCount = static_cast<uint32_t>(count);
      s.scanning = false;
    });
  }
  static std::string ValueText(size_t i) {
    if (i == 5 || i == 6) return "Out of Range";
    char text[32];
    std::snprintf(text, sizeof text, "%.3f inch", static_cast<double>(i * 10) / 1000.0);
    return text;
  }
};

TEST_F(ScanBufferCli, JsonGivesIndexRawAndText) {
  StartSensor(WithSerial(Sensor("KRV02", 1)));
  Fill(200);
  const ProcessResult r = RunOnSensor({"--json", "scan-buffer", "8"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(r.err, QuietRun("KRV02"));
  const Json j = OneObject(r);
  EXPECT_EQ(j.Keys(), (std::vector<std::string>{"count", "ranges"}));
  EXPECT_EQ(j["count"].Int(), 8);
  const Json& ranges = j["ranges"];
  ASSERT_TRUE(ranges.IsArray());
  ASSERT_EQ(ranges.items.size(), 8u);
  for (size_t i = 0; i < 8; ++i) {
    const Json& range = ranges.items[i];
    // A range that reads as a number carries it with its unit.
    const bool number = range.Has("number");
    EXPECT_EQ(range.Keys(), number ? (std::vector<std::string>{"index", "raw", "text", "number", "unit"})
                                   : (std::vector<std::string>{"index", "raw", "text"}));
    EXPECT_EQ(range["index"].Int(), static_cast<int64_t>(i + 1));
    EXPECT_EQ(range["text"].text, ValueText(i)) << i;
    EXPECT_EQ(number, ValueText(i) != "Out of Range") << i;
  }
  EXPECT_EQ(ranges.items[4]["raw"].Int(), 40);
  EXPECT_EQ(ranges.items[5]["raw"].Int(), -32768);
  EXPECT_EQ(ranges.items[6]["raw"].Int(), -5);
}

TEST_F(ScanBufferCli, AppendWritesOneExportBlockPerRun) {
  StartSensor(WithSerial(Sensor("KRV02"), "SB000001"));
  Fill(300);
  const std::string file = dir_.File("scanbuffer.txt");
  for (int run = 0; run < 2; ++run) {
    const ProcessResult r = RunOnSensor({"scan-buffer", "127", "--append", file});
    EXPECT_EQ(r.exitCode, kOk) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 128u);
    EXPECT_EQ(lines[0], "Range #\tRange value");
    EXPECT_EQ(lines[1], "1\t" + ValueText(0));
    EXPECT_EQ(lines[127], "127\t" + ValueText(126));
  }
  // 127 ranges: portions of 126 and 1, in each run.
  EXPECT_EQ(trace_.CountCommand(cmd::GetScanBufferPortion), 4u);
  std::string block = "\nSensor: SB000001 \t Address: 1\n\nScan buffer: Size: 127\n";
  for (size_t i = 0; i < 127; ++i) block += "#" + std::to_string(i) + ":\t\t" + ValueText(i) + "\n";
  EXPECT_EQ(testsupport::ReadWholeFile(file), block + block);

  // Without a count: every range the sensor's scan count offers.
  const ProcessResult all = RunOnSensor({"--json", "scan-buffer"});
  EXPECT_EQ(all.exitCode, kOk) << all.err;
  const Json j = OneObject(all);
  EXPECT_EQ(j["count"].Int(), 300);
  ASSERT_EQ(j["ranges"].items.size(), 300u);
  EXPECT_EQ(j["ranges"].items[299]["raw"].Int(), 2990);
  EXPECT_EQ(j["ranges"].items[299]["text"].text, "2.990 inch");
}

TEST_F(ScanBufferCli, MoreThanAvailableIsRefused) {
  StartSensor(Sensor("KRV02"));
  Fill(50);
  const ProcessResult r = RunOnSensor({"scan-buffer", "51"});
  EXPECT_EQ(r.exitCode, kUsage);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(trace_.CountCommand(cmd::GetScanBufferPortion), 0u);
}

// ---------------------------------------------------------------------------
// address, baud, check-mode, defaults

TEST_F(CliTest, AddressChangeIsStoredForTheNextRun) {
  StartSensor(WithSerial(Sensor("KRV02")));
  ProcessResult r = RunOnSensor({"address", "7"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(r.out, "Address  7\n");
  EXPECT_EQ(sensor_->Snapshot().address, 7);
  EXPECT_EQ(StoredInteger("Address"), 7);
  const std::vector<testsupport::TracedFrame> received = trace_.Received();
  size_t changes = 0;
  for (const auto& f : received)
    if (f.command() == cmd::SetSensorAddress) {
      ++changes;
      EXPECT_EQ(f.address(), 0);
    }
  EXPECT_EQ(changes, 1u);

  r = RunOnSensor({"--json", "info"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(OneObject(r)["address"].Int(), 7);

  r = RunOnSensor({"address", "300"});
  EXPECT_EQ(r.exitCode, kUsage);
  EXPECT_NE(r.err.find("Please enter an integer between 0 and 255."), std::string::npos) << r.err;
  EXPECT_EQ(sensor_->Snapshot().address, 7);
}

TEST_F(CliTest, BaudRateChangeIsStoredForTheNextRun) {
  StartSensor(Sensor("KRV02", 1));
  ProcessResult r = RunOnSensor({"baud", "19200"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(r.out, "Sensor baudrate  19200\n");
  EXPECT_EQ(Lines(r.err), (std::vector<std::string>{ConnectedLine("KRV02"), "ok: Set boudrate to 19200",
                                                    kDisconnectedLine, kCloseLine}));
  EXPECT_EQ(sensor_->Snapshot().baudRate, 19200);
  EXPECT_EQ(StoredInteger("Baudrate"), 19200);

  r = RunOnSensor({"--json", "info"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(OneObject(r)["baud"].Int(), 19200);

  r = RunOnSensor({"baud", "115200"});
  EXPECT_EQ(r.exitCode, kUsage);
  EXPECT_EQ(sensor_->Snapshot().baudRate, 19200);
}

TEST_F(CliTest, CheckModeChangeAndBack) {
  StartSensor(Sensor("KRV04"));
  ProcessResult r = RunOnSensor({"check-mode", "crc"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(r.out, "Error checking mode  CRC\n");
  EXPECT_EQ(r.err, QuietRun("KRV04"));
  EXPECT_EQ(sensor_->Snapshot().checkMode, 1);

  r = RunOnSensor({"--json", "info"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_EQ(OneObject(r)["check_mode"].text, "crc");

  r = RunOnSensor({"check-mode", "checksum"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(sensor_->Snapshot().checkMode, 0);
}

TEST_F(CliTest, DefaultsNeedAConfirmation) {
  StartSensor(Sensor("KRV02"));
  sensor_->Mutate([](sim::SensorState& s) { s.settings.threshold = 99; });
  // Standard input is no terminal: nobody can answer the question.
  ProcessResult r = RunOnSensor({"defaults"});
  EXPECT_EQ(r.exitCode, kUsage);
  EXPECT_EQ(trace_.CountCommand(cmd::SetDefaults), 0u);
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 99);

  r = RunOnSensor({"--yes", "defaults"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(trace_.CountCommand(cmd::SetDefaults), 1u);
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 40);
}

}  // namespace
}  // namespace clitest
