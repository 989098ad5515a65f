// The counter of the POSIX build: CLOCK_MONOTONIC in nanoseconds. (The
// Windows build's performance counter is tested in
// serial_comm_win32_test.cpp.)
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "serial/counter.h"

namespace {

TEST(DeadlineTimerCounter, MonotonicCounterRunsAtOneGigahertz) {
  uint64_t frequency = 0;
  QueryFrequency(frequency);
  EXPECT_EQ(frequency, 1000000000u);
  uint64_t a = 0;
  uint64_t b = 0;
  ASSERT_TRUE(MonotonicCounter().Read(a));
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(MonotonicCounter().Read(b));
  EXPECT_GE(b - a, 5000000u);
}

}  // namespace
