// Per-model settings against the virtual sensor: what each model reads and
// shows, the setup pane's list, and every dialog button's effect on the
// sensor, in both check modes (the byte order of every word and record
// depends on it).

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "protocol/packet_link.h"
#include "protocol/sensor_commands.h"
#include "sim/virtual_sensor.h"
#include "tarkon/models/krv02/krv02_settings.h"
#include "tarkon/models/krv04/krv04_settings.h"
#include "tarkon/models/qmt_short/qmt_short_settings.h"
#include "tarkon/models/krv04bf/krv04bf_settings.h"
#include "tarkon/document/range_mode_table.h"
#include "tarkon/document/settings_editing.h"

namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

Rows SummaryOf(const ModelSettings& settings) {
  std::vector<std::string> names;
  std::vector<std::string> values;
  settings.Summary(names, values);
  EXPECT_EQ(names.size(), values.size());
  Rows rows;
  for (size_t i = 0; i < names.size() && i < values.size(); ++i) rows.emplace_back(names[i], values[i]);
  return rows;
}

struct NullSink : LogSink {
  void LogLine(int kind, const std::string& text) override { lines.emplace_back(kind, text); }
  std::vector<std::pair<int, std::string>> lines;
};

// Connects to a virtual sensor the way the document does before its first
// re-read: link, address, check mode, then the model's version query.
class SettingsOnSensor : public ::testing::TestWithParam<int32_t> {
 protected:
  int32_t mode() const { return GetParam(); }

  void Connect(const std::string& model, std::optional<char> revision = 'C', uint8_t address = 1,
               bool readVersion = true) {
    Disconnect();
    sim::SensorConfig config;
    config.model = model;
    config.checkMode = mode();
    config.address = address;
    config.revision = revision;
    sensor_ = std::make_unique<sim::VirtualSensor>(config);
    ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
    link_ = std::make_unique<PacketLink>();
    ASSERT_TRUE(link_->ConnectDevice(sensor_->SlavePath(), 57600, 0, 0, 8, 100, 100));
    commands_ = std::make_unique<SensorCommands>();
    commands_->AttachLink(link_.get());
    commands_->UseAddress(address);
    commands_->UseCheckMode(mode());
    commands_->SetLogSink(&sink_);
    const int family = sensor_->Snapshot().model;
    if (readVersion) {
      if (family == sim::kKrv02 || family == sim::kQmtLong) {
        ASSERT_NE(commands_->GetVersion(), 0);
      } else {
        ASSERT_NE(commands_->GetKRV04Version(), 0);
      }
    }
  }

  void Disconnect() {
    if (link_) link_->Disconnect();
    if (sensor_) sensor_->Stop();
  }
  void TearDown() override { Disconnect(); }

  void Change(const std::function<void(sim::Settings&)>& change) {
    sensor_->Mutate([&](sim::SensorState& s) { change(s.settings); });
  }
  sim::Settings Stored() { return sensor_->Snapshot().settings; }
  uint64_t Frames() { return sensor_->Snapshot().activity.framesReceived; }
  // A command without any answer is taken by the sensor a little after the
  // host wrote it: waits (bounded) until `count` frames are in, then a
  // moment longer so that one more would be seen too.
  uint64_t FramesAfterQuietCommand(uint64_t count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (Frames() < count && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return Frames();
  }

  std::function<void()> Counter() {
    return [this] { ++changes_; };
  }

  RangeModeTable table_;
  NullSink sink_;
  std::unique_ptr<sim::VirtualSensor> sensor_;
  std::unique_ptr<PacketLink> link_;
  std::unique_ptr<SensorCommands> commands_;
  int changes_ = 0;
};

INSTANTIATE_TEST_SUITE_P(CheckModes, SettingsOnSensor, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int32_t>& param) {
                           return param.param == 0 ? std::string("Checksum") : std::string("Crc");
                         });

uint16_t U16(int value) { return static_cast<uint16_t>(value); }

// --- What each model reads and shows ---------------------------------------------

TEST_P(SettingsOnSensor, KRV02ListsEveryValueInItsOrderAndForms) {
  Connect("KRV02", 'C');
  Change([](sim::Settings& s) {
    s.laserOn = true;
    s.rangeMode = 2;  // 0 to 3200.0 mm, divisor 10
    s.scanInterval = 25;
    s.dropout = 3;
    s.smooth = 5;
    s.order = 7;
    s.rangeOffset = U16(-1234);  // signed in this family
    s.cosine = 8660;
    s.multiplier = 1500;
    s.threshold = 200;
    s.minLaserPower = 12;
    s.maxLaserPower = 240;
    s.analog.minRange = 500;
    s.analog.maxRange = 30000;
    s.analog.minVolts = 1000;
    s.analog.maxVolts = 9500;
    s.analog.offsetVolts = U16(-250);
    s.analog.outOfRangeVolts = 10000;
    s.averagingHigh = 1;
    s.averagingLow = 9029;
  });
  KRV02Settings settings(*commands_, table_, [] { return 0; }, Counter());
  ASSERT_TRUE(settings.Refresh());
  EXPECT_EQ(changes_, 1);
  const Rows expected = {
      {"Laser", "On"},
      {"Mode", "2:  From 0000.0 to 3200.0mm"},
      {"Scan Interval", "25"},
      {"Dropout", "3"},
      {"Smooth", "5"},
      {"Order", "7"},
      {"Range Offset", "-123.400"},
      {"Multiplier", "1.500"},
      {"Cosine", "0.8660"},
      {"Threshold", "200"},
      {"Min. Laser Power", "12"},
      {"Max. Laser Power", "240"},
      {"Min. Range", "50.0"},
      {"Max. Range", "3000.0"},
      {"Min. Volts", "1.000"},
      {"Max. Volts", "9.500"},
      {"Offset", "-0.250"},
      {"Out of Range", "10.000"},
      {"Averaging Period(ms)", "74.565"},
  };
  EXPECT_EQ(SummaryOf(settings), expected);
  EXPECT_EQ(settings.DisplayedValue("Cosine"), "0.8660");

  const KRV02Fields& f = settings.fields();
  EXPECT_EQ(f.scanMode, 2);
  EXPECT_EQ(f.laser, KRV02Settings::kLaserOn);
  EXPECT_EQ(f.orderFactor, 3);  // the entry "7"
  EXPECT_EQ(f.rangeOffset, "-123.400");
  EXPECT_EQ(f.rangeMultiplier, "1.500");
  EXPECT_EQ(f.voltsAtMinRange, "1.000");
  EXPECT_EQ(f.offsetVolts, "-0.250");
  EXPECT_EQ(f.averagingPeriod, "74.565");
  EXPECT_EQ(f.minLaserPower, "12");
  EXPECT_EQ(f.scanInterval, "25");
}

