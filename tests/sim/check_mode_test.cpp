// Frames in the wrong check mode, damaged frames, unknown commands, and the
// acknowledgements that only CRC mode has.

#include <gtest/gtest.h>

#include "protocol/command_ids.h"
#include "sim_test_support.h"

namespace {

using namespace simtest;

TEST(SimCheckMode, CrcFrameToChecksumSensorIsIgnoredAndCounted) {
  sim::VirtualSensor sensor(Config("KRV02", 0));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  port.Write({0x02, 0x01, 0x00, 0x7F, 0x76, 0x3C});  // GetModelName in CRC mode
  EXPECT_TRUE(port.Silent(300ms));
  sim::SensorState s = sensor.Snapshot();
  EXPECT_EQ(s.errors.checkErrors, 1);
  EXPECT_EQ(s.activity.framesReceived, 0u);
  // The same request in the sensor's mode is answered.
  EXPECT_TRUE(Query(port, 1, 0, cmd::GetModelName));
}

TEST(SimCheckMode, ChecksumFrameToCrcSensorIsIgnoredAndCounted) {
  sim::VirtualSensor sensor(Config("KRV02", 1));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  port.Write({0x02, 0x01, 0x01, 0x7F, 0x7D});  // GetModelName in checksum mode
  EXPECT_TRUE(port.Silent(300ms));
  EXPECT_EQ(sensor.Snapshot().errors.checkErrors, 1);
  auto reply = Query(port, 1, 1, cmd::GetModelName);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->size(), 16u);
}

TEST(SimCheckMode, DamagedFrameIsCountedAndTheNextOneStillAnswered) {
  sim::VirtualSensor sensor(Config("KRV02", 0));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  // A bad checksum directly followed by a good frame, in one write.
  port.Write({0x02, 0x01, 0x01, 0x7F, 0x7E, 0x02, 0x01, 0x01, 0x82, 0x7A});
  auto f = port.ReadFrame(0);
  ASSERT_TRUE(f);
  EXPECT_EQ((*f)[3], cmd::GetMinLP);
  EXPECT_TRUE(port.Silent(100ms));
  // Noise before a frame costs nothing.
  port.Write({0x55, 0xAA, 0x00, 0x02, 0x01, 0x01, 0x82, 0x7A});
  f = port.ReadFrame(0);
  ASSERT_TRUE(f);
  EXPECT_EQ((*f)[3], cmd::GetMinLP);
  // A stray start byte in front of a frame hides it only for a moment.
  port.Write({0x02, 0x02, 0x01, 0x01, 0x82, 0x7A});
  f = port.ReadFrame(0);
  ASSERT_TRUE(f);
  EXPECT_EQ((*f)[3], cmd::GetMinLP);

  auto errors = Query(port, 1, 0, cmd::GetErrorState);
  ASSERT_TRUE(errors);
  EXPECT_EQ(Word(*errors, 4, 0), 2);  // checksum/CRC errors
  EXPECT_EQ(Word(*errors, 6, 0), 0);  // command errors
}

TEST(SimCheckMode, UnknownCommandAndWrongLengthAreCommandErrors) {
  sim::VirtualSensor sensor(Config("KRV02", 1));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  port.Write(frame::Build(1, 1, 200));
  EXPECT_TRUE(port.Silent(150ms));
  port.Write(frame::Build(1, 1, cmd::SetMinLP));  // value missing: no acknowledgement
  EXPECT_TRUE(port.Silent(150ms));
  port.Write(frame::Build(1, 1, cmd::GetModelName, Bytes{1}));
  EXPECT_TRUE(port.Silent(150ms));
  auto errors = Query(port, 1, 1, cmd::GetErrorState);
  ASSERT_TRUE(errors);
  EXPECT_EQ(Word(*errors, 6, 1), 3);
  EXPECT_EQ(Word(*errors, 4, 1), 0);
  EXPECT_EQ(Word(*errors, 8, 1), sim::kCalibrated);
}

TEST(SimCheckMode, ErrorStateLayout) {
  for (int32_t mode : {0, 1}) {
    sim::VirtualSensor sensor(Config("KRV02", mode));
    ASSERT_TRUE(sensor.Start());
    sensor.Mutate([](sim::SensorState& s) {
      s.errors = {0x0102, 0x0304, 0x0506, 0x0708, 0x090A, 0x0B0C};
    });
    Port port(sensor.SlavePath());
    auto e = Query(port, 1, mode, cmd::GetErrorState);
    ASSERT_TRUE(e);
    if (mode == 0)
      EXPECT_EQ(*e, (Bytes{2, 1, 4, 3, 6, 5, 8, 7, 0x0A, 9, 0x0C, 0x0B}));
    else
      EXPECT_EQ(*e, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 0x0A, 0x0B, 0x0C}));
  }
}

