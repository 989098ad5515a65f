// The virtual sensor on the in-process line, reached with the serial
// layer's ordinary calls: exact reply frames, the line time of the baud
// rate, and a pulled line.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "serial/serial_port.h"
#include "sim/in_process_sensor.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

sim::SensorConfig Krv02() {
  sim::SensorConfig config;
  config.model = "KRV02";
  config.address = 1;
  config.checkMode = 0;
  return config;
}

Bytes Exchange(SerialPort& port, const Bytes& request, size_t replySize) {
  size_t done = 0;
  EXPECT_TRUE(port.Write(request.data(), request.size(), &done, 500)) << port.errorText();
  Bytes reply(replySize);
  EXPECT_TRUE(port.Read(reply.data(), reply.size(), &done, 1000)) << port.errorText();
  reply.resize(done);
  return reply;
}

TEST(InProcessSensor, AnswersWithTheExactFrameAfterTheLineTime) {
  sim::SensorConfig config = Krv02();
  config.baudRate = 9600;
  sim::InProcessSensor sensor(config);
  ASSERT_TRUE(sensor.Start()) << sensor.LastError();
  sensor.Mutate([](sim::SensorState& s) { s.settings.minLaserPower = 10; });
  SerialPort port;
  ASSERT_TRUE(port.ConnectDevice(sensor.Device(), 9600, kParityNone, kStopOne, 8, 100, 100)) << port.errorText();
  const auto start = Clock::now();
  // GetMinLP in checksum mode; 02 01 02 82 0A and the two's complement of
  // their sum.
  EXPECT_EQ(Exchange(port, {0x02, 0x01, 0x01, 0x82, 0x7A}, 6), (Bytes{0x02, 0x01, 0x02, 0x82, 0x0A, 0x6F}));
  // 11 bytes at 9600 bit/s cross the line in 11.5 ms.
  EXPECT_GE(Clock::now() - start, std::chrono::microseconds(11000));
  EXPECT_EQ(sensor.Snapshot().activity.framesReceived, 1u);
}

TEST(InProcessSensor, BytesAtAnotherBaudRateThanTheSensorsAreDropped) {
  sim::InProcessSensor sensor(Krv02());  // 57600 bit/s
  ASSERT_TRUE(sensor.Start());
  SerialPort port;
  ASSERT_TRUE(port.ConnectDevice(sensor.Device(), 19200, kParityNone, kStopOne, 8, 50, 50));
  EXPECT_TRUE(Exchange(port, {0x02, 0x01, 0x01, 0x82, 0x7A}, 6).empty());
  ASSERT_TRUE(port.ApplyBaudRate(57600));
  EXPECT_EQ(Exchange(port, {0x02, 0x01, 0x01, 0x82, 0x7A}, 6).size(), 6u);
}

TEST(InProcessSensor, UnplugIsSeenAsALineGoneAndReplugLetsTheHostConnectAgain) {
  sim::InProcessSensor sensor(Krv02());
  ASSERT_TRUE(sensor.Start());
  SerialPort port;
  ASSERT_TRUE(port.ConnectDevice(sensor.Device(), 57600, kParityNone, kStopOne, 8, 50, 50));
  sensor.Unplug();
  EXPECT_TRUE(port.LineGone());
  size_t done = 0;
  const uint8_t byte = 0;
  EXPECT_FALSE(port.Write(&byte, 1, &done, 50));
  EXPECT_EQ(port.errorCode(), 11);
  sensor.Replug();
  port.Disconnect();
  ASSERT_TRUE(port.ConnectDevice(sensor.Device(), 57600, kParityNone, kStopOne, 8, 50, 50)) << port.errorText();
  EXPECT_EQ(Exchange(port, {0x02, 0x01, 0x01, 0x82, 0x7A}, 6).size(), 6u);
}

}  // namespace
