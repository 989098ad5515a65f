// Baud rate, check mode, address, defaults, reset and identity changes.

#include <gtest/gtest.h>

#include "protocol/command_ids.h"
#include "sim_test_support.h"

namespace {

using namespace simtest;

TEST(SimBaudRate, CrcAckAtOldRateThenOnlyTheNewRateIsHeard) {
  sim::VirtualSensor sensor(Config("KRV02", 1));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath(), 57600);
  port.Write(frame::Build(1, 1, cmd::SetBaudRate, Bytes{1}));
  auto ack = port.ReadFrame(1);
  ASSERT_TRUE(ack);
  EXPECT_EQ(*ack, frame::Build(1, 1, cmd::SetBaudRate));
  EXPECT_EQ(sensor.Snapshot().baudRate, 19200);

  // The host still at 57600 bit/s is not understood.
  port.Write(frame::Build(1, 1, cmd::GetModelName));
  EXPECT_TRUE(port.Silent(200ms));
  EXPECT_GT(sensor.Snapshot().activity.garbledBytes, 0u);
  port.SetBaud(19200);
  EXPECT_TRUE(Query(port, 1, 1, cmd::GetModelName));
}

TEST(SimBaudRate, ChecksumModeSwitchesWithoutAck) {
  sim::VirtualSensor sensor(Config("KRV02", 0));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath(), 57600);
  for (auto [code, rate] : {std::pair{0, 9600}, {2, 38400}, {3, 57600}}) {
    port.Write(frame::Build(1, 0, cmd::SetBaudRate, Bytes{static_cast<uint8_t>(code)}));
    EXPECT_TRUE(port.Silent(150ms));
    EXPECT_EQ(sensor.Snapshot().baudRate, rate);
    port.SetBaud(rate);
    EXPECT_TRUE(Query(port, 1, 0, cmd::GetSerialNum));
  }
  // An unknown rate code changes nothing and counts a command error.
  port.Write(frame::Build(1, 0, cmd::SetBaudRate, Bytes{7}));
  EXPECT_TRUE(port.Silent(150ms));
  EXPECT_EQ(sensor.Snapshot().baudRate, 57600);
  EXPECT_EQ(sensor.Snapshot().errors.commandErrors, 1);
}

TEST(SimBaudRate, HostRateCheckCanBeSwitchedOff) {
  sim::LineConfig line;
  line.checkHostBaud = false;
  sim::VirtualSensor sensor(Config("KRV02", 0), line);
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath(), 9600);
  EXPECT_TRUE(Query(port, 1, 0, cmd::GetModelName));
}

TEST(SimCheckModeChange, ChecksumToCrcAndBack) {
  sim::VirtualSensor sensor(Config("KRV04", 0));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  port.Write(frame::Build(1, 0, cmd::SetSensorCheckMode, Bytes{0}));  // 0 selects CRC
  EXPECT_TRUE(port.Silent(150ms));  // no acknowledgement from checksum mode
  EXPECT_EQ(sensor.Snapshot().checkMode, 1);
  port.Write(frame::Build(1, 0, cmd::GetModelName));
  EXPECT_TRUE(port.Silent(200ms));
  EXPECT_TRUE(Query(port, 1, 1, cmd::GetModelName));

  // From CRC mode the change is acknowledged in CRC mode.
  port.Write(frame::Build(1, 1, cmd::SetSensorCheckMode, Bytes{1}));
  auto ack = port.ReadFrame(1);
  ASSERT_TRUE(ack);
  EXPECT_EQ(*ack, frame::Build(1, 1, cmd::SetSensorCheckMode));
  EXPECT_EQ(sensor.Snapshot().checkMode, 0);
  EXPECT_TRUE(Query(port, 1, 0, cmd::GetModelName));

  port.Write(frame::Build(1, 0, cmd::SetSensorCheckMode, Bytes{2}));
  EXPECT_TRUE(port.Silent(150ms));
  EXPECT_EQ(sensor.Snapshot().checkMode, 0);
  EXPECT_EQ(sensor.Snapshot().errors.commandErrors, 1);
}

