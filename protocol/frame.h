#pragma once
// The one wire format spoken to every sensor, in both integrity modes.
//
//   offset 0      STX (0x02)
//   offset 1      address
//   offset 2      length: N + 1 in checksum mode, N in CRC mode
//   offset 3      command id
//   offset 4..    N data bytes
//   then          one checksum byte, or the CRC high byte then low byte
//
// A 16-bit value inside the data travels least significant byte first in
// checksum mode and most significant byte first in CRC mode.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace frame {

enum CheckMode : int32_t { kChecksum = 0, kCrc = 1 };

constexpr uint8_t kStx = 0x02;
constexpr size_t kHeaderSize = 4;      // STX, address, length, command id
constexpr size_t kMaxFrameSize = 261;  // CRC mode with 255 data bytes
constexpr size_t kBufferSize = 268;    // size of every request/reply buffer
constexpr size_t kMaxDataChecksum = 254;
constexpr size_t kMaxDataCrc = 255;

// Largest number of data bytes a frame can carry in the given mode.
size_t MaxData(int32_t mode);

// Length byte for N data bytes.
uint8_t LengthByte(int32_t mode, size_t dataLength);

// Number of data bytes announced by a received length byte. Returns false
// when the length byte cannot describe a frame (0 in checksum mode: there
// is not even room for the check byte).
bool DataLength(int32_t mode, uint8_t lengthByte, size_t& dataLength);

// Bytes that follow the four header bytes: data and check.
size_t BodySize(int32_t mode, uint8_t lengthByte);

// Whole frame size for a given length byte.
size_t FrameSize(int32_t mode, uint8_t lengthByte);

// Two's-complement checksum over `count` bytes: all bytes of the frame,
// check byte included, add up to 0 modulo 256.
uint8_t Checksum(const uint8_t* bytes, size_t count);

// Plain shift-in CRC: register starts at 0, polynomial 0x1021, MSB first,
// no augmentation, no final XOR. "123456789" gives 0xBEEF.
uint16_t ShiftInCrc(const uint8_t* bytes, size_t count);
// The same register started at `seed` instead of 0. A seed of 0 gives
// ShiftInCrc; Ostrel also checks a reply against the CRC of its last request.
uint16_t ShiftInCrcFrom(uint16_t seed, const uint8_t* bytes, size_t count);
// One step of the same register; used by the block transfer, which feeds
// two zero bytes at the end of a block to obtain the standard XMODEM CRC.
uint16_t ShiftInCrcByte(uint16_t crc, uint8_t byte);

// Writes STX and the check bytes into a frame whose address, length byte,
// command id and data are already in place. Returns the total frame size.
size_t Seal(uint8_t* frame, int32_t mode);

// True when the check bytes of a complete frame are right.
bool Verify(const uint8_t* frame, int32_t mode);

// Builds a whole frame.
std::vector<uint8_t> Build(uint8_t address, int32_t mode, uint8_t command,
                           const uint8_t* data, size_t dataLength);
inline std::vector<uint8_t> Build(uint8_t address, int32_t mode, uint8_t command,
                                  const std::vector<uint8_t>& data = {}) {
  return Build(address, mode, command, data.data(), data.size());
}

// 16-bit values in the data, in the byte order of the mode.
void PutWord(uint8_t* at, int32_t mode, uint16_t value);
uint16_t GetWord(const uint8_t* at, int32_t mode);
// Swaps the two bytes at `at` (host little-endian <-> CRC wire order).
void SwapWord(uint8_t* at);

}  // namespace frame