TEST_P(SettingsOnSensor, AveragingPeriodFollowsTheRevisionLetter) {
  for (const char* model : {"KRV02", "Qmt Long"}) {
    for (char revision : {'C', 'B'}) {
      SCOPED_TRACE(std::string(model) + " revision " + revision);
      Connect(model, revision);
      Change([](sim::Settings& s) {
        s.averagingHigh = 1;
        s.averagingLow = 9029;  // 74565 in all
      });
      const int index = std::string(model) == "KRV02" ? 0 : 2;
      KRV02Settings settings(*commands_, table_, [index] { return index; }, nullptr);
      ASSERT_TRUE(settings.Refresh());
      EXPECT_EQ(settings.DisplayedValue("Averaging Period(ms)"),
                revision == 'C' ? "74.565" : "745.65");
    }
  }
}

TEST_P(SettingsOnSensor, AveragingPeriodBeforeTheVersionIsKnown) {
  Connect("KRV02", 'C', 1, /*readVersion=*/false);
  KRV02Settings settings(*commands_, table_, [] { return 0; }, nullptr);
  ASSERT_TRUE(settings.Refresh());
  EXPECT_EQ(settings.DisplayedValue("Averaging Period(ms)"), "Unknown version");
}

TEST_P(SettingsOnSensor, AveragingCountIsUnsigned) {
  Connect("KRV02", 'B');
  Change([](sim::Settings& s) {
    s.averagingHigh = 0x8000;
    s.averagingLow = 0;
  });
  KRV02Settings settings(*commands_, table_, [] { return 0; }, nullptr);
  ASSERT_TRUE(settings.Refresh());
  EXPECT_EQ(settings.DisplayedValue("Averaging Period(ms)"), "21474836.48");
}

TEST_P(SettingsOnSensor, KRV02ModeWithoutARowShowsTheInvalidRow) {
  Connect("KRV02");
  Change([](sim::Settings& s) {
    s.rangeMode = 17;
    s.analog.minRange = 5;
    s.rangeOffset = 3;
  });
  KRV02Settings settings(*commands_, table_, [] { return 0; }, nullptr);
  ASSERT_TRUE(settings.Refresh());
  EXPECT_EQ(settings.DisplayedValue("Mode"), "Invalid Mode");
  EXPECT_EQ(settings.DisplayedValue("Min. Range"), "Unknown mode number");
  EXPECT_EQ(settings.DisplayedValue("Range Offset"), "3.000");
  EXPECT_EQ(settings.fields().scanMode, -1);
}

TEST_P(SettingsOnSensor, KRV04ListsItsValuesUnsigned) {
  Connect("KRV04");
  Change([](sim::Settings& s) {
    s.rangeMode = 1;  // 0 to 200.00 mm
    s.minLaserPower = 5;
    s.maxLaserPower = 250;
    s.threshold = 60;
    s.analog.minRange = 1000;
    s.analog.maxRange = 20000;
    s.analog.minVolts = 0xFFFF;  // unsigned in this family
    s.analog.maxVolts = 5000;
    s.analog.outOfRangeVolts = 0;
    s.holdLastRange = 1;
    s.holdScans = 40000;
  });
  KRV04Settings settings(*commands_, table_, Counter());
  ASSERT_TRUE(settings.Refresh());
  EXPECT_EQ(changes_, 1);
  const Rows expected = {
      {"Mode", "1:  From 00.00 to  200.00 mm"},
      {"Min. Laser Power", "5"},
      {"Max. Laser Power", "250"},
      {"Threshold", "60"},
      {"Min. Range", "10.00"},
      {"Max. Range", "200.00"},
      {"Min. Volts", "65.535"},
      {"Max. Volts", "5.000"},
      {"Out of Range", "0.000"},
      {"Hold Last Valid Range", "Enabled"},
      {"Max samples to hold last range", "40000"},
  };
  EXPECT_EQ(SummaryOf(settings), expected);
  EXPECT_EQ(settings.fields().mode, 1);
  EXPECT_TRUE(settings.fields().holdLastRange);

  Change([](sim::Settings& s) { s.holdLastRange = 2; });
  ASSERT_TRUE(settings.Refresh());
  EXPECT_EQ(settings.DisplayedValue("Hold Last Valid Range"), "Disabled");
  EXPECT_FALSE(settings.fields().holdLastRange);
}

