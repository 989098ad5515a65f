#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <thread>

#include "serial/counter.h"
#include "serial/deadline_timer.h"

namespace {

// A counter the test sets by hand.
class ManualCounter : public CounterSource {
 public:
  bool Read(uint64_t& ticks) const override {
    if (!readable) return false;
    ticks = now;
    return true;
  }
  bool Frequency(uint64_t& ticksPerSecond) const override {
    if (!hasFrequency) return false;
    ticksPerSecond = frequency;
    return true;
  }

  uint64_t now = 0;
  uint64_t frequency = 1000000;  // one tick per microsecond
  bool readable = true;
  bool hasFrequency = true;
};

constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

TEST(DeadlineTimer, NeverStartedReportsExpired) {
  ManualCounter counter;
  DeadlineTimer timer(counter);
  EXPECT_FALSE(timer.valid());
  EXPECT_FALSE(timer.armed());
  EXPECT_EQ(timer.frequency(), 1000000u);
  EXPECT_EQ(timer.Remaining(), 0u);
  EXPECT_EQ(timer.RemainingMs(), 0u);
}

TEST(DeadlineTimer, ZeroDurationIsExpiredAtOnce) {
  ManualCounter counter;
  counter.now = 12345;
  DeadlineTimer timer(counter);
  timer.Start(0);
  EXPECT_TRUE(timer.valid());
  EXPECT_EQ(timer.Remaining(), 0u);
  EXPECT_EQ(timer.RemainingMs(), 0u);
}

TEST(DeadlineTimer, CountsDownAndRoundsMillisecondsUp) {
  ManualCounter counter;
  counter.now = 500;
  DeadlineTimer timer(counter);
  timer.Start(5000);  // 5 ms
  EXPECT_EQ(timer.deadline(), 5500u);
  EXPECT_EQ(timer.Remaining(), 5000u);
  EXPECT_EQ(timer.RemainingMs(), 6u);  // ticks × 1000 / frequency + 1
  counter.now = 5499;
  EXPECT_EQ(timer.Remaining(), 1u);
  EXPECT_EQ(timer.RemainingMs(), 1u);  // under a millisecond left still counts as one
  counter.now = 5500;
  EXPECT_EQ(timer.Remaining(), 0u);
  EXPECT_EQ(timer.RemainingMs(), 0u);
  counter.now = 9000;
  EXPECT_EQ(timer.Remaining(), 0u);
}

TEST(DeadlineTimer, DeadlineUsesTheCounterFrequency) {
  ManualCounter counter;
  counter.frequency = 1000000000;  // nanoseconds
  counter.now = 7;
  DeadlineTimer timer(counter);
  timer.Start(1000000);  // one second
  EXPECT_EQ(timer.deadline(), 7u + 1000000000u);
  EXPECT_EQ(timer.RemainingMs(), 1001u);
}

TEST(DeadlineTimer, DeadlineBeyondTheWrapStillHasTimeLeft) {
  ManualCounter counter;
  counter.now = kMax - 99;  // 100 ticks before the wrap
  DeadlineTimer timer(counter);
  timer.Start(250);
  EXPECT_EQ(timer.deadline(), 150u);  // wrapped
  EXPECT_EQ(timer.Remaining(), 249u);
  EXPECT_EQ(timer.RemainingMs(), 1u);
  counter.now = kMax;
  EXPECT_EQ(timer.Remaining(), 150u);
  counter.now = 0;  // the counter has wrapped too
  EXPECT_EQ(timer.Remaining(), 150u);
  counter.now = 149;
  EXPECT_EQ(timer.Remaining(), 1u);
  counter.now = 150;
  EXPECT_EQ(timer.Remaining(), 0u);
  counter.now = 151;
  EXPECT_EQ(timer.Remaining(), 0u);
}

TEST(DeadlineTimer, CounterThatWrappedPastAnUnwrappedDeadlineIsExpired) {
  ManualCounter counter;
  counter.now = kMax - 1000;
  DeadlineTimer timer(counter);
  timer.Start(10);
  EXPECT_EQ(timer.Remaining(), 10u);
  counter.now = 3;  // wrapped: far beyond the deadline
  EXPECT_EQ(timer.Remaining(), 0u);
}

TEST(DeadlineTimer, MissingFrequencyMeansExpiredFromTheStart) {
  ManualCounter counter;
  counter.hasFrequency = false;
  DeadlineTimer timer(counter);
  timer.Start(1000000);
  EXPECT_FALSE(timer.valid());
  EXPECT_TRUE(timer.armed());
  EXPECT_EQ(timer.frequency(), 1000000u);
  EXPECT_EQ(timer.Remaining(), 0u);

  counter.hasFrequency = true;
  counter.frequency = 0;
  DeadlineTimer zero(counter);
  zero.Start(1000000);
  EXPECT_FALSE(zero.valid());
  EXPECT_EQ(zero.Remaining(), 0u);
}

TEST(DeadlineTimer, UnreadableCounterMeansExpired) {
  ManualCounter counter;
  counter.readable = false;
  DeadlineTimer timer(counter);
  timer.Start(1000000);
  EXPECT_FALSE(timer.valid());
  EXPECT_EQ(timer.Remaining(), 0u);

  counter.readable = true;
  DeadlineTimer later(counter);
  later.Start(1000000);
  EXPECT_GT(later.Remaining(), 0u);
  counter.readable = false;  // fails while armed
  EXPECT_EQ(later.Remaining(), 0u);
  EXPECT_EQ(later.RemainingMs(), 0u);
}

TEST(DeadlineTimer, LongDurationsDoNotOverflow) {
  ManualCounter counter;
  counter.frequency = 1000000000;
  counter.now = 1000;
  DeadlineTimer timer(counter);
  // 30,000 s: frequency × duration would not fit in 64 bits.
  timer.Start(30000000000ull);
  EXPECT_EQ(timer.deadline() - timer.start(), 30000000000000ull);
  EXPECT_EQ(timer.RemainingMs(), 30000001u);
}

TEST(DeadlineTimerCounter, RealTimerExpiresAfterItsBudget) {
  DeadlineTimer timer;
  timer.Start(50 * 1000);
  EXPECT_TRUE(timer.valid());
  const uint64_t ms = timer.RemainingMs();
  EXPECT_GE(ms, 1u);
  EXPECT_LE(ms, 51u);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(timer.Remaining(), 0u);
}

TEST(DeadlineTimerCounter, BusyWaitSpinsForTheWholeTime) {
  const auto wallStart = std::chrono::steady_clock::now();
  timespec cpuStart{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
  BusyWait(40);
  timespec cpuEnd{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
  const auto wall = std::chrono::steady_clock::now() - wallStart;
  EXPECT_GE(wall, std::chrono::milliseconds(40));
  EXPECT_LT(wall, std::chrono::milliseconds(2000));
  const double cpuMs = static_cast<double>(cpuEnd.tv_sec - cpuStart.tv_sec) * 1e3 +
                       static_cast<double>(cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e6;
  EXPECT_GT(cpuMs, 5.0);  // it spun rather than slept
}

}  // namespace
