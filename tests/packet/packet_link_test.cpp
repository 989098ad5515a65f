#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "protocol/frame.h"
#include "protocol/packet_link.h"
#include "support/pty_peer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

constexpr uint8_t kAddress = 1;
constexpr uint8_t kCommand = 0x21;
// The recovery pause, less a little for the counter's granularity.
constexpr milliseconds kPause{240};
// Upper bound for an exchange that must not pause (the pause alone is 250 ms).
constexpr milliseconds kNoPause{200};

// The link under test on the slave side of a pseudo-terminal; the test
// plays the sensor on the master side.
class PacketLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(link.ConnectDevice(peer.path(), 57600, kParityNone, kStopOne, 8, 100, 100))
        << link.errorText();
  }

  // A sensor that reads a request of `requestSize` bytes and then answers
  // with `reply`. The future yields the request as it came over the line.
  std::future<Bytes> Sensor(size_t requestSize, Bytes reply, int delayMs = 0) {
    return std::async(std::launch::async, [this, requestSize, reply, delayMs] {
      Bytes request = peer.Read(requestSize, 2000);
      if (delayMs > 0) std::this_thread::sleep_for(milliseconds(delayMs));
      peer.Write(reply);
      return request;
    });
  }

  // Nothing is left on the line for the link to read.
  bool LineIsEmpty() {
    uint8_t byte = 0;
    size_t done = 0;
    return link.Read(&byte, 1, &done, 100) && done == 0;
  }

  std::string Text() const { return link.errorText(); }

  PtyPeer peer;
  PacketLink link;
};

// ---------------------------------------------------------------- query

TEST_F(PacketLinkTest, QueryInChecksumModeSendsTheRequestAndCopiesTheReply) {
  const Bytes data{0x34, 0x12};
  const Bytes request = frame::Build(kAddress, frame::kChecksum, kCommand, data);
  auto sensor = Sensor(request.size(), frame::Build(kAddress, frame::kChecksum, kCommand, {9, 8, 7}));
  uint8_t reply[3] = {};
  ASSERT_TRUE(link.dcs_Query(kAddress, frame::kChecksum, kCommand, data.data(), data.size(), reply, 3))
      << Text();
  EXPECT_EQ(sensor.get(), request);
  EXPECT_EQ(Bytes(reply, reply + 3), (Bytes{9, 8, 7}));
  EXPECT_EQ(link.checkMode(), frame::kChecksum);
  EXPECT_EQ(link.errorCode(), 0);
}

TEST_F(PacketLinkTest, QueryInCrcModeSendsTheRequestAndCopiesTheReply) {
  const Bytes request = frame::Build(kAddress, frame::kCrc, kCommand);
  ASSERT_EQ(request.size(), 6u);
  auto sensor = Sensor(request.size(), frame::Build(kAddress, frame::kCrc, kCommand, {0xAB, 0xCD}));
  uint8_t reply[2] = {};
  ASSERT_TRUE(link.dcs_Query(kAddress, frame::kCrc, kCommand, nullptr, 0, reply, 2)) << Text();
  EXPECT_EQ(sensor.get(), request);
  EXPECT_EQ(reply[0], 0xAB);
  EXPECT_EQ(reply[1], 0xCD);
  EXPECT_EQ(link.checkMode(), frame::kCrc);
}

TEST_F(PacketLinkTest, AnsweredQueryDoesNotWaitForAnyTimeOut) {
  // With one-second port time-outs, any wait for a time-out would show.
  ASSERT_TRUE(link.ConnectDevice(peer.path(), 57600, kParityNone, kStopOne, 8, 1000, 1000));
  const Bytes request = frame::Build(kAddress, frame::kCrc, kCommand);
  for (int i = 0; i < 5; ++i) {
    auto sensor = Sensor(request.size(), frame::Build(kAddress, frame::kCrc, kCommand, {1, 2, 3, 4}));
    uint8_t reply[4] = {};
    const auto start = Clock::now();
    ASSERT_TRUE(link.dcs_Query(kAddress, frame::kCrc, kCommand, nullptr, 0, reply, 4)) << Text();
    EXPECT_LT(Since(start), milliseconds(500));
    sensor.get();
  }
}

