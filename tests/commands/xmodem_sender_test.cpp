// XmodemSender against a receiver played by the test on the master side of
// a pseudo-terminal: exact block bytes, padding, numbering, retries, the
// shared try counter and the sticky failure states.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "support/pty_peer.h"
#include "protocol/xmodem_sender.h"
#include "serial/serial_port.h"

namespace {

constexpr uint8_t kSoh = 0x01;
constexpr uint8_t kEot = 0x04;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr uint8_t kC = 'C';
constexpr size_t kBlockFrame = 133;  // SOH, number, complement, 128 data, CRC hi, lo
constexpr int kWaitMs = 5000;

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// The common table-free CRC-16/XMODEM, written independently of the sender.
uint16_t XmodemCrc(const uint8_t* data, size_t count) {
  uint16_t crc = 0;
  for (size_t i = 0; i < count; ++i) {
    crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
  }
  return crc;
}

Bytes ExpectedBlock(uint8_t number, const Bytes& data128) {
  Bytes out{kSoh, number, static_cast<uint8_t>(0xFF - number)};
  out.insert(out.end(), data128.begin(), data128.end());
  const uint16_t crc = XmodemCrc(data128.data(), data128.size());
  out.push_back(static_cast<uint8_t>(crc >> 8));
  out.push_back(static_cast<uint8_t>(crc & 0xFF));
  return out;
}

Bytes Pattern(size_t size) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>((i * 37 + 11) & 0xFF);
  return b;
}

class XmodemSenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    ASSERT_TRUE(port_.ConnectDevice(pty_.path(), 57600, 0, 0, 8, 100, 100)) << port_.errorText();
    sender_.Attach(&port_);
    sender_.Reset();
  }
  void TearDown() override {
    if (receiver_.joinable()) receiver_.join();
  }

  // Feeds the whole image; returns the result of every Put.
  std::vector<int32_t> Send(const Bytes& image) {
    std::vector<int32_t> results;
    for (size_t i = 0; i < image.size(); ++i) {
      results.push_back(sender_.Put(image[i], i + 1 == image.size()));
    }
    return results;
  }

  static bool AllZero(const std::vector<int32_t>& results) {
    for (int32_t r : results) {
      if (r != 0) return false;
    }
    return true;
  }

  PtyPeer pty_;
  SerialPort port_;
  XmodemSender sender_;
  std::thread receiver_;
};

TEST(XmodemCrcReference, CheckValueOfTheIndependentCrc) {
  const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(XmodemCrc(digits, sizeof digits), 0x31C3);
}

TEST_F(XmodemSenderTest, ShortFinalBlockIsPaddedWithCopiesOfTheLastByte) {
  const Bytes image = Pattern(130);
  Bytes block1, block2, end, extra;
  receiver_ = std::thread([&] {
    pty_.Write({kC});
    block1 = pty_.Read(kBlockFrame, kWaitMs);
    pty_.Write({kAck});
    block2 = pty_.Read(kBlockFrame, kWaitMs);
    pty_.Write({kAck});
    end = pty_.Read(1, kWaitMs);
    pty_.Write({kAck});
    extra = pty_.ReadUntilQuiet(300);
  });
  const auto results = Send(image);
  receiver_.join();

  EXPECT_TRUE(AllZero(results));
  EXPECT_EQ(sender_.state(), 0);
  EXPECT_EQ(block1, ExpectedBlock(1, Bytes(image.begin(), image.begin() + 128)));
  Bytes second{image[128], image[129]};
  second.resize(128, image[129]);
  EXPECT_EQ(block2, ExpectedBlock(2, second));
  EXPECT_EQ(end, Bytes{kEot});
  EXPECT_TRUE(extra.empty());
  EXPECT_EQ(sender_.blockCounter(), 2);
}

