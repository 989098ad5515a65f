// The bytes every command puts on the line, and how each reply is decoded,
// in both check modes. The far end is played by the test on a
// pseudo-terminal, so requests are compared byte for byte and replies are
// whatever the test queues.

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "commands/pty_command_fixture.h"
#include "protocol/command_ids.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Numbered(size_t size, uint8_t first) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(first + i * 3);
  return b;
}

Bytes Swapped(Bytes b, std::initializer_list<size_t> words) {
  for (size_t w : words) std::swap(b[w], b[w + 1]);
  return b;
}

// ---------------------------------------------------------------------------
// Setting commands: request bytes and whether the acknowledgement is read

struct SettingCase {
  std::string name;
  uint8_t id;
  std::function<int(SensorCommands&)> run;
  Bytes checksumData;
  Bytes crcData;
  bool ack;                 // reads the acknowledgement in CRC mode
  int address = PtyCommandTest::kAddress;
};

void PrintTo(const SettingCase& c, std::ostream* os) { *os << c.name; }

const Bytes kSerial16 = {'S', 'N', '1', '2', '3', '4', '5', '6', 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kModel16 = {'K', 'R', 'V', '0', '4', ' ', 'B', 'F', 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kAddressPayload = {'S', 'N', '1', '2', '3', '4', 0, 0, 42};

// Runs a command whose record is converted in place on a fresh copy.
std::function<int(SensorCommands&)> WithRecord(int (SensorCommands::*op)(uint8_t*), Bytes record) {
  return [op, record](SensorCommands& c) {
    Bytes copy = record;
    return (c.*op)(copy.data());
  };
}

std::vector<SettingCase> SettingCases() {
  const Bytes r6 = Numbered(6, 0x10), r8 = Numbered(8, 0x20), r10 = Numbered(10, 0x30),
              r12 = Numbered(12, 0x40), r20 = Numbered(20, 0x50);
  return {
      {"SetLaserOff", cmd::SetLaserOff, [](SensorCommands& c) { return c.SetLaserOff(); }, {}, {}, false},
      {"StartScan", cmd::StartScan, [](SensorCommands& c) { return c.StartScan(); }, {}, {}, false},
      {"StopScan", cmd::StopScan, [](SensorCommands& c) { return c.StopScan(); }, {}, {}, false},
      {"ApplyScanFilter", cmd::ApplyScanFilter, [](SensorCommands& c) { return c.ApplyScanFilter(); }, {}, {}, false},
      {"SetDefaults", cmd::SetDefaults, [](SensorCommands& c) { return c.SetDefaults(); }, {}, {}, false},
      {"SetSerialNum", cmd::SetSerialNum, [](SensorCommands& c) { return c.SetSerialNum(kSerial16.data()); },
       kSerial16, kSerial16, true},
      {"SetModelName", cmd::SetModelName, [](SensorCommands& c) { return c.SetModelName(kModel16.data()); },
       kModel16, kModel16, true},
      {"SetSensorAddressGlobal", cmd::SetSensorAddress,
       [](SensorCommands& c) { return c.SetSensorAddress(0, kAddressPayload.data()); }, kAddressPayload,
       kAddressPayload, true, 0},
      {"SetSensorAddressOther", cmd::SetSensorAddress,
       [](SensorCommands& c) { return c.SetSensorAddress(5, kAddressPayload.data()); }, kAddressPayload,
       kAddressPayload, true, 5},
      {"SetBaudRate9600", cmd::SetBaudRate, [](SensorCommands& c) { return c.SetBaudRate(9600); }, {0}, {0}, true},
      {"SetBaudRate19200", cmd::SetBaudRate, [](SensorCommands& c) { return c.SetBaudRate(19200); }, {1}, {1}, true},
      {"SetBaudRate38400", cmd::SetBaudRate, [](SensorCommands& c) { return c.SetBaudRate(38400); }, {2}, {2}, true},
      {"SetBaudRate57600", cmd::SetBaudRate, [](SensorCommands& c) { return c.SetBaudRate(57600); }, {3}, {3}, true},
      {"SetThreshold", cmd::SetThreshold, [](SensorCommands& c) { return c.SetThreshold(0x1F3); }, {0xF3}, {0xF3}, true},
      {"SetMinLP", cmd::SetMinLP, [](SensorCommands& c) { return c.SetMinLP(40); }, {40}, {40}, true},
      {"SetMaxLP", cmd::SetMaxLP, [](SensorCommands& c) { return c.SetMaxLP(200); }, {200}, {200}, true},
      {"SetKRV04Mode", cmd::SetKRV04Mode, [](SensorCommands& c) { return c.SetKRV04Mode(3); }, {3}, {3}, true},
      {"SetOutOfRangeModeFive", cmd::SetOutOfRangeMode, [](SensorCommands& c) { return c.SetOutOfRangeMode(5); },
       {1}, {1}, true},
      {"SetOutOfRangeModeHighByteOnly", cmd::SetOutOfRangeMode,
       [](SensorCommands& c) { return c.SetOutOfRangeMode(0x100); }, {0}, {0}, true},
      {"SetAnalogMinRange", cmd::SetAnalogMinRange, [](SensorCommands& c) { return c.SetAnalogMinRange(0x0102); },
       {0x02, 0x01}, {0x01, 0x02}, true},
      {"SetAnalogMaxRange", cmd::SetAnalogMaxRange, [](SensorCommands& c) { return c.SetAnalogMaxRange(0x1234); },
       {0x34, 0x12}, {0x12, 0x34}, true},
      {"SetAnalogMinVolts", cmd::SetAnalogMinVolts, [](SensorCommands& c) { return c.SetAnalogMinVolts(500); },
       {0xF4, 0x01}, {0x01, 0xF4}, true},
      {"SetAnalogMaxVolts", cmd::SetAnalogMaxVolts, [](SensorCommands& c) { return c.SetAnalogMaxVolts(0xABCD); },
       {0xCD, 0xAB}, {0xAB, 0xCD}, true},
      {"SetAnalogOutOfRange", cmd::SetAnalogOutOfRange,
       [](SensorCommands& c) { return c.SetAnalogOutOfRange(0x00FF); }, {0xFF, 0x00}, {0x00, 0xFF}, true},
      {"SetScanInterval", cmd::SetScanInterval, [](SensorCommands& c) { return c.SetScanInterval(0x0A0B); },
       {0x0B, 0x0A}, {0x0A, 0x0B}, true},
      {"SetMode", cmd::SetMode, [](SensorCommands& c) { return c.SetMode(0x10302); }, {0x02, 0x03}, {0x03, 0x02}, true},
      {"SetNumHoldScans", cmd::SetNumHoldScans, [](SensorCommands& c) { return c.SetNumHoldScans(0x0405); },
       {0x05, 0x04}, {0x04, 0x05}, true},
      {"SetBoardTimeout", cmd::SetBoardTimeout, [](SensorCommands& c) { return c.SetBoardTimeout(30001); },
       {0x31, 0x75}, {0x75, 0x31}, true},
      {"SetFilterFactors", cmd::SetFilterFactors, [r6](SensorCommands& c) { return c.SetFilterFactors(r6.data()); },
       r6, Swapped(r6, {0, 2, 4}), true},
      {"SetOffset", cmd::SetOffset, [r8](SensorCommands& c) { return c.SetOffset(r8.data()); }, r8,
       Swapped(r8, {0, 2, 4, 6}), true},
      {"SetAnalogOuputFactors", cmd::SetAnalogOuputFactors, WithRecord(&SensorCommands::SetAnalogOuputFactors, r20),
       r20, Swapped(r20, {0, 2, 4, 6, 8, 10}), true},
      {"WriteWaneParams", cmd::WriteWaneParams, WithRecord(&SensorCommands::WriteWaneParams, r12), r12,
       Swapped(r12, {0, 2, 4, 10}), true},
      {"SetConfigVars", cmd::SetConfigVars, WithRecord(&SensorCommands::SetConfigVars, r10), r10,
       Swapped(r10, {0, 2, 4, 6}), true},
      {"WriteFlashProtect1", cmd::WriteFlashProtect1, [](SensorCommands& c) { return c.WriteFlashProtect1(0x13C); },
       {0x3C}, {0x3C}, false},
      {"WriteFlashProtect2", cmd::WriteFlashProtect2, [](SensorCommands& c) { return c.WriteFlashProtect2(0xC3); },
       {0xC3}, {0xC3}, false},
  };
}

class SettingWireTest : public PtyCommandTest,
                        public ::testing::WithParamInterface<std::tuple<SettingCase, int32_t>> {};

TEST_P(SettingWireTest, SendsItsRequestAndReadsTheAcknowledgementOnlyWhereDue) {
  const SettingCase& c = std::get<0>(GetParam());
  Open(std::get<1>(GetParam()));
  const bool crcMode = mode_ == frame::kCrc;
  // An acknowledgement is waiting; only CRC-mode commands with an ack take it.
  const Bytes ackData = {0x06};
  Queue(c.id, ackData);

  EXPECT_EQ(c.run(commands_), 1);
  const Bytes data = crcMode ? c.crcData : c.checksumData;
  EXPECT_EQ(ReadRequest(), Request(c.id, data, static_cast<uint8_t>(c.address)));
  EXPECT_TRUE(Rest().empty());
  if (crcMode && c.ack) {
    EXPECT_TRUE(LineWasEmptied()) << "the acknowledgement was not read";
  } else {
    EXPECT_TRUE(NextFrameIs(c.id, &ackData)) << "an acknowledgement was read that was not due";
  }
  EXPECT_TRUE(log_.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, SettingWireTest,
    ::testing::Combine(::testing::ValuesIn(SettingCases()), ::testing::Values(frame::kChecksum, frame::kCrc)),
    [](const ::testing::TestParamInfo<SettingWireTest::ParamType>& param) {
      return std::get<0>(param.param).name + (std::get<1>(param.param) == frame::kCrc ? "Crc" : "Checksum");
    });

// ---------------------------------------------------------------------------
// Queries: request bytes and the decoded reply area

struct QueryCase {
  std::string name;
  uint8_t id;
  std::function<int(SensorCommands&)> run;
  size_t length;
  std::vector<size_t> words;  // 16-bit fields converted in CRC mode
  std::function<Bytes(const SensorCommands&)> area;
};

void PrintTo(const QueryCase& c, std::ostream* os) { *os << c.name; }

Bytes AreaOf(const uint8_t* p, size_t n) { return Bytes(p, p + n); }
Bytes WordArea(uint16_t v) { return {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>(v >> 8)}; }

std::vector<QueryCase> QueryCases() {
  using C = const SensorCommands&;
  return {
      {"GetModelName", cmd::GetModelName, [](SensorCommands& c) { return c.GetModelName(); }, 16, {},
       [](C c) { return AreaOf(c.modelName, 16); }},
      {"GetSerialNum", cmd::GetSerialNum, [](SensorCommands& c) { return c.GetSerialNum(); }, 16, {},
       [](C c) { return AreaOf(c.serialNumber, 16); }},
      {"GetVersion", cmd::GetVersion, [](SensorCommands& c) { return c.GetVersion(); }, 6, {0},
       [](C c) { return AreaOf(c.version, 6); }},
      {"GetKRV04Version", cmd::GetKRV04Version, [](SensorCommands& c) { return c.GetKRV04Version(); }, 6, {0},
       [](C c) { return AreaOf(c.krv04Version, 6); }},
      {"HLAScanResult", cmd::HLAScanResult, [](SensorCommands& c) { return c.HLAScanResult(); }, 10,
       {0, 2, 4, 6, 8}, [](C c) { return AreaOf(c.hlaResult, 10); }},
      {"GetErrorState", cmd::GetErrorState, [](SensorCommands& c) { return c.GetErrorState(); }, 12,
       {0, 2, 4, 6, 8, 10}, [](C c) { return AreaOf(c.errorState, 12); }},
      {"GetKRV02State", cmd::GetKRV02State, [](SensorCommands& c) { return c.GetKRV02State(); }, 14,
       {0, 2, 4, 6, 8, 10, 12}, [](C c) { return AreaOf(c.krv02State, 14); }},
      {"GetSensorState", cmd::GetSensorState, [](SensorCommands& c) { return c.GetSensorState(); }, 14,
       {0, 2, 4, 6, 8, 10, 12}, [](C c) { return AreaOf(c.sensorState, 14); }},
      {"GetKRV04BFState", cmd::GetSensorState, [](SensorCommands& c) { return c.GetKRV04BFState(); }, 22,
       {0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20}, [](C c) { return AreaOf(c.bfState, 22); }},
      {"GetPeak", cmd::GetPeak, [](SensorCommands& c) { return c.GetPeak(); }, 2, {0},
       [](C c) { return WordArea(c.peak); }},
      {"GetLaserPower", cmd::GetLaserPower, [](SensorCommands& c) { return c.GetLaserPower(); }, 1, {},
       [](C c) { return Bytes{c.laserPower}; }},
      {"GetSensorSetup", cmd::GetSensorSetup, [](SensorCommands& c) { return c.GetSensorSetup(); }, 31,
       {10, 13, 15, 17, 19, 21, 23, 25, 27, 29}, [](C c) { return AreaOf(c.sensorSetup, 31); }},
      {"GetKRV04Setup", cmd::GetSensorSetup, [](SensorCommands& c) { return c.GetKRV04Setup(); }, 28,
       {12, 14, 16, 18, 20, 22, 24}, [](C c) { return AreaOf(c.krv04Setup, 28); }},
      {"GetMinLP", cmd::GetMinLP, [](SensorCommands& c) { return c.GetMinLP(); }, 1, {},
       [](C c) { return Bytes{c.minLP}; }},
      {"GetMaxLP", cmd::GetMaxLP, [](SensorCommands& c) { return c.GetMaxLP(); }, 1, {},
       [](C c) { return Bytes{c.maxLP}; }},
      {"GetAnalogFactors", cmd::GetAnalogFactors, [](SensorCommands& c) { return c.GetAnalogFactors(); }, 22,
       {0, 2, 4, 6, 8, 10, 20}, [](C c) { return AreaOf(c.analogFactors, 22); }},
      {"ReadWaneParams", cmd::ReadWaneParams, [](SensorCommands& c) { return c.ReadWaneParams(); }, 12,
       {0, 2, 4, 10}, [](C c) { return AreaOf(c.waneParams, 12); }},
      {"GetConfigVars", cmd::GetConfigVars, [](SensorCommands& c) { return c.GetConfigVars(); }, 10,
       {0, 2, 4, 6}, [](C c) { return AreaOf(c.configVars, 10); }},
      {"GetBoardTimeout", cmd::GetBoardTimeout, [](SensorCommands& c) { return c.GetBoardTimeout(); }, 2, {0},
       [](C c) { return WordArea(c.boardTimeout); }},
      {"GetNumHoldScans", cmd::GetNumHoldScans, [](SensorCommands& c) { return c.GetNumHoldScans(); }, 2, {0},
       [](C c) { return WordArea(c.holdScans); }},
  };
}

class QueryWireTest : public PtyCommandTest,
                      public ::testing::WithParamInterface<std::tuple<QueryCase, int32_t>> {};

TEST_P(QueryWireTest, SendsABareRequestAndDecodesTheNamedWords) {
  const QueryCase& c = std::get<0>(GetParam());
  Open(std::get<1>(GetParam()));
  const Bytes reply = Numbered(c.length, 0x21);
  Queue(c.id, reply);

  EXPECT_EQ(c.run(commands_), 1);
  EXPECT_EQ(ReadRequest(), Request(c.id, {}));
  EXPECT_TRUE(Rest().empty());
  Bytes expected = reply;
  if (mode_ == frame::kCrc) {
    for (size_t w : c.words) std::swap(expected[w], expected[w + 1]);
  }
  EXPECT_EQ(c.area(commands_), expected);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_P(QueryWireTest, ReplyOfTheWrongSizeLeavesTheAreaAlone) {
  const QueryCase& c = std::get<0>(GetParam());
  Open(std::get<1>(GetParam()));
  Queue(c.id, Numbered(c.length, 0x40));
  ASSERT_EQ(c.run(commands_), 1);
  const Bytes before = c.area(commands_);
  ReadRequest();

  Queue(c.id, Numbered(c.length + 1, 0x90));
  EXPECT_EQ(c.run(commands_), 0);
  EXPECT_EQ(c.area(commands_), before);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, QueryWireTest,
    ::testing::Combine(::testing::ValuesIn(QueryCases()), ::testing::Values(frame::kChecksum, frame::kCrc)),
    [](const ::testing::TestParamInfo<QueryWireTest::ParamType>& param) {
      return std::get<0>(param.param).name + (std::get<1>(param.param) == frame::kCrc ? "Crc" : "Checksum");
    });

// ---------------------------------------------------------------------------
// Single cases with wire bytes of their own

TEST_F(PtyCommandTest, KnownQueryFramesInBothModes) {
  Open(frame::kChecksum);
  commands_.UseAddress(1);
  Queue(frame::Build(1, frame::kChecksum, cmd::GetModelName, Bytes(16, 'a')));
  EXPECT_EQ(commands_.GetModelName(), 1);
  EXPECT_EQ(ReadRequest(), (Bytes{0x02, 0x01, 0x01, 0x7F, 0x7D}));

  commands_.UseCheckMode(frame::kCrc);
  mode_ = frame::kCrc;
  Queue(frame::Build(1, frame::kCrc, cmd::GetModelName, Bytes(16, 'a')));
  EXPECT_EQ(commands_.GetModelName(), 1);
  EXPECT_EQ(ReadRequest(), (Bytes{0x02, 0x01, 0x00, 0x7F, 0x76, 0x3C}));

  Queue(frame::Build(1, frame::kCrc, cmd::SetLaserOff, {}));
  EXPECT_EQ(commands_.SetLaserOff(), 1);
  EXPECT_EQ(ReadRequest(), (Bytes{0x02, 0x01, 0x00, 0x02, 0x76, 0x41}));
}

TEST_F(PtyCommandTest, OnlyTheLowByteOfTheAddressIsSent) {
  Open(frame::kChecksum);
  commands_.UseAddress(0x305);
  EXPECT_EQ(commands_.SetLaserOff(), 1);
  EXPECT_EQ(ReadRequest(), frame::Build(0x05, frame::kChecksum, cmd::SetLaserOff, {}));
}

TEST_F(PtyCommandTest, SetLaserOnCarriesTwoDataBytesAndNoAcknowledgement) {
  for (int32_t mode : {frame::kChecksum, frame::kCrc}) {
    if (mode == frame::kChecksum) {
      Open(mode);
    } else {
      mode_ = mode;
      commands_.UseCheckMode(mode);
    }
    Queue(cmd::SetLaserOn, {0x06});
    EXPECT_EQ(commands_.SetLaserOn(), 1);
    const Bytes request = ReadRequest();
    ASSERT_EQ(request.size(), mode == frame::kCrc ? 8u : 7u);
    EXPECT_EQ(request[1], kAddress);
    EXPECT_EQ(request[2], mode == frame::kCrc ? 2 : 3);
    EXPECT_EQ(request[3], cmd::SetLaserOn);
    EXPECT_TRUE(frame::Verify(request.data(), mode));
    EXPECT_TRUE(NextFrameIs(cmd::SetLaserOn));
  }
}

TEST_F(PtyCommandTest, WordFieldReadsTheSameValueInBothModes) {
  Open(frame::kCrc);
  Queue(cmd::GetBoardTimeout, {0x01, 0x2C});
  ASSERT_EQ(commands_.GetBoardTimeout(), 1);
  EXPECT_EQ(commands_.boardTimeout, 300);

  mode_ = frame::kChecksum;
  commands_.UseCheckMode(frame::kChecksum);
  Queue(cmd::GetBoardTimeout, {0x2C, 0x01});
  commands_.boardTimeout = 0;
  ASSERT_EQ(commands_.GetBoardTimeout(), 1);
  EXPECT_EQ(commands_.boardTimeout, 300);

  Queue(cmd::HLAScanResult, {0x2C, 0x01, 0, 0, 0, 0, 0, 0, 0, 0});
  ASSERT_EQ(commands_.HLAScanResult(), 1);
  EXPECT_EQ(SensorCommands::Word(commands_.hlaResult, 0), 300);
}

}  // namespace
