// The throttled writer's schedule, byte by byte and in bursts, against a
// pipe and a clock the test sets.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "sim/line_writer.h"

namespace {

using namespace std::chrono_literals;

class SimLineWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::pipe(fds_), 0);
    ::fcntl(fds_[1], F_SETFL, ::fcntl(fds_[1], F_GETFL) | O_NONBLOCK);
    ::fcntl(fds_[0], F_SETFL, ::fcntl(fds_[0], F_GETFL) | O_NONBLOCK);
  }
  void TearDown() override {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  // Pumps at `at` (after the first tick of t0) and returns what reached the
  // pipe then, and when to pump again.
  size_t PumpAt(sim::Clock::duration at, std::optional<sim::TimePoint>* next = nullptr) {
    bool wantWritable = false;
    const auto when = writer_.Pump(fds_[1], t0_ + at, tracer_, wantWritable);
    if (next != nullptr) *next = when;
    char buffer[64];
    const ssize_t n = ::read(fds_[0], buffer, sizeof buffer);
    return n > 0 ? static_cast<size_t>(n) : 0;
  }
  void QueueReply() {
    sim::OutgoingItem item;
    item.bytes = {0x02, 0x01, 0x03, 0x0C, 0x34, 0x12, 0xAE};  // 7 bytes, 173.6 us each at 57600
    item.baudRate = 57600;
    writer_.Queue(item);
  }

  int fds_[2] = {-1, -1};
  const sim::TimePoint t0_ = sim::TimePoint(10s);  // on a tick of any period in whole ms
  sim::Tracer tracer_;
  sim::LineWriter writer_;
};

TEST_F(SimLineWriter, ThrottledBytesGoOneAtATime) {
  writer_.SetThrottle(true);
  QueueReply();
  std::optional<sim::TimePoint> next;
  EXPECT_EQ(PumpAt(0us, &next), 0u);
  EXPECT_EQ(PumpAt(500us, &next), 2u);
  ASSERT_TRUE(next);
  EXPECT_LT(*next - t0_, 600us) << "the third byte's own time";
  EXPECT_EQ(PumpAt(1300us), 5u);
}

TEST_F(SimLineWriter, InBurstsTheLineKeepsItsPaceButBytesWaitForTheTick) {
  writer_.SetThrottle(true);
  writer_.SetBurst(1ms);
  QueueReply();
  std::optional<sim::TimePoint> next;
  EXPECT_EQ(PumpAt(0us, &next), 0u);
  EXPECT_EQ(PumpAt(500us, &next), 0u) << "two bytes crossed the line, the tick has not come";
  ASSERT_TRUE(next);
  EXPECT_EQ(*next - t0_, 1ms);
  EXPECT_EQ(PumpAt(1000us, &next), 5u) << "all that crossed by the tick";
  ASSERT_TRUE(next);
  EXPECT_EQ(*next - t0_, 2ms);
  EXPECT_EQ(PumpAt(1999us), 0u);
  EXPECT_EQ(PumpAt(2000us, &next), 2u);
  EXPECT_FALSE(next) << "nothing left to time";
}

}  // namespace
