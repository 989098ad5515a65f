#pragma once
// A time budget on the monotonic counter: armed once with a duration in
// microseconds, then asked how much time is left.

#include <cstdint>

#include "serial/counter.h"

class DeadlineTimer {
 public:
  explicit DeadlineTimer(const CounterSource& source = MonotonicCounter()) : source_(&source) {}

  void Start(uint64_t durationUs);
  // Ticks left; 0 means expired (also when never started or the counter failed).
  uint64_t Remaining() const;
  // Milliseconds left rounded up: any time left counts as at least 1 ms.
  uint64_t RemainingMs() const;

  bool valid() const { return valid_; }
  bool armed() const { return armed_; }
  uint64_t frequency() const { return frequency_; }
  uint64_t start() const { return start_; }
  uint64_t deadline() const { return deadline_; }

 private:
  const CounterSource* source_;
  bool valid_ = false;
  bool armed_ = false;
  uint64_t frequency_ = 1000000;
  uint64_t start_ = 0;
  uint64_t deadline_ = 0;
};
