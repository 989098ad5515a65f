// Live values, the scan, the scan buffer and its statistics, and the
// memory view.

#include <gtest/gtest.h>

#include "protocol/command_ids.h"
#include "sim/live_data.h"
#include "sim/reply_records.h"
#include "sim_test_support.h"

namespace {

using namespace simtest;

int16_t Signed(uint16_t v) { return static_cast<int16_t>(v); }

TEST(SimLive, RangeMovesWithinTheModesSpan) {
  sim::VirtualSensor sensor(Config("KRV04", 0));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  auto first = Query(port, 1, 0, cmd::GetRange);
  ASSERT_TRUE(first);
  ASSERT_EQ(first->size(), 2u);
  std::this_thread::sleep_for(300ms);
  auto second = Query(port, 1, 0, cmd::GetRange);
  ASSERT_TRUE(second);
  const int a = Signed(Word(*first, 0, 0));
  const int b = Signed(Word(*second, 0, 0));
  EXPECT_NE(a, b);
  for (int v : {a, b}) {
    EXPECT_GE(v, 0);
    EXPECT_LE(v, 8000);
  }
  // The state reply carries the same kind of range, laser power within the
  // limits and a peak above the threshold.
  auto state = Query(port, 1, 0, cmd::GetSensorState);
  ASSERT_TRUE(state);
  const sim::Settings st = sensor.Snapshot().settings;
  EXPECT_LE(Word(*state, 8, 0), 8000);
  EXPECT_GE(Word(*state, 10, 0), st.minLaserPower);
  EXPECT_LE(Word(*state, 10, 0), st.maxLaserPower);
  EXPECT_GT(Word(*state, 12, 0), st.threshold);
  EXPECT_GT(Word(*state, 4, 0), 0);  // pixels lit
}

TEST(SimLive, NegativeModesAndLaserOff) {
  sim::VirtualSensor sensor(Config("KRV02", 1));
  ASSERT_TRUE(sensor.Start());
  sensor.Mutate([](sim::SensorState& s) { s.settings.rangeMode = 3; });  // 0 to -3200.0 mm
  Port port(sensor.SlavePath());
  auto r = Query(port, 1, 1, cmd::GetRange);
  ASSERT_TRUE(r);
  EXPECT_LT(Signed(Word(*r, 0, 1)), 0);
  EXPECT_GE(Signed(Word(*r, 0, 1)), -32000);
  port.Write(frame::Build(1, 1, cmd::SetLaserOff));
  std::this_thread::sleep_for(30ms);
  r = Query(port, 1, 1, cmd::GetRange);
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, (Bytes{0x80, 0x00}));
}

TEST(SimLive, FrozenValuesAreReportedAsSet) {
  for (int32_t mode : {0, 1}) {
    sim::VirtualSensor sensor(Config("KRV04 Board Flipper", mode));
    ASSERT_TRUE(sensor.Start());
    sensor.Mutate([](sim::SensorState& s) {
      s.live.animate = false;
      s.live.basePix = 0x0102;
      s.live.sumPix = 0x0304;
      s.live.numPix = 0x0506;
      s.live.subPix = 0x0708;
      s.live.range = 0x8000;
      s.live.laserPower = 0x0A;
      s.live.peak = 0x0B0C;
      s.live.boardFlipper = {0x0D0E, 0x0F10, 0x1112, 0x1314};
    });
    Port port(sensor.SlavePath());
    auto st = Query(port, 1, mode, cmd::GetSensorState);
    ASSERT_TRUE(st);
    Bytes expected;
    for (uint16_t v : std::initializer_list<uint16_t>{0x0102, 0x0304, 0x0506, 0x0708, 0x8000, 0x000A, 0x0B0C, 0x0D0E, 0x0F10, 0x1112, 0x1314}) {
      Bytes w = WordBytes(v, mode);
      expected.insert(expected.end(), w.begin(), w.end());
    }
    EXPECT_EQ(*st, expected);
    EXPECT_EQ(Query(port, 1, mode, cmd::GetRange), WordBytes(0x8000, mode));
    EXPECT_EQ(Query(port, 1, mode, cmd::GetPeak), WordBytes(0x0B0C, mode));
  }
}

