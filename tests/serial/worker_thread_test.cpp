#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/worker_thread.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// A worker whose body and hooks the tests steer and count.
class TestWorker : public WorkerThread {
 public:
  enum class Body { Polite, Stubborn, Quick };

  explicit TestWorker(Body body = Body::Polite) : body_(body) {}
  ~TestWorker() override {
    StopThread();
    WaitAbandoned();
  }

  // Like the poll worker: the hooks that would return the state to idle do nothing.
  std::atomic<bool> keepEnded{false};
  std::atomic<bool> startResult{true};
  std::atomic<int> startDelayMs{0};
  std::atomic<int> stubbornMs{1500};

  std::atomic<int> starts{0};
  std::atomic<int> runs{0};
  std::atomic<int> runsFinished{0};
  std::atomic<int> exits{0};
  std::atomic<int> stopped{0};
  std::atomic<bool> bodyRunning{false};

  // What each run saw when it asked for its own stop request at its end.
  std::vector<bool> stopSeenAtEnd() {
    const std::lock_guard<std::mutex> guard(mutex_);
    return stopSeen_;
  }

 protected:
  bool OnStart() override {
    ++starts;
    if (startDelayMs > 0) std::this_thread::sleep_for(milliseconds(startDelayMs));
    return startResult;
  }
  void Run() override {
    ++runs;
    bodyRunning = true;
    switch (body_) {
      case Body::Polite:
        while (!WaitForStop(10000)) {
        }
        break;
      case Body::Stubborn:
        std::this_thread::sleep_for(milliseconds(stubbornMs));  // ignores the stop request
        break;
      case Body::Quick:
        break;
    }
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      stopSeen_.push_back(StopRequested());
    }
    bodyRunning = false;
    ++runsFinished;
  }
  void OnExit() override {
    ++exits;
    if (!keepEnded) WorkerThread::OnExit();
  }
  void OnStopped() override {
    ++stopped;
    if (!keepEnded) WorkerThread::OnStopped();
  }

 private:
  Body body_;
  std::mutex mutex_;
  std::vector<bool> stopSeen_;
};

template <typename Predicate>
bool WaitFor(Predicate done, int ms) {
  const auto end = Clock::now() + milliseconds(ms);
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(milliseconds(2));
  }
  return true;
}

TEST(WorkerThread, StartsIdle) {
  TestWorker worker;
  EXPECT_EQ(worker.state(), WorkerThread::kIdle);
  EXPECT_FALSE(worker.created());
}

TEST(WorkerThread, StartThreadReturnsOnlyOnceTheBodyRuns) {
  TestWorker worker;
  worker.startDelayMs = 150;
  const auto start = Clock::now();
  worker.StartThread();
  EXPECT_GE(Since(start), milliseconds(150));
  EXPECT_EQ(worker.state(), WorkerThread::kRunning);
  EXPECT_TRUE(worker.created());
  EXPECT_EQ(worker.starts, 1);
  EXPECT_TRUE(WaitFor([&] { return worker.bodyRunning.load(); }, 2000));
}

TEST(WorkerThread, StartThreadOnARunningWorkerReturnsAtOnce) {
  TestWorker worker;
  worker.StartThread();
  worker.startDelayMs = 500;  // a second start would take this long
  const auto start = Clock::now();
  worker.StartThread();
  EXPECT_LT(Since(start), milliseconds(300));
  EXPECT_EQ(worker.starts, 1);
  EXPECT_EQ(worker.state(), WorkerThread::kRunning);
}

TEST(WorkerThread, PoliteBodyStopsWithoutTheGrace) {
  TestWorker worker;
  worker.StartThread();
  const auto start = Clock::now();
  worker.StopThread();
  EXPECT_LT(Since(start), milliseconds(700));
  EXPECT_EQ(worker.runsFinished, 1);
  EXPECT_EQ(worker.exits, 1);
  // Base hooks: OnExit reports the end, and StopThread's OnStopped returns
  // the worker to idle.
  EXPECT_EQ(worker.stopped, 2);
  EXPECT_EQ(worker.state(), WorkerThread::kIdle);
}

TEST(WorkerThread, WorkerWithSilentHooksStaysEndedAfterStop) {
  TestWorker worker;
  worker.keepEnded = true;
  worker.StartThread();
  worker.StopThread();
  EXPECT_EQ(worker.state(), WorkerThread::kEnded);
}

TEST(WorkerThread, StopThreadOnIdleOrEndedWorkerDoesNothing) {
  TestWorker worker;
  worker.keepEnded = true;
  worker.StopThread();
  EXPECT_EQ(worker.stopped, 0);
  EXPECT_EQ(worker.state(), WorkerThread::kIdle);

  worker.StartThread();
  worker.StopThread();
  EXPECT_EQ(worker.stopped, 1);
  ASSERT_EQ(worker.state(), WorkerThread::kEnded);
  const auto start = Clock::now();
  worker.StopThread();
  EXPECT_LT(Since(start), milliseconds(100));
  EXPECT_EQ(worker.stopped, 1);
  EXPECT_EQ(worker.state(), WorkerThread::kEnded);
}

