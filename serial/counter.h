#pragma once
// High-resolution monotonic counter: on Windows the performance counter
// (QueryPerformanceCounter/QueryPerformanceFrequency), elsewhere
// CLOCK_MONOTONIC in nanoseconds, so 1,000,000,000 ticks per second.
//
// Tests replace the source with one they can set, to exercise the
// wrap-around arithmetic of the deadline timer.

#include <cstdint>

class CounterSource {
 public:
  virtual ~CounterSource() = default;
  virtual bool Read(uint64_t& ticks) const = 0;
  virtual bool Frequency(uint64_t& ticksPerSecond) const = 0;
};

// The monotonic clock of the platform.
const CounterSource& MonotonicCounter();

// Ticks per second of the monotonic counter. Throws std::runtime_error with
// the text "Timer: performance counter unavailable." when the platform
// cannot report a frequency.
void QueryFrequency(uint64_t& ticksPerSecond);

// Returns after `ms` milliseconds, spinning on the counter (never sleeps).
void BusyWait(uint32_t ms);

// Plain sleep in milliseconds.
void SleepMs(uint32_t ms);