TEST_F(XmodemSenderTest, MultipleOfBlockSizeEndsWithEotAndNoExtraBlock) {
  const Bytes image = Pattern(256);
  Bytes block1, block2, end, extra;
  receiver_ = std::thread([&] {
    pty_.Write({kC});
    block1 = pty_.Read(kBlockFrame, kWaitMs);
    pty_.Write({kAck});
    block2 = pty_.Read(kBlockFrame, kWaitMs);
    pty_.Write({kAck});
    end = pty_.Read(1, kWaitMs);
    pty_.Write({kAck});
    extra = pty_.ReadUntilQuiet(300);
  });
  const auto results = Send(image);
  receiver_.join();

  EXPECT_TRUE(AllZero(results));
  EXPECT_EQ(block1, ExpectedBlock(1, Bytes(image.begin(), image.begin() + 128)));
  EXPECT_EQ(block2, ExpectedBlock(2, Bytes(image.begin() + 128, image.end())));
  EXPECT_EQ(end, Bytes{kEot});
  EXPECT_TRUE(extra.empty());
}

TEST_F(XmodemSenderTest, NakStartRequestAndTwoNaksSendTheSameBlockThreeTimes) {
  const Bytes image = Pattern(128);
  std::vector<Bytes> copies;
  Bytes end;
  receiver_ = std::thread([&] {
    // A checksum-style start request is accepted too; blocks still carry the CRC.
    pty_.Write({kNak});
    for (uint8_t answer : {kNak, kNak, kAck}) {
      copies.push_back(pty_.Read(kBlockFrame, kWaitMs));
      pty_.Write({answer});
    }
    end = pty_.Read(1, kWaitMs);
    pty_.Write({kAck});
  });
  const auto results = Send(image);
  receiver_.join();

  EXPECT_TRUE(AllZero(results));
  const Bytes expected = ExpectedBlock(1, image);
  ASSERT_EQ(copies.size(), 3u);
  for (const Bytes& copy : copies) EXPECT_EQ(copy, expected);
  EXPECT_EQ(end, Bytes{kEot});
}

TEST_F(XmodemSenderTest, Block256IsNumberedZero) {
  const size_t blocks = 257;
  const Bytes image = Pattern(blocks * 128);
  std::vector<Bytes> seen;
  Bytes end;
  receiver_ = std::thread([&] {
    pty_.Write({kC});
    for (size_t k = 0; k < blocks; ++k) {
      Bytes b = pty_.Read(kBlockFrame, kWaitMs);
      if (b.size() != kBlockFrame) break;
      seen.push_back(std::move(b));
      pty_.Write({kAck});
    }
    end = pty_.Read(1, kWaitMs);
    pty_.Write({kAck});
  });
  const auto results = Send(image);
  receiver_.join();

  EXPECT_TRUE(AllZero(results));
  ASSERT_EQ(seen.size(), blocks);
  for (size_t k = 0; k < blocks; ++k) {
    const Bytes data(image.begin() + static_cast<long>(k * 128),
                     image.begin() + static_cast<long>((k + 1) * 128));
    ASSERT_EQ(seen[k], ExpectedBlock(static_cast<uint8_t>((k + 1) & 0xFF), data)) << "block " << k + 1;
  }
  EXPECT_EQ(seen[254][1], 0xFF);
  EXPECT_EQ(seen[254][2], 0x00);
  EXPECT_EQ(seen[255][1], 0x00);
  EXPECT_EQ(seen[255][2], 0xFF);
  EXPECT_EQ(seen[256][1], 0x01);
  EXPECT_EQ(end, Bytes{kEot});
}

TEST_F(XmodemSenderTest, TwentiethStartCharacterComesTooLate) {
  // Nineteen bytes that are no start request, then "C": the try counter has
  // reached its limit by the time the "C" is read.
  Bytes noise(19, 'x');
  noise.push_back(kC);
  noise.push_back(kC);
  ASSERT_TRUE(pty_.Write(noise));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  EXPECT_EQ(sender_.Put(0x55, true), XmodemSender::kNoStartRequest);
  EXPECT_EQ(sender_.state(), XmodemSender::kNoStartRequest);
  EXPECT_TRUE(pty_.ReadUntilQuiet(300).empty()) << "nothing may be sent without a start request";
  // Exactly twenty bytes were examined: one "C" is still waiting.
  uint8_t left = 0;
  EXPECT_EQ(sender_.ReadByte(&left), XmodemSender::kReadOk);
  EXPECT_EQ(left, kC);

  // The failure sticks until Reset, without touching the line.
  const auto before = Clock::now();
  EXPECT_EQ(sender_.Put(0x55, false), XmodemSender::kNoStartRequest);
  EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(500));
}

