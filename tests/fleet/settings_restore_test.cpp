// Settings backup, restore and clone against virtual sensors of every model,
// in both check modes, through the document and the model settings.

#include <gtest/gtest.h>

#include "tarkon/document/doc_internals.h"
#include "support/sim_document.h"
#include "tarkon/fleet/setting_layout.h"
#include "tarkon/models/setting_values.h"
#include "tarkon/fleet/settings_backup.h"
#include "tarkon/fleet/settings_restore.h"

namespace {

using fleet::RestoreStatus;
using testsupport::SensorOf;

struct ModelCase {
  const char* model;
  int index;
  int32_t checkMode;
};

// Values every model's checks accept (the KRV04 family's inch mode ends at
// 8.000, the Qmt Short's at 30.000).
void ValidStart(sim::SensorState& s) { s.settings.analog.maxRange = 7000; }

// A different, valid value for every setting a model has.
void ChangeEverything(sim::SensorState& s, int model) {
  auto& g = s.settings;
  g.minLaserPower = 22;
  g.maxLaserPower = 180;
  g.threshold = 77;
  if (model != kModelQmtShort) g.rangeMode = 1;
  g.laserOn = false;
  g.scanInterval = 25;
  g.dropout = 4;
  g.smooth = 6;
  g.order = 7;
  g.rangeOffset = 3000;
  g.cosine = 9000;
  g.multiplier = 1100;
  g.analog.minVolts = 500;
  g.analog.minRange = 1000;
  g.analog.maxVolts = 9000;
  g.analog.maxRange = 6000;
  g.analog.offsetVolts = 100;
  g.analog.outOfRangeVolts = 2000;
  g.averagingLow = 3000;
  g.holdLastRange = 1;
  g.holdScans = 9;
  g.wane.height = 300;
  g.wane.width = 450;
  g.wane.speed = 700;
  g.wane.pulse = 30;
  g.boardTimeout = 1500;
}

std::vector<std::vector<uint8_t>> RawOfEverySetting(CKRV02Doc& doc) {
  std::vector<std::vector<uint8_t>> raw;
  for (const fleet::SettingLayout& l : fleet::LayoutOfModel(doc.sensor().modelIndex()))
    raw.push_back(setting_values::RawBytes(DocInternals::Commands(doc), l));
  return raw;
}

std::vector<std::vector<uint8_t>> RawOfBackup(const fleet::SensorBackup& b) {
  std::vector<std::vector<uint8_t>> raw;
  for (const fleet::BackupSetting& s : b.settings) raw.push_back(s.raw);
  return raw;
}

class RestoreEveryModel : public testsupport::SimDocumentTest, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(RestoreEveryModel, BringsEveryValueBackByteExact) {
  const ModelCase c = GetParam();
  sim::VirtualSensor& sensor = StartSensor(SensorOf(c.model, c.checkMode));
  sensor.Mutate(ValidStart);
  ASSERT_TRUE(ConnectDoc());
  ASSERT_EQ(Doc().sensor().modelIndex(), c.index);

  fleet::SensorBackup backup;
  std::string error;
  ASSERT_TRUE(fleet::CaptureBackup(Doc(), backup, error)) << error;
  // The file round-trips as text.
  fleet::SensorBackup parsed;
  ASSERT_TRUE(fleet::ParseBackup(fleet::BackupToJson(backup), parsed, error)) << error;
  ASSERT_EQ(RawOfBackup(parsed), RawOfBackup(backup));

  sensor.Mutate([&](sim::SensorState& s) { ChangeEverything(s, c.index); });
  const fleet::RestoreReport before = fleet::CompareWithSensor(Doc(), parsed, {});
  for (const fleet::RestoreItem& item : before.settings)
    EXPECT_EQ(item.status, RestoreStatus::kDifferent) << item.name << " was not changed by the test";
  EXPECT_FALSE(before.Equal());

  const fleet::RestoreReport report = fleet::RestoreSettings(Doc(), parsed, {});
  for (const fleet::RestoreItem& item : report.settings)
    EXPECT_EQ(item.status, RestoreStatus::kChanged) << item.name << ": " << item.message;
  EXPECT_TRUE(report.AllVerified());

