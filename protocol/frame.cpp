#include "protocol/frame.h"

#include <utility>

namespace frame {

size_t MaxData(int32_t mode) { return mode == kCrc ? kMaxDataCrc : kMaxDataChecksum; }

uint8_t LengthByte(int32_t mode, size_t dataLength) {
  return static_cast<uint8_t>(mode == kCrc ? dataLength : dataLength + 1);
}

bool DataLength(int32_t mode, uint8_t lengthByte, size_t& dataLength) {
  if (mode == kCrc) {
    dataLength = lengthByte;
    return true;
  }
  if (lengthByte == 0) return false;
  dataLength = static_cast<size_t>(lengthByte) - 1;
  return true;
}

size_t BodySize(int32_t mode, uint8_t lengthByte) {
  return mode == kCrc ? static_cast<size_t>(lengthByte) + 2 : lengthByte;
}

size_t FrameSize(int32_t mode, uint8_t lengthByte) { return kHeaderSize + BodySize(mode, lengthByte); }

uint8_t Checksum(const uint8_t* bytes, size_t count) {
  uint8_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  return static_cast<uint8_t>(0x100 - sum);
}

uint16_t ShiftInCrcByte(uint16_t crc, uint8_t byte) {
  for (int bit = 7; bit >= 0; --bit) {
    const bool top = (crc & 0x8000u) != 0;
    crc = static_cast<uint16_t>((crc << 1) | ((byte >> bit) & 1u));
    if (top) crc ^= 0x1021u;
  }
  return crc;
}

uint16_t ShiftInCrcFrom(uint16_t seed, const uint8_t* bytes, size_t count) {
  uint16_t crc = seed;
  for (size_t i = 0; i < count; ++i) crc = ShiftInCrcByte(crc, bytes[i]);
  return crc;
}

uint16_t ShiftInCrc(const uint8_t* bytes, size_t count) { return ShiftInCrcFrom(0, bytes, count); }

size_t Seal(uint8_t* f, int32_t mode) {
  f[0] = kStx;
  const uint8_t length = f[2];
  if (mode == kCrc) {
    const size_t covered = kHeaderSize + length;
    const uint16_t crc = ShiftInCrc(f, covered);
    f[covered] = static_cast<uint8_t>(crc >> 8);
    f[covered + 1] = static_cast<uint8_t>(crc & 0xFF);
    return covered + 2;
  }
  // Checksum mode: the length byte counts the check byte, so the check sits
  // at offset length + 3. A length byte of 0 cannot be sealed meaningfully;
  // treat it as "no data" so the result is still a well-formed frame.
  if (length == 0) f[2] = 1;
  const size_t covered = static_cast<size_t>(f[2]) + 3;
  f[covered] = Checksum(f, covered);
  return covered + 1;
}

bool Verify(const uint8_t* f, int32_t mode) {
  const uint8_t length = f[2];
  if (mode == kCrc) {
    const size_t covered = kHeaderSize + length;
    const uint16_t crc = ShiftInCrc(f, covered);
    return f[covered] == static_cast<uint8_t>(crc >> 8) && f[covered + 1] == static_cast<uint8_t>(crc & 0xFF);
  }
  if (length == 0) return false;
  const size_t covered = static_cast<size_t>(length) + 3;
  return f[covered] == Checksum(f, covered);
}

std::vector<uint8_t> Build(uint8_t address, int32_t mode, uint8_t command, const uint8_t* data,
                           size_t dataLength) {
  if (dataLength > MaxData(mode)) dataLength = MaxData(mode);
  std::vector<uint8_t> f(kBufferSize, 0);
  f[1] = address;
  f[2] = LengthByte(mode, dataLength);
  f[3] = command;
  for (size_t i = 0; i < dataLength; ++i) f[kHeaderSize + i] = data[i];
  f.resize(Seal(f.data(), mode));
  return f;
}

void PutWord(uint8_t* at, int32_t mode, uint16_t value) {
  const auto lo = static_cast<uint8_t>(value & 0xFF);
  const auto hi = static_cast<uint8_t>(value >> 8);
  if (mode == kCrc) {
    at[0] = hi;
    at[1] = lo;
  } else {
    at[0] = lo;
    at[1] = hi;
  }
}

uint16_t GetWord(const uint8_t* at, int32_t mode) {
  if (mode == kCrc) return static_cast<uint16_t>((at[0] << 8) | at[1]);
  return static_cast<uint16_t>((at[1] << 8) | at[0]);
}

void SwapWord(uint8_t* at) { std::swap(at[0], at[1]); }

}  // namespace frame
