// A throttled line also paces what the host sends: the sensor takes each
// byte no sooner than it would have finished arriving at the baud rate.

#include <gtest/gtest.h>

#include "protocol/command_ids.h"
#include "sim/receive_pacer.h"
#include "sim_test_support.h"

namespace {

using namespace simtest;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// 96 bytes of line noise (no start byte), then GetModelName: the reply can
// start only once all 101 bytes have crossed the line.
double NoiseThenQuerySeconds(bool throttle) {
  sim::SensorConfig c = Config("KRV04", 0);
  c.baudRate = 9600;
  sim::LineConfig line;
  line.throttle = throttle;
  sim::VirtualSensor sensor(c, line);
  if (!sensor.Start()) return -1;
  Port port(sensor.SlavePath(), 9600);
  Bytes request(96, 0x00);
  const Bytes query = frame::Build(1, 0, cmd::GetModelName);
  request.insert(request.end(), query.begin(), query.end());
  const auto sent = Clock::now();
  port.Write(request);
  const auto reply = port.ReadFrame(0, 2000ms);
  const double took = Seconds(Clock::now() - sent);
  return reply && (*reply)[3] == cmd::GetModelName ? took : -1;
}

TEST(SimReceivePacing, QueryWaitsForEveryRequestByteAtTheBaudRate) {
  // 101 request bytes and a 21-byte reply at 9600 bit/s.
  const double expected = (101 + 21) * 10.0 / 9600;  // 127.1 ms
  const double took = NoiseThenQuerySeconds(true);
  ASSERT_GT(took, 0);
  EXPECT_GE(took, expected * 0.98);
  EXPECT_LE(took, expected + 0.1);
  // Unthrottled the request costs nothing.
  const double fast = NoiseThenQuerySeconds(false);
  ASSERT_GT(fast, 0);
  EXPECT_LT(fast, 101 * 10.0 / 9600);
}

TEST(SimReceivePacing, XmodemBlockIsAcknowledgedAfterItsLineTime) {
  sim::SensorConfig c = Config("KRV04", 0);
  c.baudRate = 19200;
  sim::LineConfig line;
  line.throttle = true;
  sim::VirtualSensor sensor(c, line);
  ASSERT_TRUE(sensor.Start());
  sensor.Mutate([](sim::SensorState& s) {
    s.flashProtect1 = 0x3C;
    s.flashProtect2 = 0xC3;
  });
  Port port(sensor.SlavePath(), 19200);
  ASSERT_TRUE(Query(port, 1, 0, cmd::UploadCode));
  const Bytes start = port.Read(1, 1000ms);
  ASSERT_EQ(start, Bytes{'C'});

  Bytes block = {0x01, 0x01, 0xFE};
  Bytes data(128);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  uint16_t crc = 0;
  for (uint8_t b : data) {
    crc = static_cast<uint16_t>(crc ^ (b << 8));
    for (int k = 0; k < 8; ++k) crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  block.insert(block.end(), data.begin(), data.end());
  block.push_back(static_cast<uint8_t>(crc >> 8));
  block.push_back(static_cast<uint8_t>(crc & 0xFF));

  const auto sent = Clock::now();
  port.Write(block);
  const Bytes answer = port.Read(1, 1000ms);
  const double took = Seconds(Clock::now() - sent);
  ASSERT_EQ(answer, Bytes{0x06});
  const double expected = (133 + 1) * 10.0 / 19200;  // 69.8 ms
  EXPECT_GE(took, expected * 0.98);
  EXPECT_LE(took, expected + 0.1);
  EXPECT_EQ(sensor.Snapshot().upload.blocks, 1u);
}

TEST(SimReceivePacing, PacerKeepsAnAbsoluteScheduleAcrossWrites) {
  sim::ReceivePacer pacer;
  const sim::TimePoint t0{};
  const uint8_t a[3] = {1, 2, 3};
  const uint8_t b[2] = {4, 5};
  pacer.Arrive(a, 3, 10000, 0, t0);  // 1 ms per byte
  // Written while the first write is still on the wire: it follows it.
  pacer.Arrive(b, 2, 10000, 0, t0 + std::chrono::microseconds(500));
  EXPECT_FALSE(pacer.TakeDue(t0 + std::chrono::microseconds(999)));
  ASSERT_EQ(pacer.NextDue(), t0 + std::chrono::milliseconds(1));

  auto due = pacer.TakeDue(t0 + std::chrono::microseconds(2500));
  ASSERT_TRUE(due);
  EXPECT_EQ(due->bytes, (Bytes{1, 2}));
  EXPECT_FALSE(pacer.TakeDue(t0 + std::chrono::microseconds(2500)));
  EXPECT_EQ(pacer.NextDue(), t0 + std::chrono::milliseconds(3));

  // Late wake-up: everything due comes, write by write, in order.
  due = pacer.TakeDue(t0 + std::chrono::milliseconds(10));
  ASSERT_TRUE(due);
  EXPECT_EQ(due->bytes, (Bytes{3}));
  due = pacer.TakeDue(t0 + std::chrono::milliseconds(10));
  ASSERT_TRUE(due);
  EXPECT_EQ(due->bytes, (Bytes{4, 5}));
  EXPECT_TRUE(pacer.Idle());
  EXPECT_FALSE(pacer.NextDue());

  // An idle line starts the next write when it is made.
  pacer.Arrive(a, 1, 10000, 9600, t0 + std::chrono::milliseconds(20));
  EXPECT_FALSE(pacer.TakeDue(t0 + std::chrono::microseconds(20999)));
  due = pacer.TakeDue(t0 + std::chrono::milliseconds(21));
  ASSERT_TRUE(due);
  EXPECT_EQ(due->hostBaudRate, 9600);
}

TEST(SimReceivePacing, LongWriteEndsExactlyOnItsLineTime) {
  // 65536 bytes at 57600 bit/s: 11.377777... s; no rounding drift.
  sim::ReceivePacer pacer;
  const sim::TimePoint t0{};
  const Bytes image(65536, 0x55);
  pacer.Arrive(image.data(), image.size(), 57600, 0, t0);
  const auto end = t0 + std::chrono::nanoseconds(int64_t{65536} * 10 * 1000000000 / 57600);
  size_t taken = 0;
  while (auto due = pacer.TakeDue(end - std::chrono::nanoseconds(1))) taken += due->bytes.size();
  EXPECT_EQ(taken, 65535u);
  auto last = pacer.TakeDue(end);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->bytes.size(), 1u);
}

}  // namespace
