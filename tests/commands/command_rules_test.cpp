// The rules every command follows: log lines and the message buffer,
// refused arguments, pauses and acknowledgement waits, records converted in
// place or on a copy, the version fields and the scan buffer transfer.

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "commands/pty_command_fixture.h"
#include "protocol/command_ids.h"

namespace {

using Bytes = std::vector<uint8_t>;
const std::string kTimeoutText = "dcs_ReadHeader timeout waiting for STX";

// ---------------------------------------------------------------------------
// Log lines

TEST_F(PtyCommandTest, FailedQueryWritesOneLineWithTheLinkErrorText) {
  Open(frame::kChecksum);
  EXPECT_EQ(commands_.GetSerialNum(), 0);
  ASSERT_EQ(log_.lines.size(), 1u);
  EXPECT_EQ(log_.lines[0].kind, 0);
  EXPECT_EQ(log_.lines[0].text, "Command GetSerialNum failed. " + kTimeoutText);
  EXPECT_EQ(commands_.lastMessage(), log_.lines[0].text);
}

TEST_F(PtyCommandTest, WrongSizeReplyQuotesTheEarlierFailure) {
  Open(frame::kCrc);
  EXPECT_EQ(commands_.GetMinLP(), 0);  // times out: sets the link's error text
  Queue(cmd::GetSensorSetup, Bytes(31, 1));  // a KRV02-family reply
  EXPECT_EQ(commands_.GetKRV04Setup(), 0);
  ASSERT_EQ(log_.lines.size(), 2u);
  EXPECT_EQ(log_.lines[1].kind, 0);
  EXPECT_EQ(log_.lines[1].text, "Command GetKRV04Setup failed. " + kTimeoutText);
  EXPECT_EQ(commands_.lastMessage(), log_.lines[1].text);
}

TEST_F(PtyCommandTest, VerboseAddsSuccessLinesOnly) {
  Open(frame::kChecksum);
  commands_.SetVerbose(true);
  Queue(cmd::GetSerialNum, Bytes(16, '7'));
  EXPECT_EQ(commands_.GetSerialNum(), 1);
  EXPECT_EQ(commands_.SetMinLP(10), 1);
  ASSERT_EQ(log_.lines.size(), 2u);
  EXPECT_EQ(log_.lines[0].kind, 1);
  EXPECT_EQ(log_.lines[0].text, "Command GetSerialNum completed");
  EXPECT_EQ(log_.lines[1].kind, 1);
  EXPECT_EQ(log_.lines[1].text, "Command SetMinLP completed");
  EXPECT_TRUE(commands_.lastMessage().empty());
}

TEST_F(PtyCommandTest, QuietModelNameQueryLogsNothing) {
  Open(frame::kChecksum);
  commands_.SetVerbose(true);
  EXPECT_EQ(commands_.GetModelName(true), 0);
  EXPECT_TRUE(log_.lines.empty());
  Queue(cmd::GetModelName, Bytes(16, 'K'));
  EXPECT_EQ(commands_.GetModelName(true), 1);
  EXPECT_TRUE(log_.lines.empty());

  commands_.SetVerbose(false);
  EXPECT_EQ(commands_.GetModelName(), 0);
  ASSERT_EQ(log_.lines.size(), 1u);
  EXPECT_EQ(log_.lines[0].text, "Command GetModelName failed. " + kTimeoutText);
}

TEST_F(PtyCommandTest, BoardFlipperStateAndHoldScansWriteNoLines) {
  Open(frame::kChecksum);
  commands_.SetVerbose(true);
  // Replies of the wrong size fail both at once.
  Queue(cmd::GetSensorState, Bytes(14, 1));
  EXPECT_EQ(commands_.GetKRV04BFState(), 0);
  Queue(cmd::GetNumHoldScans, Bytes(3, 1));
  EXPECT_EQ(commands_.GetNumHoldScans(), 0);
  Queue(cmd::GetSensorState, Bytes(22, 1));
  EXPECT_EQ(commands_.GetKRV04BFState(), 1);
  Queue(cmd::GetNumHoldScans, Bytes(2, 1));
  EXPECT_EQ(commands_.GetNumHoldScans(), 1);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(PtyCommandTest, ModelDecidesWhichStateQuerySucceeds) {
  Open(frame::kCrc);
  Queue(cmd::GetSensorState, Bytes(22, 2));
  EXPECT_EQ(commands_.GetSensorState(), 0);
  EXPECT_EQ(log_.lines.size(), 1u);
  Queue(cmd::GetSensorState, Bytes(22, 2));
  EXPECT_EQ(commands_.GetKRV04BFState(), 1);
  Queue(cmd::GetSensorSetup, Bytes(28, 3));
  EXPECT_EQ(commands_.GetSensorSetup(), 0);
  Queue(cmd::GetSensorSetup, Bytes(28, 3));
  EXPECT_EQ(commands_.GetKRV04Setup(), 1);
}

TEST(SensorCommandsWithoutLink, CommandsFailWithALogLine) {
  SensorCommands commands;
  RecordingLogSink log;
  commands.SetLogSink(&log);
  EXPECT_EQ(commands.GetSerialNum(), 0);
  EXPECT_EQ(commands.SetMinLP(3), 0);
  EXPECT_EQ(commands.GetScanBufferPortion(0, 10), 0);
  EXPECT_EQ(commands.UploadCode(), 0);
  ASSERT_EQ(log.lines.size(), 4u);
  EXPECT_EQ(log.lines[1].kind, 0);
  EXPECT_EQ(log.lines[1].text.rfind("Command SetMinLP failed. ", 0), 0u);
  EXPECT_EQ(commands.GetModelName(true), 0);
  EXPECT_EQ(commands.GetKRV04BFState(), 0);
  EXPECT_EQ(log.lines.size(), 4u);
}

// ---------------------------------------------------------------------------
// Refused arguments and commands of their own shape

TEST_F(PtyCommandTest, UnsupportedBaudRateSendsAndLogsNothing) {
  Open(frame::kCrc);
  for (int32_t rate : {115200, 4800, 0, -9600}) EXPECT_EQ(commands_.SetBaudRate(rate), 0) << rate;
  EXPECT_TRUE(Rest(300).empty());
  EXPECT_TRUE(log_.lines.empty());
  EXPECT_TRUE(commands_.lastMessage().empty());
}

TEST_F(PtyCommandTest, BaudRateChangePausesBeforeTheAcknowledgement) {
  Open(frame::kCrc);
  Queue(cmd::SetBaudRate, {0x06});
  const auto before = Clock::now();
  EXPECT_EQ(commands_.SetBaudRate(38400), 1);
  EXPECT_GE(Ms(Clock::now() - before), 300);
  EXPECT_EQ(ReadRequest(), Request(cmd::SetBaudRate, {2}));
  EXPECT_TRUE(LineWasEmptied());
  // The command does not touch the port's own rate.
  SerialSettings settings;
  link_.GetSettings(settings);
  EXPECT_EQ(settings.baudRate, 57600);
}

TEST_F(PtyCommandTest, CheckModeIsInvertedForTheWireAndTheLineIsCleared) {
  Open(frame::kChecksum);
  commands_.SetVerbose(true);
  const std::pair<int32_t, uint8_t> cases[] = {{1, 0}, {0, 1}, {5, 5}, {0x102, 0x02}};
  for (const auto& [argument, wire] : cases) {
    // Something is waiting on the line; the command throws it away.
    Queue(cmd::SetSensorCheckMode, {0x06});
    const auto before = Clock::now();
    EXPECT_EQ(commands_.SetSensorCheckMode(argument), 1);
    EXPECT_GE(Ms(Clock::now() - before), 250);
    EXPECT_EQ(ReadRequest(), Request(cmd::SetSensorCheckMode, {wire})) << argument;
    EXPECT_TRUE(LineWasEmptied());
  }
  ASSERT_EQ(log_.lines.size(), 4u);
  EXPECT_EQ(log_.lines[0].text, "Command SetSensorCheckMode completed");
  // Neither the object's mode nor its address change.
  EXPECT_EQ(commands_.checkMode(), frame::kChecksum);
  EXPECT_EQ(commands_.address(), kAddress);
}

TEST_F(PtyCommandTest, CheckModeChangeInCrcModeWaitsForNoAcknowledgement) {
  Open(frame::kCrc);
  const auto before = Clock::now();
  EXPECT_EQ(commands_.SetSensorCheckMode(0), 1);
  const long took = Ms(Clock::now() - before);
  EXPECT_GE(took, 250);
  EXPECT_LT(took, 900);
  EXPECT_EQ(ReadRequest(), Request(cmd::SetSensorCheckMode, {1}));
}

TEST_F(PtyCommandTest, ResetWaitsOneSecondBeforeReportingSuccess) {
  Open(frame::kCrc);
  commands_.SetVerbose(true);
  const auto before = Clock::now();
  EXPECT_EQ(commands_.ResetSensor(), 1);
  EXPECT_GE(Ms(Clock::now() - before), 1000);
  EXPECT_EQ(ReadRequest(), Request(cmd::ResetSensor, {}));
  ASSERT_EQ(log_.lines.size(), 1u);
  EXPECT_EQ(log_.lines[0].text, "Command ResetSensor completed");
}

TEST_F(PtyCommandTest, FailedResetDoesNotWait) {
  Open(frame::kChecksum);
  link_.Disconnect();
  const auto before = Clock::now();
  EXPECT_EQ(commands_.ResetSensor(), 0);
  EXPECT_LT(Ms(Clock::now() - before), 900);
  ASSERT_EQ(log_.lines.size(), 1u);
  EXPECT_EQ(log_.lines[0].text.rfind("Command ResetSensor failed. ", 0), 0u);
}

// ---------------------------------------------------------------------------
// Acknowledgements and pauses

TEST_F(PtyCommandTest, CrcSettingSucceedsWhenTheAcknowledgementNeverComes) {
  Open(frame::kCrc);
  const auto before = Clock::now();
  EXPECT_EQ(commands_.SetMinLP(25), 1);
  const long took = Ms(Clock::now() - before);
  EXPECT_GE(took, 950);
  EXPECT_LT(took, 3000);
  EXPECT_EQ(ReadRequest(), Request(cmd::SetMinLP, {25}));
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(PtyCommandTest, ChecksumSettingNeverWaitsForAnAcknowledgement) {
  Open(frame::kChecksum);
  const auto before = Clock::now();
  EXPECT_EQ(commands_.SetMinLP(25), 1);
  EXPECT_EQ(commands_.SetAnalogMaxRange(1000), 1);
  EXPECT_LT(Ms(Clock::now() - before), 800);
}

TEST_F(PtyCommandTest, FlashProtectionPausesEvenWhenTheWriteFails) {
  Open(frame::kChecksum);
  auto before = Clock::now();
  EXPECT_EQ(commands_.WriteFlashProtect1(0x3C), 1);
  EXPECT_GE(Ms(Clock::now() - before), 50);
  before = Clock::now();
  EXPECT_EQ(commands_.WriteFlashProtect2(0xC3), 1);
  EXPECT_GE(Ms(Clock::now() - before), 50);

  link_.Disconnect();
  before = Clock::now();
  EXPECT_EQ(commands_.WriteFlashProtect1(0), 0);
  EXPECT_GE(Ms(Clock::now() - before), 50);
  before = Clock::now();
  EXPECT_EQ(commands_.WriteFlashProtect2(0), 0);
  EXPECT_GE(Ms(Clock::now() - before), 50);
  ASSERT_EQ(log_.lines.size(), 2u);
  EXPECT_EQ(log_.lines[0].text.rfind("Command WriteFlashProtect1 failed. ", 0), 0u);
  EXPECT_EQ(log_.lines[1].text.rfind("Command WriteFlashProtect2 failed. ", 0), 0u);
}

TEST_F(PtyCommandTest, UploadStartTakesTheSensorsReplyInEitherMode) {
  struct Case {
    int32_t mode;
    uint8_t id;
    int (SensorCommands::*op)();
  };
  const Case cases[] = {{frame::kChecksum, cmd::UploadFPGA, &SensorCommands::UploadFPGA},
                        {frame::kChecksum, cmd::UploadCode, &SensorCommands::UploadCode},
                        {frame::kCrc, cmd::UploadCalibration, &SensorCommands::UploadCalibration},
                        {frame::kCrc, cmd::UploadCode, &SensorCommands::UploadCode}};
  Open(frame::kChecksum);
  for (const Case& c : cases) {
    mode_ = c.mode;
    commands_.UseCheckMode(c.mode);
    Queue(c.id, {0x06});
    EXPECT_EQ((commands_.*c.op)(), 1);
    EXPECT_EQ(ReadRequest(), Request(c.id, {}));
    EXPECT_TRUE(LineWasEmptied());
  }
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(PtyCommandTest, UploadStartInChecksumModeWaitsForTheReply) {
  Open(frame::kChecksum);
  const auto before = Clock::now();
  // No reply: the outcome of the wait does not change the result.
  EXPECT_EQ(commands_.UploadFPGA(), 1);
  EXPECT_GE(Ms(Clock::now() - before), 950);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(PtyCommandTest, FailedUploadStartDoesNotWaitForAReply) {
  Open(frame::kChecksum);
  link_.Disconnect();
  const auto before = Clock::now();
  EXPECT_EQ(commands_.UploadCalibration(), 0);
  EXPECT_LT(Ms(Clock::now() - before), 900);
  ASSERT_EQ(log_.lines.size(), 1u);
  EXPECT_EQ(log_.lines[0].text.rfind("Command UploadCalibration failed. ", 0), 0u);
}

// ---------------------------------------------------------------------------
// Records converted in place or on a copy

TEST_F(PtyCommandTest, WaneParamsAreLeftInWireOrderInCrcMode) {
  Open(frame::kCrc);
  uint8_t record[12] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C};
  Queue(cmd::WriteWaneParams, {0x06});
  EXPECT_EQ(commands_.WriteWaneParams(record), 1);
  const Bytes wire = {0x02, 0x01, 0x04, 0x03, 0x06, 0x05, 0x07, 0x08, 0x09, 0x0A, 0x0C, 0x0B};
  EXPECT_EQ(Bytes(record, record + 12), wire);
  EXPECT_EQ(ReadRequest(), Request(cmd::WriteWaneParams, wire));
}

TEST_F(PtyCommandTest, RecordsAreUntouchedInChecksumMode) {
  Open(frame::kChecksum);
  uint8_t wane[12], analog[20], config[10];
  for (size_t i = 0; i < 20; ++i) {
    if (i < 12) wane[i] = static_cast<uint8_t>(i + 1);
    analog[i] = static_cast<uint8_t>(i + 1);
    if (i < 10) config[i] = static_cast<uint8_t>(i + 1);
  }
  EXPECT_EQ(commands_.WriteWaneParams(wane), 1);
  EXPECT_EQ(commands_.SetAnalogOuputFactors(analog), 1);
  EXPECT_EQ(commands_.SetConfigVars(config), 1);
  for (size_t i = 0; i < 20; ++i) {
    if (i < 12) {
      EXPECT_EQ(wane[i], i + 1);
    }
    EXPECT_EQ(analog[i], i + 1);
    if (i < 10) {
      EXPECT_EQ(config[i], i + 1);
    }
  }
}

TEST_F(PtyCommandTest, AnalogFactorsAndConfigVarsAreConvertedInPlace) {
  Open(frame::kCrc);
  uint8_t analog[20], config[10];
  for (size_t i = 0; i < 20; ++i) analog[i] = static_cast<uint8_t>(0x40 + i);
  for (size_t i = 0; i < 10; ++i) config[i] = static_cast<uint8_t>(0x60 + i);
  Queue(cmd::SetAnalogOuputFactors, {0x06});
  EXPECT_EQ(commands_.SetAnalogOuputFactors(analog), 1);
  Queue(cmd::SetConfigVars, {0x06});
  EXPECT_EQ(commands_.SetConfigVars(config), 1);
  for (size_t i = 0; i < 12; i += 2) {
    EXPECT_EQ(analog[i], 0x40 + i + 1);
    EXPECT_EQ(analog[i + 1], 0x40 + i);
  }
  for (size_t i = 12; i < 20; ++i) EXPECT_EQ(analog[i], 0x40 + i);
  for (size_t i = 0; i < 8; i += 2) {
    EXPECT_EQ(config[i], 0x60 + i + 1);
    EXPECT_EQ(config[i + 1], 0x60 + i);
  }
  EXPECT_EQ(config[8], 0x68);
  EXPECT_EQ(config[9], 0x69);
}

TEST_F(PtyCommandTest, OffsetAndFilterConvertACopy) {
  Open(frame::kCrc);
  const uint8_t offset[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const uint8_t filter[6] = {9, 10, 11, 12, 13, 14};
  uint8_t offsetCopy[8], filterCopy[6];
  std::memcpy(offsetCopy, offset, 8);
  std::memcpy(filterCopy, filter, 6);
  Queue(cmd::SetOffset, {0x06});
  EXPECT_EQ(commands_.SetOffset(offsetCopy), 1);
  Queue(cmd::SetFilterFactors, {0x06});
  EXPECT_EQ(commands_.SetFilterFactors(filterCopy), 1);
  EXPECT_EQ(0, std::memcmp(offsetCopy, offset, 8));
  EXPECT_EQ(0, std::memcmp(filterCopy, filter, 6));
  EXPECT_EQ(ReadRequest(), Request(cmd::SetOffset, {2, 1, 4, 3, 6, 5, 8, 7}));
  EXPECT_EQ(ReadRequest(), Request(cmd::SetFilterFactors, {10, 9, 12, 11, 14, 13}));
}

// ---------------------------------------------------------------------------
// Version fields

TEST_F(PtyCommandTest, VersionFieldsFollowTheRevisionLetter) {
  EXPECT_EQ(commands_.versionValue(), 1);
  EXPECT_EQ(commands_.versionDivisor(), 1.0);
  EXPECT_EQ(commands_.versionFormat(), "Unknown version");

  Open(frame::kCrc);
  Queue(cmd::GetVersion, {0x01, 0x2C, 0, 0, 'C', 25});
  ASSERT_EQ(commands_.GetVersion(), 1);
  EXPECT_EQ(SensorCommands::Word(commands_.version, 0), 300);
  EXPECT_EQ(commands_.version[4], 'C');
  EXPECT_EQ(commands_.version[5], 25);
  EXPECT_EQ(commands_.versionValue(), 1500);
  EXPECT_EQ(commands_.versionDivisor(), 1000.0);
  EXPECT_EQ(commands_.versionFormat(), "%2.3f");

  Queue(cmd::GetVersion, {0x01, 0x2C, 0, 0, 'B', 25});
  ASSERT_EQ(commands_.GetVersion(), 1);
  EXPECT_EQ(commands_.versionValue(), 60);
  EXPECT_EQ(commands_.versionDivisor(), 100.0);
  EXPECT_EQ(commands_.versionFormat(), "%2.2f");

  // A failed query keeps what the last good one set.
  Queue(cmd::GetVersion, {0x01, 0x2C, 0, 0, 'C'});
  EXPECT_EQ(commands_.GetVersion(), 0);
  EXPECT_EQ(commands_.versionValue(), 60);
  EXPECT_EQ(commands_.versionFormat(), "%2.2f");
  EXPECT_EQ(commands_.version[4], 'B');
}

TEST(SensorCommandsAreas, ClearReplyBuffersKeepsWaneHoldScansAndTimeout) {
  SensorCommands c;
  std::memset(c.krv04Setup, 1, sizeof c.krv04Setup);
  std::memset(c.scanBuffer, 1, sizeof c.scanBuffer);
  std::memset(c.serialNumber, 1, sizeof c.serialNumber);
  std::memset(c.hlaResult, 1, sizeof c.hlaResult);
  std::memset(c.analogFactors, 1, sizeof c.analogFactors);
  std::memset(c.configVars, 1, sizeof c.configVars);
  std::memset(c.sensorSetup, 1, sizeof c.sensorSetup);
  std::memset(c.krv02State, 1, sizeof c.krv02State);
  std::memset(c.sensorState, 1, sizeof c.sensorState);
  std::memset(c.errorState, 1, sizeof c.errorState);
  std::memset(c.version, 1, sizeof c.version);
  std::memset(c.krv04Version, 1, sizeof c.krv04Version);
  std::memset(c.modelName, 1, sizeof c.modelName);
  std::memset(c.waneParams, 1, sizeof c.waneParams);
  std::memset(c.bfState, 1, sizeof c.bfState);
  c.minLP = c.maxLP = c.laserPower = 1;
  c.holdScans = c.boardTimeout = c.peak = 1;
  c.scanReplyLength[3] = 253;

  c.ClearReplyBuffers();
  auto zero = [](const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      if (p[i] != 0) return false;
    }
    return true;
  };
  EXPECT_TRUE(zero(c.krv04Setup, sizeof c.krv04Setup));
  EXPECT_TRUE(zero(c.scanBuffer, sizeof c.scanBuffer));
  EXPECT_TRUE(zero(c.serialNumber, sizeof c.serialNumber));
  EXPECT_TRUE(zero(c.hlaResult, sizeof c.hlaResult));
  EXPECT_TRUE(zero(c.analogFactors, sizeof c.analogFactors));
  EXPECT_TRUE(zero(c.configVars, sizeof c.configVars));
  EXPECT_TRUE(zero(c.sensorSetup, sizeof c.sensorSetup));
  EXPECT_TRUE(zero(c.krv02State, sizeof c.krv02State));
  EXPECT_TRUE(zero(c.sensorState, sizeof c.sensorState));
  EXPECT_TRUE(zero(c.errorState, sizeof c.errorState));
  EXPECT_TRUE(zero(c.version, sizeof c.version));
  EXPECT_TRUE(zero(c.krv04Version, sizeof c.krv04Version));
  EXPECT_TRUE(zero(c.modelName, sizeof c.modelName));
  EXPECT_TRUE(zero(c.bfState, sizeof c.bfState));
  EXPECT_EQ(c.minLP, 0);
  EXPECT_EQ(c.maxLP, 0);
  EXPECT_EQ(c.laserPower, 0);
  EXPECT_EQ(c.peak, 0);
  EXPECT_EQ(c.scanReplyLength[3], 0u);
  // Kept.
  for (uint8_t b : c.waneParams) EXPECT_EQ(b, 1);
  EXPECT_EQ(c.holdScans, 1);
  EXPECT_EQ(c.boardTimeout, 1);
}

// ---------------------------------------------------------------------------
// Scan buffer transfer

Bytes ScanReply(size_t index, size_t samples, size_t toCome) {
  Bytes data{static_cast<uint8_t>(toCome)};
  for (size_t s = 0; s < samples * 2; ++s) data.push_back(static_cast<uint8_t>(index * 7 + s));
  return data;
}

TEST_F(PtyCommandTest, ScanRequestsBeyondTheBufferAreRefused) {
  Open(frame::kChecksum);
  const std::pair<int32_t, int32_t> refused[] = {
      {8000, 200}, {8192, 1}, {-1, 10}, {0, -1}, {-3000, 9000}, {0x8000, 10}, {10, 0xFFFF}};
  for (const auto& [start, count] : refused) {
    EXPECT_EQ(commands_.GetScanBufferPortion(start, count), 0) << start << "," << count;
  }
  EXPECT_TRUE(Rest(300).empty());
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(PtyCommandTest, ScanStartAndCountTravelLowByteFirstInCrcMode) {
  Open(frame::kCrc);
  Queue(cmd::GetScanBufferPortion, ScanReply(0, 1, 0));
  EXPECT_EQ(commands_.GetScanBufferPortion(300, 1), 1);
  EXPECT_EQ(ReadRequest(), Request(cmd::GetScanBufferPortion, {0x2C, 0x01, 0x01, 0x00}));
  // Samples are stored as they came.
  const Bytes reply = ScanReply(0, 1, 0);
  EXPECT_EQ(Bytes(commands_.scanBuffer, commands_.scanBuffer + reply.size()), reply);
  EXPECT_EQ(commands_.scanReplyLength[0], reply.size());
}

TEST_F(PtyCommandTest, ScanCountDecidesHowManyRepliesAreRead) {
  Open(frame::kChecksum);
  // 126 samples fit one reply: the second one stays on the line.
  Queue(cmd::GetScanBufferPortion, ScanReply(0, 126, 0));
  const Bytes second = ScanReply(1, 5, 0);
  Queue(cmd::GetScanBufferPortion, second);
  EXPECT_EQ(commands_.GetScanBufferPortion(0, 126), 1);
  EXPECT_EQ(ReadRequest(), Request(cmd::GetScanBufferPortion, {0, 0, 126, 0}));
  EXPECT_TRUE(NextFrameIs(cmd::GetScanBufferPortion, &second));

  // 127 samples take two.
  Queue(cmd::GetScanBufferPortion, ScanReply(0, 126, 1));
  Queue(cmd::GetScanBufferPortion, ScanReply(1, 1, 0));
  EXPECT_EQ(commands_.GetScanBufferPortion(10, 127), 1);
  EXPECT_TRUE(LineWasEmptied());
  EXPECT_EQ(commands_.scanReplyLength[0], 253u);
  EXPECT_EQ(commands_.scanReplyLength[1], 3u);
  EXPECT_EQ(commands_.scanBuffer[253], 0);
  EXPECT_EQ(commands_.scanBuffer[254], ScanReply(1, 1, 0)[1]);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(PtyCommandTest, WholeScanBufferIsSixtySixReplies) {
  Open(frame::kChecksum);
  std::vector<Bytes> replies;
  size_t left = 8192;
  for (size_t i = 0; i < 66; ++i) {
    const size_t samples = std::min<size_t>(left, 126);
    left -= samples;
    replies.push_back(ScanReply(i, samples, 65 - i));
  }
  // Far more than a line buffers at once: feed it while the host reads.
  std::thread sensor([&] {
    for (const Bytes& r : replies) pty_.Write(Frame(cmd::GetScanBufferPortion, r), 5000);
  });
  EXPECT_EQ(commands_.GetScanBufferPortion(0, 8192), 1);
  sensor.join();
  EXPECT_EQ(ReadRequest(), Request(cmd::GetScanBufferPortion, {0, 0, 0x00, 0x20}));
  for (size_t i = 0; i < 66; ++i) {
    ASSERT_EQ(commands_.scanReplyLength[i], replies[i].size()) << i;
    ASSERT_EQ(Bytes(commands_.scanBuffer + i * 253, commands_.scanBuffer + i * 253 + replies[i].size()),
              replies[i])
        << i;
  }
  EXPECT_EQ(replies.back().size(), 5u);  // 8192 = 65 * 126 + 2
}

TEST_F(PtyCommandTest, OverlongScanReplyIsCutToItsSlot) {
  Open(frame::kCrc);
  Bytes longReply(255);
  for (size_t i = 0; i < longReply.size(); ++i) longReply[i] = static_cast<uint8_t>(i + 1);
  commands_.scanBuffer[253] = 0xEE;
  commands_.scanBuffer[254] = 0xEE;
  Queue(cmd::GetScanBufferPortion, longReply);
  EXPECT_EQ(commands_.GetScanBufferPortion(0, 100), 1);
  EXPECT_EQ(commands_.scanReplyLength[0], 253u);
  EXPECT_EQ(Bytes(commands_.scanBuffer, commands_.scanBuffer + 253), Bytes(longReply.begin(), longReply.begin() + 253));
  EXPECT_EQ(commands_.scanBuffer[253], 0xEE);
  EXPECT_EQ(commands_.scanBuffer[254], 0xEE);
}

TEST_F(PtyCommandTest, MissingScanReplyWritesTheFailureLine) {
  Open(frame::kChecksum);
  commands_.SetVerbose(true);
  Queue(cmd::GetScanBufferPortion, ScanReply(0, 126, 1));
  EXPECT_EQ(commands_.GetScanBufferPortion(0, 200), 0);
  ASSERT_EQ(log_.lines.size(), 2u);  // the request went out, the second reply did not come
  EXPECT_EQ(log_.lines[0].kind, 1);
  EXPECT_EQ(log_.lines[0].text, "Command GetScanBufferPortion completed");
  EXPECT_EQ(log_.lines[1].kind, 0);
  EXPECT_EQ(log_.lines[1].text, "Command GetScanBufferPortion failed. " + kTimeoutText);
}

TEST_F(PtyCommandTest, UnsentScanRequestLogsItsFailure) {
  Open(frame::kChecksum);
  link_.Disconnect();
  EXPECT_EQ(commands_.GetScanBufferPortion(0, 200), 0);
  ASSERT_EQ(log_.lines.size(), 1u);
  EXPECT_EQ(log_.lines[0].kind, 0);
  EXPECT_EQ(log_.lines[0].text.rfind("Command GetScanBufferPortion failed. ", 0), 0u);
}

}  // namespace
