// Who the virtual sensor says it is, what size its replies have for each
// model, and which frames it answers.

#include <gtest/gtest.h>

#include <cstring>

#include "protocol/command_ids.h"
#include "sim/model_table.h"
#include "sim_test_support.h"

namespace {

using namespace simtest;

TEST(SimModels, DisplayNamesAndModelStringsResolve) {
  EXPECT_EQ(sim::ResolveModelString("KRV02"), "0 M7-30-6");
  EXPECT_EQ(sim::ResolveModelString("KRV04"), "0 M3-9-6");
  EXPECT_EQ(sim::ResolveModelString("Qmt Long"), "1 QMTLONG");
  EXPECT_EQ(sim::ResolveModelString("Qmt Short"), "0 QMT2000");
  EXPECT_EQ(sim::ResolveModelString("KRV04 Board Flipper"), "0 M3-9-6BF");
  EXPECT_EQ(sim::ResolveModelString("krv04-board-flipper"), "0 M3-9-6BF");
  EXPECT_EQ(sim::ResolveModelString("KRV04BF"), "0 M3-9-6BF");
  EXPECT_EQ(sim::ResolveModelString("qmt_short"), "0 QMT2000");
  // Model strings are taken exactly as they are, the letter O included.
  EXPECT_EQ(sim::ResolveModelString("O QMT2000"), "O QMT2000");
  EXPECT_EQ(sim::ResolveModelString("1 M15-150-7"), "1 M15-150-7");
  EXPECT_FALSE(sim::ResolveModelString("0 qmt2000").has_value());
  EXPECT_FALSE(sim::ResolveModelString("0 M3-9-6BFX").has_value());
  EXPECT_FALSE(sim::ResolveModelString("KRV05").has_value());
  EXPECT_FALSE(sim::ResolveModelString("").has_value());
}

TEST(SimModels, FourteenModelStringsMapToTheirModels) {
  const char* expected[sim::kModelStringCount][2] = {
      {"0 QMT2000", "Qmt Short"},   {"0 QMT12-20-6", "Qmt Short"}, {"O QMT2000", "Qmt Short"},
      {"1 QMTLONG", "Qmt Long"},    {"1 QMT2000LR", "Qmt Long"},   {"0 QMT2000LR", "Qmt Long"},
      {"0 M3-9-6", "KRV04"},        {"0 M3-9-7HT", "KRV04"},       {"0 M3-9-6BF", "KRV04 Board Flipper"},
      {"0 M7-30-6", "KRV02"},       {"0 M15-30-6", "KRV02"},       {"1 M15-150-7", "KRV02"},
      {"0 M25-30-6", "KRV02"},      {"0 KRV-02", "KRV02"}};
  bool sawC = false, sawOther = false;
  for (int i = 0; i < sim::kModelStringCount; ++i) {
    const sim::ModelRow& row = sim::ModelRowAt(i);
    EXPECT_STREQ(row.modelString, expected[i][0]);
    EXPECT_STREQ(sim::DisplayName(row.model), expected[i][1]);
    EXPECT_EQ(std::string(row.serial).size(), 8u) << row.modelString;
    (row.revision == 'C' ? sawC : sawOther) = true;
  }
  EXPECT_TRUE(sawC);
  EXPECT_TRUE(sawOther);
}

// Every model string answers with its own name and the reply sizes of its
// model: setup 31 (KRV02, Qmt Long) or 28; live state 22 for the board
// flipper, 14 for the others.
TEST(SimIdentity, EveryModelAnswersWithItsReplySizes) {
  for (int i = 0; i < sim::kModelStringCount; ++i) {
    const sim::ModelRow& row = sim::ModelRowAt(i);
    SCOPED_TRACE(row.modelString);
    sim::VirtualSensor sensor(Config(row.modelString));
    ASSERT_TRUE(sensor.Start()) << sensor.LastError();
    Port port(sensor.SlavePath());
    ASSERT_TRUE(port.ok());

    auto name = Query(port, 1, 0, cmd::GetModelName);
    ASSERT_TRUE(name);
    Bytes expectedName(16, 0);
    std::copy(row.modelString, row.modelString + std::strlen(row.modelString), expectedName.begin());
    EXPECT_EQ(*name, expectedName);

    auto serial = Query(port, 1, 0, cmd::GetSerialNum);
    ASSERT_TRUE(serial);
    ASSERT_EQ(serial->size(), 16u);
    EXPECT_EQ(std::string(serial->begin(), serial->begin() + 8), row.serial);

    const bool krv02Family = row.model == sim::kKrv02 || row.model == sim::kQmtLong;
    auto setup = Query(port, 1, 0, cmd::GetSensorSetup);
    ASSERT_TRUE(setup);
    EXPECT_EQ(setup->size(), krv02Family ? 31u : 28u);

    auto state = Query(port, 1, 0, cmd::GetSensorState);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->size(), row.model == sim::kBoardFlipper ? 22u : 14u);

    auto krv02State = Query(port, 1, 0, cmd::GetKRV02State);
    ASSERT_TRUE(krv02State);
    EXPECT_EQ(krv02State->size(), 14u);

    for (uint8_t id : {cmd::GetVersion, cmd::GetKRV04Version}) {
      auto version = Query(port, 1, 0, id);
      ASSERT_TRUE(version);
      ASSERT_EQ(version->size(), 6u);
      EXPECT_EQ(Word(*version, 0, 0), row.firmwareVersion);
      EXPECT_EQ((*version)[4], static_cast<uint8_t>(row.revision));
      EXPECT_EQ((*version)[5], row.fpgaVersion);
    }
  }
}

