// What a real line does that a well-behaved one does not: a far end that
// stops reading (flow control held off, a stalled adapter), a far end that
// goes away (adapter pulled), a driver without RS-485 mode; and the answer
// wait that blocks instead of spinning.

#include <gtest/gtest.h>

#include <ctime>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "serial/serial_port.h"
#include "support/pty_peer.h"

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Allowance for a machine loaded by parallel tests.
constexpr long kSlackMs = 700;

class LineEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(port.ConnectDevice(peer.path(), 57600, kParityNone, kStopOne, 8, 100, 100)) << port.errorText();
  }
  PtyPeer peer;
  SerialPort port;
};

// The far end reads nothing: the write hands over what the driver takes and
// returns within its budget with a short count, for budgets of one platform
// call and of several.
TEST_F(LineEvents, WriteToAFarEndThatStopsReadingEndsWithinItsBudget) {
  const std::vector<uint8_t> data(1 << 20, 0x55);
  for (const uint32_t budgetMs : {50u, 300u, 1000u}) {
    size_t done = 0;
    const auto start = Clock::now();
    port.Write(data.data(), data.size(), &done, budgetMs);
    const long took = MsSince(start);
    EXPECT_LT(done, data.size()) << budgetMs;
    EXPECT_LE(took, static_cast<long>(budgetMs) + kSlackMs) << budgetMs;
  }
}

TEST_F(LineEvents, AnswerWaitBlocksUntilAByteOrItsTime) {
  // Nothing comes: the whole wait passes asleep.
  const double cpuBefore = ThreadCpuMs();
  auto start = Clock::now();
  EXPECT_EQ(port.WaitForInput(300), InputWait::kTimeout);
  EXPECT_GE(MsSince(start), 290);
  EXPECT_LT(ThreadCpuMs() - cpuBefore, 30.0);

  // A byte 100 ms into a 2 s wait ends it then.
  std::thread answer([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    peer.Write({0x06});
  });
  start = Clock::now();
  EXPECT_EQ(port.WaitForInput(2000), InputWait::kInput);
  EXPECT_LT(MsSince(start), 100 + kSlackMs);
  answer.join();
  uint8_t byte = 0;
  size_t done = 0;
  ASSERT_TRUE(port.Read(&byte, 1, &done, 100));
  EXPECT_EQ(byte, 0x06);
  EXPECT_FALSE(port.LineGone());
}

TEST_F(LineEvents, FarEndClosingIsSeenAsAGoneLine) {
  peer.CloseSlave();
  std::thread unplug([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    peer.CloseMaster();
  });
  const auto start = Clock::now();
  EXPECT_EQ(port.WaitForInput(2000), InputWait::kGone);
  EXPECT_LT(MsSince(start), 100 + kSlackMs);
  unplug.join();
  EXPECT_TRUE(port.LineGone());
  uint8_t byte = 0;
  size_t done = 0;
  EXPECT_FALSE(port.Read(&byte, 1, &done, 100));
  EXPECT_EQ(port.errorCode(), kSerialIoError);
}

TEST_F(LineEvents, Rs485ModeRefusedByADriverWithoutIt) {
  EXPECT_FALSE(port.SetRs485(true));
  EXPECT_EQ(port.errorCode(), kSerialPlatformCall);
  EXPECT_EQ(std::string(port.errorText()).rfind("sc_SetRs485: the driver has no RS-485 mode (", 0), 0u)
      << port.errorText();
  EXPECT_NE(port.error().osError, 0);
  // Off where it never existed is no failure: RS-232 use is untouched.
  EXPECT_TRUE(port.SetRs485(false));
}

}  // namespace
