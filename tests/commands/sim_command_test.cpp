// Every command against the virtual sensor, in both check modes: the
// request the sensor received, what it did with it, and the reply areas as
// decoded from what it answered.

#include <gtest/gtest.h>

#include <cstring>

#include "commands/sim_command_fixture.h"
#include "protocol/command_ids.h"
#include "protocol/xmodem_sender.h"
#include "sim/model_table.h"

namespace {

using Bytes = std::vector<uint8_t>;
using sim::SensorState;

uint16_t W(const uint8_t* area, size_t offset) { return SensorCommands::Word(area, offset); }

// ---------------------------------------------------------------------------
// Identification and communication

TEST_P(SimCommandTest, IdentityQueries) {
  Start("KRV04 Board Flipper");
  sensor_->Mutate([](SensorState& s) {
    s.firmwareVersion = 0x0215;
    s.versionReserved = {0xAB, 0xCD};
    s.revision = 'C';
    s.fpgaVersion = 31;
  });
  const SensorState s = sensor_->Snapshot();

  ASSERT_EQ(commands_.GetModelName(), 1);
  EXPECT_TRUE(Received(cmd::GetModelName, {}));
  EXPECT_EQ(0, std::memcmp(commands_.modelName, s.modelName.data(), 16));
  EXPECT_EQ(sim::IdentityText(s.modelName).empty(), false);

  ASSERT_EQ(commands_.GetSerialNum(), 1);
  EXPECT_TRUE(Received(cmd::GetSerialNum, {}));
  EXPECT_EQ(0, std::memcmp(commands_.serialNumber, s.serialNumber.data(), 16));

  ASSERT_EQ(commands_.GetVersion(), 1);
  EXPECT_TRUE(Received(cmd::GetVersion, {}));
  EXPECT_EQ(W(commands_.version, 0), 0x0215);
  EXPECT_EQ(commands_.version[2], 0xAB);
  EXPECT_EQ(commands_.version[3], 0xCD);
  EXPECT_EQ(commands_.version[4], 'C');
  EXPECT_EQ(commands_.version[5], 31);
  EXPECT_EQ(commands_.versionValue(), 1500);
  EXPECT_EQ(commands_.versionDivisor(), 1000.0);
  EXPECT_EQ(commands_.versionFormat(), "%2.3f");

  sensor_->Mutate([](SensorState& st) {
    st.revision = 'B';
    st.firmwareVersion = 0x0102;
  });
  ASSERT_EQ(commands_.GetKRV04Version(), 1);
  EXPECT_TRUE(Received(cmd::GetKRV04Version, {}));
  EXPECT_EQ(W(commands_.krv04Version, 0), 0x0102);
  EXPECT_EQ(commands_.krv04Version[4], 'B');
  // Only GetVersion sets the version fields.
  EXPECT_EQ(commands_.versionValue(), 1500);
  ASSERT_EQ(commands_.GetVersion(), 1);
  EXPECT_EQ(commands_.versionValue(), 60);
  EXPECT_EQ(commands_.versionDivisor(), 100.0);
  EXPECT_EQ(commands_.versionFormat(), "%2.2f");
  EXPECT_TRUE(log_.lines.empty());
}

TEST_P(SimCommandTest, BaudRateChange) {
  Start("KRV04");
  const auto before = Clock::now();
  EXPECT_EQ(commands_.SetBaudRate(19200), 1);
  EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(300));
  EXPECT_TRUE(Received(cmd::SetBaudRate, {1}));
  EXPECT_TRUE(Eventually([](const SensorState& s) { return s.baudRate == 19200; }));
  EXPECT_EQ(sensor_->Snapshot().activity.acksSent, crc() ? 1u : 0u);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_P(SimCommandTest, AddressChangeGoesToTheGlobalAddress) {
  Start("KRV04");
  const SensorState s = sensor_->Snapshot();
  uint8_t payload[9] = {};
  std::memcpy(payload, s.serialNumber.data(), 8);
  payload[8] = 23;
  EXPECT_EQ(commands_.SetSensorAddress(0, payload), 1);
  EXPECT_TRUE(Received(cmd::SetSensorAddress, Bytes(payload, payload + 9), -1, 0));
  EXPECT_TRUE(Eventually([](const SensorState& st) { return st.address == 23; }));
  EXPECT_EQ(commands_.address(), kAddress);  // the caller changes it

  commands_.UseAddress(23);
  EXPECT_EQ(commands_.GetModelName(), 1);
  EXPECT_TRUE(Received(cmd::GetModelName, {}, -1, 23));
  EXPECT_TRUE(log_.lines.empty());
}

TEST_P(SimCommandTest, CheckModeChange) {
  Start("KRV02");
  const int32_t other = crc() ? frame::kChecksum : frame::kCrc;
  EXPECT_EQ(commands_.SetSensorCheckMode(other), 1);
  // The wire code is the inverse of the host's number.
  EXPECT_TRUE(Received(cmd::SetSensorCheckMode, {static_cast<uint8_t>(other == frame::kCrc ? 0 : 1)}));
  EXPECT_TRUE(Eventually([other](const SensorState& s) { return s.checkMode == other; }));
  EXPECT_EQ(commands_.checkMode(), mode_);

  commands_.UseCheckMode(other);
  EXPECT_EQ(commands_.GetSerialNum(), 1);
  EXPECT_TRUE(Received(cmd::GetSerialNum, {}, other));
  EXPECT_TRUE(log_.lines.empty());
}

TEST_P(SimCommandTest, DefaultsAndReset) {
  Start("KRV04");
  const uint8_t factoryThreshold = sim::DefaultSettings(sim::kKrv04).threshold;
  sensor_->Mutate([factoryThreshold](SensorState& s) {
    s.settings.threshold = static_cast<uint8_t>(factoryThreshold + 17);
  });
  EXPECT_EQ(commands_.SetDefaults(), 1);
  EXPECT_TRUE(Received(cmd::SetDefaults, {}));
  EXPECT_TRUE(Eventually([factoryThreshold](const SensorState& s) {
    return s.settings.threshold == factoryThreshold;
  }));

  const auto before = Clock::now();
  EXPECT_EQ(commands_.ResetSensor(), 1);
  EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(1000));
  EXPECT_TRUE(Received(cmd::ResetSensor, {}));
  // After its pause the sensor answers again.
  EXPECT_EQ(commands_.GetModelName(), 1);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_P(SimCommandTest, SerialNumberAndModelNameAreWrittenAsGiven) {
  Start("KRV02");
  const uint8_t serial[16] = {'7', '7', '0', '1', '2', '3', '4', '5', 'X', 0, 0, 0, 0, 0, 0, 0};
  const uint8_t model[16] = {'0', ' ', 'M', '3', '-', '9', '-', '6', 'B', 'F', 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(commands_.SetSerialNum(serial), 1);
  EXPECT_TRUE(Received(cmd::SetSerialNum, Bytes(serial, serial + 16)));
  EXPECT_EQ(commands_.SetModelName(model), 1);
  EXPECT_TRUE(Received(cmd::SetModelName, Bytes(model, model + 16)));
  EXPECT_TRUE(Eventually([&](const SensorState& s) {
    return std::memcmp(s.serialNumber.data(), serial, 16) == 0 && std::memcmp(s.modelName.data(), model, 16) == 0;
  }));
  ASSERT_EQ(commands_.GetSerialNum(), 1);
  EXPECT_EQ(0, std::memcmp(commands_.serialNumber, serial, 16));
  ASSERT_EQ(commands_.GetModelName(), 1);
  EXPECT_EQ(0, std::memcmp(commands_.modelName, model, 16));
  EXPECT_EQ(sensor_->Snapshot().activity.acksSent, crc() ? 2u : 0u);
  EXPECT_TRUE(log_.lines.empty());
}

// ---------------------------------------------------------------------------
// Measurement, scan and diagnostics

TEST_P(SimCommandTest, LaserAndScanControl) {
  Start("KRV02");
  EXPECT_EQ(commands_.SetLaserOff(), 1);
  EXPECT_TRUE(Received(cmd::SetLaserOff, {}));
  EXPECT_TRUE(Eventually([](const SensorState& s) { return !s.settings.laserOn; }));
  EXPECT_EQ(commands_.SetLaserOn(), 1);
  EXPECT_TRUE(Eventually([](const SensorState& s) { return s.settings.laserOn; }));
  EXPECT_EQ(commands_.StartScan(), 1);
  EXPECT_TRUE(Received(cmd::StartScan, {}));
  EXPECT_TRUE(Eventually([](const SensorState& s) { return s.scanning; }));
  EXPECT_EQ(commands_.StopScan(), 1);
  EXPECT_TRUE(Received(cmd::StopScan, {}));
  EXPECT_TRUE(Eventually([](const SensorState& s) { return !s.scanning; }));
  EXPECT_EQ(commands_.ApplyScanFilter(), 1);
  EXPECT_TRUE(Received(cmd::ApplyScanFilter, {}));
  // None of these is acknowledged, in either mode.
  EXPECT_EQ(sensor_->Snapshot().activity.acksSent, 0u);
  EXPECT_EQ(sensor_->Snapshot().errors.commandErrors, 0u);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_P(SimCommandTest, ScanStatistics) {
  Start("KRV02");
  sensor_->Mutate([](SensorState& s) {
    s.scanning = false;
    const uint16_t samples[] = {100, static_cast<uint16_t>(-50), 300, 0x8000, 10};
    for (size_t i = 0; i < 5; ++i) s.scanBuffer[i] = samples[i];
    s.scanFill = 5;
  });
  ASSERT_EQ(commands_.HLAScanResult(), 1);
  EXPECT_TRUE(Received(cmd::HLAScanResult, {}));
  EXPECT_EQ(W(commands_.hlaResult, 0), 300);
  EXPECT_EQ(W(commands_.hlaResult, 2), 2);
  EXPECT_EQ(static_cast<int16_t>(W(commands_.hlaResult, 4)), -50);
  EXPECT_EQ(W(commands_.hlaResult, 6), 1);
  EXPECT_EQ(W(commands_.hlaResult, 8), 90);
}

TEST_P(SimCommandTest, WholeScanBuffer) {
  Start("KRV02");
  auto sample = [](size_t i) { return static_cast<uint16_t>(i * 257 + 3); };
  sensor_->Mutate([&](SensorState& s) {
    s.scanning = false;
    for (size_t i = 0; i < s.scanBuffer.size(); ++i) s.scanBuffer[i] = sample(i);
    s.scanFill = s.scanBuffer.size();
  });
  ASSERT_EQ(commands_.GetScanBufferPortion(0, 8192), 1);
  EXPECT_TRUE(Received(cmd::GetScanBufferPortion, {0x00, 0x00, 0x00, 0x20}));
  size_t index = 0;
  for (size_t r = 0; r < 66; ++r) {
    const uint8_t* slot = commands_.scanBuffer + r * SensorCommands::kScanSlotSize;
    const size_t samples = (commands_.scanReplyLength[r] - 1) / 2;
    ASSERT_EQ(samples, r < 65 ? 126u : 2u) << r;
    for (size_t k = 0; k < samples; ++k, ++index) {
      // Samples stay least significant byte first, whatever the mode.
      ASSERT_EQ(slot[1 + 2 * k] | (slot[2 + 2 * k] << 8), sample(index)) << index;
    }
  }
  EXPECT_EQ(index, 8192u);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_P(SimCommandTest, ScanBufferPortion) {
  Start("KRV02");
  sensor_->Mutate([](SensorState& s) {
    s.scanning = false;
    for (size_t i = 0; i < s.scanBuffer.size(); ++i) s.scanBuffer[i] = static_cast<uint16_t>(40000 + i);
    s.scanFill = s.scanBuffer.size();
  });
  ASSERT_EQ(commands_.GetScanBufferPortion(300, 127), 1);
  EXPECT_TRUE(Received(cmd::GetScanBufferPortion, {0x2C, 0x01, 0x7F, 0x00}));
  EXPECT_EQ(commands_.scanReplyLength[0], 253u);
  EXPECT_EQ(commands_.scanReplyLength[1], 3u);
  const uint8_t* second = commands_.scanBuffer + SensorCommands::kScanSlotSize;
  EXPECT_EQ(commands_.scanBuffer[1] | (commands_.scanBuffer[2] << 8), 40300);
  EXPECT_EQ(second[1] | (second[2] << 8), 40426);
  // Nothing is left over for the next command.
  EXPECT_EQ(commands_.GetModelName(), 1);

  // A request past the end goes nowhere.
  const size_t framesBefore = ReceivedFrames().size();
  EXPECT_EQ(commands_.GetScanBufferPortion(8000, 200), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(ReceivedFrames().size(), framesBefore);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_P(SimCommandTest, ErrorCounters) {
  Start("KRV04");
  sensor_->Mutate([](SensorState& s) {
    s.errors.powerUps = 0x0102;
    s.errors.resets = 0x0304;
    s.errors.checkErrors = 0;
    s.errors.commandErrors = 0;
    s.errors.calibration = 21845;
    s.errors.illegalOperations = 0x0A0B;
  });
  ASSERT_EQ(commands_.GetErrorState(), 1);
  EXPECT_TRUE(Received(cmd::GetErrorState, {}));
  EXPECT_EQ(W(commands_.errorState, 0), 0x0102);
  EXPECT_EQ(W(commands_.errorState, 2), 0x0304);
  EXPECT_EQ(W(commands_.errorState, 4), 0);
  EXPECT_EQ(W(commands_.errorState, 6), 0);
  EXPECT_EQ(W(commands_.errorState, 8), 21845);
  EXPECT_EQ(W(commands_.errorState, 10), 0x0A0B);
}

void FreezeLive(SensorState& s) {
  s.live.animate = false;
  s.live.basePix = 0x0111;
  s.live.sumPix = 0x0222;
  s.live.numPix = 0x0333;
  s.live.subPix = 0x0444;
  s.live.range = 0x1234;
  s.live.laserPower = 0x77;
  s.live.peak = 0x0ABC;
  s.live.boardFlipper = {0x1001, 0x1002, 0x1003, 0x1004};
  s.scanning = false;
  s.scanCount = 0x10005;
}

TEST_P(SimCommandTest, Krv02LiveState) {
  Start("KRV02");
  sensor_->Mutate(FreezeLive);
  ASSERT_EQ(commands_.GetKRV02State(), 1);
  EXPECT_TRUE(Received(cmd::GetKRV02State, {}));
  const uint16_t expected[] = {0x0111, 0x0222, 0x0333, 0x0444, 0x1234, 0x0005, 0};
  for (size_t w = 0; w < 7; ++w) EXPECT_EQ(W(commands_.krv02State, 2 * w), expected[w]) << w;
}

TEST_P(SimCommandTest, Krv04LiveStatePeakAndLaserPower) {
  Start("KRV04");
  sensor_->Mutate(FreezeLive);
  ASSERT_EQ(commands_.GetSensorState(), 1);
  EXPECT_TRUE(Received(cmd::GetSensorState, {}));
  const uint16_t expected[] = {0x0111, 0x0222, 0x0333, 0x0444, 0x1234, 0x0077, 0x0ABC};
  for (size_t w = 0; w < 7; ++w) EXPECT_EQ(W(commands_.sensorState, 2 * w), expected[w]) << w;
  // The board flipper's longer reply does not fit this model.
  EXPECT_EQ(commands_.GetKRV04BFState(), 0);

  ASSERT_EQ(commands_.GetPeak(), 1);
  EXPECT_TRUE(Received(cmd::GetPeak, {}));
  EXPECT_EQ(commands_.peak, 0x0ABC);
  ASSERT_EQ(commands_.GetLaserPower(), 1);
  EXPECT_TRUE(Received(cmd::GetLaserPower, {}));
  EXPECT_EQ(commands_.laserPower, 0x77);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_P(SimCommandTest, BoardFlipperLiveState) {
  Start("KRV04 Board Flipper");
  sensor_->Mutate(FreezeLive);
  ASSERT_EQ(commands_.GetKRV04BFState(), 1);
  EXPECT_TRUE(Received(cmd::GetSensorState, {}));
  const uint16_t expected[] = {0x0111, 0x0222, 0x0333, 0x0444, 0x1234, 0x0077,
                               0x0ABC, 0x1001, 0x1002, 0x1003, 0x1004};
  for (size_t w = 0; w < 11; ++w) EXPECT_EQ(W(commands_.bfState, 2 * w), expected[w]) << w;
  EXPECT_TRUE(log_.lines.empty());

  EXPECT_EQ(commands_.GetSensorState(), 0);
  ASSERT_EQ(log_.lines.size(), 1u);
  EXPECT_EQ(log_.lines[0].text.rfind("Command GetSensorState failed. ", 0), 0u);
}

// ---------------------------------------------------------------------------
// Settings

TEST_P(SimCommandTest, Krv04SettingsOneValueAtATime) {
  Start("KRV04");
  EXPECT_EQ(commands_.SetThreshold(0x163), 1);
  EXPECT_TRUE(Received(cmd::SetThreshold, {0x63}));
  EXPECT_EQ(commands_.SetMinLP(12), 1);
  EXPECT_TRUE(Received(cmd::SetMinLP, {12}));
  EXPECT_EQ(commands_.SetMaxLP(234), 1);
  EXPECT_TRUE(Received(cmd::SetMaxLP, {234}));
  EXPECT_EQ(commands_.SetKRV04Mode(1), 1);
  EXPECT_TRUE(Received(cmd::SetKRV04Mode, {1}));
  EXPECT_EQ(commands_.SetOutOfRangeMode(5), 1);
  EXPECT_TRUE(Received(cmd::SetOutOfRangeMode, {1}));
  EXPECT_EQ(commands_.SetAnalogMinRange(0x0102), 1);
  EXPECT_TRUE(Received(cmd::SetAnalogMinRange, WireWords({0x0102})));
  EXPECT_EQ(commands_.SetAnalogMaxRange(30000), 1);
  EXPECT_TRUE(Received(cmd::SetAnalogMaxRange, WireWords({30000})));
  EXPECT_EQ(commands_.SetAnalogMinVolts(250), 1);
  EXPECT_TRUE(Received(cmd::SetAnalogMinVolts, WireWords({250})));
  EXPECT_EQ(commands_.SetAnalogMaxVolts(9750), 1);
  EXPECT_TRUE(Received(cmd::SetAnalogMaxVolts, WireWords({9750})));
  EXPECT_EQ(commands_.SetAnalogOutOfRange(10500), 1);
  EXPECT_TRUE(Received(cmd::SetAnalogOutOfRange, WireWords({10500})));
  EXPECT_EQ(commands_.SetNumHoldScans(0x0405), 1);
  EXPECT_TRUE(Received(cmd::SetNumHoldScans, WireWords({0x0405})));
  EXPECT_EQ(commands_.SetBoardTimeout(2500), 1);
  EXPECT_TRUE(Received(cmd::SetBoardTimeout, WireWords({2500})));
  EXPECT_EQ(commands_.SetScanInterval(0x0203), 1);
  EXPECT_TRUE(Received(cmd::SetScanInterval, WireWords({0x0203})));

  ASSERT_TRUE(Eventually([](const SensorState& s) { return s.settings.scanInterval == 0x0203; }));
  const SensorState s = sensor_->Snapshot();
  EXPECT_EQ(s.settings.threshold, 0x63);
  EXPECT_EQ(s.settings.minLaserPower, 12);
  EXPECT_EQ(s.settings.maxLaserPower, 234);
  EXPECT_EQ(s.settings.rangeMode, 1);
  EXPECT_EQ(s.settings.holdLastRange, 1);
  EXPECT_EQ(s.settings.analog.minRange, 0x0102);
  EXPECT_EQ(s.settings.analog.maxRange, 30000);
  EXPECT_EQ(s.settings.analog.minVolts, 250);
  EXPECT_EQ(s.settings.analog.maxVolts, 9750);
  EXPECT_EQ(s.settings.analog.outOfRangeVolts, 10500);
  EXPECT_EQ(s.settings.holdScans, 0x0405);
  EXPECT_EQ(s.settings.boardTimeout, 2500);
  EXPECT_EQ(s.errors.commandErrors, 0);
  // One acknowledgement per setting in CRC mode, none in checksum mode.
  EXPECT_EQ(s.activity.acksSent, crc() ? 13u : 0u);

  // Read back through the queries.
  ASSERT_EQ(commands_.GetKRV04Setup(), 1);
  EXPECT_TRUE(Received(cmd::GetSensorSetup, {}));
  EXPECT_EQ(commands_.krv04Setup[8], 234);
  EXPECT_EQ(commands_.krv04Setup[9], 12);
  EXPECT_EQ(commands_.krv04Setup[10], 0x63);
  EXPECT_EQ(commands_.krv04Setup[11], kAddress);
  EXPECT_EQ(W(commands_.krv04Setup, 12), 0x0102);
  EXPECT_EQ(W(commands_.krv04Setup, 14), 30000);
  EXPECT_EQ(W(commands_.krv04Setup, 16), 250);
  EXPECT_EQ(W(commands_.krv04Setup, 18), 9750);
  EXPECT_EQ(W(commands_.krv04Setup, 20), 10500);
  EXPECT_EQ(commands_.krv04Setup[26], 1);
  EXPECT_EQ(commands_.krv04Setup[27], 1);
  EXPECT_EQ(commands_.GetSensorSetup(), 0);  // the 31-byte layout is not this model's

  ASSERT_EQ(commands_.GetMinLP(), 1);
  EXPECT_TRUE(Received(cmd::GetMinLP, {}));
  EXPECT_EQ(commands_.minLP, 12);
  ASSERT_EQ(commands_.GetMaxLP(), 1);
  EXPECT_TRUE(Received(cmd::GetMaxLP, {}));
  EXPECT_EQ(commands_.maxLP, 234);
  ASSERT_EQ(commands_.GetNumHoldScans(), 1);
  EXPECT_TRUE(Received(cmd::GetNumHoldScans, {}));
  EXPECT_EQ(commands_.holdScans, 0x0405);
  ASSERT_EQ(commands_.GetBoardTimeout(), 1);
  EXPECT_TRUE(Received(cmd::GetBoardTimeout, {}));
  EXPECT_EQ(commands_.boardTimeout, 2500);
  ASSERT_EQ(log_.lines.size(), 1u);  // the refused GetSensorSetup
}

TEST_P(SimCommandTest, Krv02SetupModeFilterAndOffset) {
  Start("KRV02");
  EXPECT_EQ(commands_.SetMode(3), 1);
  EXPECT_TRUE(Received(cmd::SetMode, WireWords({3})));
  EXPECT_EQ(commands_.SetScanInterval(25), 1);

  const Bytes filter = WordsLE({4, 0x0506, 7});
  EXPECT_EQ(commands_.SetFilterFactors(filter.data()), 1);
  EXPECT_TRUE(Received(cmd::SetFilterFactors, WireWords({4, 0x0506, 7})));
  const Bytes offset = WordsLE({static_cast<uint16_t>(-120), 9999, 1001, 0x0A0B});
  Bytes offsetCopy = offset;
  EXPECT_EQ(commands_.SetOffset(offsetCopy.data()), 1);
  EXPECT_EQ(offsetCopy, offset);  // converted on a copy
  EXPECT_TRUE(Received(cmd::SetOffset, WireWords({static_cast<uint16_t>(-120), 9999, 1001, 0x0A0B})));

  ASSERT_TRUE(Eventually([](const SensorState& s) { return s.settings.offsetWord3 == 0x0A0B; }));
  const SensorState s = sensor_->Snapshot();
  EXPECT_EQ(s.settings.rangeMode, 3);
  EXPECT_EQ(s.settings.dropout, 4);
  EXPECT_EQ(s.settings.smooth, 0x0506);
  EXPECT_EQ(s.settings.order, 7);
  EXPECT_EQ(s.settings.rangeOffset, static_cast<uint16_t>(-120));
  EXPECT_EQ(s.settings.cosine, 9999);
  EXPECT_EQ(s.settings.multiplier, 1001);

  ASSERT_EQ(commands_.GetSensorSetup(), 1);
  EXPECT_TRUE(Received(cmd::GetSensorSetup, {}));
  EXPECT_EQ(commands_.sensorSetup[8], kAddress);
  EXPECT_EQ(commands_.sensorSetup[9], 3);
  EXPECT_EQ(commands_.sensorSetup[12], s.settings.threshold);
  EXPECT_EQ(W(commands_.sensorSetup, 13), 25);
  EXPECT_EQ(W(commands_.sensorSetup, 15), 4);
  EXPECT_EQ(W(commands_.sensorSetup, 17), 0x0506);
  EXPECT_EQ(W(commands_.sensorSetup, 19), 7);
  EXPECT_EQ(W(commands_.sensorSetup, 21), static_cast<uint16_t>(-120));
  EXPECT_EQ(W(commands_.sensorSetup, 23), 9999);
  EXPECT_EQ(W(commands_.sensorSetup, 25), 1001);
  EXPECT_EQ(W(commands_.sensorSetup, 27), 0x0A0B);
  EXPECT_EQ(W(commands_.sensorSetup, 29), s.settings.laserOn ? 1 : 0);
  EXPECT_EQ(commands_.GetKRV04Setup(), 0);  // a KRV02 answers with 31 bytes
}

TEST_P(SimCommandTest, AnalogRecordRoundTrip) {
  Start("KRV02");
  Bytes record = WordsLE({100, 200, 9000, 31000, 50, 10200});
  for (int b = 0xE0; b <= 0xE7; ++b) record.push_back(static_cast<uint8_t>(b));
  Bytes sent = record;
  EXPECT_EQ(commands_.SetAnalogOuputFactors(sent.data()), 1);
  Bytes wire = WireWords({100, 200, 9000, 31000, 50, 10200});
  wire.insert(wire.end(), record.begin() + 12, record.end());
  EXPECT_TRUE(Received(cmd::SetAnalogOuputFactors, wire));
  EXPECT_EQ(sent, crc() ? wire : record);  // the caller's record, converted in place

  ASSERT_TRUE(Eventually([](const SensorState& s) { return s.settings.analog.outOfRangeVolts == 10200; }));
  const SensorState s = sensor_->Snapshot();
  EXPECT_EQ(s.settings.analog.minVolts, 100);
  EXPECT_EQ(s.settings.analog.minRange, 200);
  EXPECT_EQ(s.settings.analog.maxVolts, 9000);
  EXPECT_EQ(s.settings.analog.maxRange, 31000);
  EXPECT_EQ(s.settings.analog.offsetVolts, 50);
  EXPECT_EQ(s.settings.analog.extra[0], 0xE0);
  EXPECT_EQ(s.settings.analog.extra[7], 0xE7);

  sensor_->Mutate([](SensorState& st) { st.settings.analog.word20 = 0x0C0D; });
  ASSERT_EQ(commands_.GetAnalogFactors(), 1);
  EXPECT_TRUE(Received(cmd::GetAnalogFactors, {}));
  EXPECT_EQ(Bytes(commands_.analogFactors, commands_.analogFactors + 20), record);
  EXPECT_EQ(W(commands_.analogFactors, 20), 0x0C0D);
}

TEST_P(SimCommandTest, WaneRecordRoundTrip) {
  Start("KRV04 Board Flipper");
  Bytes record = WordsLE({300, 650, 1200});
  record.insert(record.end(), {0x11, 0x22, 0x33, 0x44});
  const Bytes pulse = WordsLE({35});
  record.insert(record.end(), pulse.begin(), pulse.end());
  Bytes sent = record;
  EXPECT_EQ(commands_.WriteWaneParams(sent.data()), 1);
  Bytes wire = WireWords({300, 650, 1200});
  wire.insert(wire.end(), {0x11, 0x22, 0x33, 0x44});
  const Bytes pulseWire = WireWords({35});
  wire.insert(wire.end(), pulseWire.begin(), pulseWire.end());
  EXPECT_TRUE(Received(cmd::WriteWaneParams, wire));
  EXPECT_EQ(sent, crc() ? wire : record);

  ASSERT_TRUE(Eventually([](const SensorState& s) { return s.settings.wane.pulse == 35; }));
  const SensorState s = sensor_->Snapshot();
  EXPECT_EQ(s.settings.wane.height, 300);
  EXPECT_EQ(s.settings.wane.width, 650);
  EXPECT_EQ(s.settings.wane.speed, 1200);
  EXPECT_EQ(s.settings.wane.reserved[0], 0x11);
  EXPECT_EQ(s.settings.wane.reserved[3], 0x44);

  ASSERT_EQ(commands_.ReadWaneParams(), 1);
  EXPECT_TRUE(Received(cmd::ReadWaneParams, {}));
  EXPECT_EQ(Bytes(commands_.waneParams, commands_.waneParams + 12), record);
}

TEST_P(SimCommandTest, ConfigVarsRoundTrip) {
  Start("KRV04");
  Bytes record = WordsLE({2, 0x0304, 1, 0x86A0});
  record.push_back(0x5A);
  record.push_back(0xA5);
  Bytes sent = record;
  EXPECT_EQ(commands_.SetConfigVars(sent.data()), 1);
  Bytes wire = WireWords({2, 0x0304, 1, 0x86A0});
  wire.push_back(0x5A);
  wire.push_back(0xA5);
  EXPECT_TRUE(Received(cmd::SetConfigVars, wire));
  EXPECT_EQ(sent, crc() ? wire : record);

  ASSERT_TRUE(Eventually([](const SensorState& s) { return s.settings.averagingLow == 0x86A0; }));
  const SensorState s = sensor_->Snapshot();
  EXPECT_EQ(s.settings.configWord0, 2);
  EXPECT_EQ(s.settings.configWord1, 0x0304);
  EXPECT_EQ(s.settings.averagingHigh, 1);
  EXPECT_EQ(s.settings.configBytes[0], 0x5A);
  EXPECT_EQ(s.settings.configBytes[1], 0xA5);

  ASSERT_EQ(commands_.GetConfigVars(), 1);
  EXPECT_TRUE(Received(cmd::GetConfigVars, {}));
  EXPECT_EQ(Bytes(commands_.configVars, commands_.configVars + 10), record);
}

// ---------------------------------------------------------------------------
// Firmware and flash

struct UploadKind {
  int (SensorCommands::*start)();
  uint8_t id;
};

TEST_P(SimCommandTest, FlashProtectionAndUploads) {
  Start("KRV04 Board Flipper");
  const UploadKind kinds[] = {{&SensorCommands::UploadCode, cmd::UploadCode},
                              {&SensorCommands::UploadFPGA, cmd::UploadFPGA},
                              {&SensorCommands::UploadCalibration, cmd::UploadCalibration}};
  XmodemSender sender(&link_);
  size_t size = 300;
  for (const UploadKind& kind : kinds) {
    EXPECT_EQ(commands_.WriteFlashProtect1(0x3C), 1);
    EXPECT_TRUE(Received(cmd::WriteFlashProtect1, {0x3C}));
    EXPECT_EQ(commands_.WriteFlashProtect2(0xC3), 1);
    EXPECT_TRUE(Received(cmd::WriteFlashProtect2, {0xC3}));
    ASSERT_TRUE(Eventually([](const SensorState& s) { return s.FlashUnlocked(); }));

    ASSERT_EQ((commands_.*kind.start)(), 1);
    EXPECT_TRUE(Received(kind.id, {}));
    Bytes image(size);
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 13 + kind.id);
    sender.Reset();
    int32_t result = 0;
    for (size_t i = 0; i < image.size() && result == 0; ++i) result = sender.Put(image[i], i + 1 == image.size());
    EXPECT_EQ(result, 0);

    EXPECT_EQ(commands_.WriteFlashProtect1(0), 1);
    EXPECT_EQ(commands_.WriteFlashProtect2(0), 1);
    ASSERT_TRUE(Eventually([](const SensorState& s) { return !s.FlashUnlocked(); }));
    const SensorState s = sensor_->Snapshot();
    EXPECT_EQ(s.upload.command, kind.id);
    EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kCompleted);
    Bytes expected = image;
    expected.resize((size + 127) / 128 * 128, image.back());
    EXPECT_EQ(s.upload.image, expected);
    EXPECT_EQ(s.upload.naks, 0u);
    size += 128;
  }
  EXPECT_EQ(sensor_->Snapshot().upload.completedUploads, 3u);
  EXPECT_EQ(sensor_->Snapshot().errors.illegalOperations, 0u);
  EXPECT_TRUE(log_.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(BothModes, SimCommandTest, ::testing::Values(frame::kChecksum, frame::kCrc),
                         [](const ::testing::TestParamInfo<int32_t>& param) {
                           return std::string(param.param == frame::kCrc ? "Crc" : "Checksum");
                         });

}  // namespace