TEST_F(PacketLinkTest, NoiseBeforeTheStartByteIsSkipped) {
  const Bytes request = frame::Build(kAddress, frame::kChecksum, kCommand);
  const Bytes noise{0xFF, 0x00, 0x55, 0x13, 0x7E, 0x01};
  auto sensor = Sensor(request.size(), Concat(noise, frame::Build(kAddress, frame::kChecksum, kCommand, {5})));
  uint8_t reply = 0;
  ASSERT_TRUE(link.dcs_Query(kAddress, frame::kChecksum, kCommand, nullptr, 0, &reply, 1)) << Text();
  EXPECT_EQ(reply, 5);
  sensor.get();
}

TEST_F(PacketLinkTest, ReplyFromAnotherAddressIsAccepted) {
  const Bytes request = frame::Build(kAddress, frame::kCrc, kCommand);
  auto sensor = Sensor(request.size(), frame::Build(0x37, frame::kCrc, kCommand, {0x42}));
  uint8_t reply = 0;
  ASSERT_TRUE(link.dcs_Query(kAddress, frame::kCrc, kCommand, nullptr, 0, &reply, 1)) << Text();
  EXPECT_EQ(reply, 0x42);
  sensor.get();
}

TEST_F(PacketLinkTest, CrcBodyTwoBytesShortFailsWith101ThenPausesAndPurges) {
  const Bytes request = frame::Build(kAddress, frame::kCrc, kCommand);
  Bytes reply = frame::Build(kAddress, frame::kCrc, kCommand, {1, 2, 3, 4, 5});  // length byte 5
  reply.resize(reply.size() - 2);
  auto sensor = Sensor(request.size(), reply);
  uint8_t data[5] = {};
  const auto start = Clock::now();
  EXPECT_FALSE(link.dcs_Query(kAddress, frame::kCrc, kCommand, nullptr, 0, data, 5));
  const auto took = Since(start);
  sensor.get();
  EXPECT_EQ(link.errorCode(), kPacketShort);
  EXPECT_EQ(Text(), "dcs_ReadPacket did not receive complete packet data (expectedBytes=7, actualBytes=5)");
  // The whole 1000 ms budget for the missing bytes, then the pause.
  EXPECT_GE(took, milliseconds(1000) + kPause);
  EXPECT_LT(took, milliseconds(3000));
}

TEST_F(PacketLinkTest, BadCheckFailsWith103AndThePurgeDropsTheRest) {
  const Bytes request = frame::Build(kAddress, frame::kCrc, kCommand);
  Bytes reply = frame::Build(kAddress, frame::kCrc, kCommand, {1, 2});
  reply.back() ^= 0x01;
  // The rest of a broken exchange follows on the line at once.
  auto sensor = Sensor(request.size(), Concat(reply, {0x02, 0x01, 0x00, kCommand, 0xAA}));
  uint8_t data[2] = {};
  const auto start = Clock::now();
  EXPECT_FALSE(link.dcs_Query(kAddress, frame::kCrc, kCommand, nullptr, 0, data, 2));
  const auto took = Since(start);
  sensor.get();
  EXPECT_EQ(link.errorCode(), kPacketBadCheck);
  EXPECT_EQ(Text(), "dcs_ReadPacket detected an invalid checksum");
  EXPECT_GE(took, kPause);
  EXPECT_LT(took, milliseconds(1500));
  EXPECT_TRUE(LineIsEmpty());
}

TEST_F(PacketLinkTest, BadChecksumInChecksumModeFailsWith103) {
  const Bytes request = frame::Build(kAddress, frame::kChecksum, kCommand);
  Bytes reply = frame::Build(kAddress, frame::kChecksum, kCommand, {1, 2});
  reply.back() = static_cast<uint8_t>(reply.back() + 1);
  auto sensor = Sensor(request.size(), reply);
  uint8_t data[2] = {};
  EXPECT_FALSE(link.dcs_Query(kAddress, frame::kChecksum, kCommand, nullptr, 0, data, 2));
  sensor.get();
  EXPECT_EQ(link.errorCode(), kPacketBadCheck);
  EXPECT_EQ(Text(), "dcs_ReadPacket detected an invalid checksum");
}

