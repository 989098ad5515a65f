// Every setting command changes what the next read shows, with 16-bit
// fields in the mode's byte order and pass-through bytes untouched.

#include <gtest/gtest.h>

#include "protocol/command_ids.h"
#include "sim_test_support.h"

namespace {

using namespace simtest;

class SimSettings : public ::testing::TestWithParam<int32_t> {
 protected:
  int32_t mode() const { return GetParam(); }

  // Sends a setting and, in CRC mode, takes its acknowledgement.
  void Set(Port& port, uint8_t id, const Bytes& data) {
    port.Write(frame::Build(address_, mode(), id, data));
    if (mode() == 1) {
      auto ack = port.ReadFrame(1);
      ASSERT_TRUE(ack) << "no acknowledgement for " << static_cast<int>(id);
      ASSERT_EQ((*ack)[3], id);
    } else {
      std::this_thread::sleep_for(20ms);
    }
  }
  Bytes W(uint16_t v) const { return WordBytes(v, mode()); }
  uint8_t address_ = 1;
};

TEST_P(SimSettings, Krv04FamilySetupFollowsEachSetting) {
  address_ = 3;
  sim::VirtualSensor sensor(Config("KRV04", mode(), address_));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  Set(port, cmd::SetMinLP, {12});
  Set(port, cmd::SetMaxLP, {201});
  Set(port, cmd::SetThreshold, {99});
  Set(port, cmd::SetKRV04Mode, {1});
  Set(port, cmd::SetOutOfRangeMode, {5});
  Set(port, cmd::SetAnalogMinRange, W(0x0102));
  Set(port, cmd::SetAnalogMaxRange, W(19000));
  Set(port, cmd::SetAnalogMinVolts, W(500));
  Set(port, cmd::SetAnalogMaxVolts, W(9500));
  Set(port, cmd::SetAnalogOutOfRange, W(10250));

  auto setup = Query(port, 3, mode(), cmd::GetSensorSetup);
  ASSERT_TRUE(setup);
  ASSERT_EQ(setup->size(), 28u);
  const Bytes& s = *setup;
  EXPECT_EQ(Bytes(s.begin(), s.begin() + 8), (Bytes{0x01, 0x02, 0x10, 0x27, 0x64, 0x00, 0x0A, 0x05}));
  EXPECT_EQ(s[8], 201);
  EXPECT_EQ(s[9], 12);
  EXPECT_EQ(s[10], 99);
  EXPECT_EQ(s[11], 3);  // the address
  EXPECT_EQ(Word(s, 12, mode()), 0x0102);
  EXPECT_EQ(s[12], mode() == 0 ? 0x02 : 0x01);
  EXPECT_EQ(Word(s, 14, mode()), 19000);
  EXPECT_EQ(Word(s, 16, mode()), 500);
  EXPECT_EQ(Word(s, 18, mode()), 9500);
  EXPECT_EQ(Word(s, 20, mode()), 10250);
  EXPECT_EQ(s[26], 1);  // any non-zero argument switches holding on
  EXPECT_EQ(s[27], 1);

  EXPECT_EQ(Query(port, 3, mode(), cmd::GetMinLP), Bytes{12});
  EXPECT_EQ(Query(port, 3, mode(), cmd::GetMaxLP), Bytes{201});
  EXPECT_EQ(Query(port, 3, mode(), cmd::GetThreshold), Bytes{99});

  Set(port, cmd::SetOutOfRangeMode, {0});
  Set(port, cmd::SetNumHoldScans, W(0x0203));
  setup = Query(port, 3, mode(), cmd::GetSensorSetup);
  ASSERT_TRUE(setup);
  EXPECT_EQ((*setup)[26], 0);
  auto hold = Query(port, 3, mode(), cmd::GetNumHoldScans);
  ASSERT_TRUE(hold);
  EXPECT_EQ(*hold, W(0x0203));
  EXPECT_EQ(sensor.Snapshot().settings.holdScans, 0x0203);
}

TEST_P(SimSettings, Krv02FamilySetupFollowsEachSetting) {
  address_ = 4;
  sim::VirtualSensor sensor(Config("Qmt Long", mode(), address_));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  Set(port, cmd::SetMode, W(3));
  Set(port, cmd::SetThreshold, {66});
  Set(port, cmd::SetScanInterval, W(0x0A0B));
  Bytes filter = W(7);
  for (uint16_t v : std::initializer_list<uint16_t>{9, 11}) {
    Bytes w = W(v);
    filter.insert(filter.end(), w.begin(), w.end());
  }
  Set(port, cmd::SetFilterFactors, filter);
  Bytes offset;
  for (uint16_t v : std::initializer_list<uint16_t>{0xFF38, 9990, 1250, 0x0405}) {  // range offset -200
    Bytes w = W(v);
    offset.insert(offset.end(), w.begin(), w.end());
  }
  Set(port, cmd::SetOffset, offset);
  port.Write(frame::Build(4, mode(), cmd::SetLaserOff));
  std::this_thread::sleep_for(30ms);

  auto setup = Query(port, 4, mode(), cmd::GetSensorSetup);
  ASSERT_TRUE(setup);
  ASSERT_EQ(setup->size(), 31u);
  const Bytes& s = *setup;
  EXPECT_EQ(s[8], 4);
  EXPECT_EQ(s[9], 3);
  EXPECT_EQ(Word(s, 10, mode()), 500);
  EXPECT_EQ(s[12], 66);
  EXPECT_EQ(Word(s, 13, mode()), 0x0A0B);
  EXPECT_EQ(s[13], mode() == 0 ? 0x0B : 0x0A);
  EXPECT_EQ(Word(s, 15, mode()), 7);
  EXPECT_EQ(Word(s, 17, mode()), 9);
  EXPECT_EQ(Word(s, 19, mode()), 11);
  EXPECT_EQ(Word(s, 21, mode()), 0xFF38);
  EXPECT_EQ(Word(s, 23, mode()), 9990);
  EXPECT_EQ(Word(s, 25, mode()), 1250);
  EXPECT_EQ(Word(s, 27, mode()), 0x0405);
  EXPECT_EQ(Word(s, 29, mode()), 0);  // laser off

  port.Write(frame::Build(4, mode(), cmd::SetLaserOn, Bytes{0x12, 0x34}));
  std::this_thread::sleep_for(30ms);
  setup = Query(port, 4, mode(), cmd::GetSensorSetup);
  ASSERT_TRUE(setup);
  EXPECT_EQ(Word(*setup, 29, mode()), 1);
}

TEST_P(SimSettings, RecordsComeBackAsTheyWereWritten) {
  sim::VirtualSensor sensor(Config("KRV02", mode()));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  // Analog factors: six words then eight bytes the sensor must not reorder.
  Bytes analog;
  for (uint16_t v : std::initializer_list<uint16_t>{100, 0x0203, 9000, 31000, 0xFFF6, 10500}) {
    Bytes w = W(v);
    analog.insert(analog.end(), w.begin(), w.end());
  }
  const Bytes extra = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8};
  analog.insert(analog.end(), extra.begin(), extra.end());
  Set(port, cmd::SetAnalogOuputFactors, analog);
  auto back = Query(port, 1, mode(), cmd::GetAnalogFactors);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), 22u);
  EXPECT_EQ(Bytes(back->begin(), back->begin() + 20), analog);
  EXPECT_EQ(Word(*back, 20, mode()), 1);  // not part of the record written
  sim::SensorState s = sensor.Snapshot();
  EXPECT_EQ(s.settings.analog.minRange, 0x0203);
  EXPECT_EQ(s.settings.analog.offsetVolts, 0xFFF6);
  EXPECT_EQ(s.settings.analog.extra[0], 0xA1);

  // Configuration variables: averaging count 1:9029 (74565), two bytes.
  Bytes config;
  for (uint16_t v : std::initializer_list<uint16_t>{1, 2, 1, 9029}) {
    Bytes w = W(v);
    config.insert(config.end(), w.begin(), w.end());
  }
  config.push_back(0x5A);
  config.push_back(0xC3);
  Set(port, cmd::SetConfigVars, config);
  back = Query(port, 1, mode(), cmd::GetConfigVars);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, config);
  s = sensor.Snapshot();
  EXPECT_EQ((static_cast<uint32_t>(s.settings.averagingHigh) << 16) | s.settings.averagingLow, 74565u);

  // Wane parameters with their four reserved bytes.
  Bytes wane;
  for (uint16_t v : std::initializer_list<uint16_t>{0x0102, 750, 900}) {
    Bytes w = W(v);
    wane.insert(wane.end(), w.begin(), w.end());
  }
  for (uint8_t b : std::initializer_list<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}) wane.push_back(b);
  Bytes pulse = W(45);
  wane.insert(wane.end(), pulse.begin(), pulse.end());
  Set(port, cmd::WriteWaneParams, wane);
  back = Query(port, 1, mode(), cmd::ReadWaneParams);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, wane);
  s = sensor.Snapshot();
  EXPECT_EQ(s.settings.wane.height, 0x0102);
  EXPECT_EQ(s.settings.wane.reserved, (std::array<uint8_t, 4>{0xDE, 0xAD, 0xBE, 0xEF}));
  EXPECT_EQ(s.settings.wane.pulse, 45);

  Set(port, cmd::SetBoardTimeout, W(4342));
  back = Query(port, 1, mode(), cmd::GetBoardTimeout);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, W(4342));
}

