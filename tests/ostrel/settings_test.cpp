// The Settings tab's operations against the virtual board flipper: each
// value with its check and read-back, the changes that end in a new
// connect, and the wane variables.

#include <gtest/gtest.h>

#include "ostrel_sim_fixture.h"
#include "scripted_peer.h"

namespace {

using ostrel::Field;
using ostreltest::OstrelSimTest;

TEST_F(OstrelSimTest, LaserPowersAndThresholdAreCheckedSentAndReadBack) {
  struct Row {
    bool (ostrel::Operations::*operation)();
    std::string ostrel::WindowFields::*field;
    const char* text;
    const char* error;  // nullptr: accepted
    Field errorField;
    int stored;
  };
  const Row rows[] = {
      {&ostrel::Operations::SetMinLaserPower, &ostrel::WindowFields::minPwr, "25", nullptr, Field::kMinPwr, 25},
      {&ostrel::Operations::SetMinLaserPower, &ostrel::WindowFields::minPwr, "255",
       "Invalid Value Entered!\r\n(Valid values 0-254)", Field::kMinPwr, 0},
      {&ostrel::Operations::SetMinLaserPower, &ostrel::WindowFields::minPwr, "", "Invalid Value Entered!\r\n(Valid values 0-254)",
       Field::kMinPwr, 0},
      {&ostrel::Operations::SetMaxLaserPower, &ostrel::WindowFields::maxPwr, "254", nullptr, Field::kMaxPwr, 254},
      {&ostrel::Operations::SetMaxLaserPower, &ostrel::WindowFields::maxPwr, "", nullptr, Field::kMaxPwr, 0},
      {&ostrel::Operations::SetMaxLaserPower, &ostrel::WindowFields::maxPwr, "255",
       "Invalid Value Entered!\r\n(Valid values 0-254)", Field::kMaxPwr, 0},
      {&ostrel::Operations::SetThreshold, &ostrel::WindowFields::threshold, "255", nullptr, Field::kThreshold, 255},
      {&ostrel::Operations::SetThreshold, &ostrel::WindowFields::threshold, "256",
       "Invalid Value Entered!\r\n(Valid values 0-255)", Field::kThreshold, 0},
      {&ostrel::Operations::SetThreshold, &ostrel::WindowFields::threshold, "4x",
       "Invalid Value Entered!\r\n(Valid values 0-255)", Field::kThreshold, 0},
  };
  for (const bool crc : {false, true}) {
    sim::SensorConfig config;
    config.checkMode = crc ? 1 : 0;
    Connected(config);
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.text) + (crc ? " CRC" : " checksum"));
      trace_.Clear();
      view_.inputErrors.clear();
      fields_.*row.field = row.text;
      ASSERT_TRUE((ops_.*row.operation)());
      if (row.error != nullptr) {
        ASSERT_EQ(view_.inputErrors.size(), 1u);
        EXPECT_EQ(view_.inputErrors[0].first, row.error);
        EXPECT_EQ(view_.inputErrors[0].second, row.errorField);
        EXPECT_TRUE(trace_.Received().empty());
        continue;
      }
      EXPECT_TRUE(view_.inputErrors.empty());
      EXPECT_EQ(trace_.Received().size(), 2u) << "the setting and its read-back";
      const sim::Settings s = State().settings;
      const int stored = row.field == &ostrel::WindowFields::minPwr   ? s.minLaserPower
                         : row.field == &ostrel::WindowFields::maxPwr ? s.maxLaserPower
                                                                      : s.threshold;
      EXPECT_EQ(stored, row.stored);
      EXPECT_EQ(fields_.*row.field, std::to_string(row.stored));
      EXPECT_NE(view_.LastStatus(), "Error!");
    }
  }
}

TEST(OstrelReadBack, ADifferingReadBackShowsErrorAndKeepsTheSensorsValue) {
  ostreltest::ScriptedPeer peer;
  peer.SetHandler([&](const ostreltest::HostItem& item) {
    return item.command() == 130 ? peer.Reply(130, {99}) : ostreltest::Bytes{};
  });
  ostrel::OstrelLink link;
  ostrel::WindowFields fields;
  ostreltest::RecordingView view;
  ostrel::Operations ops(link, fields, view);
  std::string reason;
  ASSERT_TRUE(link.port().Open(peer.path(), 57600, &reason)) << reason;
  fields.minPwr = "25";
  ASSERT_TRUE(ops.SetMinLaserPower());
  ASSERT_EQ(peer.Frames().size(), 2u);
  EXPECT_EQ(peer.Frames()[0].command(), 84);
  EXPECT_EQ(peer.Frames()[0].data(0), 25);
  EXPECT_EQ(view.LastStatus(), "Error! Min. Laser Pwr: sent 25, the sensor holds 99");
  EXPECT_EQ(fields.minPwr, "99");
}