TEST(SimScan, ScanCountGrowsWhileScanning) {
  sim::VirtualSensor sensor(Config("KRV02", 0));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  auto idle = Query(port, 1, 0, cmd::GetKRV02State);
  ASSERT_TRUE(idle);
  EXPECT_EQ(Word(*idle, 12, 0), 0);

  port.Write(frame::Build(1, 0, cmd::StartScan));
  std::this_thread::sleep_for(60ms);
  auto a = Query(port, 1, 0, cmd::GetKRV02State);
  std::this_thread::sleep_for(40ms);
  auto b = Query(port, 1, 0, cmd::GetKRV02State);
  ASSERT_TRUE(a && b);
  EXPECT_NE(Word(*a, 12, 0), 0);  // scanning
  EXPECT_GT(Word(*a, 10, 0), 0);
  EXPECT_GT(Word(*b, 10, 0), Word(*a, 10, 0));

  port.Write(frame::Build(1, 0, cmd::StopScan));
  std::this_thread::sleep_for(20ms);
  auto c = Query(port, 1, 0, cmd::GetKRV02State);
  std::this_thread::sleep_for(40ms);
  auto d = Query(port, 1, 0, cmd::GetKRV02State);
  ASSERT_TRUE(c && d);
  EXPECT_EQ(Word(*c, 12, 0), 0);
  EXPECT_EQ(Word(*c, 10, 0), Word(*d, 10, 0));
  const sim::SensorState s = sensor.Snapshot();
  EXPECT_EQ(s.scanFill, std::min<size_t>(s.scanCount, sim::kScanBufferCapacity));
  // What was stored are real ranges of the current mode.
  for (size_t i = 0; i < s.scanFill; ++i) ASSERT_LE(s.scanBuffer[i], 32000);
}

TEST(SimScan, BufferStopsFillingAtItsCapacity) {
  sim::SensorState s;
  s.model = sim::kKrv02;
  sim::StartScanning(s, sim::TimePoint{});
  s.scanPeriod = std::chrono::microseconds(1000);
  sim::AdvanceLive(s, sim::TimePoint{} + std::chrono::milliseconds(9000));
  EXPECT_EQ(s.scanCount, 9000u);
  EXPECT_EQ(s.scanFill, sim::kScanBufferCapacity);
  sim::AdvanceLive(s, sim::TimePoint{} + std::chrono::milliseconds(9500));
  EXPECT_EQ(s.scanCount, 9500u);
}

TEST(SimScan, ForcedScanCountIsReported) {
  sim::VirtualSensor sensor(Config("KRV02", 1));
  ASSERT_TRUE(sensor.Start());
  sensor.Mutate([](sim::SensorState& s) { s.scanCount = 9000; });
  Port port(sensor.SlavePath());
  auto st = Query(port, 1, 1, cmd::GetKRV02State);
  ASSERT_TRUE(st);
  EXPECT_EQ(Word(*st, 10, 1), 9000);
}

class SimScanBuffer : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    sensor_ = std::make_unique<sim::VirtualSensor>(Config("KRV02", GetParam()));
    ASSERT_TRUE(sensor_->Start());
    sensor_->Mutate([](sim::SensorState& s) {
      for (size_t i = 0; i < sim::kScanBufferCapacity; ++i) s.scanBuffer[i] = static_cast<uint16_t>(0x0100 + 3 * i);
      s.scanFill = sim::kScanBufferCapacity;
    });
    port_ = std::make_unique<Port>(sensor_->SlavePath());
  }
  void Request(uint16_t start, uint16_t count) {
    // Start and count: low byte first in both modes.
    port_->Write(frame::Build(1, GetParam(), cmd::GetScanBufferPortion,
                              Bytes{static_cast<uint8_t>(start & 0xFF), static_cast<uint8_t>(start >> 8),
                                    static_cast<uint8_t>(count & 0xFF), static_cast<uint8_t>(count >> 8)}));
  }
  // Reads the count-down replies and checks every sample.
  void ExpectReplies(uint16_t start, uint16_t count) {
    const size_t replies = (count + 125u) / 126u;
    size_t index = start;
    for (size_t i = 0; i < replies; ++i) {
      auto f = port_->ReadFrame(GetParam());
      ASSERT_TRUE(f) << "reply " << i;
      ASSERT_TRUE(frame::Verify(f->data(), GetParam()));
      ASSERT_EQ((*f)[3], cmd::GetScanBufferPortion);
      size_t n = 0;
      frame::DataLength(GetParam(), (*f)[2], n);
      const size_t samples = std::min<size_t>(126, start + count - index);
      ASSERT_EQ(n, 1 + 2 * samples);
      EXPECT_EQ((*f)[4], replies - i);  // replies still to come, this one included
      for (size_t k = 0; k < samples; ++k, ++index) {
        const uint16_t expected = static_cast<uint16_t>(0x0100 + 3 * index);
        ASSERT_EQ((*f)[5 + 2 * k], expected & 0xFF) << index;
        ASSERT_EQ((*f)[6 + 2 * k], expected >> 8) << index;
      }
    }
    EXPECT_TRUE(port_->Silent(100ms));
  }
  std::unique_ptr<sim::VirtualSensor> sensor_;
  std::unique_ptr<Port> port_;
};

TEST_P(SimScanBuffer, PortionsCountDown) {
  Request(10, 300);
  ExpectReplies(10, 300);
  Request(300, 126);
  ExpectReplies(300, 126);
  Request(0, 127);
  ExpectReplies(0, 127);
  Request(8191, 1);
  ExpectReplies(8191, 1);
}

