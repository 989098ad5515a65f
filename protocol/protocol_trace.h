#pragma once
// Protocol trace: every frame and XMODEM byte group the program sends and
// receives, one line each:
//
//   "   12.345 tx 02 01 01 7F 7D  GetModelName addr=1 len=0 checksum check=ok"
//   "   13.020 rx 06  XMODEM ACK"
//
// milliseconds since the trace began, direction, the bytes in hex, then the
// decoded command, address, data length, check mode and whether the check
// passed. The packet layer and the block sender call it from their I/O path
// when one is attached; without one they pay a single pointer test.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class ProtocolTrace {
 public:
  enum Direction { kSent, kReceived };
  using Sink = std::function<void(const std::string& line)>;

  explicit ProtocolTrace(Sink sink);
  // Where the lines go (a trace of several lines at once hands each line's
  // frames to one sink).
  const Sink& sink() const { return sink_; }

  // A whole or partial frame of the packet protocol in `checkMode`.
  void Frame(Direction direction, const uint8_t* bytes, size_t count, int32_t checkMode);
  // A group of XMODEM bytes: a block, EOT, or the receiver's answer.
  void Xmodem(Direction direction, const uint8_t* bytes, size_t count);

  // The decoded part of a frame's line (after the hex bytes).
  static std::string DescribeFrame(Direction direction, const uint8_t* bytes, size_t count, int32_t checkMode);
  static std::string DescribeXmodem(Direction direction, const uint8_t* bytes, size_t count);
  static std::string Hex(const uint8_t* bytes, size_t count);

 private:
  void Emit(Direction direction, const uint8_t* bytes, size_t count, const std::string& description);

  Sink sink_;
  std::chrono::steady_clock::time_point start_;
};