TEST_F(OstrelSimTest, BaudRateChangeReconnectsAtTheNewRate) {
  Connected();
  fields_.sensorBaud = 1;  // 19200
  ASSERT_TRUE(ops_.SetSensorBaudRate());
  EXPECT_EQ(State().baudRate, 19200);
  EXPECT_EQ(fields_.hostBaud, 1);
  EXPECT_EQ(link_.port().baudRate(), 19200);
  EXPECT_EQ(view_.storedConnections.back(), std::make_pair(1, 19200));
  EXPECT_TRUE(ops_.connected());
  EXPECT_EQ(fields_.firmwarePanel, "4.20C") << "the sensor was read again at the new rate";
  EXPECT_FALSE(ops_.busy());
}

TEST_F(OstrelSimTest, CheckModeChangeIsFoundByTheProbe) {
  Connected();
  struct Row {
    int entry;
    int32_t sensorMode;
  };
  for (const Row row : {Row{1, 1}, Row{0, 0}}) {
    fields_.checkMode = row.entry;
    ASSERT_TRUE(ops_.SetCheckMode());
    EXPECT_EQ(State().checkMode, row.sensorMode);
    EXPECT_EQ(link_.crc(), row.sensorMode == 1);
    EXPECT_EQ(fields_.checkMode, row.entry);
    EXPECT_TRUE(ops_.connected());
  }
}

TEST_F(OstrelSimTest, ModeChangeShowsTheInformationOnlyWhenTheModeChanged) {
  Connected();
  struct Row {
    int entry;
    bool box;
    const char* unit;
  };
  for (const Row row : {Row{0, false, "inch"}, Row{1, true, "mm"}}) {
    view_.informations.clear();
    fields_.mode = row.entry;
    ASSERT_TRUE(ops_.SetMode());
    EXPECT_EQ(State().settings.rangeMode, row.entry);
    EXPECT_EQ(fields_.unitText, row.unit);
    if (row.box) {
      ASSERT_EQ(view_.informations.size(), 1u);
      EXPECT_EQ(view_.informations[0],
                "Sensor Mode (Metric/Imperial) has changed.\r\nWane Settings may need to be Reconfigured!");
    } else {
      EXPECT_TRUE(view_.informations.empty());
    }
  }
}

TEST_F(OstrelSimTest, DefaultsSerialNumberAndModel) {
  Connected();
  fields_.threshold = "77";
  ASSERT_TRUE(ops_.SetThreshold());
  fields_.connAddr = "5";
  ASSERT_TRUE(ops_.SetToDefault());
  EXPECT_EQ(State().settings.threshold, 50);  // factory value
  EXPECT_EQ(fields_.threshold, "50");
  EXPECT_EQ(fields_.connAddr, "1");
  EXPECT_TRUE(ops_.connected());

  fields_.serial = "AB123456";
  ASSERT_TRUE(ops_.SetSerialNumber());
  EXPECT_EQ(sim::IdentityText(State().serialNumber), "AB123456");
  EXPECT_EQ(fields_.serialPanel, "AB123456");
  EXPECT_NE(view_.LastStatus(), "Error!");

  fields_.model = 1;
  ASSERT_TRUE(ops_.SetModel());
  EXPECT_EQ(sim::IdentityText(State().modelName), "0 KRV04-HP");
  EXPECT_EQ(fields_.modelPanel, "KRV04-HP");
  EXPECT_EQ(fields_.model, 1);
}