TEST(SimAddressChange, GlobalRequestWithMatchingSerialMovesTheSensor) {
  sim::SensorConfig c = Config("KRV04", 1, 1);
  c.serial = "K4030961";
  sim::VirtualSensor sensor(c);
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());

  Bytes wrong = {'K', '4', '0', '3', '0', '9', '6', '2', 9};
  port.Write(frame::Build(0, 1, cmd::SetSensorAddress, wrong));
  EXPECT_TRUE(port.Silent(200ms));
  EXPECT_EQ(sensor.Snapshot().address, 1);
  EXPECT_EQ(sensor.Snapshot().errors.commandErrors, 0);

  Bytes right = {'K', '4', '0', '3', '0', '9', '6', '1', 9};
  port.Write(frame::Build(0, 1, cmd::SetSensorAddress, right));
  auto ack = port.ReadFrame(1);
  ASSERT_TRUE(ack);
  EXPECT_EQ((*ack)[3], cmd::SetSensorAddress);
  EXPECT_EQ(sensor.Snapshot().address, 9);

  port.Write(frame::Build(1, 1, cmd::GetModelName));
  EXPECT_TRUE(port.Silent(150ms));
  auto setup = Query(port, 9, 1, cmd::GetSensorSetup);
  ASSERT_TRUE(setup);
  EXPECT_EQ((*setup)[11], 9);
}

TEST(SimAddressChange, ShortSerialTextAndOwnAddressAlsoWork) {
  sim::SensorConfig c = Config("KRV04 Board Flipper", 0, 4);
  c.serial = "AB12";
  sim::VirtualSensor sensor(c);
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  port.Write(frame::Build(4, 0, cmd::SetSensorAddress, Bytes{'A', 'B', '1', '2', 200}));
  EXPECT_TRUE(port.Silent(150ms));
  EXPECT_EQ(sensor.Snapshot().address, 200);
  // Address 0 is never taken.
  port.Write(frame::Build(0, 0, cmd::SetSensorAddress, Bytes{'A', 'B', '1', '2', 0, 0, 0, 0, 0}));
  EXPECT_TRUE(port.Silent(150ms));
  EXPECT_EQ(sensor.Snapshot().address, 200);
  EXPECT_EQ(sensor.Snapshot().errors.commandErrors, 1);
}

TEST(SimDefaults, SetDefaultsRestoresSettingsAndKeepsCommunication) {
  sim::VirtualSensor sensor(Config("KRV04", 1, 6));
  ASSERT_TRUE(sensor.Start());
  const sim::Settings factory = sensor.Snapshot().settings;
  sensor.Mutate([](sim::SensorState& s) {
    s.settings.threshold = 3;
    s.settings.rangeMode = 1;
    s.settings.analog.maxRange = 1234;
    s.settings.holdScans = 77;
  });
  Port port(sensor.SlavePath());
  port.Write(frame::Build(6, 1, cmd::SetDefaults));
  EXPECT_TRUE(port.Silent(150ms));
  auto setup = Query(port, 6, 1, cmd::GetSensorSetup);
  ASSERT_TRUE(setup);
  EXPECT_EQ((*setup)[10], factory.threshold);
  EXPECT_EQ((*setup)[27], 0);
  EXPECT_EQ(Word(*setup, 14, 1), factory.analog.maxRange);
  const sim::SensorState s = sensor.Snapshot();
  EXPECT_EQ(s.settings.holdScans, factory.holdScans);
  EXPECT_EQ(s.address, 6);
  EXPECT_EQ(s.checkMode, 1);
}

TEST(SimDefaults, AddressCanBeResetToo) {
  sim::SensorConfig c = Config("KRV04 Board Flipper", 0, 6);
  c.defaultsResetAddress = true;
  sim::VirtualSensor sensor(c);
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  port.Write(frame::Build(6, 0, cmd::SetDefaults));
  EXPECT_TRUE(port.Silent(100ms));
  EXPECT_EQ(sensor.Snapshot().address, 1);
  EXPECT_TRUE(Query(port, 1, 0, cmd::GetRange));
}

