#include "protocol/xmodem_block.h"

#include <algorithm>

#include "protocol/frame.h"

namespace xmodem {

uint16_t Crc(const uint8_t* data, size_t count) {
  // Two zero bytes complete the shift-in division to the usual XMODEM CRC.
  const uint16_t crc = frame::ShiftInCrcFrom(0, data, count);
  return frame::ShiftInCrcByte(frame::ShiftInCrcByte(crc, 0), 0);
}

Block BuildBlock(uint32_t number, const uint8_t* data) {
  Block block{};
  block[0] = kSoh;
  block[1] = static_cast<uint8_t>(number & 0xFF);
  block[2] = static_cast<uint8_t>(~block[1]);
  std::copy(data, data + kDataSize, block.begin() + 3);
  const uint16_t crc = Crc(data, kDataSize);
  block[3 + kDataSize] = static_cast<uint8_t>(crc >> 8);
  block[4 + kDataSize] = static_cast<uint8_t>(crc & 0xFF);
  return block;
}

}  // namespace xmodem
