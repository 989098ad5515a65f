#include "serial/worker_thread.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <system_error>

// ---------------------------------------------------------------- event

void ManualResetEvent::Set() {
  {
    const std::lock_guard<std::mutex> guard(mutex_);
    set_ = true;
  }
  cv_.notify_all();
}

void ManualResetEvent::Reset() {
  const std::lock_guard<std::mutex> guard(mutex_);
  set_ = false;
}

bool ManualResetEvent::IsSet() const {
  const std::lock_guard<std::mutex> guard(mutex_);
  return set_;
}

bool ManualResetEvent::WaitMs(uint32_t ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return set_; });
}

void ManualResetEvent::Wait() const {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [this] { return set_; });
}

// ---------------------------------------------------------------- worker

struct WorkerThread::Shared {
  explicit Shared(const WorkerThread* o) : owner(o) {}

  const WorkerThread* owner;
  ManualResetEvent started;    // the body is running
  ManualResetEvent stop;       // the body is asked to end
  ManualResetEvent handshake;  // the body runs, or the thread gave up in OnStart
  ManualResetEvent ended;      // the thread procedure is done with the object
  std::mutex exitMutex;        // decides between "ending normally" and "abandoned"
  bool exiting = false;
  bool abandoned = false;
  bool ownerGone = false;  // the body destroyed its own object
};

namespace {

// The run a worker thread belongs to, so that a body asks its own stop
// event even after its object has started a newer body.
thread_local const void* tCurrentRun = nullptr;

bool IsOwnThread(const std::thread& thread) { return thread.get_id() == std::this_thread::get_id(); }

[[noreturn]] void EndProcessForStubbornBody() {
  std::fprintf(stderr,
               "A worker thread ignored its stop request for %u ms; ending the process rather than "
               "freeing the object it still uses.\n",
               static_cast<unsigned>(WorkerThread::kStopGraceMs + WorkerThread::kAbandonedWaitMs));
  std::abort();
}

}  // namespace

void WorkerThread::JoinOrRelease(std::thread& thread, Shared& run) {
  if (!thread.joinable()) return;
  if (!IsOwnThread(thread)) {
    thread.join();
    return;
  }
  // A body that destroys its own object: its thread goes on alone, and
  // the thread procedure must not call the object's hooks any more.
  {
    const std::lock_guard<std::mutex> guard(run.exitMutex);
    run.ownerGone = true;
  }
  thread.detach();
}

WorkerThread::WorkerThread() : shared_(std::make_shared<Shared>(this)) {}

WorkerThread::~WorkerThread() {
  StopThread();
  WaitAbandoned();
}

void WorkerThread::ThreadProc(WorkerThread* self, std::shared_ptr<Shared> run) {
  tCurrentRun = run.get();
  self->state_ = kRunning;
  if (self->OnStart()) {
    run->started.Set();
    run->handshake.Set();
    self->Run();
    bool report = false;
    {
      const std::lock_guard<std::mutex> guard(run->exitMutex);
      report = !run->abandoned && !run->ownerGone;
      run->exiting = report;
    }
    // A body that StopThread gave up on has been declared ended; its late
    // return is not reported (nor may it touch the state of a newer run).
    // A body that destroyed its object has nothing left to report to. From
    // here on only the run is touched: OnExit may destroy the object.
    if (report) self->OnExit();
    run->started.Reset();
  } else {
    self->state_ = kEnded;
    run->handshake.Set();
  }
  tCurrentRun = nullptr;
  run->ended.Set();
}

void WorkerThread::StartThread() {
  if (state_ == kRunning) return;
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  if (state_ != kRunning) {
    ReapLastThread();
    JoinFinishedAbandoned();
    auto run = std::make_shared<Shared>(this);
    shared_ = run;
    state_ = kCreated;
    created_ = 1;
    // std::thread creates and starts in one step; the state says running
    // before the body can first look at it.
    state_ = kRunning;
    try {
      thread_ = std::thread(&WorkerThread::ThreadProc, this, run);
    } catch (const std::system_error&) {
      state_ = kCreated;  // as after a failed resume: no wait
      return;
    }
    run->handshake.Wait();
  }
}

void WorkerThread::StopThread() {
  const int32_t state = state_;
  if (state == kIdle || state == kEnded) return;
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  const std::shared_ptr<Shared> run = shared_;
  run->started.Reset();
  run->stop.Set();
  if (thread_.joinable()) {
    // Called by the body itself (from Run or OnExit): it cannot end while
    // it waits here, so it is not waited for.
    const bool ownThread = IsOwnThread(thread_);
    bool ended = !ownThread && run->ended.WaitMs(kStopGraceMs);
    if (!ended) {
      bool exiting = false;
      {
        const std::lock_guard<std::mutex> exitGuard(run->exitMutex);
        exiting = run->exiting;
        if (!exiting) run->abandoned = true;
      }
      // The body has returned in time and only OnExit is left: it gets
      // one more grace, so that its hooks do not overlap what follows.
      // Past that it is kept like an abandoned body (its end reported).
      if (exiting && !ownThread) ended = run->ended.WaitMs(kStopGraceMs);
    }
    if (ended) {
      JoinOrRelease(thread_, *run);
    } else {
      abandoned_.emplace_back(std::move(thread_), run);
    }
  }
  state_ = kEnded;
  OnStopped();
}

void WorkerThread::OnStopped() { state_ = kIdle; }

bool WorkerThread::OnStart() { return true; }

void WorkerThread::OnExit() { OnStopped(); }

const WorkerThread::Shared& WorkerThread::CurrentRun() const {
  const auto* run = static_cast<const Shared*>(tCurrentRun);
  if (run != nullptr && run->owner == this) return *run;
  return *shared_;
}

bool WorkerThread::StopRequested() const { return CurrentRun().stop.IsSet(); }

bool WorkerThread::WaitForStop(uint32_t ms) const { return CurrentRun().stop.WaitMs(ms); }

void WorkerThread::ReapLastThread() {
  if (!thread_.joinable()) return;
  // The last body returned on its own (or gave up in OnStart): it is at
  // most finishing OnExit, so the join is short.
  JoinOrRelease(thread_, *shared_);
}

void WorkerThread::JoinFinishedAbandoned() {
  for (auto it = abandoned_.begin(); it != abandoned_.end();) {
    if (it->second->ended.IsSet()) {
      JoinOrRelease(it->first, *it->second);
      it = abandoned_.erase(it);
    } else {
      ++it;
    }
  }
}

void WorkerThread::WaitAbandoned() {
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  if (thread_.joinable()) abandoned_.emplace_back(std::move(thread_), shared_);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAbandonedWaitMs);
  for (auto& [thread, run] : abandoned_) {
    if (!thread.joinable()) continue;
    if (!IsOwnThread(thread)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (!run->ended.WaitMs(static_cast<uint32_t>(std::max<int64_t>(left.count(), 0)))) {
        EndProcessForStubbornBody();
      }
    }
    JoinOrRelease(thread, *run);
  }
  abandoned_.clear();
}