TEST_F(PacketLinkTest, WrongCommandIdFailsWith104WithoutAPause) {
  const Bytes request = frame::Build(kAddress, frame::kCrc, kCommand);
  auto sensor = Sensor(request.size(), frame::Build(kAddress, frame::kCrc, kCommand + 1, {7}));
  uint8_t data = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(link.dcs_Query(kAddress, frame::kCrc, kCommand, nullptr, 0, &data, 1));
  EXPECT_LT(Since(start), kNoPause);
  sensor.get();
  EXPECT_EQ(link.errorCode(), kPacketWrongId);
  EXPECT_EQ(Text(), "dcs_SendAndConfirm received incorrect packet ID");
  EXPECT_EQ(data, 0);
}

TEST_F(PacketLinkTest, ReplyOfTheWrongLengthFailsWithoutTouchingTheErrorRecord) {
  SetSerialError(&link.error(), kPacketWrongId, "dcs_SendAndConfirm received incorrect packet ID");
  for (int32_t mode : {frame::kChecksum, frame::kCrc}) {
    const Bytes request = frame::Build(kAddress, mode, kCommand);
    auto sensor = Sensor(request.size(), frame::Build(kAddress, mode, kCommand, {1, 2, 3}));
    uint8_t data[2] = {0xEE, 0xEE};
    const auto start = Clock::now();
    EXPECT_FALSE(link.dcs_Query(kAddress, mode, kCommand, nullptr, 0, data, 2));
    EXPECT_LT(Since(start), kNoPause);
    sensor.get();
    EXPECT_EQ(link.errorCode(), kPacketWrongId);
    EXPECT_EQ(Text(), "dcs_SendAndConfirm received incorrect packet ID");
    EXPECT_EQ(data[0], 0xEE);
  }
}

TEST_F(PacketLinkTest, OversizedReplyNeverOverrunsTheCallersBuffer) {
  // A longest-possible frame (length byte 255, CRC mode) where 2 bytes are expected.
  const Bytes request = frame::Build(kAddress, frame::kCrc, kCommand);
  Bytes big(255, 0x99);
  const Bytes reply = frame::Build(kAddress, frame::kCrc, kCommand, big);
  ASSERT_EQ(reply.size(), frame::kMaxFrameSize);
  auto sensor = Sensor(request.size(), reply);
  std::vector<uint8_t> data(2, 0);  // on the heap, so an overrun would be caught
  EXPECT_FALSE(link.dcs_Query(kAddress, frame::kCrc, kCommand, nullptr, 0, data.data(), data.size()));
  sensor.get();
  EXPECT_EQ(data, (Bytes{0, 0}));
}

TEST_F(PacketLinkTest, NoReplyFailsWith100AfterTheBudgetAndThePause) {
  const Bytes request = frame::Build(kAddress, frame::kChecksum, kCommand);
  // Only noise comes back: no start byte within the budget.
  auto sensor = Sensor(request.size(), {0x11, 0x22, 0x33});
  uint8_t data = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(link.dcs_Query(kAddress, frame::kChecksum, kCommand, nullptr, 0, &data, 1));
  const auto took = Since(start);
  sensor.get();
  EXPECT_EQ(link.errorCode(), kPacketNoStx);
  EXPECT_EQ(Text(), "dcs_ReadHeader timeout waiting for STX");
  EXPECT_GE(took, milliseconds(1000) + kPause);
  EXPECT_LT(took, milliseconds(3000));
}

TEST_F(PacketLinkTest, ShortHeaderFailsWith101) {
  const Bytes request = frame::Build(kAddress, frame::kChecksum, kCommand);
  auto sensor = Sensor(request.size(), {0x02, kAddress});
  uint8_t data = 0;
  EXPECT_FALSE(link.dcs_Query(kAddress, frame::kChecksum, kCommand, nullptr, 0, &data, 1));
  sensor.get();
  EXPECT_EQ(link.errorCode(), kPacketShort);
  EXPECT_EQ(Text(), "dcs_ReadHeader did not receive complete packet header.");
}

TEST_F(PacketLinkTest, ReplyLateBeyondTheBudgetCountsFromTheRequest) {
  const Bytes request = frame::Build(kAddress, frame::kCrc, kCommand);
  auto sensor = Sensor(request.size(), frame::Build(kAddress, frame::kCrc, kCommand, {1}), 1300);
  uint8_t data = 0;
  EXPECT_FALSE(link.dcs_Query(kAddress, frame::kCrc, kCommand, nullptr, 0, &data, 1));
  EXPECT_EQ(link.errorCode(), kPacketNoStx);
  sensor.get();
}