TEST_F(OstrelSimTest, WaneVariablesAreScaledSentWithTheReservedWordsAndReadBack) {
  struct Row {
    bool crc;
    uint8_t modeByte;
    const char* width;
    const char* height;
    uint16_t rawWidth;
    uint16_t rawHeight;
    const char* widthShown;
  };
  const Row rows[] = {
      {false, 0, "2.5", "0.75", 2500, 750, "2.500"},
      {true, 1, "200", "0.29", 20000, 29, "200.00"},  // 0.29 mm is 29 hundredths, not 28
  };
  const std::array<uint8_t, 4> reserved = {0xA1, 0xB2, 0xC3, 0xD4};
  for (const Row& row : rows) {
    sim::SensorConfig config;
    config.checkMode = row.crc ? 1 : 0;
    StartSensor(config);
    sensor_->Mutate([&](sim::SensorState& s) {
      s.settings.rangeMode = row.modeByte;
      s.settings.wane.reserved = reserved;
    });
    ASSERT_TRUE(ops_.Connect());
    fields_.minLen = row.width;
    fields_.minHt = row.height;
    fields_.pulse = "30";
    fields_.speed = "800";
    fields_.timeout = "4342";
    ASSERT_TRUE(ops_.SetWaneVariables());
    const sim::Settings s = State().settings;
    EXPECT_EQ(s.wane.width, row.rawWidth);
    EXPECT_EQ(s.wane.height, row.rawHeight);
    EXPECT_EQ(s.wane.speed, 800);
    EXPECT_EQ(s.wane.pulse, 30);
    EXPECT_EQ(s.wane.reserved, reserved) << "reserved words go back as they came";
    EXPECT_EQ(s.boardTimeout, 4342);
    EXPECT_EQ(fields_.minLen, row.widthShown);
    EXPECT_EQ(fields_.timeout, "4342");
    EXPECT_EQ(view_.comErrors, 0u);
  }
}

TEST_F(OstrelSimTest, WaneChecksComeInOrderAndSendNothing) {
  struct Row {
    uint8_t modeByte;
    const char* width;
    const char* height;
    const char* pulse;
    const char* speed;
    const char* timeout;
    const char* error;
    Field field;
  };
  const Row rows[] = {
      {0, "8.001", "9", "4", "0", "", "Invalid Min. Wane Length Entered!\r\n(Valid values 0-8000", Field::kMinLen},
      {0, "8", "9", "4", "0", "", "Invalid Min. Wane Height Entered!\r\n(Valid values 0-8000", Field::kMinHt},
      {0, "", "", "4", "0", "", "Invalid Pulse value Entered!\r\n(Valid values 5 - 100)", Field::kPulse},
      {0, "1", "1", "101", "99", "", "Invalid Pulse value Entered!\r\n(Valid values 5 - 100)", Field::kPulse},
      {0, "1", "1", "5", "99", "", "Invalid conveyor speeed Entered!\r\n(Valid values 100 - 1200)", Field::kSpeed},
      {0, "1", "1", "5", "1201", "0", "Invalid conveyor speeed Entered!\r\n(Valid values 100 - 1200)", Field::kSpeed},
      {0, "1", "1", "100", "1200", "", "Invalid Board Timeout Entered!\r\n(Valid values 0 - 4342)", Field::kTimeout},
      {0, "1", "1", "100", "100", "4343", "Invalid Board Timeout Entered!\r\n(Valid values 0 - 4342)", Field::kTimeout},
      {1, "200.1", "1", "100", "100", "0", "Invalid Min. Wane Length Entered!\r\n(Valid values 0-20000", Field::kMinLen},
      {1, "1..2", "1", "100", "100", "0", "Invalid Min. Wane Length Entered!\r\n(Valid values 0-20000", Field::kMinLen},
  };
  StartSensor();
  uint8_t mode = 0;
  ASSERT_TRUE(ops_.Connect());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.error);
    if (row.modeByte != mode) {
      mode = row.modeByte;
      sensor_->Mutate([&](sim::SensorState& s) { s.settings.rangeMode = mode; });
      ASSERT_TRUE(ops_.Connect());
    }
    trace_.Clear();
    view_.inputErrors.clear();
    fields_.minLen = row.width;
    fields_.minHt = row.height;
    fields_.pulse = row.pulse;
    fields_.speed = row.speed;
    fields_.timeout = row.timeout;
    ASSERT_TRUE(ops_.SetWaneVariables());
    ASSERT_EQ(view_.inputErrors.size(), 1u);
    EXPECT_EQ(view_.inputErrors[0].first, row.error);
    EXPECT_EQ(view_.inputErrors[0].second, row.field);
    EXPECT_TRUE(trace_.Received().empty());
    EXPECT_FALSE(ops_.busy());
  }
}

}  // namespace
