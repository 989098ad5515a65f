#pragma once
// Base class of a background thread with a start/stop handshake and a
// one-second grace at stop.
//
// States: 0 idle, 1 created, 2 running, 3 ended.
//
// POSIX offers no safe way to end a thread by force. StopThread therefore
// returns after the grace period whatever the body does; a body that has not
// returned by then is abandoned (detached) and the object's destructor waits
// for it before anything it may touch is freed.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

// A manual-reset event.
class ManualResetEvent {
 public:
  void Set();
  void Reset();
  bool IsSet() const;
  // Waits until set or until `ms` have passed; returns true when set.
  bool WaitMs(uint32_t ms) const;
  void Wait() const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  bool set_ = false;
};

class WorkerThread {
 public:
  enum State : int32_t { kIdle = 0, kCreated = 1, kRunning = 2, kEnded = 3 };
  static constexpr uint32_t kStopGraceMs = 1000;

  WorkerThread();
  virtual ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  void StartThread();
  void StopThread();

  int32_t state() const { return state_.load(); }
  bool created() const { return created_ != 0; }

 protected:
  // Subclasses whose Run the destructor might otherwise race must call
  // StopThread() (and WaitAbandoned()) in their own destructor.
  virtual void Run() = 0;
  virtual void OnStopped();
  virtual bool OnStart();
  virtual void OnExit();

  // The body polls this to learn it should end; waits up to `ms` for it.
  bool StopRequested() const;
  bool WaitForStop(uint32_t ms) const;

  // Blocks until a body abandoned by StopThread has returned.
  void WaitAbandoned();

 private:
  struct Shared;
  static void ThreadProc(WorkerThread* self, std::shared_ptr<Shared> shared);

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
  std::atomic<int32_t> state_{kIdle};
  int32_t created_ = 0;
  std::recursive_mutex lock_;
  bool lockHeld_ = false;
};