TEST_F(PacketLinkTest, HungUpLineFailsWithTheSerialErrorNotThePurgeError) {
  peer.CloseMaster();
  uint8_t data = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(link.dcs_Query(kAddress, frame::kCrc, kCommand, nullptr, 0, &data, 1));
  EXPECT_GE(Since(start), kPause);
  EXPECT_LT(Since(start), milliseconds(1500));
  EXPECT_EQ(link.errorCode(), kSerialIoError);
  EXPECT_EQ(Text(),
            "::sc_Write WriteFile failed (An I/O error occurred during communications with the device.)");
}

TEST_F(PacketLinkTest, QueryRefusesDataThatCannotFitAFrame) {
  const Bytes data(255, 0x01);  // checksum mode carries at most 254
  uint8_t reply = 0;
  EXPECT_FALSE(link.dcs_Query(kAddress, frame::kChecksum, kCommand, data.data(), data.size(), &reply, 1));
  EXPECT_EQ(link.errorCode(), kSerialInvalidArgument);
  EXPECT_EQ(Text(), "dcs_WritePacket: invalid argument");
  EXPECT_TRUE(peer.Read(1, 100).empty());  // nothing was sent

  EXPECT_FALSE(link.dcs_Query(kAddress, frame::kCrc, kCommand, nullptr, 0, nullptr, 4));
  EXPECT_EQ(Text(), "dcs_ReadPacket: invalid argument");
}

// ---------------------------------------------------------------- send

TEST_F(PacketLinkTest, SendWithoutDataWritesFiveOrSixBytes) {
  ASSERT_TRUE(link.dcs_Send(kAddress, frame::kChecksum, 0x7F, nullptr, 0)) << Text();
  EXPECT_EQ(peer.Read(5, 1000), (Bytes{0x02, 0x01, 0x01, 0x7F, 0x7D}));
  EXPECT_TRUE(peer.Read(1, 50).empty());
  ASSERT_TRUE(link.dcs_Send(kAddress, frame::kCrc, 0x7F, nullptr, 0)) << Text();
  EXPECT_EQ(peer.Read(6, 1000), (Bytes{0x02, 0x01, 0x00, 0x7F, 0x76, 0x3C}));
  EXPECT_TRUE(peer.Read(1, 50).empty());
}

TEST_F(PacketLinkTest, SendWithDataWritesTheWholeFrame) {
  const Bytes data{0x12, 0x34, 0x56};
  ASSERT_TRUE(link.dcs_Send(9, frame::kCrc, 0x02, data.data(), data.size())) << Text();
  EXPECT_EQ(peer.Read(9, 1000), frame::Build(9, frame::kCrc, 0x02, data));
  const Bytes longest(255, 0xA5);
  ASSERT_TRUE(link.dcs_Send(9, frame::kCrc, 0x02, longest.data(), longest.size())) << Text();
  EXPECT_EQ(peer.Read(261, 1000), frame::Build(9, frame::kCrc, 0x02, longest));
  EXPECT_TRUE(peer.Read(1, 50).empty());
}

TEST_F(PacketLinkTest, WritePacketSealsAFrameTheCallerFilledIn) {
  // A new link speaks checksum mode until a call says otherwise.
  uint8_t buffer[frame::kBufferSize] = {};
  buffer[0] = 0x55;  // whatever was there: the start byte is set by the sender
  buffer[1] = 1;
  buffer[2] = 1;
  buffer[3] = 0x02;
  ASSERT_TRUE(link.dcs_WritePacket(buffer, 1000)) << Text();
  EXPECT_EQ(peer.Read(5, 1000), (Bytes{0x02, 0x01, 0x01, 0x02, 0xFA}));

  // A length byte of 0 has no room for the checksum: refused, nothing sent.
  buffer[2] = 0;
  EXPECT_FALSE(link.dcs_WritePacket(buffer, 1000));
  EXPECT_EQ(Text(), "dcs_WritePacket: invalid argument");
  EXPECT_TRUE(peer.Read(1, 50).empty());

  ASSERT_TRUE(link.dcs_Send(1, frame::kCrc, 0x7F, nullptr, 0));  // switches to CRC mode
  peer.ReadUntilQuiet(50);
  buffer[0] = 0;
  ASSERT_TRUE(link.dcs_WritePacket(buffer, 1000)) << Text();
  EXPECT_EQ(peer.Read(6, 1000), (Bytes{0x02, 0x01, 0x00, 0x02, 0x76, 0x41}));
}

