#include "ostrel/operations/xmodem_block.h"

#include "protocol/frame.h"

namespace ostrel {

uint16_t XModemCrc(const uint8_t* data, size_t count) {
  uint16_t crc = frame::ShiftInCrcFrom(0, data, count);
  crc = frame::ShiftInCrcByte(crc, 0);
  return frame::ShiftInCrcByte(crc, 0);
}

std::array<uint8_t, kXModemBlock> BuildXModemBlock(uint32_t blockNumber, const uint8_t* data) {
  std::array<uint8_t, kXModemBlock> block{};
  block[0] = kSoh;
  block[1] = static_cast<uint8_t>(blockNumber & 0xFF);
  block[2] = static_cast<uint8_t>(255 - block[1]);
  for (size_t i = 0; i < kXModemData; ++i) block[3 + i] = data[i];
  const uint16_t crc = XModemCrc(data, kXModemData);
  block[131] = static_cast<uint8_t>(crc >> 8);
  block[132] = static_cast<uint8_t>(crc & 0xFF);
  return block;
}

}  // namespace ostrel
