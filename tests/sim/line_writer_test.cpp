// The throttled writer in bursts, against a pipe and a clock the test sets.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "sim/line_writer.h"

namespace {

using namespace std::chrono_literals;

TEST(SimLineWriter, InBurstsTheLineKeepsItsPaceButBytesWaitForTheTick) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_NONBLOCK), 0);
  sim::Tracer tracer;
  sim::LineWriter writer;
  writer.SetThrottle(true);
  writer.SetBurst(1ms);
  sim::OutgoingItem reply;
  reply.bytes = {0x02, 0x01, 0x03, 0x0C, 0x34, 0x12, 0xAE};  // 173.6 us a byte at 57600
  writer.Queue(reply);
  const sim::TimePoint t0(10s);  // a tick
  std::optional<sim::TimePoint> next;
  const auto pumpAt = [&](sim::Clock::duration at) {
    bool wantWritable = false;
    next = writer.Pump(fds[1], t0 + at, tracer, wantWritable);
    char buffer[16];
    return std::max<ssize_t>(::read(fds[0], buffer, sizeof buffer), 0);
  };
  EXPECT_EQ(pumpAt(0us), 0);
  EXPECT_EQ(pumpAt(500us), 0) << "two bytes crossed the line, the tick has not come";
  EXPECT_EQ(next, t0 + 1ms);
  EXPECT_EQ(pumpAt(1000us), 5) << "all that crossed by the tick";
  EXPECT_EQ(next, t0 + 2ms);
  EXPECT_EQ(pumpAt(1999us), 0);
  EXPECT_EQ(pumpAt(2000us), 2);
  EXPECT_FALSE(next) << "nothing left to time";
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