TEST_F(PacketLinkTest, NullBuffersAreInvalidArguments) {
  EXPECT_FALSE(link.dcs_ReadPacket(nullptr, 100, true));
  EXPECT_EQ(link.errorCode(), kSerialInvalidArgument);
  EXPECT_EQ(Text(), "dcs_ReadPacket: invalid argument");
  EXPECT_FALSE(link.dcs_WritePacket(nullptr, 100));
  EXPECT_EQ(link.errorCode(), kSerialInvalidArgument);
  EXPECT_EQ(Text(), "dcs_WritePacket: invalid argument");
}

// ---------------------------------------------------------------- receive

TEST_F(PacketLinkTest, ReceiveCopiesTheDataAndItsLength) {
  ASSERT_TRUE(peer.Write(frame::Build(4, frame::kCrc, 0x30, {1, 2, 3})));
  uint8_t data[255] = {};
  size_t length = 0;
  ASSERT_TRUE(link.dcs_Receive(1, frame::kCrc, 0x30, data, &length)) << Text();
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(Bytes(data, data + 3), (Bytes{1, 2, 3}));

  ASSERT_TRUE(peer.Write(frame::Build(4, frame::kChecksum, 0x31, {9, 8})));
  ASSERT_TRUE(link.dcs_Receive(1, frame::kChecksum, 0x31, data, &length)) << Text();
  EXPECT_EQ(length, 2u);  // length byte 3 less the check byte
  EXPECT_EQ(Bytes(data, data + 2), (Bytes{9, 8}));
}

TEST_F(PacketLinkTest, ReceiveOfTheLongestFrameFillsExactly255Bytes) {
  Bytes payload(255);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i);
  ASSERT_TRUE(peer.Write(frame::Build(1, frame::kCrc, 0x40, payload)));
  std::vector<uint8_t> data(255);  // exactly the documented size, on the heap
  size_t length = 0;
  ASSERT_TRUE(link.dcs_Receive(1, frame::kCrc, 0x40, data.data(), &length)) << Text();
  EXPECT_EQ(length, 255u);
  EXPECT_EQ(data, payload);
}

TEST_F(PacketLinkTest, ReceiveOfAnotherCommandFailsWithoutTouchingTheErrorRecord) {
  SetSerialError(&link.error(), 100, "dcs_ReadHeader timeout waiting for STX");
  ASSERT_TRUE(peer.Write(frame::Build(1, frame::kCrc, 0x41, {1})));
  uint8_t data[255] = {};
  size_t length = 77;
  const auto start = Clock::now();
  EXPECT_FALSE(link.dcs_Receive(1, frame::kCrc, 0x40, data, &length));
  EXPECT_LT(Since(start), kNoPause);
  EXPECT_EQ(link.errorCode(), 100);
  EXPECT_EQ(Text(), "dcs_ReadHeader timeout waiting for STX");
  EXPECT_EQ(length, 77u);
}

TEST_F(PacketLinkTest, ReceiveOfAZeroLengthChecksumFrameFailsCleanly) {
  // 02 01 00 FD: bytes 0..2 sum to 3, and FD is their two's complement, so
  // a check over "length + 3" bytes would pass and the data length be -1.
  ASSERT_TRUE(peer.Write({0x02, 0x01, 0x00, 0xFD}));
  std::vector<uint8_t> data(255, 0xEE);
  size_t length = 77;
  EXPECT_FALSE(link.dcs_Receive(1, frame::kChecksum, 0xFD, data.data(), &length));
  EXPECT_EQ(link.errorCode(), kPacketBadCheck);
  EXPECT_EQ(Text(), "dcs_ReadPacket received an invalid packet length (length=0 leaves no room for the checksum)");
  EXPECT_EQ(length, 77u);
  EXPECT_EQ(data, std::vector<uint8_t>(255, 0xEE));
}

TEST_F(PacketLinkTest, ReceiveInvalidArguments) {
  size_t length = 0;
  EXPECT_FALSE(link.dcs_Receive(1, frame::kCrc, 0x40, nullptr, &length));
  EXPECT_EQ(link.errorCode(), kSerialInvalidArgument);
  EXPECT_EQ(Text(), "dcs_ReadPacket: invalid argument");
}

}  // namespace
