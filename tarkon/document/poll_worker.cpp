#include "tarkon/document/poll_worker.h"

#include <chrono>
#include <utility>

PollWorker::~PollWorker() {
  Stop();
  WaitAbandoned();
}

void PollWorker::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  cv_.notify_all();
  StopThread();
  std::lock_guard<std::mutex> lock(mutex_);
  stopping_ = false;
}

void PollWorker::SetTickListener(std::function<void()> listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  listener_ = std::move(listener);
}

bool PollWorker::TakeTick() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!pending_ || taken_) return false;
  taken_ = true;
  return true;
}

void PollWorker::TickHandled() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!taken_) return;
    pending_ = false;
    taken_ = false;
  }
  cv_.notify_all();
}

bool PollWorker::WaitAndTakeTick(uint32_t ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool ready = cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return pending_ && !taken_; });
  if (!ready) return false;
  taken_ = true;
  return true;
}

uint64_t PollWorker::ticksRaised() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return raised_;
}

// Waits until the raised tick has been handled; a stop request ends the
// wait. Stop() wakes this wait at once; a bare StopThread() of the base
// class signals only its own event, which is looked at every 20 ms.
bool PollWorker::WaitHandledOrStop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (pending_ && !stopping_) {
    if (StopRequested()) return false;
    cv_.wait_for(lock, std::chrono::milliseconds(20));
  }
  return !stopping_ && !StopRequested();
}

void PollWorker::Run() {
  while (!StopRequested()) {
    std::function<void()> listener;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pending_ = true;
      taken_ = false;
      ++raised_;
      listener = listener_;
    }
    cv_.notify_all();
    if (listener) {
      listener();
      if (!WaitHandledOrStop()) break;
    } else {
      // Nobody polls: the tick lapses.
      std::lock_guard<std::mutex> lock(mutex_);
      pending_ = false;
    }
    if (WaitForStop(kIntervalMs)) break;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  pending_ = false;
  taken_ = false;
}
