#pragma once
// The pace of a watch run on the document's poll ticks: a poll runs on a
// tick, when the line is free and the run's interval is up; the ticks in
// between pass. A front end's loop asks for the next poll and checks its
// own stop conditions between the waits, each of which ends within a
// fraction of the tick period, so a stop is never held up by a tick that
// does not come.

#include <chrono>
#include <cstdint>

class CKRV02Doc;

class WatchPacer {
 public:
  // `intervalMs`: at least this long from one poll to the next (0: every
  // tick; a longer interval lets the ticks between pass).
  WatchPacer(CKRV02Doc& doc, int64_t intervalMs);

  // Waits for the next tick, at most kWaitStepMs. True when a poll is due:
  // the caller polls, then calls PollDone(). False when no poll is due yet
  // (the caller checks its stop conditions and asks again).
  bool WaitForPoll();
  void PollDone();

  // The longest single wait of WaitForPoll.
  static constexpr uint32_t kWaitStepMs = 100;

 private:
  CKRV02Doc& doc_;
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point nextPoll_;
};
