#include "serial/counter.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <thread>

namespace {

#ifdef _WIN32
// The performance counter and its frequency, as the system reports them.
class MonotonicClock final : public CounterSource {
 public:
  bool Read(uint64_t& ticks) const override {
    LARGE_INTEGER now{};
    if (!QueryPerformanceCounter(&now)) return false;
    ticks = static_cast<uint64_t>(now.QuadPart);
    return true;
  }
  bool Frequency(uint64_t& ticksPerSecond) const override {
    LARGE_INTEGER frequency{};
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) return false;
    ticksPerSecond = static_cast<uint64_t>(frequency.QuadPart);
    return true;
  }
};
#else
class MonotonicClock final : public CounterSource {
 public:
  bool Read(uint64_t& ticks) const override {
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return false;
    ticks = static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
    return true;
  }
  bool Frequency(uint64_t& ticksPerSecond) const override {
    // The clock counts nanoseconds; it is only usable if the platform has it.
    timespec resolution{};
    if (clock_getres(CLOCK_MONOTONIC, &resolution) != 0) return false;
    ticksPerSecond = 1000000000u;
    return true;
  }
};
#endif

}  // namespace

const CounterSource& MonotonicCounter() {
  static const MonotonicClock clock;
  return clock;
}

void QueryFrequency(uint64_t& ticksPerSecond) {
  uint64_t frequency = 0;
  if (!MonotonicCounter().Frequency(frequency) || frequency == 0) {
    throw std::runtime_error("Timer: performance counter unavailable.");
  }
  ticksPerSecond = frequency;
}

void BusyWait(uint32_t ms) {
  uint64_t frequency = 0;
  QueryFrequency(frequency);
  const auto ticks =
      static_cast<uint64_t>(static_cast<double>(frequency) * static_cast<double>(ms) * 0.001 + 0.5);
  uint64_t now = 0;
  MonotonicCounter().Read(now);
  const auto deadline = static_cast<int64_t>(now + ticks);
  // Spins on purpose: the caller wants the thread busy, not descheduled.
  while (MonotonicCounter().Read(now) && static_cast<int64_t>(now) < deadline) {
  }
}

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
