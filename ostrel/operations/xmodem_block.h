#pragma once
// One XMODEM-CRC block as Ostrel sends it: SOH, block number modulo 256,
// its complement, 128 data bytes, CRC-16/XMODEM of the data high byte first.

#include <array>
#include <cstddef>
#include <cstdint>

namespace ostrel {

constexpr uint8_t kSoh = 0x01;
constexpr uint8_t kEot = 0x04;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr uint8_t kCan = 0x18;
constexpr uint8_t kStartRequest = 0x43;  // 'C'
constexpr size_t kXModemData = 128;
constexpr size_t kXModemBlock = 133;

// Results of XModemSendBlock.
enum XModemResult : int {
  kBlockAcknowledged = 0,
  kBlockFailed = 2,    // more than 16 failed answers to the block
  kEndFailed = 3,      // more than 16 failed answers to EOT
  kCancelled = 5,      // two CAN in a row
};
constexpr int kMaxFailedAnswers = 16;

// The standard XMODEM CRC: the shift-in register over the data and two
// zero bytes.
uint16_t XModemCrc(const uint8_t* data, size_t count);
std::array<uint8_t, kXModemBlock> BuildXModemBlock(uint32_t blockNumber, const uint8_t* data);

}  // namespace ostrel
