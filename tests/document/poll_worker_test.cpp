// The poll worker: its 250 ms pace, a slow poll stretching the interval,
// and a stop that is never held up by a tick nobody takes, by a poll in
// progress or by a slow notice, also when repeated many times.

#include "tarkon/document/poll_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::chrono::milliseconds Since(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t);
}

// Stops the worker and says how long that took.
std::chrono::milliseconds TimedStop(PollWorker& worker) {
  const auto begin = Clock::now();
  worker.StopThread();
  return Since(begin);
}

// A stop is prompt when it comes well inside the worker's 1000 ms grace.
constexpr auto kPromptStop = 300ms;

TEST(PollWorker, TicksEvery250MsWhileTakenAndHandled) {
  PollWorker worker;
  std::atomic<int> notices{0};
  worker.SetTickListener([&] { notices.fetch_add(1); });
  worker.StartThread();
  std::vector<Clock::time_point> taken;
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(worker.WaitAndTakeTick(2000)) << i;
    taken.push_back(Clock::now());
    // Only one tick at a time: a second one is not pending before this one
    // is handled.
    EXPECT_FALSE(worker.TakeTick());
    worker.TickHandled();
  }
  EXPECT_LT(TimedStop(worker), kPromptStop);
  for (size_t i = 1; i < taken.size(); ++i) {
    const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(taken[i] - taken[i - 1]);
    EXPECT_GE(gap, 245ms) << i;
    EXPECT_LE(gap, 750ms) << i;
  }
  EXPECT_GE(notices.load(), 5);
  EXPECT_GE(worker.ticksRaised(), 5u);
}

TEST(PollWorker, ASlowPollStretchesTheInterval) {
  PollWorker worker;
  worker.SetTickListener([] {});
  worker.StartThread();
  std::vector<Clock::time_point> taken;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(worker.WaitAndTakeTick(2000)) << i;
    taken.push_back(Clock::now());
    std::this_thread::sleep_for(200ms);  // the exchanges of one tick
    worker.TickHandled();
  }
  worker.StopThread();
  for (size_t i = 1; i < taken.size(); ++i)
    EXPECT_GE(taken[i] - taken[i - 1], 445ms) << i;  // 200 ms polling, then the 250 ms pause
}

TEST(PollWorker, StopIsPromptWhileATickWaitsUntaken) {
  PollWorker worker;
  std::atomic<int> notices{0};
  worker.SetTickListener([&] { notices.fetch_add(1); });
  worker.StartThread();
  const auto begin = Clock::now();
  while (notices.load() == 0 && Since(begin) < 2000ms) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(notices.load(), 1);
  // Nobody takes the tick; the worker waits for it to be handled.
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(worker.ticksRaised(), 1u);
  EXPECT_LT(TimedStop(worker), kPromptStop);
  EXPECT_EQ(worker.state(), WorkerThread::kEnded);
  // The stale tick is gone with the worker.
  EXPECT_FALSE(worker.TakeTick());
}

TEST(PollWorker, StopIsPromptWhileAPollIsInProgress) {
  PollWorker worker;
  worker.SetTickListener([] {});
  worker.StartThread();
  std::atomic<bool> holding{false};
  std::atomic<bool> release{false};
  std::thread poller([&] {
    if (!worker.WaitAndTakeTick(2000)) return;
    holding = true;
    const auto begin = Clock::now();
    while (!release.load() && Since(begin) < 3000ms) std::this_thread::sleep_for(1ms);
    worker.TickHandled();
  });
  const auto begin = Clock::now();
  while (!holding.load() && Since(begin) < 2000ms) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(holding.load());
  EXPECT_LT(TimedStop(worker), kPromptStop);
  release = true;
  poller.join();
  EXPECT_FALSE(worker.WaitAndTakeTick(300));
}

TEST(PollWorker, StopIsPromptWhenTheNoticeIsSlow) {
  PollWorker worker;
  std::atomic<int> entered{0};
  worker.SetTickListener([&] {
    entered.fetch_add(1);
    std::this_thread::sleep_for(150ms);  // a front end that wakes its poller slowly
  });
  worker.StartThread();
  const auto begin = Clock::now();
  while (entered.load() == 0 && Since(begin) < 2000ms) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(entered.load(), 1);
  // The stop waits out the notice, not the tick behind it.
  EXPECT_LT(TimedStop(worker), 150ms + kPromptStop);
  EXPECT_EQ(entered.load(), 1);
}

TEST(PollWorker, NoTickAfterStop) {
  PollWorker worker;
  std::atomic<int> notices{0};
  worker.SetTickListener([&] { notices.fetch_add(1); });
  worker.StartThread();
  ASSERT_TRUE(worker.WaitAndTakeTick(2000));
  worker.TickHandled();
  ASSERT_TRUE(worker.WaitAndTakeTick(2000));
  worker.StopThread();
  worker.TickHandled();  // a poll that ends after the stop does no harm
  const uint64_t raised = worker.ticksRaised();
  const int noticed = notices.load();
  EXPECT_FALSE(worker.WaitAndTakeTick(600));
  EXPECT_FALSE(worker.TakeTick());
  EXPECT_EQ(worker.ticksRaised(), raised);
  EXPECT_EQ(notices.load(), noticed);
}

TEST(PollWorker, StartAndStopManyTimes) {
  PollWorker worker;
  std::atomic<int> notices{0};
  worker.SetTickListener([&] { notices.fetch_add(1); });
  auto slowest = 0ms;
  for (int i = 0; i < 40; ++i) {
    worker.StartThread();
    // Every start runs a body that ticks again.
    ASSERT_TRUE(worker.WaitAndTakeTick(2000)) << i;
    if (i % 2 == 0) worker.TickHandled();  // every other stop comes while a tick is held
    slowest = std::max(slowest, TimedStop(worker));
  }
  // A stop right after the start, before the first tick.
  for (int i = 0; i < 20; ++i) {
    worker.StartThread();
    slowest = std::max(slowest, TimedStop(worker));
  }
  EXPECT_LT(slowest, kPromptStop);
  EXPECT_GE(notices.load(), 40);
  EXPECT_EQ(worker.state(), WorkerThread::kEnded);
  const uint64_t raised = worker.ticksRaised();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(worker.ticksRaised(), raised);
}

TEST(PollWorker, EndingWhileRunningIsPrompt) {
  std::atomic<int> notices{0};
  auto worker = std::make_unique<PollWorker>();
  worker->SetTickListener([&] { notices.fetch_add(1); });
  worker->StartThread();
  const auto begin = Clock::now();
  while (notices.load() == 0 && Since(begin) < 2000ms) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(notices.load(), 1);
  const auto ending = Clock::now();
  worker.reset();
  EXPECT_LT(Since(ending), kPromptStop);
  EXPECT_EQ(notices.load(), 1);
}

}  // namespace