TEST_P(SimScanBuffer, WholeBufferIsSixtySixReplies) {
  Request(0, 8192);
  ExpectReplies(0, 8192);
}

TEST_P(SimScanBuffer, RequestsPastTheEndAreCutOrRefused) {
  // 8000 + 200 runs past the end: the 192 samples up to it come back.
  Request(8000, 200);
  ExpectReplies(8000, 192);
  Request(1, 8192);
  ExpectReplies(1, 8191);
  EXPECT_EQ(sensor_->Snapshot().errors.commandErrors, 0);
  Request(8192, 1);
  EXPECT_TRUE(port_->Silent(200ms));
  EXPECT_EQ(sensor_->Snapshot().errors.commandErrors, 1);
  Request(0, 0);
  EXPECT_TRUE(port_->Silent(100ms));
}

INSTANTIATE_TEST_SUITE_P(BothModes, SimScanBuffer, ::testing::Values(0, 1),
                         ModeName);

TEST(SimScan, HighLowAverageOverTheBuffer) {
  sim::VirtualSensor sensor(Config("KRV02", 1));
  ASSERT_TRUE(sensor.Start());
  sensor.Mutate([](sim::SensorState& s) {
    const uint16_t values[] = {100, 0xFFCE /* -50 */, 300, 0x8000 /* out of range */, 200};
    std::copy(std::begin(values), std::end(values), s.scanBuffer.begin());
    s.scanFill = 5;
  });
  Port port(sensor.SlavePath());
  auto hla = Query(port, 1, 1, cmd::HLAScanResult);
  ASSERT_TRUE(hla);
  // high 300 at scan 2, low -50 at scan 1, average (100 - 50 + 300 + 200) / 4
  EXPECT_EQ(*hla, (Bytes{0x01, 0x2C, 0x00, 0x02, 0xFF, 0xCE, 0x00, 0x01, 0x00, 0x89}));

  sensor.Mutate([](sim::SensorState& s) { s.scanFill = 0; });
  hla = Query(port, 1, 1, cmd::HLAScanResult);
  ASSERT_TRUE(hla);
  EXPECT_EQ(*hla, Bytes(10, 0));
}

TEST(SimScan, FilterTakesOutSingleSpikes) {
  sim::VirtualSensor sensor(Config("KRV02", 0));
  ASSERT_TRUE(sensor.Start());
  sensor.Mutate([](sim::SensorState& s) {
    const uint16_t values[] = {100, 5000, 110, 0x8000, 120};
    std::copy(std::begin(values), std::end(values), s.scanBuffer.begin());
    s.scanFill = 5;
  });
  Port port(sensor.SlavePath());
  port.Write(frame::Build(1, 0, cmd::ApplyScanFilter));
  EXPECT_TRUE(port.Silent(100ms));
  const sim::SensorState s = sensor.Snapshot();
  EXPECT_EQ(std::vector<uint16_t>(s.scanBuffer.begin(), s.scanBuffer.begin() + 5),
            (std::vector<uint16_t>{100, 110, 110, 110, 120}));
}

TEST(SimMemory, ReadMemoryWordsInTheModesOrder) {
  for (int32_t mode : {0, 1}) {
    sim::VirtualSensor sensor(Config("KRV04 Board Flipper", mode));
    ASSERT_TRUE(sensor.Start());
    sensor.Mutate([](sim::SensorState& s) {
      s.memory[0x1A01] = 0xBEEF;
      s.settings.threshold = 61;
    });
    const sim::SensorState s = sensor.Snapshot();
    Port port(sensor.SlavePath());
    Bytes request = WordBytes(0x1A00, mode);
    request.push_back(3);
    auto m = Query(port, 1, mode, cmd::ReadMemory, request);
    ASSERT_TRUE(m);
    ASSERT_EQ(m->size(), 6u);
    EXPECT_EQ(Word(*m, 0, mode), sim::records::MemoryWord(s, 0x1A00));
    EXPECT_EQ(Word(*m, 2, mode), 0xBEEF);
    EXPECT_EQ(Word(*m, 4, mode), sim::records::MemoryWord(s, 0x1A02));
    EXPECT_NE(Word(*m, 0, mode), Word(*m, 4, mode));

    request = WordBytes(0x0009, mode);
    request.push_back(1);
    EXPECT_EQ(Query(port, 1, mode, cmd::ReadMemory, request), WordBytes(61, mode));

    request = WordBytes(0, mode);
    request.push_back(0);
    EXPECT_EQ(Query(port, 1, mode, cmd::ReadMemory, request), Bytes{});
    request.back() = 200;  // more than a frame holds: 127 words
    auto big = Query(port, 1, mode, cmd::ReadMemory, request);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->size(), 254u);
  }
}

}  // namespace
