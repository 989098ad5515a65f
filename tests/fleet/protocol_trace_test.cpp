// The decoded part of the protocol trace lines.

#include <gtest/gtest.h>

#include "protocol/frame.h"
#include "protocol/protocol_trace.h"

namespace {

TEST(ProtocolTraceLines, DecodeCommandAddressLengthModeAndCheck) {
  std::vector<uint8_t> bad = frame::Build(1, frame::kChecksum, 0x7F);
  bad.back() ^= 0xFF;
  const std::vector<uint8_t> setup28 = frame::Build(3, frame::kCrc, 19, std::vector<uint8_t>(28, 0));
  const std::vector<uint8_t> hold = frame::Build(2, frame::kCrc, 67, std::vector<uint8_t>{0, 5});
  const std::vector<uint8_t> cut(setup28.begin(), setup28.begin() + 10);
  const struct {
    ProtocolTrace::Direction direction;
    std::vector<uint8_t> bytes;
    int32_t mode;
    const char* line;
  } cases[] = {
      {ProtocolTrace::kSent, {0x02, 0x01, 0x01, 0x7F, 0x7D}, 0, "GetModelName addr=1 len=0 checksum check=ok"},
      {ProtocolTrace::kSent, {0x02, 0x01, 0x00, 0x7F, 0x76, 0x3C}, 1, "GetModelName addr=1 len=0 crc check=ok"},
      {ProtocolTrace::kReceived, bad, 0, "GetModelName addr=1 len=0 checksum check=bad"},
      {ProtocolTrace::kReceived, setup28, 1, "GetKRV04Setup addr=3 len=28 crc check=ok"},
      {ProtocolTrace::kSent, hold, 1, "SetNumHoldScans addr=2 len=2 crc check=ok"},
      {ProtocolTrace::kReceived, cut, 1, "GetKRV04Setup addr=3 len=28 crc check=incomplete"},
      {ProtocolTrace::kReceived, {0x02, 0x01, 0x00, 0x7F}, 0, "GetModelName addr=1 len=0 checksum check=bad(length)"},
      {ProtocolTrace::kReceived, {0x02, 0x01}, 0, "incomplete header checksum"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ProtocolTrace::DescribeFrame(c.direction, c.bytes.data(), c.bytes.size(), c.mode), c.line);

  const uint8_t ack = 0x06;
  EXPECT_EQ(ProtocolTrace::DescribeXmodem(ProtocolTrace::kReceived, &ack, 1), "XMODEM ACK");
  // The CRC-16/XMODEM of the block's data, computed here bit by bit,
  // independently of the frame code.
  uint8_t block[133] = {0x01, 0x07, 0xF8};
  uint16_t crc = 0;
  for (int i = 0; i < 128; ++i) {
    block[3 + i] = '1';
    crc ^= static_cast<uint16_t>('1' << 8);
    for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  block[131] = static_cast<uint8_t>(crc >> 8);
  block[132] = static_cast<uint8_t>(crc & 0xFF);
  EXPECT_EQ(ProtocolTrace::DescribeXmodem(ProtocolTrace::kSent, block, sizeof block),
            "XMODEM block 7 (133 bytes) check=ok");
  block[60] ^= 1;
  EXPECT_EQ(ProtocolTrace::DescribeXmodem(ProtocolTrace::kSent, block, sizeof block),
            "XMODEM block 7 (133 bytes) check=bad");
  EXPECT_EQ(ProtocolTrace::DescribeXmodem(ProtocolTrace::kSent, block, 40), "XMODEM block 7 (40 bytes) check=incomplete");
}

TEST(ProtocolTraceLines, StampDirectionAndHexBeforeTheDescription) {
  std::vector<std::string> lines;
  ProtocolTrace trace([&](const std::string& line) { lines.push_back(line); });
  const uint8_t request[] = {0x02, 0x01, 0x01, 0x7F, 0x7D};
  trace.Frame(ProtocolTrace::kSent, request, sizeof request, 0);
  ASSERT_EQ(lines.size(), 1u);
  const std::string& line = lines[0];
  EXPECT_EQ(line.substr(10), " tx 02 01 01 7F 7D  GetModelName addr=1 len=0 checksum check=ok");
  EXPECT_GE(std::stod(line.substr(0, 10)), 0.0);
}

}  // namespace
