#pragma once
// Cuts the received byte stream into frames, as the sensor's receiver does.
//
// Bytes before a start byte (0x02) are dropped. The header's length byte is
// read by the check mode the sensor is in when the header is complete. A
// frame whose check fails, or whose length byte is impossible (0 in
// checksum mode), is reported bad and its bytes after the start byte are
// handed back for another hunt, so that a real frame hidden behind a stray
// start byte is still found. A frame left incomplete by a silence of the
// configured length is thrown away.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "sim/sensor_state.h"

namespace sim {

class FrameAssembler {
 public:
  enum class Event {
    kNone,        // byte taken, nothing complete yet
    kFrame,       // a frame that passed its check
    kBadCheck,    // a complete frame whose check failed
    kBadLength,   // a header whose length byte cannot be right in this mode
    kIncomplete,  // an unfinished frame thrown away after silence
  };
  struct Result {
    Event event = Event::kNone;
    std::vector<uint8_t> bytes;  // the frame, or what was thrown away
  };

  explicit FrameAssembler(std::chrono::milliseconds silence = std::chrono::milliseconds(50))
      : silence_(silence) {}

  // Takes one byte. After a bad frame, the bytes to hunt through again are
  // put at the front of `requeue`; the caller feeds them before anything
  // else.
  Result Push(uint8_t byte, int32_t mode, TimePoint now, std::deque<uint8_t>& requeue);

  // Throws away an incomplete frame once the line has been silent long
  // enough.
  Result Tick(TimePoint now);

  // When Tick has something to do, if anything.
  std::optional<TimePoint> Deadline() const;

  void Clear() { buffer_.clear(); }
  bool Idle() const { return buffer_.empty(); }
  void SetSilence(std::chrono::milliseconds silence) { silence_ = silence; }

 private:
  Result Reject(Event event, std::deque<uint8_t>& requeue);

  std::vector<uint8_t> buffer_;
  size_t frameSize_ = 0;  // known once the header is complete
  TimePoint lastByte_{};
  std::chrono::milliseconds silence_;
};

}  // namespace sim
