#pragma once
// Base class of a background thread with a start/stop handshake and a
// one-second grace at stop.
//
// States: 0 idle, 1 created, 2 running, 3 ended.
//
// POSIX offers no safe way to end a thread by force. StopThread therefore
// returns after the grace period whatever the body does; a body that has not
// returned by then is abandoned: it keeps its own stop request (so it ends at
// its next check), its end is not reported (OnExit is skipped, as for a
// thread ended by force), and a later StartThread runs a fresh body beside
// it. The destructor waits for abandoned bodies before anything they may
// touch is freed; a derived class must call StopThread() and
// WaitAbandoned() in its own destructor, because its Run still uses the
// derived part. That wait is bounded (kAbandonedWaitMs): a body still
// running by then ignores its stop request for good, and since freeing the
// object under it would let it use freed memory, the process is ended with
// a message instead.
//
// A body may stop or destroy its own object (in Run or in OnExit): no wait
// is then made on its own thread, and once its object is gone the thread
// procedure no longer touches it.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

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
  // How long WaitAbandoned waits, in all, for bodies still running.
  static constexpr uint32_t kAbandonedWaitMs = 10000;

  WorkerThread();
  virtual ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  void StartThread();
  void StopThread();

  int32_t state() const { return state_.load(); }
  bool created() const { return created_.load() != 0; }

 protected:
  // The body. It should watch StopRequested()/WaitForStop() and return
  // when asked to.
  virtual void Run() = 0;
  virtual void OnStopped();
  virtual bool OnStart();
  virtual void OnExit();

  // The body polls this to learn it should end; WaitForStop waits up to
  // `ms` for the request and returns true when it came. Called from the
  // body, both refer to that body's own run, even after a restart.
  bool StopRequested() const;
  bool WaitForStop(uint32_t ms) const;

  // Blocks until every body abandoned by StopThread (and a body that ended
  // on its own) has returned, at most kAbandonedWaitMs in all (see above).
  void WaitAbandoned();

 private:
  struct Shared;  // the events and flags of one run of the thread
  static void ThreadProc(WorkerThread* self, std::shared_ptr<Shared> shared);
  const Shared& CurrentRun() const;
  // Joins the last thread if it has ended, or keeps it as abandoned.
  void ReapLastThread();
  void JoinFinishedAbandoned();
  // Joins a thread whose run has ended; on the thread itself, detaches it
  // and tells its run that the object is gone.
  static void JoinOrRelease(std::thread& thread, Shared& run);

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
  std::vector<std::pair<std::thread, std::shared_ptr<Shared>>> abandoned_;
  std::atomic<int32_t> state_{kIdle};
  // Read by any thread through created(); written under lock_.
  std::atomic<int32_t> created_{0};
  std::recursive_mutex lock_;
};
