#include "protocol/protocol_trace.h"

#include <cstdio>

#include "protocol/command_names.h"
#include "protocol/frame.h"

ProtocolTrace::ProtocolTrace(Sink sink) : sink_(std::move(sink)), start_(std::chrono::steady_clock::now()) {}

std::string ProtocolTrace::Hex(const uint8_t* bytes, size_t count) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(count * 3);
  for (size_t i = 0; i < count; ++i) {
    if (i != 0) text += ' ';
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 0xF];
  }
  return text;
}

std::string ProtocolTrace::DescribeFrame(Direction direction, const uint8_t* bytes, size_t count,
                                         int32_t checkMode) {
  const char* mode = checkMode == frame::kCrc ? "crc" : "checksum";
  if (count < frame::kHeaderSize) return std::string("incomplete header ") + mode;
  size_t dataLength = 0;
  const bool lengthOk = frame::DataLength(checkMode, bytes[2], dataLength);
  std::string text = cmd::CommandName(bytes[3], dataLength, direction == kReceived);
  text += " addr=" + std::to_string(bytes[1]) + " len=" + std::to_string(dataLength) + " " + mode;
  if (!lengthOk) return text + " check=bad(length)";
  if (count < frame::FrameSize(checkMode, bytes[2])) return text + " check=incomplete";
  return text + (frame::Verify(bytes, checkMode) ? " check=ok" : " check=bad");
}

std::string ProtocolTrace::DescribeXmodem(Direction direction, const uint8_t* bytes, size_t count) {
  if (count == 1) {
    switch (bytes[0]) {
      case 0x04: return "XMODEM EOT";
      case 0x06: return "XMODEM ACK";
      case 0x15: return "XMODEM NAK";
      case 0x43: return "XMODEM C";
      default: break;
    }
  }
  if (direction == kSent && count >= 3 && bytes[0] == 0x01) {
    std::string text = "XMODEM block " + std::to_string(bytes[1]) + " (" + std::to_string(count) + " bytes)";
    constexpr size_t kBlock = 133;  // SOH, number, complement, 128 data bytes, CRC high, CRC low
    if (count != kBlock) return text + " check=incomplete";
    uint16_t crc = 0;
    for (size_t i = 3; i < kBlock - 2; ++i) crc = frame::ShiftInCrcByte(crc, bytes[i]);
    crc = frame::ShiftInCrcByte(frame::ShiftInCrcByte(crc, 0), 0);
    const bool ok = bytes[2] == static_cast<uint8_t>(~bytes[1]) && bytes[kBlock - 2] == (crc >> 8) &&
                    bytes[kBlock - 1] == (crc & 0xFF);
    return text + (ok ? " check=ok" : " check=bad");
  }
  return "XMODEM " + std::to_string(count) + " bytes";
}

void ProtocolTrace::Frame(Direction direction, const uint8_t* bytes, size_t count, int32_t checkMode) {
  Emit(direction, bytes, count, DescribeFrame(direction, bytes, count, checkMode));
}

void ProtocolTrace::Xmodem(Direction direction, const uint8_t* bytes, size_t count) {
  Emit(direction, bytes, count, DescribeXmodem(direction, bytes, count));
}

void ProtocolTrace::Emit(Direction direction, const uint8_t* bytes, size_t count, const std::string& description) {
  if (!sink_) return;
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%10.3f %s ", ms, direction == kSent ? "tx" : "rx");
  sink_(stamp + Hex(bytes, count) + "  " + description);
}
