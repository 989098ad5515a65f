#include "tarkon/document/watch_pacer.h"

#include "tarkon/document/krv02_doc.h"

WatchPacer::WatchPacer(CKRV02Doc& doc, int64_t intervalMs)
    : doc_(doc), interval_(intervalMs), nextPoll_(std::chrono::steady_clock::now()) {}

bool WatchPacer::WaitForPoll() {
  if (!doc_.polling().WaitPollTick(kWaitStepMs)) return false;
  const auto now = std::chrono::steady_clock::now();
  if (doc_.polling().PollAllowed() && now >= nextPoll_) {
    nextPoll_ = now + interval_;
    return true;
  }
  // A tick taken is a tick handled, polled or not.
  doc_.polling().PollTickHandled();
  return false;
}

void WatchPacer::PollDone() { doc_.polling().PollTickHandled(); }