TEST(SimIdentity, VersionReplyIsLaidOutInTheModesByteOrder) {
  for (int32_t mode : {0, 1}) {
    sim::VirtualSensor sensor(Config("KRV02", mode));
    ASSERT_TRUE(sensor.Start());
    sensor.Mutate([](sim::SensorState& s) {
      s.firmwareVersion = 0x0136;
      s.versionReserved = {0xAA, 0xBB};
      s.revision = 'C';
      s.fpgaVersion = 12;
    });
    Port port(sensor.SlavePath());
    auto v = Query(port, 1, mode, cmd::GetVersion);
    ASSERT_TRUE(v);
    if (mode == 0)
      EXPECT_EQ(*v, (Bytes{0x36, 0x01, 0xAA, 0xBB, 0x43, 0x0C}));
    else
      EXPECT_EQ(*v, (Bytes{0x01, 0x36, 0xAA, 0xBB, 0x43, 0x0C}));
  }
}

TEST(SimIdentity, ConfigurationOverridesSerialAndRevision) {
  sim::SensorConfig c = Config("KRV02");
  c.serial = "AB123456";
  c.revision = 'B';
  sim::VirtualSensor sensor(c);
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  auto serial = Query(port, 1, 0, cmd::GetSerialNum);
  ASSERT_TRUE(serial);
  EXPECT_EQ(std::string(serial->begin(), serial->begin() + 8), "AB123456");
  EXPECT_EQ((*serial)[8], 0);
  auto v = Query(port, 1, 0, cmd::GetVersion);
  ASSERT_TRUE(v);
  EXPECT_EQ((*v)[4], 'B');
}

TEST(SimIdentity, WholeReplyFrameIsExact) {
  sim::VirtualSensor sensor(Config("KRV02", 0, 1));
  ASSERT_TRUE(sensor.Start());
  sensor.Mutate([](sim::SensorState& s) { s.settings.minLaserPower = 10; });
  Port port(sensor.SlavePath());
  port.Write({0x02, 0x01, 0x01, 0x82, 0x7A});  // GetMinLP, checksum mode
  auto f = port.ReadFrame(0);
  ASSERT_TRUE(f);
  // 02 01 02 82 0A and the two's complement of their sum (0x91): 0x6F.
  EXPECT_EQ(*f, (Bytes{0x02, 0x01, 0x02, 0x82, 0x0A, 0x6F}));
}

TEST(SimAddressing, AnswersOwnAndGlobalAddressIgnoresOthers) {
  sim::VirtualSensor sensor(Config("KRV04", 0, 7));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());

  port.Write(frame::Build(8, 0, cmd::GetModelName));
  EXPECT_TRUE(port.Silent(200ms));
  port.Write(frame::Build(1, 0, cmd::GetModelName));
  EXPECT_TRUE(port.Silent(200ms));

  auto own = port.ReadFrame(0, 10ms);
  EXPECT_FALSE(own);
  port.Write(frame::Build(7, 0, cmd::GetModelName));
  own = port.ReadFrame(0);
  ASSERT_TRUE(own);
  EXPECT_EQ((*own)[1], 7);

  // The global address is answered, from the sensor's own address.
  port.Write(frame::Build(0, 0, cmd::GetModelName));
  auto global = port.ReadFrame(0);
  ASSERT_TRUE(global);
  EXPECT_EQ((*global)[1], 7);
  EXPECT_EQ((*global)[3], cmd::GetModelName);

  const sim::SensorState s = sensor.Snapshot();
  EXPECT_EQ(s.activity.framesForOthers, 2u);
  EXPECT_EQ(s.activity.framesReceived, 2u);
  EXPECT_EQ(s.errors.checkErrors, 0);
  EXPECT_EQ(s.errors.commandErrors, 0);
}

TEST(SimAddressing, SeveralSensorsShareOneLine) {
  sim::VirtualLine line;
  sim::SensorConfig a = Config("KRV04", 0, 1);
  a.serial = "AAAA0001";
  sim::SensorConfig b = Config("KRV04 Board Flipper", 0, 2);
  b.serial = "BBBB0002";
  auto sensorA = line.Attach(a);
  auto sensorB = line.Attach(b);
  ASSERT_TRUE(line.Start()) << line.LastError();
  Port port(line.SlavePath());

  auto serialB = Query(port, 2, 0, cmd::GetSerialNum);
  ASSERT_TRUE(serialB);
  EXPECT_EQ(std::string(serialB->begin(), serialB->begin() + 8), "BBBB0002");
  auto stateB = Query(port, 2, 0, cmd::GetSensorState);
  ASSERT_TRUE(stateB);
  EXPECT_EQ(stateB->size(), 22u);

  auto serialA = Query(port, 1, 0, cmd::GetSerialNum);
  ASSERT_TRUE(serialA);
  EXPECT_EQ(std::string(serialA->begin(), serialA->begin() + 8), "AAAA0001");
  auto stateA = Query(port, 1, 0, cmd::GetSensorState);
  ASSERT_TRUE(stateA);
  EXPECT_EQ(stateA->size(), 14u);
  EXPECT_TRUE(port.Silent(100ms));  // nobody answered twice

  EXPECT_EQ(sensorA->Snapshot().activity.framesForOthers, 2u);
  EXPECT_EQ(sensorB->Snapshot().activity.framesForOthers, 2u);
}

}  // namespace