TEST(SimReset, SensorIsSilentForAMomentAndCountsTheReset) {
  sim::VirtualSensor sensor(Config("KRV02", 0));
  ASSERT_TRUE(sensor.Start());
  sensor.Mutate([](sim::SensorState& s) {
    s.flashProtect1 = 0x3C;
    s.flashProtect2 = 0xC3;
  });
  const uint16_t resetsBefore = sensor.Snapshot().errors.resets;
  Port port(sensor.SlavePath());
  port.Write(frame::Build(1, 0, cmd::StartScan));
  ASSERT_TRUE(WaitFor([&] { return sensor.Snapshot().scanning; }));
  const auto sent = Clock::now();
  port.Write(frame::Build(1, 0, cmd::ResetSensor));
  std::this_thread::sleep_for(100ms);
  port.Write(frame::Build(1, 0, cmd::GetModelName));
  EXPECT_TRUE(port.Silent(150ms));
  std::this_thread::sleep_until(sent + 600ms);
  auto errors = Query(port, 1, 0, cmd::GetErrorState);
  ASSERT_TRUE(errors);
  EXPECT_EQ(Word(*errors, 2, 0), resetsBefore + 1);
  const sim::SensorState s = sensor.Snapshot();
  EXPECT_FALSE(s.scanning);
  EXPECT_FALSE(s.FlashUnlocked());
  EXPECT_GT(s.activity.ignoredWhileReset, 0u);
}

TEST(SimIdentityChange, SerialAndModelNameChangeWhatTheSensorIs) {
  sim::VirtualSensor sensor(Config("KRV02", 1));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  const Bytes serial = {'Z', 'X', '9', '8', '7', '6', '5', '4', 0, 0, 0, 0, 0, 0, 0, 0};
  port.Write(frame::Build(1, 1, cmd::SetSerialNum, serial));
  ASSERT_TRUE(port.ReadFrame(1));
  EXPECT_EQ(Query(port, 1, 1, cmd::GetSerialNum), serial);

  // Eight characters without the zero bytes are padded.
  port.Write(frame::Build(1, 1, cmd::SetSerialNum, Bytes{'A', 'B', 'C'}));
  ASSERT_TRUE(port.ReadFrame(1));
  EXPECT_EQ(Query(port, 1, 1, cmd::GetSerialNum), (Bytes{'A', 'B', 'C', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  // A known model string makes it that model: a board flipper now.
  Bytes model(16, 0);
  const std::string bf = "0 M3-9-6BF";
  std::copy(bf.begin(), bf.end(), model.begin());
  port.Write(frame::Build(1, 1, cmd::SetModelName, model));
  ASSERT_TRUE(port.ReadFrame(1));
  EXPECT_EQ(Query(port, 1, 1, cmd::GetModelName), model);
  EXPECT_EQ(Query(port, 1, 1, cmd::GetSensorSetup)->size(), 28u);
  EXPECT_EQ(Query(port, 1, 1, cmd::GetSensorState)->size(), 22u);

  // An unknown one only changes the text.
  Bytes other(16, 0);
  const std::string text = "0 OTHER";
  std::copy(text.begin(), text.end(), other.begin());
  port.Write(frame::Build(1, 1, cmd::SetModelName, other));
  ASSERT_TRUE(port.ReadFrame(1));
  EXPECT_EQ(Query(port, 1, 1, cmd::GetModelName), other);
  EXPECT_EQ(Query(port, 1, 1, cmd::GetSensorState)->size(), 22u);
}

TEST(SimIdentityChange, UnknownModelStringCanBeForced) {
  sim::VirtualSensor sensor(Config("KRV04", 0));
  ASSERT_TRUE(sensor.Start());
  sensor.Mutate([](sim::SensorState& s) { s.modelName = sim::IdentityField("0 qmt2000"); });
  Port port(sensor.SlavePath());
  auto name = Query(port, 1, 0, cmd::GetModelName);
  ASSERT_TRUE(name);
  EXPECT_EQ(std::string(name->begin(), name->begin() + 9), "0 qmt2000");
  EXPECT_EQ((*name)[9], 0);
}

}  // namespace