TEST_P(SettingsOnSensor, QmtShortAlwaysUsesSetC) {
  Connect("Qmt Short");
  Change([](sim::Settings& s) {
    s.rangeMode = 1;  // whatever the sensor says
    s.analog.minRange = 4000;
    s.analog.maxRange = 24000;
    s.minLaserPower = 10;
    s.maxLaserPower = 200;
    s.threshold = 45;
    s.analog.minVolts = 0;
    s.analog.maxVolts = 10000;
    s.analog.outOfRangeVolts = 500;
  });
  QmtShortSettings settings(*commands_, table_, nullptr);
  ASSERT_TRUE(settings.Refresh());
  const Rows expected = {
      {"Min. Laser Power", "10"}, {"Max. Laser Power", "200"}, {"Threshold", "45"},
      {"Min. Range", "4.000"},    {"Max. Range", "24.000"},    {"Min. Volts", "0.000"},
      {"Max. Volts", "10.000"},   {"Out of Range", "0.500"},
  };
  EXPECT_EQ(SummaryOf(settings), expected);

  // Typed ranges are scaled by set C as well: 5 inch = 5000.
  KRV04Fields f = settings.fields();
  f.minRange = "5";
  EXPECT_TRUE(settings.SetMinRange(f).sent);
  EXPECT_EQ(Stored().analog.minRange, 5000);
}

TEST_P(SettingsOnSensor, BoardFlipperListsWaneRowsAfterAnEmptyRow) {
  Connect("KRV04 Board Flipper");
  Change([](sim::Settings& s) {
    s.rangeMode = 0;
    s.minLaserPower = 10;
    s.maxLaserPower = 200;
    s.threshold = 50;
    s.analog.minRange = 0;
    s.analog.maxRange = 8000;
    s.analog.minVolts = 0;
    s.analog.maxVolts = 10000;
    s.analog.outOfRangeVolts = 0;
    s.wane.height = 250;
    s.wane.width = 500;
    s.wane.pulse = 20;
    s.wane.speed = 600;
    s.boardTimeout = 1000;
  });
  KRV04BFSettings settings(*commands_, table_, nullptr);
  ASSERT_TRUE(settings.Refresh());
  const Rows expected = {
      {"Mode", "0:  From 00.000 to  8.000 inch"},
      {"Min. Laser Power", "10"},
      {"Max. Laser Power", "200"},
      {"Threshold", "50"},
      {"Min. Range", "0.000"},
      {"Max. Range", "8.000"},
      {"Min. Volts", "0.000"},
      {"Max. Volts", "10.000"},
      {"Out of Range", "0.000"},
      {"", ""},
      {"Min Wane Height", "0.250"},
      {"Min Wane Width", "0.500"},
      {"Pulse duration", "20"},
      {"Conveyer Speed", "600"},
      {"Board timeout", "1000"},
  };
  EXPECT_EQ(SummaryOf(settings), expected);

  Change([](sim::Settings& s) { s.rangeMode = 1; });
  ASSERT_TRUE(settings.Refresh());
  EXPECT_EQ(settings.DisplayedValue("Min Wane Height"), "2.50");
  EXPECT_EQ(settings.DisplayedValue("Min Wane Width"), "5.00");
  EXPECT_EQ(settings.DisplayedValue("Max. Range"), "80.00");
}

// --- Refresh --------------------------------------------------------------------

TEST_P(SettingsOnSensor, RefreshTalksToTheAddressTheSensorReports) {
  Connect("KRV04", 'C', 7);
  commands_->UseAddress(0);  // as after a connect to the global address
  KRV04Settings settings(*commands_, table_, nullptr);
  ASSERT_TRUE(settings.Refresh());
  EXPECT_EQ(commands_->address(), 7);

  Connect("KRV02", 'C', 9);
  commands_->UseAddress(0);
  KRV02Settings krv02(*commands_, table_, [] { return 0; }, nullptr);
  ASSERT_TRUE(krv02.Refresh());
  EXPECT_EQ(commands_->address(), 9);
}

TEST_P(SettingsOnSensor, FailedRefreshChangesNothingDisplayed) {
  Connect("KRV02");
  Change([](sim::Settings& s) { s.threshold = 11; });
  KRV02Settings settings(*commands_, table_, [] { return 0; }, Counter());
  ASSERT_TRUE(settings.Refresh());
  const Rows before = SummaryOf(settings);
  const KRV02Fields fieldsBefore = settings.fields();

  // The sensor changes, and the fifth reading (GetConfigVars) goes missing.
  sensor_->Mutate([](sim::SensorState& s) {
    s.settings.threshold = 99;
    s.settings.minLaserPower = 1;
    s.faults.rule(sim::FaultKind::kDrop).atReplies = {s.activity.repliesSent + 5};
  });
  commands_->UseAddress(0);
  EXPECT_FALSE(settings.Refresh());
  EXPECT_EQ(SummaryOf(settings), before);
  EXPECT_EQ(settings.fields(), fieldsBefore);
  EXPECT_EQ(commands_->address(), 0);
  EXPECT_EQ(changes_, 1);
  ASSERT_FALSE(sink_.lines.empty());
  EXPECT_EQ(sink_.lines.back().second.rfind("Command GetConfigVars failed. ", 0), 0u);

  ASSERT_TRUE(settings.Refresh());
  EXPECT_EQ(settings.DisplayedValue("Threshold"), "99");
  EXPECT_EQ(commands_->address(), 1);
  EXPECT_EQ(changes_, 2);
}

