#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(FrameCheck, ShiftInCrcOfNineDigitsIsBeef) {
  const char* digits = "123456789";
  EXPECT_EQ(frame::ShiftInCrc(reinterpret_cast<const uint8_t*>(digits), 9), 0xBEEF);
}

TEST(FrameCheck, TwoZeroBytesTurnShiftInCrcIntoXmodemCrc) {
  const uint8_t msg[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0, 0};
  EXPECT_EQ(frame::ShiftInCrc(msg, sizeof msg), 0x31C3);
}

TEST(FrameCheck, ChecksumMakesTheWholeFrameSumToZero) {
  const Bytes f = frame::Build(7, frame::kChecksum, 0x13, Bytes{1, 2, 3, 250});
  unsigned sum = 0;
  for (uint8_t b : f) sum += b;
  EXPECT_EQ(sum % 256, 0u);
}

TEST(FrameBuild, RequestsWithoutDataMatchTheWorkedExamples) {
  EXPECT_EQ(frame::Build(1, frame::kChecksum, 0x7F), (Bytes{0x02, 0x01, 0x01, 0x7F, 0x7D}));
  EXPECT_EQ(frame::Build(1, frame::kCrc, 0x7F), (Bytes{0x02, 0x01, 0x00, 0x7F, 0x76, 0x3C}));
  EXPECT_EQ(frame::Build(1, frame::kChecksum, 0x02), (Bytes{0x02, 0x01, 0x01, 0x02, 0xFA}));
  EXPECT_EQ(frame::Build(1, frame::kCrc, 0x02), (Bytes{0x02, 0x01, 0x00, 0x02, 0x76, 0x41}));
}

TEST(FrameBuild, LengthByteFollowsTheMode) {
  const Bytes data{9, 8, 7};
  const Bytes sum = frame::Build(3, frame::kChecksum, 0x20, data);
  const Bytes crc = frame::Build(3, frame::kCrc, 0x20, data);
  EXPECT_EQ(sum[2], 4);
  EXPECT_EQ(sum.size(), 3u + 5u);
  EXPECT_EQ(crc[2], 3);
  EXPECT_EQ(crc.size(), 3u + 6u);
  EXPECT_TRUE(frame::Verify(sum.data(), frame::kChecksum));
  EXPECT_TRUE(frame::Verify(crc.data(), frame::kCrc));
}

TEST(FrameBuild, SealSetsTheStartByteWhateverTheBufferHeld) {
  uint8_t buf[frame::kBufferSize];
  std::memset(buf, 0xEE, sizeof buf);
  buf[1] = 1;
  buf[2] = 1;
  buf[3] = 0x7F;
  EXPECT_EQ(frame::Seal(buf, frame::kChecksum), 5u);
  EXPECT_EQ(buf[0], 0x02);
  EXPECT_EQ(buf[4], 0x7D);
}

TEST(FrameBuild, LongestCrcFrameIs261Bytes) {
  Bytes data(255, 0xA5);
  const Bytes f = frame::Build(9, frame::kCrc, 0x0B, data);
  EXPECT_EQ(f.size(), frame::kMaxFrameSize);
  EXPECT_EQ(f[2], 255);
  EXPECT_EQ(frame::FrameSize(frame::kCrc, 255), 261u);
  EXPECT_TRUE(frame::Verify(f.data(), frame::kCrc));
}

TEST(FrameVerify, DetectsAnyFlippedBitInEitherMode) {
  for (int mode : {frame::kChecksum, frame::kCrc}) {
    Bytes f = frame::Build(5, mode, 0x1B, Bytes{0x10, 0x20, 0x30});
    for (size_t i = 1; i < f.size(); ++i) {
      Bytes bad = f;
      bad[i] ^= 0x01;
      if (i == 2) continue;  // a changed length moves the check; covered elsewhere
      EXPECT_FALSE(frame::Verify(bad.data(), mode)) << "mode " << mode << " byte " << i;
    }
  }
}

TEST(FrameVerify, ChecksumLengthZeroIsNeverValid) {
  uint8_t f[frame::kBufferSize] = {0x02, 0x01, 0x00, 0x7F, 0x7E};
  EXPECT_FALSE(frame::Verify(f, frame::kChecksum));
  size_t n = 99;
  EXPECT_FALSE(frame::DataLength(frame::kChecksum, 0, n));
  EXPECT_TRUE(frame::DataLength(frame::kCrc, 0, n));
  EXPECT_EQ(n, 0u);
}

TEST(FrameWords, ByteOrderFollowsTheMode) {
  uint8_t b[2];
  frame::PutWord(b, frame::kChecksum, 0x1234);
  EXPECT_EQ(b[0], 0x34);
  EXPECT_EQ(b[1], 0x12);
  EXPECT_EQ(frame::GetWord(b, frame::kChecksum), 0x1234);
  frame::PutWord(b, frame::kCrc, 0x1234);
  EXPECT_EQ(b[0], 0x12);
  EXPECT_EQ(b[1], 0x34);
  EXPECT_EQ(frame::GetWord(b, frame::kCrc), 0x1234);
}

}  // namespace