TEST(WorkerThread, StubbornBodyIsGivenUpAfterTheGrace) {
  TestWorker worker(TestWorker::Body::Stubborn);
  worker.keepEnded = true;
  worker.stubbornMs = 1600;
  worker.StartThread();
  const auto start = Clock::now();
  worker.StopThread();
  const auto took = Since(start);
  EXPECT_GE(took, milliseconds(990));
  EXPECT_LT(took, milliseconds(1500));
  EXPECT_EQ(worker.state(), WorkerThread::kEnded);
  EXPECT_EQ(worker.stopped, 1);
  EXPECT_TRUE(worker.bodyRunning);  // still running, abandoned

  // When the abandoned body finally returns, its end is not reported.
  EXPECT_TRUE(WaitFor([&] { return worker.runsFinished.load() == 1; }, 3000));
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_EQ(worker.exits, 0);
  EXPECT_EQ(worker.stopped, 1);
  EXPECT_EQ(worker.state(), WorkerThread::kEnded);
}

TEST(WorkerThread, DestructionWaitsForAnAbandonedBody) {
  std::atomic<bool> bodyDone{false};
  {
    class Marker : public TestWorker {
     public:
      explicit Marker(std::atomic<bool>& done) : TestWorker(Body::Stubborn), done_(done) {}
      ~Marker() override {
        StopThread();
        WaitAbandoned();
      }

     protected:
      void Run() override {
        TestWorker::Run();
        done_ = true;
      }

     private:
      std::atomic<bool>& done_;
    };
    Marker worker(bodyDone);
    worker.stubbornMs = 1300;
    worker.StartThread();
    worker.StopThread();
    EXPECT_FALSE(bodyDone);
  }
  // The body touched the object up to its end; the object outlived it.
  EXPECT_TRUE(bodyDone);
}

TEST(WorkerThread, RestartAfterAStopRunsANewBody) {
  TestWorker worker;
  worker.StartThread();
  worker.StopThread();
  worker.StartThread();
  EXPECT_EQ(worker.state(), WorkerThread::kRunning);
  EXPECT_EQ(worker.starts, 2);
  EXPECT_TRUE(WaitFor([&] { return worker.runs.load() == 2; }, 2000));
  worker.StopThread();
  EXPECT_EQ(worker.runsFinished, 2);
  const std::vector<bool> seen = worker.stopSeenAtEnd();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(seen[0]);
  EXPECT_TRUE(seen[1]);
}

TEST(WorkerThread, AbandonedBodyKeepsItsOwnStopRequestAfterARestart) {
  TestWorker worker(TestWorker::Body::Stubborn);
  worker.keepEnded = true;
  worker.stubbornMs = 1400;
  worker.StartThread();
  worker.StopThread();  // gives up on the first body after the grace
  worker.stubbornMs = 1100;
  worker.StartThread();  // a fresh body beside the abandoned one
  EXPECT_EQ(worker.state(), WorkerThread::kRunning);
  EXPECT_EQ(worker.starts, 2);
  // The first body ends and sees the stop it was sent, not the new run's.
  ASSERT_TRUE(WaitFor([&] { return worker.runsFinished.load() == 1; }, 3000));
  const std::vector<bool> seen = worker.stopSeenAtEnd();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen[0]);
  EXPECT_EQ(worker.state(), WorkerThread::kRunning);
  EXPECT_EQ(worker.exits, 0);
}

TEST(WorkerThread, RefusedStartEndsTheThreadWithoutRunningTheBody) {
  TestWorker worker;
  worker.startResult = false;
  const auto start = Clock::now();
  worker.StartThread();
  EXPECT_LT(Since(start), milliseconds(1000));
  EXPECT_EQ(worker.state(), WorkerThread::kEnded);
  EXPECT_EQ(worker.runs, 0);
  worker.StopThread();
  EXPECT_EQ(worker.stopped, 0);
}

TEST(WorkerThread, BodyThatReturnsByItselfReportsItsEnd) {
  TestWorker worker(TestWorker::Body::Quick);
  worker.StartThread();
  EXPECT_TRUE(WaitFor([&] { return worker.exits.load() == 1; }, 2000));
  EXPECT_TRUE(WaitFor([&] { return worker.state() == WorkerThread::kIdle; }, 2000));
  // A new start after that works as from idle.
  worker.StartThread();
  EXPECT_TRUE(WaitFor([&] { return worker.exits.load() == 2; }, 2000));
  EXPECT_EQ(worker.runs, 2);
}

// A worker whose end hook destroys the object itself, as an owner that
// lets the worker free itself would.
class SelfDestroyingWorker : public WorkerThread {
 public:
  explicit SelfDestroyingWorker(std::atomic<bool>& gone) : gone_(gone) {}
  ~SelfDestroyingWorker() override {
    StopThread();
    WaitAbandoned();
    gone_ = true;
  }

 protected:
  void Run() override {}
  void OnExit() override { delete this; }

 private:
  std::atomic<bool>& gone_;
};

TEST(WorkerThread, BodyThatDestroysItsObjectInOnExitDoesNotWaitForItself) {
  std::atomic<bool> gone{false};
  (new SelfDestroyingWorker(gone))->StartThread();
  // Without the own-thread check the destructor waited for its own thread.
  EXPECT_TRUE(WaitFor([&] { return gone.load(); }, 5000));
}

TEST(WorkerThread, CreatedMayBeAskedFromAnotherThread) {
  TestWorker worker;
  std::atomic<bool> go{false};
  std::thread asker([&] {
    go = true;
    for (int i = 0; i < 1000 && !worker.created(); ++i) std::this_thread::yield();
  });
  while (!go) std::this_thread::yield();
  worker.StartThread();
  asker.join();
  EXPECT_TRUE(worker.created());
}

}  // namespace
