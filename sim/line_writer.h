#pragma once
// Everything the sensors send, in order, onto the master side of the
// pseudo-terminal.
//
// Unthrottled, bytes are written as soon as they are due. Throttled, byte k
// of a reply is written no earlier than start + (k + 1) x 10 bit times at
// the baud rate the reply was sent at, where a reply starts when the line
// has finished the one before it; the schedule is absolute, so pacing
// errors do not add up. A reply may also carry a time before which it must
// not start (an erase, an injected delay); later replies wait behind it.
//
// Throttled with a burst period, the line keeps that schedule but the bytes
// reach the pseudo-terminal only at the ticks of a clock of that period:
// those whose last bit has crossed the line by a tick are written together
// at it. That is how a USB serial adapter hands over what its UART received
// (once per USB frame of 1 ms, or when its latency timer runs out), so the
// host sees a short reply in one or two pieces instead of byte by byte.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/sensor_state.h"
#include "sim/trace.h"

namespace sim {

struct OutgoingItem {
  std::vector<uint8_t> bytes;
  TimePoint notBefore{};
  int32_t baudRate = 57600;
  std::string tag;    // trace tag of the sending sensor
  std::string label = "tx";
  std::string note;   // e.g. the faults applied
};

class LineWriter {
 public:
  void SetThrottle(bool on) { throttle_ = on; }
  bool throttle() const { return throttle_; }
  // Zero (the default): every byte is written at its own time.
  void SetBurst(Clock::duration period) { burst_ = period; }

  void Queue(OutgoingItem item) {
    Entry e;
    e.item = std::move(item);
    queue_.push_back(std::move(e));
  }
  void Clear();
  bool Idle() const { return queue_.empty(); }

  // Writes what is due to `fd` (non-blocking). Returns when to call again,
  // or nothing when there is nothing left to time; sets `wantWritable` when
  // the descriptor is full and the caller should wait until it can take
  // more. A reply that cannot be written for 2 seconds (nobody reads the
  // line) is thrown away.
  std::optional<TimePoint> Pump(int fd, TimePoint now, Tracer& tracer, bool& wantWritable);
  // The same onto any sink: `write` takes up to the bytes given and
  // returns how many it took, or -1 with errno set (EAGAIN: full).
  using Sink = std::function<long(const uint8_t* bytes, size_t count)>;
  std::optional<TimePoint> Pump(const Sink& write, TimePoint now, Tracer& tracer, bool& wantWritable);

 private:
  struct Entry {
    OutgoingItem item;
    bool started = false;
    TimePoint start{};
    size_t written = 0;
    std::optional<TimePoint> blockedSince;
  };

  static Clock::duration ByteTime(int32_t baudRate, size_t bytes);
  // The latest burst tick at or before `t`, and the first at or after it.
  TimePoint TickBefore(TimePoint t) const;
  TimePoint TickAfter(TimePoint t) const;

  std::deque<Entry> queue_;
  bool throttle_ = false;
  Clock::duration burst_{};
  TimePoint lineFree_{};
};

}  // namespace sim