TEST_P(SettingsOnSensor, ClearForgetsTheValuesOfTheLastConnection) {
  Connect("KRV04");
  KRV04Settings settings(*commands_, table_, nullptr);
  ASSERT_TRUE(settings.Refresh());
  EXPECT_FALSE(SummaryOf(settings).empty());
  settings.Clear();
  EXPECT_TRUE(SummaryOf(settings).empty());
  EXPECT_EQ(settings.fields(), KRV04Fields{});
  EXPECT_FALSE(settings.HasValues());
}

// --- KRV02 and Qmt Long buttons ----------------------------------------------------

TEST_P(SettingsOnSensor, KRV02LaserPowersAndThreshold) {
  Connect("KRV02");
  KRV02Settings settings(*commands_, table_, [] { return 0; }, Counter());
  ASSERT_TRUE(settings.Refresh());
  KRV02Fields f = settings.fields();

  f.minLaserPower = "0";
  SetResult r = settings.SetMinLaserPower(f);
  EXPECT_TRUE(r.sent && r.reread && !r.Refused());
  EXPECT_EQ(Stored().minLaserPower, 0);
  f.maxLaserPower = "254";
  EXPECT_TRUE(settings.SetMaxLaserPower(f).reread);
  EXPECT_EQ(Stored().maxLaserPower, 254);
  EXPECT_EQ(settings.DisplayedValue("Max. Laser Power"), "254");
  f.threshold = "255";
  EXPECT_TRUE(settings.SetThreshold(f).reread);
  EXPECT_EQ(Stored().threshold, 255);
  EXPECT_EQ(settings.fields().threshold, "255");

  const uint64_t frames = Frames();
  const int changes = changes_;
  f.maxLaserPower = "255";
  EXPECT_EQ(settings.SetMaxLaserPower(f).message, "Max laser power must be between 0 and 254");
  f.minLaserPower = "-1";
  EXPECT_EQ(settings.SetMinLaserPower(f).message, "Min laser power must be between 0 and 254");
  f.threshold = "256";
  EXPECT_EQ(settings.SetThreshold(f).message, "Thresholdmust be between 0 and 255");
  f.threshold = "-1";
  EXPECT_FALSE(settings.SetThreshold(f).sent);
  EXPECT_EQ(Frames(), frames);  // nothing sent, nothing re-read
  EXPECT_EQ(changes_, changes);
  EXPECT_EQ(Stored().threshold, 255);
  EXPECT_EQ(settings.fields().threshold, "-1");  // the field keeps what was typed
}

TEST_P(SettingsOnSensor, KRV02RangeOffsetRecord) {
  Connect("KRV02");
  Change([](sim::Settings& s) {
    s.rangeMode = 0;  // inch, divisor 1000
    s.offsetWord3 = 0xBEEF;
  });
  KRV02Settings settings(*commands_, table_, [] { return 0; }, nullptr);
  ASSERT_TRUE(settings.Refresh());
  KRV02Fields f = settings.fields();
  f.rangeOffset = "1.750";  // every decimal shown is sent
  f.cosine = "1";
  f.rangeMultiplier = "1.5";
  SetResult r = settings.SetRangeOffset(f);
  EXPECT_TRUE(r.sent && r.reread);
  sim::Settings s = Stored();
  EXPECT_EQ(s.rangeOffset, 1750);
  EXPECT_EQ(s.cosine, 10000);
  EXPECT_EQ(s.multiplier, 1500);
  EXPECT_EQ(s.offsetWord3, 0xBEEF);  // the word the dialog does not show goes back unchanged
  EXPECT_EQ(settings.DisplayedValue("Range Offset"), "1.750");
  EXPECT_EQ(settings.DisplayedValue("Cosine"), "1.0000");

  // The scan mode chosen in the dialog decides the divisor: 2 is millimetres x 10.
  f = settings.fields();
  f.scanMode = 2;
  f.rangeOffset = "-12";
  f.cosine = "0.5";
  ASSERT_TRUE(settings.SetRangeOffset(f).sent);
  EXPECT_EQ(Stored().rangeOffset, U16(-120));
  EXPECT_EQ(Stored().cosine, 5000);

  const uint64_t frames = Frames();
  f.cosine = "1.0001";
  EXPECT_EQ(settings.SetRangeOffset(f).message, "Cosine must be between 0 and 1.0000");
  EXPECT_EQ(Frames(), frames);
  EXPECT_EQ(Stored().cosine, 5000);
}

TEST_P(SettingsOnSensor, KRV02AnalogFactorsRecord) {
  Connect("KRV02");
  Change([](sim::Settings& s) {
    s.rangeMode = 2;  // 0 to 3200.0 mm
    s.analog.extra = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8};
  });
  KRV02Settings settings(*commands_, table_, [] { return 0; }, nullptr);
  ASSERT_TRUE(settings.Refresh());
  KRV02Fields f = settings.fields();
  f.voltsAtMinRange = "0.5";
  f.minRange = "100.5";
  f.voltsAtMaxRange = "9.75";
  f.maxRange = "3000";
  f.offsetVolts = "-0.25";
  f.voltsOutsideRange = "10.5";
  ASSERT_TRUE(settings.SetAnalogFactors(f).reread);
  sim::Settings s = Stored();
  EXPECT_EQ(s.analog.minVolts, 500);
  EXPECT_EQ(s.analog.minRange, 1005);
  EXPECT_EQ(s.analog.maxVolts, 9750);
  EXPECT_EQ(s.analog.maxRange, 30000);
  EXPECT_EQ(s.analog.offsetVolts, U16(-250));
  EXPECT_EQ(s.analog.outOfRangeVolts, 10500);
  EXPECT_EQ(s.analog.extra, (std::array<uint8_t, 8>{0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8}));
  EXPECT_EQ(settings.DisplayedValue("Min. Range"), "100.5");
  EXPECT_EQ(settings.DisplayedValue("Offset"), "-0.250");

  // A maximum just above the mode's high value stops the whole record, even
  // with a valid minimum.
  const uint64_t frames = Frames();
  f = settings.fields();
  f.minRange = "10";
  f.maxRange = "3200.1";
  EXPECT_EQ(settings.SetAnalogFactors(f).message,
            "Range values must be between 0.0 mm and 3200.0 mm");
  f.maxRange = "nan";
  EXPECT_TRUE(settings.SetAnalogFactors(f).Refused());
  EXPECT_EQ(Frames(), frames);
  EXPECT_EQ(Stored().analog.minRange, 1005);
}

