// The poll tick path across its two threads, as a desktop front end drives
// it: a connect starts the poll worker; the worker's notice arrives on the
// worker thread and only wakes the user-interface thread; that thread takes
// the tick, polls the live panel through the document and reports the tick
// handled; a disconnect (also one made from inside a tick) and the
// document's end stop the worker. Run under ThreadSanitizer by
// scripts/test-tsan.sh.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "reliability/reliability_support.h"
#include "sim/virtual_sensor.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/live_panels.h"

namespace {

using reliability::Clock;
using reliability::MsSince;
using std::chrono::milliseconds;

// The front end's side: the notice from the worker thread sets a flag and
// wakes the user-interface thread, like a posted window message.
class FrontEnd : public DocumentListener {
 public:
  void OnPollTickPending() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      posted_ = true;
    }
    notices_.fetch_add(1);
    cv_.notify_all();
  }
  void OnLogLine(int kind, const std::string& text) override {
    if (kind == kLogError) lastError_ = text;  // the user-interface thread only
  }

  // The message loop: waits up to `ms` for a posted notice and clears it.
  bool WaitNotice(milliseconds ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool got = cv_.wait_for(lock, ms, [this] { return posted_; });
    posted_ = false;
    return got;
  }
  int notices() const { return notices_.load(); }
  const std::string& lastError() const { return lastError_; }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool posted_ = false;
  std::atomic<int> notices_{0};
  std::string lastError_;
};

class PollTickPath : public ::testing::Test {
 protected:
  void SetUp() override {
    watchdog_ = std::make_unique<reliability::Watchdog>(
        120, ::testing::UnitTest::GetInstance()->current_test_info()->name());
    ASSERT_TRUE(dir_.ok());
    sensor_ = std::make_unique<sim::VirtualSensor>();
    ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
    sensor_->Mutate([](sim::SensorState& s) {
      s.live.animate = false;
      s.live.range = 4321;
      s.live.peak = 555;
      s.live.laserPower = 66;
    });
    doc_ = std::make_unique<CKRV02Doc>(dir_.File("tarkon.ini"));
    doc_->options().SetSaveOnClose(false);
    doc_->SetListener(&front_);
  }
  void TearDown() override {
    doc_.reset();
    if (sensor_) sensor_->Stop();
    watchdog_.reset();
  }

  bool Connect() {
    ConnectValues values = doc_->BeginConnect();
    values.portText = sensor_->SlavePath();
    values.baudChoice = 3;
    values.readTimeout = 100;
    values.writeTimeout = 100;
    return doc_->Connect(values);
  }

  // One turn of the message loop: a posted notice leads to one poll of the
  // live panel. Returns true when a tick was handled.
  bool ServeOneTick(milliseconds wait) {
    if (!front_.WaitNotice(wait)) return false;
    if (!doc_->polling().TakePollTick()) return false;
    if (doc_->polling().PollAllowed()) {
      if (PollDiagnostics(*doc_, LivePanelOfModel(doc_->sensor().modelIndex()), rows_)) ++polls_;
    }
    doc_->polling().PollTickHandled();
    return true;
  }

  std::unique_ptr<reliability::Watchdog> watchdog_;
  reliability::TempDir dir_;
  std::unique_ptr<sim::VirtualSensor> sensor_;
  FrontEnd front_;
  std::unique_ptr<CKRV02Doc> doc_;
  PanelRows rows_;
  int polls_ = 0;
};

TEST_F(PollTickPath, TicksDrivePollsWhileConnectedAndStopAtDisconnect) {
  ASSERT_TRUE(Connect()) << front_.lastError();
  // Served until three ticks came (a loaded machine only makes that take
  // longer), then checked that they never came faster than one every 250 ms.
  const auto start = Clock::now();
  int ticks = 0;
  while (ticks < 3 && MsSince(start) < 20000) {
    if (ServeOneTick(milliseconds(100))) ++ticks;
  }
  const long took = MsSince(start);
  EXPECT_EQ(ticks, 3);
  EXPECT_LE(ticks, (took + 10) / 250 + 1) << took << " ms";
  EXPECT_EQ(polls_, ticks);
  ASSERT_EQ(rows_.size(), 10u);
  EXPECT_EQ(rows_[9].value, doc_->sensor().RangeText(4321));
  EXPECT_EQ(rows_[7].value, "555");
  EXPECT_EQ(rows_[6].value, "66");

  // The worker's next notice is on its way or a tick waits untaken: the
  // stop must not wait for this thread.
  const auto stop = Clock::now();
  doc_->Disconnect();
  EXPECT_LT(MsSince(stop), 500);
  const int after = front_.notices();
  std::this_thread::sleep_for(milliseconds(600));
  EXPECT_EQ(front_.notices(), after);
  EXPECT_FALSE(doc_->polling().TakePollTick());
}