TEST_P(SimSettings, RefusedRangeModesLeaveTheModeAlone) {
  sim::VirtualSensor krv04(Config("KRV04", mode()));
  ASSERT_TRUE(krv04.Start());
  Port port(krv04.SlavePath());
  Set(port, cmd::SetKRV04Mode, {5});
  EXPECT_EQ(krv04.Snapshot().settings.rangeMode, 0);
  EXPECT_EQ(krv04.Snapshot().errors.commandErrors, 1);
  Set(port, cmd::SetKRV04Mode, {1});
  EXPECT_EQ(krv04.Snapshot().settings.rangeMode, 1);

  sim::VirtualSensor qmt(Config("Qmt Short", mode()));
  ASSERT_TRUE(qmt.Start());
  Port qport(qmt.SlavePath());
  Set(qport, cmd::SetKRV04Mode, {1});
  EXPECT_EQ(qmt.Snapshot().settings.rangeMode, 0);

  sim::VirtualSensor krv02(Config("KRV02", mode()));
  ASSERT_TRUE(krv02.Start());
  Port kport(krv02.SlavePath());
  Set(kport, cmd::SetMode, W(16));
  EXPECT_EQ(krv02.Snapshot().settings.rangeMode, 0);
  Set(kport, cmd::SetMode, W(15));
  EXPECT_EQ(krv02.Snapshot().settings.rangeMode, 15);
}

TEST_P(SimSettings, LaserPowerAndHoldScansShareOneId) {
  sim::VirtualSensor sensor(Config("KRV04", mode()));
  ASSERT_TRUE(sensor.Start());
  sensor.Mutate([](sim::SensorState& s) {
    s.live.animate = false;
    s.live.laserPower = 123;
    s.settings.holdScans = 5;
  });
  Port port(sensor.SlavePath());
  auto power = Query(port, 1, mode(), cmd::GetLaserPower);
  ASSERT_TRUE(power);
  EXPECT_EQ(*power, Bytes{123});
  Set(port, cmd::SetNumHoldScans, W(17));
  EXPECT_EQ(sensor.Snapshot().settings.holdScans, 17);
  EXPECT_EQ(Query(port, 1, mode(), cmd::GetLaserPower), Bytes{123});
}

INSTANTIATE_TEST_SUITE_P(BothModes, SimSettings, ::testing::Values(0, 1),
                         ModeName);

}  // namespace