TEST_P(SettingsOnSensor, KRV02AveragingPeriodWithTheRevisionsFactorAndStep) {
  for (char revision : {'C', 'B'}) {
    SCOPED_TRACE(std::string("revision ") + revision);
    Connect("KRV02", revision);
    Change([](sim::Settings& s) {
      s.configWord0 = 0x1234;
      s.configWord1 = 0x5678;
      s.configBytes = {0x9A, 0xBC};
    });
    KRV02Settings settings(*commands_, table_, [] { return 0; }, nullptr);
    ASSERT_TRUE(settings.Refresh());
    KRV02Fields f = settings.fields();
    f.averagingPeriod = revision == 'C' ? "74.565" : "745.65";
    ASSERT_TRUE(settings.SetAveragingPeriod(f).reread);
    sim::Settings s = Stored();
    // Rounded down to the step: 73500 (1500 per step) or 74520 (60 per step).
    const uint32_t count = revision == 'C' ? 73500 : 74520;
    EXPECT_EQ(s.averagingHigh, count >> 16);
    EXPECT_EQ(s.averagingLow, count & 0xFFFF);
    EXPECT_EQ(s.configWord0, 0x1234);  // the rest of the block as last read
    EXPECT_EQ(s.configWord1, 0x5678);
    EXPECT_EQ(s.configBytes, (std::array<uint8_t, 2>{0x9A, 0xBC}));
    EXPECT_EQ(settings.DisplayedValue("Averaging Period(ms)"),
              revision == 'C' ? "73.500" : "745.20");

    f.averagingPeriod = "0";
    ASSERT_TRUE(settings.SetAveragingPeriod(f).sent);
    EXPECT_EQ(Stored().averagingHigh, 0);
    EXPECT_EQ(Stored().averagingLow, 0);

    const uint64_t frames = Frames();
    f.averagingPeriod = "-0.01";
    EXPECT_EQ(settings.SetAveragingPeriod(f).message,
              "Averaging period must be between 0 and 21474836.47");
    f.averagingPeriod = "1e30";
    EXPECT_TRUE(settings.SetAveragingPeriod(f).Refused());
    EXPECT_EQ(Frames(), frames);
  }
}

TEST_P(SettingsOnSensor, KRV02ScanFilterIntervalModeAndLaser) {
  Connect("Qmt Long");
  Change([](sim::Settings& s) {
    s.order = 4;  // not in the dialog's list
    s.laserOn = true;
  });
  KRV02Settings settings(*commands_, table_, [] { return 2; }, nullptr);
  ASSERT_TRUE(settings.Refresh());
  EXPECT_EQ(settings.fields().orderFactor, -1);
  KRV02Fields f = settings.fields();
  f.dropoutFactor = "4";
  f.smoothFactor = "6";
  ASSERT_TRUE(settings.SetScanFilterVariables(f).sent);
  EXPECT_EQ(Stored().dropout, 4);
  EXPECT_EQ(Stored().smooth, 6);
  EXPECT_EQ(Stored().order, 4);  // no entry chosen: the sensor's own factor stays

  f = settings.fields();
  f.orderFactor = 4;  // the entry "9"
  ASSERT_TRUE(settings.SetScanFilterVariables(f).sent);
  EXPECT_EQ(Stored().order, 9);
  EXPECT_EQ(settings.DisplayedValue("Order"), "9");

  f = settings.fields();
  f.scanInterval = "123";
  ASSERT_TRUE(settings.SetScanInterval(f).reread);
  EXPECT_EQ(Stored().scanInterval, 123);

  f = settings.fields();
  f.scanMode = 5;
  ASSERT_TRUE(settings.SetMode(f).reread);
  EXPECT_EQ(Stored().rangeMode, 5);
  EXPECT_EQ(settings.DisplayedValue("Mode"), "5:  From 000.00 to -320.00 inch");

  f = settings.fields();
  f.laser = KRV02Settings::kLaserOff;
  ASSERT_TRUE(settings.SetLaser(f).reread);
  EXPECT_FALSE(Stored().laserOn);
  EXPECT_EQ(settings.DisplayedValue("Laser"), "Off");
  f.laser = KRV02Settings::kLaserOn;
  ASSERT_TRUE(settings.SetLaser(f).reread);
  EXPECT_TRUE(Stored().laserOn);

  // Neither "On" nor "Off" chosen: nothing is switched, the fields are read again.
  uint64_t frames = Frames();
  f.laser = -1;
  const SetResult unchosen = settings.SetLaser(f);
  EXPECT_FALSE(unchosen.sent);
  EXPECT_TRUE(unchosen.reread);
  EXPECT_EQ(Frames(), frames + 5);  // the five reads of the family, no switch
  EXPECT_EQ(settings.fields().laser, KRV02Settings::kLaserOn);

  frames = Frames();
  f.scanMode = -1;
  const SetResult none = settings.SetMode(f);
  EXPECT_FALSE(none.sent || none.reread || none.Refused());
  EXPECT_EQ(Frames(), frames);
}