TEST_F(XmodemSenderTest, NineteenthStartCharacterIsAccepted) {
  Bytes noise(18, 'x');
  noise.push_back(kC);
  ASSERT_TRUE(pty_.Write(noise));
  Bytes block, end;
  receiver_ = std::thread([&] {
    block = pty_.Read(kBlockFrame, kWaitMs);
    pty_.Write({kAck});
    end = pty_.Read(1, kWaitMs);
    pty_.Write({kAck});
  });
  // The first byte only completes the start; the block goes out with the
  // last byte, in a call of its own with fresh tries.
  EXPECT_EQ(sender_.Put(0x7E, false), 0);
  EXPECT_EQ(sender_.bytesInBlock(), 1);
  for (int i = 1; i < 128; ++i) EXPECT_EQ(sender_.Put(0x7E, i == 127), 0);
  receiver_.join();
  EXPECT_EQ(block, ExpectedBlock(1, Bytes(128, 0x7E)));
  EXPECT_EQ(end, Bytes{kEot});
}

TEST_F(XmodemSenderTest, LateStartLeavesNoTriesForTheBlockOfTheSameCall) {
  Bytes noise(18, 'x');
  noise.push_back(kC);
  ASSERT_TRUE(pty_.Write(noise));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(sender_.Put(0x7E, true), XmodemSender::kBlockNotAcknowledged);
  EXPECT_TRUE(pty_.ReadUntilQuiet(300).empty());
}

TEST_F(XmodemSenderTest, ResetStartsANewTransferFromBlockOne) {
  ASSERT_TRUE(pty_.Write(Bytes(20, 'x')));
  EXPECT_EQ(sender_.Put(1, false), XmodemSender::kNoStartRequest);

  sender_.Reset();
  EXPECT_EQ(sender_.state(), 0);
  EXPECT_EQ(sender_.blockCounter(), 0);
  EXPECT_EQ(sender_.bytesInBlock(), 0);
  Bytes block, end;
  receiver_ = std::thread([&] {
    pty_.Write({kC});
    block = pty_.Read(kBlockFrame, kWaitMs);
    pty_.Write({kAck});
    end = pty_.Read(1, kWaitMs);
    pty_.Write({kAck});
  });
  EXPECT_EQ(sender_.Put(2, true), 0);
  receiver_.join();
  EXPECT_EQ(block, ExpectedBlock(1, Bytes(128, 2)));
  EXPECT_EQ(end, Bytes{kEot});
}

// The start request and the block sends of one Put share twenty tries.
TEST_F(XmodemSenderTest, UnacknowledgedBlockSharesTheTryCounterWithTheStart) {
  int copies = 0;
  receiver_ = std::thread([&] {
    pty_.Write({kC});
    while (pty_.Read(kBlockFrame, 3000).size() == kBlockFrame) {
      ++copies;
      pty_.Write({kNak});
    }
  });
  EXPECT_EQ(sender_.Put(9, true), XmodemSender::kBlockNotAcknowledged);
  receiver_.join();
  EXPECT_EQ(copies, 18);
  EXPECT_EQ(sender_.Put(9, true), XmodemSender::kBlockNotAcknowledged);
  EXPECT_TRUE(pty_.ReadUntilQuiet(300).empty());
}

// A block completed by a later Put gets that call's own twenty tries.
TEST_F(XmodemSenderTest, UnacknowledgedBlockOfALaterPutGetsNineteenSends) {
  int copies = 0;
  receiver_ = std::thread([&] {
    pty_.Write({kC});
    while (pty_.Read(kBlockFrame, 3000).size() == kBlockFrame) {
      ++copies;
      pty_.Write({kNak});
    }
  });
  const Bytes image = Pattern(128);
  const auto results = Send(image);
  receiver_.join();
  EXPECT_EQ(results.front(), 0);
  EXPECT_EQ(results.back(), XmodemSender::kBlockNotAcknowledged);
  EXPECT_EQ(copies, 19);
}

