#pragma once
// The 250 ms poll tick of a connected sensor.
//
// The worker thread never touches the sensor. It raises a tick, tells the
// listener (on the worker thread: the listener only wakes up whoever does
// the polling, it must not block), and waits until the tick has been taken
// and handled before it sleeps 250 ms and raises the next one, so ticks
// never pile up and a slow exchange stretches the interval. Every wait of
// the worker is cut short by a stop request: stopping never waits on a tick
// that the listener has not taken.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "serial/worker_thread.h"

class PollWorker : public WorkerThread {
 public:
  static constexpr uint32_t kIntervalMs = 250;

  PollWorker() = default;
  ~PollWorker() override;

  // Stops the worker at once, even while a raised tick waits to be taken.
  // Use this rather than StopThread().
  void Stop();

  // Called on the worker thread whenever a tick is pending.
  void SetTickListener(std::function<void()> listener);

  // For the polling side: takes the pending tick, if any. A taken tick must
  // be answered with TickHandled().
  bool TakeTick();
  void TickHandled();
  // Waits up to `ms` for a pending tick and takes it.
  bool WaitAndTakeTick(uint32_t ms);

  uint64_t ticksRaised() const;

 protected:
  void Run() override;
  bool OnStart() override { return true; }
  // The worker's state stays "ended" after a stop.
  void OnStopped() override {}
  void OnExit() override {}

 private:
  bool WaitHandledOrStop();

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::function<void()> listener_;
  bool pending_ = false;
  bool taken_ = false;
  bool stopping_ = false;
  uint64_t raised_ = 0;
};