// --- KRV04, Qmt Short and board flipper buttons ---------------------------------

TEST_P(SettingsOnSensor, KRV04ButtonsValueByValue) {
  Connect("KRV04");
  Change([](sim::Settings& s) { s.rangeMode = 0; });
  KRV04Settings settings(*commands_, table_, nullptr);
  ASSERT_TRUE(settings.Refresh());

  // The range is checked and scaled by the mode chosen in the dialog.
  KRV04Fields f = settings.fields();
  f.mode = 1;
  f.minRange = "150.5";
  ASSERT_TRUE(settings.SetMinRange(f).reread);
  EXPECT_EQ(Stored().analog.minRange, 15050);
  f.maxRange = "200.01";
  const uint64_t frames = Frames();
  EXPECT_EQ(settings.SetMaxRange(f).message, "Range values must be between 0.00 mm and 200.00 mm");
  f.threshold = "256";
  EXPECT_EQ(settings.SetThreshold(f).message, "Threshold must be between 0 and 255");
  f.mode = -1;
  const SetResult none = settings.SetMode(f);
  EXPECT_FALSE(none.sent || none.reread);
  EXPECT_EQ(Frames(), frames);

  f = settings.fields();
  f.voltsAtMinRange = "1.001";
  ASSERT_TRUE(settings.SetMinVolts(f).sent);
  EXPECT_EQ(Stored().analog.minVolts, 1001);
  f.voltsAtMaxRange = "9.5";
  ASSERT_TRUE(settings.SetMaxVolts(f).sent);
  EXPECT_EQ(Stored().analog.maxVolts, 9500);
  f.voltsOutsideRange = "0.29";
  ASSERT_TRUE(settings.SetVoltsOutside(f).sent);
  EXPECT_EQ(Stored().analog.outOfRangeVolts, 290);
  f.threshold = "255";
  ASSERT_TRUE(settings.SetThreshold(f).sent);
  EXPECT_EQ(Stored().threshold, 255);
  f.minLaserPower = "254";
  ASSERT_TRUE(settings.SetMinLaserPower(f).sent);
  EXPECT_EQ(Stored().minLaserPower, 254);

  f = settings.fields();
  f.holdLastRange = true;
  ASSERT_TRUE(settings.SetHoldLastRange(f).reread);
  EXPECT_EQ(Stored().holdLastRange, 1);
  EXPECT_EQ(settings.DisplayedValue("Hold Last Valid Range"), "Enabled");
  f.holdLastRange = false;
  ASSERT_TRUE(settings.SetHoldLastRange(f).reread);
  EXPECT_EQ(Stored().holdLastRange, 0);

  // A count is a whole number: a fraction is refused, never cut.
  f.maxDropouts = "7.9";
  EXPECT_EQ(settings.SetMaxDropouts(f).message, "Max samples to hold last range must be a whole number from 0 to 65535");
  f.maxDropouts = "7";
  ASSERT_TRUE(settings.SetMaxDropouts(f).reread);
  EXPECT_EQ(Stored().holdScans, 7);
  EXPECT_EQ(settings.DisplayedValue("Max samples to hold last range"), "7");

  f = settings.fields();
  f.mode = 1;
  ASSERT_TRUE(settings.SetMode(f).reread);
  EXPECT_EQ(Stored().rangeMode, 1);
  EXPECT_EQ(settings.fields().mode, 1);
  EXPECT_EQ(settings.DisplayedValue("Min. Range"), "150.50");
}

// Qmt Short's dialog has no checks of its own, but a value its byte cannot
// hold is refused with the byte's range instead of sent as its low 8 bits
// (256 would reach the sensor as 0).
TEST_P(SettingsOnSensor, QmtShortSendsWhatItsBytesHoldAndRefusesTheRest) {
  Connect("Qmt Short");
  QmtShortSettings settings(*commands_, table_, nullptr);
  ASSERT_TRUE(settings.Refresh());
  const uint8_t threshold = Stored().threshold;
  KRV04Fields f = settings.fields();
  f.threshold = "256";
  SetResult r = settings.SetThreshold(f);
  EXPECT_EQ(r.message, "Threshold must be between 0 and 255");
  EXPECT_FALSE(r.sent);
  EXPECT_EQ(Stored().threshold, threshold);
  f.threshold = "-1";
  EXPECT_TRUE(settings.SetThreshold(f).Refused());
  f.threshold = "255";
  ASSERT_TRUE(settings.SetThreshold(f).sent);
  EXPECT_EQ(Stored().threshold, 255);
  f.minLaserPower = "300";
  EXPECT_EQ(settings.SetMinLaserPower(f).message, "Min. Laser Power must be between 0 and 255");
  f.minLaserPower = "44";
  ASSERT_TRUE(settings.SetMinLaserPower(f).sent);
  EXPECT_EQ(Stored().minLaserPower, 44);
  f.maxLaserPower = "255";
  ASSERT_TRUE(settings.SetMaxLaserPower(f).sent);
  EXPECT_EQ(Stored().maxLaserPower, 255);
  f.maxRange = "31";  // beyond set C's 30 inch: not checked
  ASSERT_TRUE(settings.SetMaxRange(f).sent);
  EXPECT_EQ(Stored().analog.maxRange, 31000);
}

