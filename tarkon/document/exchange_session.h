#pragma once
// The session thread of a connection: it runs the packet layer's waits
// (a reply, a recovery pause, a command's own pause) while the thread that
// owns the connection keeps its event loop turning, so a window never
// freezes on a silent or slow sensor.
//
// Everything but the wait stays on the owning thread: commands, their log
// lines, the reply areas, the document's state. Only the bytes of one
// exchange (and the link's error record they write) are handled on the
// session thread, and the owner reads them after Run() has returned.
//
// While an exchange is pending the owner's loop may dispatch a press; the
// document's line-busy gate (Pending()) refuses it, and an exchange that
// such a press would start anyway is refused here: exchanges never overlap
// and never queue up.
//
// Without a host (the command-line tool, the engine's tests) every
// exchange runs on the calling thread, as it always did.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "protocol/exchange_runner.h"

// The owner's event loop, as the front end runs it.
class ExchangeLoopHost {
 public:
  virtual ~ExchangeLoopHost() = default;
  // On the owning thread: runs the event loop until `finished()` is true.
  // It checks `finished()` whenever Wake() has been called. It may return
  // early (the program is ending); the session then waits without it.
  virtual void RunLoop(const std::function<bool()>& finished) = 0;
  // From any thread: makes the running loop look at `finished()` again.
  // Must not block.
  virtual void Wake() = 0;
  // On the owning thread, once the exchange is no longer pending (the line
  // is free again unless something else holds it).
  virtual void Ended() {}
};

class ExchangeSession : public ExchangeRunner {
 public:
  ExchangeSession() = default;
  ~ExchangeSession() override;
  ExchangeSession(const ExchangeSession&) = delete;
  ExchangeSession& operator=(const ExchangeSession&) = delete;

  // Called on the owning thread, which becomes the one whose exchanges move
  // to the session thread; null puts every exchange back on its caller.
  // Not while an exchange is pending.
  void SetHost(ExchangeLoopHost* host);

  // ExchangeRunner. On the owning thread with a host: runs `exchange` on the
  // session thread and the host's loop meanwhile; refused (false) while
  // another exchange is pending. Any other caller (no host, another thread,
  // the session thread itself): runs it here.
  bool Run(const std::function<void()>& exchange) override;

  // An exchange is on the line and the owner's loop runs meanwhile.
  bool Pending() const;
  // Exchanges that ran on the session thread (for tests and benchmarks).
  unsigned long moved() const;

 private:
  void Serve();
  bool Finished() const;

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::thread thread_;
  ExchangeLoopHost* host_ = nullptr;
  std::thread::id owner_;
  const std::function<void()>* job_ = nullptr;  // the exchange handed over, until taken
  bool pending_ = false;                        // from hand-over until the owner has seen the end
  bool done_ = false;
  bool quit_ = false;
  unsigned long moved_ = 0;
};
