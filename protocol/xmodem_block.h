#pragma once
// One XMODEM-CRC block as it crosses the line, for every sender of the
// suite: SOH, the block number modulo 256, its complement, 128 data bytes
// and the CRC-16/XMODEM of the data, high byte first. The control bytes
// the receiver and the sender exchange around the blocks are here too.

#include <array>
#include <cstddef>
#include <cstdint>

namespace xmodem {

constexpr uint8_t kSoh = 0x01;
constexpr uint8_t kEot = 0x04;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr uint8_t kCan = 0x18;
constexpr uint8_t kCrcRequest = 0x43;  // 'C': the receiver asks for CRC blocks
constexpr size_t kDataSize = 128;
constexpr size_t kBlockSize = 3 + kDataSize + 2;

using Block = std::array<uint8_t, kBlockSize>;

// The standard XMODEM CRC (polynomial 0x1021, initial 0, no reflection, no
// final XOR): the frame's shift-in register over the data and two zero
// bytes. "123456789" gives 0x31C3.
uint16_t Crc(const uint8_t* data, size_t count);

// Block `number` (the first is 1; only its low byte goes on the line) of
// the 128 bytes at `data`.
Block BuildBlock(uint32_t number, const uint8_t* data);

}  // namespace xmodem