TEST(SimAcks, CrcModeAcknowledgesASetting) {
  sim::VirtualSensor sensor(Config("KRV04", 1));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  port.Write(frame::Build(1, 1, cmd::SetThreshold, Bytes{77}));
  auto ack = port.ReadFrame(1);
  ASSERT_TRUE(ack);
  EXPECT_EQ(*ack, frame::Build(1, 1, cmd::SetThreshold));
  EXPECT_EQ(ack->size(), 6u);
  EXPECT_TRUE(port.Silent(100ms));
  auto t = Query(port, 1, 1, cmd::GetThreshold);
  ASSERT_TRUE(t);
  EXPECT_EQ(*t, Bytes{77});
  EXPECT_EQ(sensor.Snapshot().activity.acksSent, 1u);
}

TEST(SimAcks, ChecksumModeSendsNoAcknowledgement) {
  sim::VirtualSensor sensor(Config("KRV04", 0));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  port.Write(frame::Build(1, 0, cmd::SetThreshold, Bytes{77}));
  EXPECT_TRUE(port.Silent(300ms));
  auto t = Query(port, 1, 0, cmd::GetThreshold);
  ASSERT_TRUE(t);
  EXPECT_EQ(*t, Bytes{77});
  EXPECT_EQ(sensor.Snapshot().activity.acksSent, 0u);
}

// Which requests are acknowledged in CRC mode, and which never are.
TEST(SimAcks, AcknowledgedCommandsInCrcMode) {
  sim::VirtualSensor sensor(Config("KRV04 Board Flipper", 1));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  const std::vector<std::pair<uint8_t, Bytes>> acknowledged = {
      {cmd::SetThreshold, {40}},         {cmd::SetMinLP, {10}},
      {cmd::SetMaxLP, {200}},            {cmd::SetKRV04Mode, {0}},
      {cmd::SetOutOfRangeMode, {0}},     {cmd::SetAnalogMinRange, {0, 0}},
      {cmd::SetAnalogMaxRange, {0x1F, 0x40}}, {cmd::SetAnalogMinVolts, {0, 0}},
      {cmd::SetAnalogMaxVolts, {0x27, 0x10}}, {cmd::SetAnalogOutOfRange, {0, 0}},
      {cmd::SetScanInterval, {0, 10}},   {cmd::SetMode, {0, 0}},
      {cmd::SetNumHoldScans, {0, 5}},    {cmd::SetBoardTimeout, {3, 0xE8}},
      {cmd::SetFilterFactors, Bytes(6, 1)}, {cmd::SetOffset, Bytes(8, 0)},
      {cmd::SetAnalogOuputFactors, Bytes(20, 0)}, {cmd::WriteWaneParams, Bytes(12, 1)},
      {cmd::SetConfigVars, Bytes(10, 0)}, {cmd::SetBaudRate, {3}},
      {cmd::SetSerialNum, Bytes{'B', 'F', '0', '3', '9', '6', '1', '8', 0, 0, 0, 0, 0, 0, 0, 0}},
      {cmd::SetModelName, Bytes{'0', ' ', 'M', '3', '-', '9', '-', '6', 'B', 'F', 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& [id, data] : acknowledged) {
    SCOPED_TRACE(static_cast<int>(id));
    port.Write(frame::Build(1, 1, id, data));
    auto ack = port.ReadFrame(1, 500ms);
    ASSERT_TRUE(ack);
    EXPECT_EQ(*ack, frame::Build(1, 1, id));
  }
  const std::vector<std::pair<uint8_t, Bytes>> silent = {
      {cmd::SetLaserOn, {}},         {cmd::SetLaserOn, {0, 0}}, {cmd::SetLaserOff, {}},
      {cmd::StartScan, {}},          {cmd::StopScan, {}},       {cmd::ApplyScanFilter, {}},
      {cmd::SetDefaults, {}},        {cmd::WriteFlashProtect1, {0}},
      {cmd::WriteFlashProtect2, {0}},
  };
  for (const auto& [id, data] : silent) {
    SCOPED_TRACE(static_cast<int>(id));
    port.Write(frame::Build(1, 1, id, data));
    EXPECT_TRUE(port.Silent(120ms));
  }
  const sim::SensorState s = sensor.Snapshot();
  EXPECT_EQ(s.activity.acksSent, acknowledged.size());
  EXPECT_EQ(s.errors.commandErrors, 0);
}

}  // namespace