TEST_F(XmodemSenderTest, EotIsRepeatedUntilAcknowledged) {
  Bytes ends;
  receiver_ = std::thread([&] {
    pty_.Write({kC});
    pty_.Read(kBlockFrame, kWaitMs);
    pty_.Write({kAck});
    for (uint8_t answer : {kNak, kNak, kAck}) {
      const Bytes b = pty_.Read(1, kWaitMs);
      ends.insert(ends.end(), b.begin(), b.end());
      pty_.Write({answer});
    }
  });
  EXPECT_EQ(sender_.Put(3, true), 0);
  receiver_.join();
  EXPECT_EQ(ends, Bytes(3, kEot));
  EXPECT_TRUE(pty_.ReadUntilQuiet(300).empty());
}

TEST_F(XmodemSenderTest, UnacknowledgedEndFailsWhenTheTriesRunOut) {
  int eots = 0;
  receiver_ = std::thread([&] {
    pty_.Write({kC});
    pty_.Read(kBlockFrame, kWaitMs);
    pty_.Write({kAck});
    for (;;) {
      const Bytes b = pty_.Read(1, 3000);
      if (b.size() != 1 || b[0] != kEot) break;
      ++eots;
      pty_.Write({kNak});
    }
  });
  EXPECT_EQ(sender_.Put(3, true), XmodemSender::kEndNotAcknowledged);
  receiver_.join();
  // One try for the start request, one for the block, the rest for EOT.
  EXPECT_EQ(eots, 18);
  EXPECT_EQ(sender_.Put(3, true), XmodemSender::kEndNotAcknowledged);
}

TEST_F(XmodemSenderTest, ReadByteWaitsTwoSecondsThenTakesAByte) {
  uint8_t byte = 0;
  const auto before = Clock::now();
  EXPECT_EQ(sender_.ReadByte(&byte), XmodemSender::kReadTimeout);
  const auto waited = Clock::now() - before;
  EXPECT_GE(waited, std::chrono::milliseconds(1990));
  EXPECT_LT(waited, std::chrono::milliseconds(6000));
  EXPECT_EQ(sender_.lastReadOk(), 0);

  ASSERT_TRUE(pty_.Write({0x5A}));
  EXPECT_EQ(sender_.ReadByte(&byte), XmodemSender::kReadOk);
  EXPECT_EQ(byte, 0x5A);
  EXPECT_EQ(sender_.lastReadOk(), 1);
}

// The one slow case: a receiver that stays silent costs twenty waits of two
// seconds, and every later Put fails at once.
TEST_F(XmodemSenderTest, SilentReceiverFailsTheFirstPutAfterTwentyWaits) {
  const auto before = Clock::now();
  EXPECT_EQ(sender_.Put(1, false), XmodemSender::kNoStartRequest);
  const auto waited = Clock::now() - before;
  EXPECT_GE(waited, std::chrono::seconds(39));
  EXPECT_LT(waited, std::chrono::seconds(120));

  const auto again = Clock::now();
  EXPECT_EQ(sender_.Put(2, true), XmodemSender::kNoStartRequest);
  EXPECT_LT(Clock::now() - again, std::chrono::milliseconds(500));
  EXPECT_TRUE(pty_.ReadUntilQuiet(300).empty());
}

TEST(XmodemSenderWithoutPort, FailsAtOnceWithoutAnOpenPort) {
  XmodemSender detached;
  uint8_t byte = 0;
  EXPECT_EQ(detached.ReadByte(&byte), XmodemSender::kReadPortClosed);

  SerialPort closed;
  XmodemSender sender(&closed);
  EXPECT_EQ(sender.ReadByte(&byte), XmodemSender::kReadPortClosed);
  const auto before = Clock::now();
  EXPECT_EQ(sender.Put(1, true), XmodemSender::kNoStartRequest);
  EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(1000));
}

}  // namespace
