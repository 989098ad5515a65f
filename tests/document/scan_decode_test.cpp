// Decoding of one scan buffer reply into ranges.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tarkon/document/scan_buffer.h"

namespace {

TEST(ScanDecode, SamplesFollowTheCountByteLowByteFirst) {
  // Two replies still to come, then 0x1234, 0x8000 (out of range) and -2.
  const uint8_t reply[] = {2, 0x34, 0x12, 0x00, 0x80, 0xFE, 0xFF, 0x99};
  std::vector<int16_t> ranges{7};
  ASSERT_TRUE(DecodeScanReply(reply, sizeof reply, 3, ranges));
  EXPECT_EQ(ranges, (std::vector<int16_t>{7, 0x1234, INT16_MIN, -2}));
}

TEST(ScanDecode, AShortReplyAppendsNothing) {
  const uint8_t reply[] = {0, 1, 0, 2, 0, 3};  // two and a half samples
  std::vector<int16_t> ranges{7};
  EXPECT_FALSE(DecodeScanReply(reply, sizeof reply, 3, ranges));
  EXPECT_FALSE(DecodeScanReply(reply, 0, 1, ranges));
  EXPECT_FALSE(DecodeScanReply(reply, sizeof reply, -1, ranges));
  EXPECT_EQ(ranges, std::vector<int16_t>{7});
  // The whole samples it does hold are enough for a smaller count.
  EXPECT_TRUE(DecodeScanReply(reply, sizeof reply, 2, ranges));
  EXPECT_EQ(ranges, (std::vector<int16_t>{7, 1, 2}));
}

TEST(ScanDecode, AFullReplyHolds126Samples) {
  std::vector<uint8_t> reply(253);
  for (size_t k = 0; k < 126; ++k) reply[1 + 2 * k] = static_cast<uint8_t>(k);
  std::vector<int16_t> ranges;
  ASSERT_TRUE(DecodeScanReply(reply.data(), reply.size(), 126, ranges));
  ASSERT_EQ(ranges.size(), 126u);
  EXPECT_EQ(ranges[125], 125);
  EXPECT_FALSE(DecodeScanReply(reply.data(), reply.size(), 127, ranges));
}

}  // namespace