TEST_P(SettingsOnSensor, BoardFlipperWaneVariablesAndLaser) {
  Connect("KRV04 Board Flipper");
  Change([](sim::Settings& s) {
    s.rangeMode = 0;
    s.wane.reserved = {0xDE, 0xAD, 0xBE, 0xEF};
  });
  KRV04BFSettings settings(*commands_, table_, nullptr);
  ASSERT_TRUE(settings.Refresh());
  KRV04Fields f = settings.fields();
  f.waneHeight = "0.3";
  f.waneWidth = "1.25";
  f.conveyerSpeed = "700";
  f.pulseDuration = "25";
  f.boardTimeout = "1500";
  ASSERT_TRUE(settings.SetWaneVariables(f).reread);
  sim::Settings s = Stored();
  EXPECT_EQ(s.wane.height, 300);
  EXPECT_EQ(s.wane.width, 1250);
  EXPECT_EQ(s.wane.speed, 700);
  EXPECT_EQ(s.wane.pulse, 25);
  EXPECT_EQ(s.wane.reserved, (std::array<uint8_t, 4>{0xDE, 0xAD, 0xBE, 0xEF}));
  EXPECT_EQ(s.boardTimeout, 1500);
  EXPECT_EQ(settings.DisplayedValue("Min Wane Width"), "1.250");

  // In millimetres the wane lengths are hundredths.
  Change([](sim::Settings& st) { st.rangeMode = 1; });
  ASSERT_TRUE(settings.Refresh());
  f = settings.fields();
  f.waneHeight = "2.5";
  ASSERT_TRUE(settings.SetWaneVariables(f).sent);
  EXPECT_EQ(Stored().wane.height, 250);
  EXPECT_EQ(Stored().wane.width, 1250);  // "12.50" shown, sent back unchanged

  f = settings.fields();
  f.threshold = "256";
  EXPECT_EQ(settings.SetThreshold(f).message, "Thresholdmust be between 0 and 255");
  f.maxLaserPower = "255";
  EXPECT_EQ(settings.SetMaxLaserPower(f).message, "Max laser power must be between 0 and 254");

  // Laser On / Off: one command each, no re-read, the fields stay.
  f = settings.fields();
  f.threshold = "typed";
  uint64_t frames = Frames();
  SetResult r = settings.LaserOff(f);
  EXPECT_TRUE(r.sent);
  EXPECT_FALSE(r.reread);
  EXPECT_EQ(FramesAfterQuietCommand(frames + 1), frames + 1);
  EXPECT_FALSE(Stored().laserOn);
  EXPECT_EQ(settings.fields().threshold, "typed");
  frames = Frames();
  EXPECT_TRUE(settings.LaserOn(f).sent);
  EXPECT_EQ(FramesAfterQuietCommand(frames + 1), frames + 1);
  EXPECT_TRUE(Stored().laserOn);
}

// The laser switch of every model is its dialog's button: the KRV02
// family's "Set Laser" reads the settings back, the board flipper's buttons
// do not, and the models without a switch refuse with nothing sent.
TEST_P(SettingsOnSensor, SwitchLaserIsTheDialogsButton) {
  struct Case {
    const char* model;
    std::string refusal;
    bool reread;
  };
  const Case cases[] = {
      {"KRV02", "", true},
      {"KRV04", "this sensor model has no laser switch", false},
      {"Qmt Short", "this sensor model has no laser switch", false},
      {"KRV04 Board Flipper", "", false},
  };
  for (const Case& c : cases) {
    Connect(c.model);
    std::unique_ptr<ModelSettings> settings;
    const std::string model = c.model;
    if (model == "KRV02") settings = std::make_unique<KRV02Settings>(*commands_, table_, [] { return 0; }, nullptr);
    if (model == "KRV04") settings = std::make_unique<KRV04Settings>(*commands_, table_, nullptr);
    if (model == "Qmt Short") settings = std::make_unique<QmtShortSettings>(*commands_, table_, nullptr);
    if (model == "KRV04 Board Flipper") settings = std::make_unique<KRV04BFSettings>(*commands_, table_, nullptr);
    ASSERT_TRUE(settings->Refresh()) << c.model;
    for (const bool on : {false, true}) {
      const uint64_t frames = Frames();
      const SetResult r = settings->SwitchLaser(on);
      EXPECT_EQ(r.message, c.refusal) << c.model;
      EXPECT_EQ(r.reread, c.reread) << c.model;
      if (!c.refusal.empty()) {
        EXPECT_EQ(FramesAfterQuietCommand(frames), frames) << c.model << ": nothing sent";
        continue;
      }
      EXPECT_TRUE(r.sent) << c.model;
      if (!c.reread) {
        EXPECT_EQ(FramesAfterQuietCommand(frames + 1), frames + 1) << c.model;
      }
      EXPECT_EQ(Stored().laserOn, on) << c.model;
      if (c.reread) {
        EXPECT_EQ(settings->DisplayedValue("Laser"), on ? "On" : "Off");
      }
    }
  }
}

