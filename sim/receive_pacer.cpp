#include "sim/receive_pacer.h"

#include <algorithm>

namespace sim {

Clock::duration ReceivePacer::ByteTime(int32_t baudRate, size_t bytes) {
  // Whole nanoseconds per byte would drift over a long transfer; the
  // product is formed first.
  const auto nanoseconds = static_cast<int64_t>(bytes) * 10 * 1000000000 / std::max<int64_t>(baudRate, 1);
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds));
}

void ReceivePacer::Arrive(const uint8_t* bytes, size_t count, int32_t baudRate, int32_t hostBaudRate,
                          TimePoint now) {
  if (count == 0) return;
  Write w;
  w.bytes.assign(bytes, bytes + count);
  w.start = std::max(now, lineFree_);
  w.baudRate = baudRate;
  w.hostBaudRate = hostBaudRate;
  lineFree_ = w.start + ByteTime(baudRate, count);
  queue_.push_back(std::move(w));
}

std::optional<ReceivePacer::Due> ReceivePacer::TakeDue(TimePoint now) {
  while (!queue_.empty()) {
    Write& w = queue_.front();
    if (w.taken == w.bytes.size()) {
      queue_.pop_front();
      continue;
    }
    if (now < w.start) return std::nullopt;
    // Bytes whose last bit is in by now: the inverse of ByteTime, then
    // nudged so that it agrees with ByteTime's rounding exactly.
    const int64_t elapsedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(now - w.start).count();
    auto arrived = std::min(static_cast<size_t>(elapsedNs * std::max<int64_t>(w.baudRate, 1) / 10000000000),
                            w.bytes.size());
    while (arrived < w.bytes.size() && w.start + ByteTime(w.baudRate, arrived + 1) <= now) ++arrived;
    while (arrived > 0 && w.start + ByteTime(w.baudRate, arrived) > now) --arrived;
    if (arrived <= w.taken) return std::nullopt;
    Due due;
    due.bytes.assign(w.bytes.begin() + static_cast<std::ptrdiff_t>(w.taken),
                     w.bytes.begin() + static_cast<std::ptrdiff_t>(arrived));
    due.hostBaudRate = w.hostBaudRate;
    w.taken = arrived;
    if (w.taken == w.bytes.size()) queue_.pop_front();
    return due;
  }
  return std::nullopt;
}

std::optional<TimePoint> ReceivePacer::NextDue() const {
  for (const Write& w : queue_) {
    if (w.taken < w.bytes.size()) return w.start + ByteTime(w.baudRate, w.taken + 1);
  }
  return std::nullopt;
}

void ReceivePacer::Clear() {
  queue_.clear();
  lineFree_ = TimePoint{};
}

}  // namespace sim
