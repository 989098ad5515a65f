#pragma once
// The receiving half of line pacing: what the host writes reaches the
// sensors no sooner than it would finish arriving over a real wire.
//
// A pseudo-terminal moves the host's bytes at once. On a real line byte k of
// a write arrives at start + (k + 1) x 10 bit times at the host's baud rate,
// where a write starts when the line has finished the one before it (or when
// it is made, if the line is idle). The schedule is absolute, so late
// wake-ups of the service thread do not add up. The sending half is
// LineWriter; the two directions are independent (full duplex).
//
//   pacer.Arrive(bytes, n, baudRate, hostRate, now);   // just read
//   while (auto due = pacer.TakeDue(now)) hand due->bytes to the sensors;
//   pacer.NextDue();                                    // when to look again

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "sim/sensor_state.h"

namespace sim {

class ReceivePacer {
 public:
  struct Due {
    std::vector<uint8_t> bytes;
    int32_t hostBaudRate = 0;  // as read with the bytes (0: unknown)
  };

  // `baudRate` paces the bytes; `hostBaudRate` travels with them to the
  // sensors, which drop bytes sent at another rate than their own.
  void Arrive(const uint8_t* bytes, size_t count, int32_t baudRate, int32_t hostBaudRate, TimePoint now);
  // The bytes of one write whose last bit has arrived by `now`, in order;
  // nothing when no byte is due. Call until it returns nothing.
  std::optional<Due> TakeDue(TimePoint now);
  // When the next byte finishes arriving; nothing when none is waiting.
  std::optional<TimePoint> NextDue() const;
  bool Idle() const { return queue_.empty(); }
  // The line went away: what was still on the wire is lost.
  void Clear();

  static Clock::duration ByteTime(int32_t baudRate, size_t bytes);

 private:
  struct Write {
    std::vector<uint8_t> bytes;
    TimePoint start{};
    int32_t baudRate = 0;
    int32_t hostBaudRate = 0;
    size_t taken = 0;
  };

  std::deque<Write> queue_;
  TimePoint lineFree_{};
};

}  // namespace sim
