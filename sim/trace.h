#pragma once
// One line per frame on the line, with the seconds since the line started:
//
//   12.345678 rx 02 01 01 7F 7D
//   12.345901 tx 02 01 11 7F 30 20 4D 33 ... 9A
//   12.400000 rx-bad 02 01 00 7F 76 (checksum error)
//   13.000000 tx 7E 02 01 ... (noise)
//
// Labels: rx (a good frame), rx-bad (failed check, impossible length or
// incomplete), rx-garbled (bytes at the wrong baud rate), tx (a frame or
// XMODEM answer leaving), tx-drop (a reply withheld by fault injection),
// xmodem (transfer events). On a line with several sensors each line
// starts with the sensor's tag ("#1", "#2", ...) after the time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "sim/sensor_state.h"

namespace sim {

class Tracer {
 public:
  Tracer() = default;
  Tracer(std::function<void(const std::string&)> sink, FILE* file, TimePoint start)
      : sink_(std::move(sink)), file_(file), start_(start) {}

  bool Enabled() const { return sink_ || file_ != nullptr; }

  void Bytes(TimePoint t, std::string_view tag, std::string_view label, const uint8_t* bytes, size_t count,
             std::string_view note = {});
  void Note(TimePoint t, std::string_view tag, std::string_view label, std::string_view text);

  // "12.345678 rx 02 01 01 7F 7D (note)"; the tag, when not empty, follows
  // the time.
  static std::string Format(double seconds, std::string_view tag, std::string_view label, const uint8_t* bytes,
                            size_t count, std::string_view note);

 private:
  void Emit(const std::string& line);

  std::function<void(const std::string&)> sink_;
  FILE* file_ = nullptr;
  TimePoint start_{};
};

}  // namespace sim
