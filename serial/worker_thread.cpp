#include "serial/worker_thread.h"

#include <chrono>
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
};

namespace {

// The run a worker thread belongs to, so that a body asks its own stop
// event even after its object has started a newer body.
thread_local const void* tCurrentRun = nullptr;

void JoinOrDetach(std::thread& thread) {
  if (!thread.joinable()) return;
  if (thread.get_id() == std::this_thread::get_id()) {
    thread.detach();  // a body that stops or destroys its own object
  } else {
    thread.join();
  }
}

}  // namespace

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
    bool abandoned = false;
    {
      const std::lock_guard<std::mutex> guard(run->exitMutex);
      abandoned = run->abandoned;
      run->exiting = !abandoned;
    }
    // A body that StopThread gave up on has been declared ended; its late
    // return is not reported (nor may it touch the state of a newer run).
    if (!abandoned) self->OnExit();
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
  lockHeld_ = true;
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
      lockHeld_ = false;
      return;
    }
    run->handshake.Wait();
  }
  lockHeld_ = false;
}

void WorkerThread::StopThread() {
  const int32_t state = state_;
  if (state == kIdle || state == kEnded) return;
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  lockHeld_ = true;
  const std::shared_ptr<Shared> run = shared_;
  run->started.Reset();
  run->stop.Set();
  if (thread_.joinable()) {
    bool ended = run->ended.WaitMs(kStopGraceMs);
    if (!ended) {
      bool exiting = false;
      {
        const std::lock_guard<std::mutex> exitGuard(run->exitMutex);
        exiting = run->exiting;
        if (!exiting) run->abandoned = true;
      }
      if (exiting) {
        run->ended.Wait();  // the body has returned; only OnExit is left
        ended = true;
      }
    }
    if (ended) {
      JoinOrDetach(thread_);
    } else {
      abandoned_.emplace_back(std::move(thread_), run);
    }
  }
  state_ = kEnded;
  OnStopped();
  lockHeld_ = false;
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
  JoinOrDetach(thread_);
}

void WorkerThread::JoinFinishedAbandoned() {
  for (auto it = abandoned_.begin(); it != abandoned_.end();) {
    if (it->second->ended.IsSet()) {
      JoinOrDetach(it->first);
      it = abandoned_.erase(it);
    } else {
      ++it;
    }
  }
}

void WorkerThread::WaitAbandoned() {
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  for (auto& entry : abandoned_) JoinOrDetach(entry.first);
  abandoned_.clear();
  JoinOrDetach(thread_);
}
