#include "serial/deadline_timer.h"

#include <limits>

namespace {

constexpr uint64_t kMicrosPerSecond = 1000000;

// frequency × micros / 1,000,000 without forming a product that overflows
// for long durations (the result is exact wherever the plain product fits).
uint64_t TicksFor(uint64_t frequency, uint64_t micros) {
  const uint64_t wholeSeconds = micros / kMicrosPerSecond;
  const uint64_t restMicros = micros % kMicrosPerSecond;
  constexpr uint64_t kCap = std::numeric_limits<uint64_t>::max() / 2;
  if (wholeSeconds != 0 && frequency > kCap / wholeSeconds) return kCap;
  return wholeSeconds * frequency + restMicros * frequency / kMicrosPerSecond;
}

}  // namespace

void DeadlineTimer::Start(uint64_t durationUs) {
  valid_ = true;
  armed_ = true;
  uint64_t frequency = 0;
  if (!source_->Frequency(frequency) || frequency == 0) {
    frequency_ = kMicrosPerSecond;
    valid_ = false;
    return;
  }
  frequency_ = frequency;
  if (!source_->Read(start_)) {
    valid_ = false;
    return;
  }
  deadline_ = start_ + TicksFor(frequency_, durationUs);  // may wrap; Remaining handles that
}

uint64_t DeadlineTimer::Remaining() const {
  if (!valid_ || !armed_) return 0;
  uint64_t now = 0;
  if (!source_->Read(now)) return 0;
  const bool deadlineWrapped = deadline_ < start_;
  const bool nowWrapped = now < start_;
  if (!deadlineWrapped) {
    if (nowWrapped || deadline_ <= now) return 0;
    return deadline_ - now;
  }
  if (nowWrapped) return deadline_ <= now ? 0 : deadline_ - now;
  // The counter has not wrapped yet but the deadline lies beyond the wrap.
  return deadline_ - now - 1;
}

uint64_t DeadlineTimer::RemainingMs() const {
  const uint64_t ticks = Remaining();
  if (ticks == 0) return 0;
  // ticks × 1000 / frequency, split so that long remainders cannot overflow.
  return ticks / frequency_ * 1000 + ticks % frequency_ * 1000 / frequency_ + 1;
}