TEST_F(PollTickPath, DisconnectFromInsideATickEndsTheWorkerCleanly) {
  ASSERT_TRUE(Connect()) << front_.lastError();
  ASSERT_TRUE(front_.WaitNotice(milliseconds(2000)));
  ASSERT_TRUE(doc_->polling().TakePollTick());
  // The poll finds the sensor gone and the front end disconnects before it
  // reports the tick handled.
  const auto stop = Clock::now();
  doc_->Disconnect();
  EXPECT_LT(MsSince(stop), 500);
  doc_->polling().PollTickHandled();
  EXPECT_FALSE(doc_->connected());
  EXPECT_FALSE(doc_->polling().PollAllowed());
  std::this_thread::sleep_for(milliseconds(400));
  EXPECT_FALSE(doc_->polling().TakePollTick());

  // A new connect starts a new worker whose ticks arrive again.
  ASSERT_TRUE(Connect()) << front_.lastError();
  const auto start = Clock::now();
  int ticks = 0;
  while (ticks < 2 && MsSince(start) < 3000) {
    if (ServeOneTick(milliseconds(100))) ++ticks;
  }
  EXPECT_EQ(ticks, 2);
}

TEST_F(PollTickPath, RepeatedConnectsRaceTheTicksWithoutHarm) {
  for (int round = 0; round < 5; ++round) {
    ASSERT_TRUE(Connect()) << "round " << round << ": " << front_.lastError();
    // Handle a tick or two, then leave one untaken and disconnect.
    const int wanted = 1 + round % 2;
    int ticks = 0;
    const auto start = Clock::now();
    while (ticks < wanted && MsSince(start) < 3000) {
      if (ServeOneTick(milliseconds(100))) ++ticks;
    }
    EXPECT_EQ(ticks, wanted) << "round " << round;
    doc_->Disconnect();
  }
  EXPECT_EQ(polls_, 1 + 2 + 1 + 2 + 1);
}

TEST_F(PollTickPath, ClosingTheDocumentWhileATickIsPendingIsPrompt) {
  ASSERT_TRUE(Connect()) << front_.lastError();
  ASSERT_TRUE(front_.WaitNotice(milliseconds(2000)));
  // Program exit with a tick posted and never served.
  const auto stop = Clock::now();
  doc_->CloseDocument();
  doc_.reset();
  EXPECT_LT(MsSince(stop), 500);
}

// Holds the worker inside its notice until released, and notes whether
// the document had already let go of it by then.
class HeldListener : public DocumentListener {
 public:
  void OnPollTickPending() override {
    std::unique_lock<std::mutex> lock(mutex_);
    entered_ = true;
    cv_.notify_all();
    cv_.wait_for(lock, milliseconds(5000), [this] { return released_; });
    replacedDuringCall_ = replaced.load();
    finished_ = true;
    cv_.notify_all();
  }
  bool WaitEntered() {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, milliseconds(2000), [this] { return entered_; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    cv_.notify_all();
  }
  // Waits for the end of the call; true when the document had let go
  // before it ended.
  bool ReplacedDuringCall() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, milliseconds(2000), [this] { return finished_; });
    return replacedDuringCall_;
  }
  std::atomic<bool> replaced{false};

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool entered_ = false;
  bool released_ = false;
  bool replacedDuringCall_ = false;
  bool finished_ = false;
};

TEST_F(PollTickPath, ReplacingTheListenerWaitsForItsCallInFlight) {
  ASSERT_TRUE(Connect()) << front_.lastError();
  ASSERT_TRUE(ServeOneTick(milliseconds(2000)));
  auto held = std::make_unique<HeldListener>();
  doc_->SetListener(held.get());
  ASSERT_TRUE(held->WaitEntered());
  std::thread replacer([&] {
    doc_->SetListener(&front_);
    held->replaced = true;
  });
  // Time for a replacement that does not wait to come back (the result
  // does not depend on it: a waiting replacement cannot return early).
  std::this_thread::sleep_for(milliseconds(50));
  held->Release();
  EXPECT_FALSE(held->ReplacedDuringCall());
  replacer.join();
  held.reset();  // its owner may free it at once
  // The tick it was told of is served; the next one goes to the new listener.
  ASSERT_TRUE(doc_->polling().TakePollTick());
  doc_->polling().PollTickHandled();
  EXPECT_TRUE(ServeOneTick(milliseconds(2000)));
}

}  // namespace