  ASSERT_TRUE(Doc().currentSettings()->Refresh());
  EXPECT_EQ(RawOfEverySetting(Doc()), RawOfBackup(backup));
  EXPECT_TRUE(fleet::CompareWithSensor(Doc(), parsed, {}).Equal());
}

INSTANTIATE_TEST_SUITE_P(
    Models, RestoreEveryModel,
    ::testing::Values(ModelCase{"KRV02", kModelKRV02, 0}, ModelCase{"KRV02", kModelKRV02, 1},
                      ModelCase{"KRV04", kModelKRV04, 0}, ModelCase{"KRV04", kModelKRV04, 1},
                      ModelCase{"Qmt Long", kModelQmtLong, 0}, ModelCase{"Qmt Long", kModelQmtLong, 1},
                      ModelCase{"Qmt Short", kModelQmtShort, 0}, ModelCase{"Qmt Short", kModelQmtShort, 1},
                      ModelCase{"KRV04 Board Flipper", kModelKRV04BoardFlipper, 0},
                      ModelCase{"KRV04 Board Flipper", kModelKRV04BoardFlipper, 1}),
    [](const auto& param) {
      std::string name = std::string(param.param.model) + (param.param.checkMode == 1 ? "_crc" : "_checksum");
      for (char& ch : name)
        if (ch == ' ') ch = '_';
      return name;
    });

class RestoreTest : public testsupport::SimDocumentTest {};

TEST_F(RestoreTest, RefusedValueIsReportedAndTheRestApplied) {
  sim::VirtualSensor& sensor = StartSensor(SensorOf("KRV04", 1));
  sensor.Mutate(ValidStart);
  const uint8_t threshold = sensor.Snapshot().settings.threshold;
  ASSERT_TRUE(ConnectDoc());
  fleet::SensorBackup backup;
  std::string error;
  ASSERT_TRUE(fleet::CaptureBackup(Doc(), backup, error)) << error;
  // Hand-edited: a laser power the settings dialog refuses, and a range
  // beyond the inch mode's 8.000.
  for (fleet::BackupSetting& s : backup.settings) {
    if (s.name == "Min. Laser Power") s.raw = {255};
    if (s.name == "Max. Range") s.raw = {0x28, 0x23};  // 9000
  }
  sensor.Mutate([](sim::SensorState& s) {
    s.settings.threshold = 99;
    s.settings.minLaserPower = 33;
  });

  const fleet::RestoreReport report = fleet::RestoreSettings(Doc(), backup, {});
  for (const fleet::RestoreItem& item : report.settings) {
    if (item.name == "Min. Laser Power") {
      EXPECT_EQ(item.status, RestoreStatus::kRefused);
      EXPECT_EQ(item.message, "Min laser power must be between 0 and 254");
    } else if (item.name == "Max. Range") {
      EXPECT_EQ(item.status, RestoreStatus::kRefused);
      EXPECT_EQ(item.message, "Range values must be between 0.000 inch and 8.000 inch");
    } else if (item.name == "Threshold") {
      EXPECT_EQ(item.status, RestoreStatus::kChanged);
    } else {
      EXPECT_EQ(item.status, RestoreStatus::kMatched) << item.name;
    }
  }
  EXPECT_FALSE(report.AllVerified());
  const sim::Settings now = sensor.Snapshot().settings;
  EXPECT_EQ(now.threshold, threshold);
  EXPECT_EQ(now.minLaserPower, 33) << "a refused value must not be sent";
  EXPECT_EQ(now.analog.maxRange, 7000);
}

TEST_F(RestoreTest, CloneOntoASecondSensorOfTheSameModel) {
  sim::VirtualSensor& first = StartSensor(SensorOf("KRV04 Board Flipper", 0));
  first.Mutate([](sim::SensorState& s) {
    ValidStart(s);
    ChangeEverything(s, kModelKRV04BoardFlipper);
  });
  ASSERT_TRUE(ConnectDoc());
  fleet::SensorBackup backup;
  std::string error;
  ASSERT_TRUE(fleet::CaptureBackup(Doc(), backup, error)) << error;
  Doc().Disconnect();

  sim::SensorConfig second = SensorOf("KRV04 Board Flipper", 1);
  second.serial = "BF999999";
  sim::VirtualSensor& clone = StartSensor(second);
  clone.Mutate(ValidStart);
  ASSERT_TRUE(ConnectDoc());
  ASSERT_EQ(Doc().sensor().serialNumberText(), "BF999999");

  const fleet::RestoreReport report = fleet::RestoreSettings(Doc(), backup, {});
  EXPECT_TRUE(report.AllVerified());
  EXPECT_EQ(RawOfEverySetting(Doc()), RawOfBackup(backup));
  // The clone keeps its own serial number and check mode (no --connection).
  EXPECT_EQ(clone.Snapshot().settings.wane.height, 300);
  EXPECT_EQ(Doc().sensor().serialNumberText(), "BF999999");
  EXPECT_EQ(Doc().sensor().checkMode(), 1);
}

TEST_F(RestoreTest, AnotherModelIsRefusedUnlessForcedAndThenOnlySharedSettingsApply) {
  sim::VirtualSensor& krv04 = StartSensor(SensorOf("KRV04", 0));
  krv04.Mutate([](sim::SensorState& s) {
    ValidStart(s);
    s.settings.threshold = 66;
  });
  ASSERT_TRUE(ConnectDoc());
  fleet::SensorBackup backup;
  std::string error;
  ASSERT_TRUE(fleet::CaptureBackup(Doc(), backup, error)) << error;
  Doc().Disconnect();

  sim::VirtualSensor& flipper = StartSensor(SensorOf("KRV04 Board Flipper", 0));
  flipper.Mutate(ValidStart);
  ASSERT_TRUE(ConnectDoc());
  const size_t framesBefore = trace_.Received().size();
  const fleet::RestoreReport refused = fleet::RestoreSettings(Doc(), backup, {});
  EXPECT_TRUE(refused.modelRefused);
  EXPECT_EQ(trace_.Received().size(), framesBefore) << "nothing may be sent for a file of another model";

  fleet::RestoreOptions force;
  force.force = true;
  const fleet::RestoreReport forced = fleet::RestoreSettings(Doc(), backup, force);
  EXPECT_TRUE(forced.AllVerified());
  for (const fleet::RestoreItem& item : forced.settings) {
    const bool krv04Only = item.name == "Hold Last Valid Range" || item.name == "Max samples to hold last range";
    EXPECT_EQ(item.status == RestoreStatus::kNotShared, krv04Only) << item.name;
  }
  EXPECT_EQ(flipper.Snapshot().settings.threshold, 66);
}

TEST_F(RestoreTest, RangesInAnotherUnitThanTheSensorsModeAreRefused) {
  sim::VirtualSensor& krv02 = StartSensor(SensorOf("KRV02", 0));
  krv02.Mutate([](sim::SensorState& s) {
    s.settings.rangeMode = 2;  // millimetres, 0.1 mm a count
    s.settings.analog.minRange = 30;
    s.settings.analog.maxRange = 70;
  });
  ASSERT_TRUE(ConnectDoc());
  fleet::SensorBackup backup;
  std::string error;
  ASSERT_TRUE(fleet::CaptureBackup(Doc(), backup, error)) << error;
  Doc().Disconnect();

  sim::VirtualSensor& krv04 = StartSensor(SensorOf("KRV04", 0));  // mode 0: inches
  krv04.Mutate(ValidStart);
  ASSERT_TRUE(ConnectDoc());
  fleet::RestoreOptions force;
  force.force = true;
  const fleet::RestoreReport report = fleet::RestoreSettings(Doc(), backup, force);
  for (const fleet::RestoreItem& item : report.settings) {
    if (item.name == "Mode") {
      EXPECT_EQ(item.status, RestoreStatus::kRefused);
      EXPECT_EQ(item.message, "Mode must be a mode number from 0 to 1");
    }
    if (item.name == "Min. Range" || item.name == "Max. Range") {
      EXPECT_EQ(item.status, RestoreStatus::kRefused) << item.name;
      EXPECT_EQ(item.message, "the file's value is in mm, the sensor's range mode in inch");
    }
  }
  EXPECT_FALSE(report.AllVerified());
  EXPECT_EQ(krv04.Snapshot().settings.analog.maxRange, 7000);
}

TEST_F(RestoreTest, ConnectionIsRestoredLastOnlyWhenAskedAndVerifiedByReconnecting) {
  // Address, check mode and baud rate all differ from the file.
  sim::VirtualSensor& sensor = StartSensor(SensorOf("KRV02", 0));
  ASSERT_TRUE(ConnectDoc());
  fleet::SensorBackup backup;
  std::string error;
  ASSERT_TRUE(fleet::CaptureBackup(Doc(), backup, error)) << error;
  Doc().Disconnect();
  sensor.Mutate([](sim::SensorState& s) {
    s.address = 7;
    s.checkMode = 1;
    s.baudRate = 19200;
    s.settings.threshold = 12;
  });
  ASSERT_TRUE(ConnectDoc([](ConnectValues& v) {
    v.address = 7;
    v.baudChoice = ConnectBaudChoice(19200);
  }));

  const fleet::RestoreReport settingsOnly = fleet::RestoreSettings(Doc(), backup, {});
  EXPECT_TRUE(settingsOnly.AllVerified());
  EXPECT_EQ(sensor.Snapshot().address, 7);
  EXPECT_EQ(sensor.Snapshot().settings.threshold, 40);

  fleet::RestoreOptions withConnection;
  withConnection.connection = true;
  const fleet::RestoreReport report = fleet::RestoreSettings(Doc(), backup, withConnection);
  EXPECT_TRUE(report.AllVerified());
  EXPECT_TRUE(report.reconnected);
  ASSERT_EQ(report.connection.size(), 3u);
  EXPECT_EQ(report.connection[0].status, RestoreStatus::kChanged);  // address
  EXPECT_EQ(report.connection[1].status, RestoreStatus::kChanged);  // check mode
  EXPECT_EQ(report.connection[2].status, RestoreStatus::kChanged);  // baud rate
  EXPECT_EQ(sensor.Snapshot().address, 1);
  EXPECT_EQ(sensor.Snapshot().checkMode, 0);
  EXPECT_EQ(sensor.Snapshot().baudRate, 57600);
  EXPECT_EQ(Doc().sensor().baudRate(), 57600);
  EXPECT_TRUE(Doc().connected());
  EXPECT_EQ(Doc().sensor().address(), 1);
}

}  // namespace
