// The in-process line through the serial layer's ordinary calls, on every
// platform: what the host writes reaches the far end after its line time,
// what the far end sends reaches the host byte time after byte time, and a
// line that goes away fails as a port whose adapter was pulled.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "serial/in_process_line.h"
#include "serial/serial_comm.h"
#include "serial/serial_port.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long MsSince(Clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<milliseconds>(Clock::now() - start).count());
}

const std::string kIoText = "An I/O error occurred during communications with the device.";

class InProcessLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handle = sc_OpenDevice(line.name(), &err);
    ASSERT_NE(handle, kInvalidSerialHandle) << err.text;
    settings.baudRate = 9600;  // 1.04 ms a byte
    ASSERT_TRUE(sc_SetSettings(handle, settings, &err)) << err.text;
  }
  void TearDown() override { sc_Close(handle, &err); }

  InProcessLine line;
  SerialSettings settings;
  SerialError err;
  SerialHandle handle = kInvalidSerialHandle;
};

TEST_F(InProcessLineTest, HostBytesReachTheFarEndAfterTheirLineTime) {
  EXPECT_TRUE(InProcessLine::IsName(line.name()));
  EXPECT_EQ(line.HostBaudRate(), 9600);
  const std::vector<uint8_t> request(48, 0x5A);  // 50 ms at 9600 bit/s
  size_t done = 0;
  const auto start = Clock::now();
  ASSERT_TRUE(sc_Write(handle, request.data(), request.size(), &done, 1000, &err)) << err.text;
  EXPECT_EQ(done, request.size());
  // The write returns once the bytes have crossed the wire, as a flushed
  // write on a port does.
  EXPECT_GE(MsSince(start), 49);
  std::vector<uint8_t> got;
  while (got.size() < request.size()) {
    const auto part = line.TakeFromHost(Clock::now() + milliseconds(200));
    ASSERT_FALSE(part.empty());
    got.insert(got.end(), part.begin(), part.end());
  }
  EXPECT_EQ(got, request);
}

TEST_F(InProcessLineTest, FarEndBytesArriveByteTimeAfterByteTimeAndAShortReadSucceeds) {
  const std::vector<uint8_t> reply = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  const auto start = Clock::now();
  line.SendToHost(reply.data(), reply.size());  // about 21 ms at 9600 bit/s
  uint8_t buffer[32] = {};
  size_t done = 0;
  ASSERT_TRUE(sc_Read(handle, buffer, reply.size(), &done, 1000, &err)) << err.text;
  EXPECT_EQ(done, reply.size());
  EXPECT_GE(MsSince(start), 20);
  EXPECT_EQ(std::memcmp(buffer, reply.data(), reply.size()), 0);

  // Five asked for, three come: success with a count of 3 once the budget
  // has run out.
  line.SendToHost(reply.data(), 3);
  const auto readStart = Clock::now();
  ASSERT_TRUE(sc_Read(handle, buffer, 5, &done, 60, &err)) << err.text;
  EXPECT_EQ(done, 3u);
  EXPECT_GE(MsSince(readStart), 55);
}

TEST_F(InProcessLineTest, PurgeClearErrorAndWaitBehaveAsOnAPort) {
  const uint8_t bytes[] = {9, 8, 7};
  line.SendToHost(bytes, 3);
  EXPECT_EQ(sc_WaitInput(handle, 500), InputWait::kInput);
  std::this_thread::sleep_for(milliseconds(10));
  uint32_t errors = 99;
  LineStatus status;
  ASSERT_TRUE(sc_ClearError(handle, &errors, &status));
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(status.inQueue, 3u);
  ASSERT_TRUE(sc_PurgeBuffers(handle, &err));
  ASSERT_TRUE(sc_ClearError(handle, &errors, &status));
  EXPECT_EQ(status.inQueue, 0u);
  EXPECT_EQ(sc_WaitInput(handle, 20), InputWait::kTimeout);
  EXPECT_FALSE(sc_LineGone(handle));
}

TEST_F(InProcessLineTest, TheLineIsExclusiveAndAMissingLineCannotBeOpened) {
  SerialError second;
  EXPECT_EQ(sc_OpenDevice(line.name(), &second), kInvalidSerialHandle);
  EXPECT_EQ(second.code, 7);
  EXPECT_EQ(second.osError, EBUSY);
  EXPECT_EQ(std::string(second.text).rfind("sc_Open: could not open " + line.name() + " (", 0), 0u) << second.text;

  EXPECT_EQ(sc_OpenDevice("virtual-line:999999", &second), kInvalidSerialHandle);
  EXPECT_EQ(second.code, 7);
  EXPECT_EQ(second.osError, ENOENT);
}

TEST_F(InProcessLineTest, AnUnpluggedLineFailsReadsAndWritesWithTheIoErrorUntilReopened) {
  line.Unplug();
  EXPECT_TRUE(sc_LineGone(handle));
  EXPECT_EQ(sc_WaitInput(handle, 10), InputWait::kGone);
  uint8_t buffer[4];
  size_t done = 0;
  EXPECT_FALSE(sc_Read(handle, buffer, 4, &done, 50, &err));
  EXPECT_EQ(err.code, 11);
  EXPECT_EQ(std::string(err.text), "::sc_Read ReadFile failed (" + kIoText + ")");
  EXPECT_FALSE(sc_Write(handle, buffer, 4, &done, 50, &err));
  EXPECT_EQ(err.code, 11);
  EXPECT_EQ(std::string(err.text), "::sc_Write WriteFile failed (" + kIoText + ")");

  // Put back: the old handle stays gone, a new open works.
  line.Replug();
  EXPECT_TRUE(sc_LineGone(handle));
  SerialPort port;
  ASSERT_TRUE(port.ConnectDevice(line.name(), 57600, kParityNone, kStopOne, 8, 100, 100)) << port.errorText();
  EXPECT_FALSE(port.LineGone());
  EXPECT_EQ(line.HostBaudRate(), 57600);
}

TEST(InProcessLineLife, AHandleOutlivingItsLineSeesItGone) {
  SerialError err;
  SerialHandle handle = kInvalidSerialHandle;
  {
    InProcessLine line;
    handle = sc_OpenDevice(line.name(), &err);
    ASSERT_NE(handle, kInvalidSerialHandle);
  }
  EXPECT_TRUE(sc_LineGone(handle));
  uint8_t byte = 0;
  size_t done = 0;
  EXPECT_FALSE(sc_Write(handle, &byte, 1, &done, 10, &err));
  EXPECT_EQ(err.code, 11);
  EXPECT_TRUE(sc_Close(handle, &err));
}

}  // namespace