// The names `set` takes: any letter case; the serial number is no setting.
TEST_P(SettingsOnSensor, SettingNameRefusals) {
  Connect("Qmt Short");
  QmtShortSettings settings(*commands_, table_, nullptr);
  struct Case {
    const char* typed;
    const char* known;
    std::string refusal;
  };
  const Case cases[] = {
      {"Threshold", "Threshold", ""},
      {"threshold", "Threshold", ""},
      {"Serial Number", "", "the serial number is written with `serial-number TEXT` (manufacturing mode)"},
      {"serial number", "", "the serial number is written with `serial-number TEXT` (manufacturing mode)"},
      {"Colour", "", "no setting named \"Colour\" for this sensor model; its settings are \""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(settings.KnownSettingName(c.typed), c.known) << c.typed;
    EXPECT_EQ(settings.SettingNameRefusal(c.typed).substr(0, c.refusal.size()), c.refusal) << c.typed;
    EXPECT_EQ(settings.SettingNameRefusal(c.typed).empty(), c.refusal.empty()) << c.typed;
  }
}

// --- Changes by display name (the command-line tool's "set") -------------------------

TEST_P(SettingsOnSensor, ChangeByNameKeepsTheGroupsOtherValuesExactly) {
  Connect("KRV02");
  // Values whose shown decimals are not exact in binary: a plain cut of
  // text x scale would lose a count on the way back.
  Change([](sim::Settings& s) {
    s.rangeMode = 4;  // inch, divisor 100
    s.analog.maxRange = 29;
    s.analog.minVolts = 1001;
    s.analog.maxVolts = 1015;
    s.analog.offsetVolts = 57;
    s.analog.outOfRangeVolts = 1003;
  });
  KRV02Settings settings(*commands_, table_, [] { return 0; }, nullptr);
  ASSERT_TRUE(settings.Refresh());
  EXPECT_EQ(settings.DisplayedValue("Max. Range"), "0.29");
  SetResult r = settings.ChangeSetting("Min. Range", "0.1");
  ASSERT_TRUE(r.sent && r.reread) << r.message;
  EXPECT_EQ(r.value, "0.10");
  sim::Settings s = Stored();
  EXPECT_EQ(s.analog.minRange, 10);
  EXPECT_EQ(s.analog.maxRange, 29);
  EXPECT_EQ(s.analog.minVolts, 1001);
  EXPECT_EQ(s.analog.maxVolts, 1015);
  EXPECT_EQ(s.analog.offsetVolts, 57);
  EXPECT_EQ(s.analog.outOfRangeVolts, 1003);

  r = settings.ChangeSetting("Threshold", "77");
  EXPECT_EQ(r.value, "77");
  EXPECT_EQ(Stored().threshold, 77);
  r = settings.ChangeSetting("averaging period(ms)", "74.565");  // any letter case
  EXPECT_EQ(r.value, "73.500");
  r = settings.ChangeSetting("Mode", "3");
  EXPECT_EQ(r.value, "3:  From 0000.0 to -3200.0mm");
  EXPECT_EQ(Stored().rangeMode, 3);
  r = settings.ChangeSetting("Laser", "off");
  EXPECT_EQ(r.value, "Off");
  r = settings.ChangeSetting("Order", "11");
  EXPECT_EQ(r.value, "11");

  const uint64_t frames = Frames();
  EXPECT_EQ(settings.ChangeSetting("Mode", "16").message, "Mode must be a mode number from 0 to 15");
  EXPECT_TRUE(settings.ChangeSetting("Order", "4").Refused());
  EXPECT_TRUE(settings.ChangeSetting("Laser", "dim").Refused());
  EXPECT_EQ(settings.ChangeSetting("Threshold", "300").message, "Thresholdmust be between 0 and 255");
  EXPECT_EQ(settings.ChangeSetting("Min Wane Height", "1").message,
            "No setting named \"Min Wane Height\" for this sensor model");
  EXPECT_EQ(Frames(), frames);
}

TEST_P(SettingsOnSensor, ChangeByNameOnTheKRV04Family) {
  Connect("KRV04 Board Flipper");
  Change([](sim::Settings& s) {
    s.rangeMode = 0;
    s.wane.height = 250;
    s.wane.width = 500;
    s.wane.speed = 600;
    s.wane.pulse = 20;
    s.wane.reserved = {1, 2, 3, 4};
    s.boardTimeout = 1000;
  });
  KRV04BFSettings flipper(*commands_, table_, nullptr);
  ASSERT_TRUE(flipper.Refresh());
  SetResult r = flipper.ChangeSetting("Min Wane Height", "0.4");
  ASSERT_TRUE(r.reread) << r.message;
  EXPECT_EQ(r.value, "0.400");
  sim::Settings s = Stored();
  EXPECT_EQ(s.wane.height, 400);
  EXPECT_EQ(s.wane.width, 500);
  EXPECT_EQ(s.wane.speed, 600);
  EXPECT_EQ(s.wane.pulse, 20);
  EXPECT_EQ(s.wane.reserved, (std::array<uint8_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(s.boardTimeout, 1000);
  EXPECT_EQ(flipper.ChangeSetting("Board timeout", "2500").value, "2500");
  EXPECT_EQ(flipper.ChangeSetting("Mode", "1").value, "1:  From 00.00 to  200.00 mm");
  EXPECT_EQ(flipper.ChangeSetting("Max. Range", "200.01").message,
            "Range values must be between 0.00 mm and 200.00 mm");

  Connect("KRV04");
  KRV04Settings krv04(*commands_, table_, nullptr);
  ASSERT_TRUE(krv04.Refresh());
  EXPECT_EQ(krv04.ChangeSetting("Hold Last Valid Range", "Enabled").value, "Enabled");
  EXPECT_EQ(Stored().holdLastRange, 1);
  EXPECT_EQ(krv04.ChangeSetting("Max samples to hold last range", "12").value, "12");
  EXPECT_EQ(krv04.ChangeSetting("Min. Laser Power", "255").message,
            "Min laser power must be between 0 and 254");

  Connect("Qmt Short");
  QmtShortSettings qmt(*commands_, table_, nullptr);
  ASSERT_TRUE(qmt.Refresh());
  EXPECT_EQ(qmt.ChangeSetting("Threshold", "256").message, "Threshold must be between 0 and 255");
  EXPECT_TRUE(qmt.ChangeSetting("Mode", "0").Refused());
}

}  // namespace
