// The link layer against scripted peers: request bytes, reply assembly and
// its receive statuses, the second CRC seed, stale bytes, the ring's
// overflow, port opening failures and the port map.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <fstream>
#include <thread>

#include "ostrel/link/ostrel_link.h"
#include "ostrel/link/port_map.h"
#include "ostrel/operations/field_keys.h"
#include "scripted_peer.h"
#include "serial/serial_comm.h"
#include "support/temp_dir.h"

namespace {

using ostrel::OstrelLink;
using ostrel::Reply;
using ostreltest::Bytes;
using ostreltest::HostItem;
using ostreltest::ScriptedPeer;

TEST(ReceiveRing, KeepsUnreadBytesAndDropsWhatDoesNotFit) {
  ostrel::ReceiveRing ring;
  uint8_t byte = 0;
  for (int i = 0; i < 10; ++i) ring.Push(0xEE);  // move the positions off 0 so the ring wraps
  for (int i = 0; i < 10; ++i) ring.Take(byte);
  for (size_t i = 0; i < ostrel::ReceiveRing::kCapacity + 5; ++i) ring.Push(static_cast<uint8_t>(i * 7));
  EXPECT_EQ(ring.Unread(), ostrel::ReceiveRing::kCapacity);
  EXPECT_EQ(ring.Dropped(), 5u);
  bool inOrder = true;
  for (size_t i = 0; i < ostrel::ReceiveRing::kCapacity; ++i)
    inOrder = inOrder && ring.Take(byte) && byte == static_cast<uint8_t>(i * 7);
  EXPECT_TRUE(inOrder) << "unread bytes were overwritten";
  EXPECT_FALSE(ring.Take(byte));
  ring.Push(1);
  ring.Clear();
  EXPECT_TRUE(ring.Empty());
}

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string reason;
    ASSERT_TRUE(link_.port().Open(peer_.path(), 57600, &reason)) << reason;
    link_.SetErrorDisplay([this](const std::string& text, uint64_t count) {
      shown_ = text;
      shownCount_ = count;
    });
  }
  ScriptedPeer peer_;
  ScriptedPeer crcPeer_{true};
  OstrelLink link_;
  std::string shown_;
  uint64_t shownCount_ = 0;
};

TEST_F(LinkTest, RequestsCarryTheModesLengthAndCheck) {
  struct Row {
    bool crc;
    uint8_t command;
    Bytes wire;
  };
  const Row rows[] = {
      {false, 12, {0x02, 0x01, 0x01, 0x0C, 0xF0}},
      {true, 12, {0x02, 0x01, 0x00, 0x0C, 0x76, 0x4F}},
      {false, 0x7F, {0x02, 0x01, 0x01, 0x7F, 0x7D}},
      {true, 0x02, {0x02, 0x01, 0x00, 0x02, 0x76, 0x41}},
  };
  ScriptedPeer* peers[] = {&peer_, &crcPeer_};
  for (const Row& row : rows) {
    ScriptedPeer& peer = *peers[row.crc ? 1 : 0];
    std::string reason;
    ASSERT_TRUE(link_.port().Open(peer.path(), 57600, &reason)) << reason;
    const uint16_t crcBefore = link_.lastSentCrc();
    link_.SendFrame(row.command, 1, {}, row.crc);
    link_.WaitMs(30);
    ASSERT_FALSE(peer.Frames().empty());
    EXPECT_EQ(peer.Frames().back().bytes, row.wire);
    const size_t n = row.wire.size();
    EXPECT_EQ(link_.lastSentCrc(), row.crc ? ((row.wire[n - 2] << 8) | row.wire[n - 1]) : crcBefore)
        << "a checksum frame leaves the last CRC alone";
  }
}

TEST_F(LinkTest, ReceiveStatusesTheirTextsAndOneComErrorEach) {
  struct Row {
    const char* name;
    bool crc;
    std::function<Bytes(const HostItem&)> answer;
    int status;
    const char* text;
  };
  const auto reply = [](bool crc) {
    return frame::Build(1, crc ? frame::kCrc : frame::kChecksum, 12, std::vector<uint8_t>{0x12, 0x34});
  };
  // A CRC-mode reply whose CRC register starts at `seed`.
  const auto seeded = [](uint16_t seed) {
    Bytes f = {0x02, 0x01, 0x02, 0x0C, 0x12, 0x34};
    const uint16_t crc = frame::ShiftInCrcFrom(seed, f.data(), f.size());
    f.push_back(static_cast<uint8_t>(crc >> 8));
    f.push_back(static_cast<uint8_t>(crc & 0xFF));
    return f;
  };
  const auto lastCrc = [](const HostItem& request) {
    const size_t n = request.bytes.size();
    return static_cast<uint16_t>((request.bytes[n - 2] << 8) | request.bytes[n - 1]);
  };
  const Row rows[] = {
      {"checked reply", false, [&](const HostItem&) { return reply(false); }, 0, ""},
      {"silence", false, [](const HostItem&) { return Bytes{}; }, 1, "Error : No Response"},
      {"no STX", false, [](const HostItem&) { return Bytes{0x06, 0x02, 0x01}; }, 2, "Error : Invalid Response"},
      {"cut after STX",
       false,
       [&](const HostItem&) {
         Bytes r = reply(false);
         r.resize(5);
         return r;
       },
       3, "Error : Time out"},
      {"bad checksum",
       false,
       [&](const HostItem&) {
         Bytes r = reply(false);
         r.back() ^= 0x01;
         return r;
       },
       4, "Error : Invalid CRC/Chksum"},
      {"CRC from 0", true, [&](const HostItem&) { return reply(true); }, 0, ""},
      {"CRC seeded with the request's CRC", true, [&](const HostItem& r) { return seeded(lastCrc(r)); }, 0, ""},
      {"CRC seeded otherwise", true, [&](const HostItem& r) { return seeded(lastCrc(r) ^ 0x0101); }, 4,
       "Error : Invalid CRC/Chksum"},
  };
  uint64_t counted = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedPeer& peer = row.crc ? crcPeer_ : peer_;
    std::string reason;
    ASSERT_TRUE(link_.port().Open(peer.path(), 57600, &reason)) << reason;
    peer.SetHandler(row.answer);
    link_.SendFrame(12, 1, {}, row.crc);
    Reply r;
    const bool ok = link_.ReceiveFrame(row.crc, 300, r);
    EXPECT_EQ(ok, row.status == 0);
    EXPECT_EQ(link_.receiveStatus(), row.status);
    if (ok) {
      EXPECT_EQ(r.Word(0, row.crc), row.crc ? 0x1234 : 0x3412);
    }
    link_.ProcessErrorMsg(link_.receiveStatus());
    EXPECT_EQ(shown_, row.text);
    EXPECT_EQ(shownCount_, ++counted) << "every call counts, also without a text";
  }
}

TEST_F(LinkTest, StaleBytesGoAndAReplyInPiecesIsAssembled) {
  // Rubbish that looks like the start of a frame sits in the ring before
  // the request: SendFrame drops it.
  peer_.Send({0x02, 0x01, 0x05, 0x0C, 0x99});
  link_.WaitMs(50);
  ASSERT_FALSE(link_.ring().Empty());
  const Bytes answer = frame::Build(1, frame::kChecksum, 39, std::vector<uint8_t>{0xA4, 0x01, 0, 0, 'C', 32});
  peer_.SetHandler([&](const HostItem&) {
    peer_.Send(Bytes(answer.begin(), answer.begin() + 2), 20);
    peer_.Send(Bytes(answer.begin() + 2, answer.begin() + 7), 60);
    peer_.Send(Bytes(answer.begin() + 7, answer.end()), 100);
    return Bytes{};
  });
  link_.SendFrame(39, 1, {}, false);
  Reply r;
  ASSERT_TRUE(link_.ReceiveFrame(false, 500, r)) << link_.receiveStatus();
  EXPECT_EQ(r.bytes, Bytes(answer.begin(), answer.end() - 1)) << "STX through the last data byte";
  EXPECT_EQ(r.Word(0, false), 420);
}

TEST_F(LinkTest, AFullRingDropsTheExcessAndTheReplyFailsItsCheck) {
  link_.SendFrame(12, 1, {}, false);
  // A reply whose length byte promises more than the ring can hold while
  // nobody reads: the bytes beyond 16384 unread ones are dropped.
  Bytes flood = {0x02, 0x01, 0xFF, 0x0C};
  flood.resize(ostrel::ReceiveRing::kCapacity + 300, 0x55);
  // Written from a thread of its own: more than the pseudo-terminal holds
  // goes out only while the link takes bytes in.
  std::thread writer([&] { peer_.Send(flood); });
  link_.WaitMs(300);
  writer.join();
  link_.WaitMs(50);
  EXPECT_EQ(link_.ring().Unread(), ostrel::ReceiveRing::kCapacity);
  EXPECT_EQ(link_.ring().Dropped(), 300u);
  Reply r;
  EXPECT_FALSE(link_.ReceiveFrame(false, 200, r));
  EXPECT_EQ(link_.receiveStatus(), 4) << "the first bytes are still the first ones received";
}

TEST_F(LinkTest, WaitMsLetsTheTimePass) {
  QElapsedTimer clock;
  clock.start();
  link_.WaitMs(200);
  EXPECT_GE(clock.elapsed(), 200);
}

TEST(OstrelPort, AFailedOpenSaysWhy) {
  ostrel::ReceiveRing ring;
  ostrel::OstrelPort port(ring);
  std::string reason;
  EXPECT_FALSE(port.Open("/dev/ttyNoSuchDevice7", 57600, &reason));
  EXPECT_EQ(reason, "no such device");

  PtyPeer pty;
  ostrel::ReceiveRing ring2;
  ostrel::OstrelPort holder(ring2);
  ASSERT_TRUE(holder.Open(pty.path(), 57600, &reason)) << reason;
  EXPECT_FALSE(port.Open(pty.path(), 57600, &reason));
  EXPECT_EQ(reason, "in use by another program");

  if (::geteuid() != 0) {  // root may open anything
    testsupport::TempDir dir;
    const std::string locked = dir.File("ttyLocked");
    std::ofstream(locked) << "";
    ::chmod(locked.c_str(), 0);
    EXPECT_EQ(ostrel::OpenFailureReason(locked, QSerialPort::PermissionError, ""),
              "permission denied (add the user to the dialout group, then log in again)");
  }
}

// Ostrel and Tarkon's serial layer take the same lock on the device, so the
// second program is refused whoever opened first, also for root, whom
// TIOCEXCL does not stop (the tests run as root).
TEST(OstrelPort, ThePortOfTheOtherProgramIsInUse) {
  PtyPeer pty;
  std::string reason;
  {
    SerialError error;
    const SerialHandle tarkon = sc_OpenDevice(pty.path(), &error);
    ASSERT_NE(tarkon, kInvalidSerialHandle) << error.text;
    ostrel::ReceiveRing ring;
    ostrel::OstrelPort ostrelPort(ring);
    EXPECT_FALSE(ostrelPort.Open(pty.path(), 57600, &reason));
    EXPECT_EQ(reason, "in use by another program");
    sc_Close(tarkon, &error);
    EXPECT_TRUE(ostrelPort.Open(pty.path(), 57600, &reason)) << "the lock goes with the port: " << reason;
  }
  ostrel::ReceiveRing ring;
  ostrel::OstrelPort ostrelPort(ring);
  ASSERT_TRUE(ostrelPort.Open(pty.path(), 57600, &reason)) << reason;
  SerialError error;
  EXPECT_EQ(sc_OpenDevice(pty.path(), &error), kInvalidSerialHandle);
  EXPECT_EQ(error.osError, EBUSY) << error.text;
  ostrelPort.Close();
  const SerialHandle again = sc_OpenDevice(pty.path(), &error);
  EXPECT_NE(again, kInvalidSerialHandle) << error.text;
  sc_Close(again, &error);
}

TEST(PortMap, ReadLikeTarkonsSection) {
  const auto map = ostrel::ParsePortMap(
      "[CommPort]\r\nPort=2\r\n[Port Map]\r\nCOM2=/dev/ttyUSB0\r\n com4 = /dev/pts/7 \r\nCOM5=relative\r\n"
      "COM0=/dev/x\r\nCOMX=/dev/y\r\nCOM6=/dev/ttyACM0\r\nCOM6=\r\n[Other]\r\nCOM3=/dev/z\r\n");
  const PortResolver::PortMap expected = {{2, "/dev/ttyUSB0"}, {4, "/dev/pts/7"}};
  EXPECT_EQ(map, expected);
  PortResolver::SetPortMap(map);
  EXPECT_EQ(PortResolver::Resolve(2), "/dev/ttyUSB0");
  EXPECT_EQ(PortResolver::Resolve(3), "/dev/ttyS2") << "unmapped ports keep their default";
  PortResolver::SetPortMap({});
}

}  // namespace

namespace {

TEST(FieldKeys, EachFieldKeepsOnlyItsCharacters) {
  using ostrel::KeyRule;
  struct Row {
    KeyRule rule;
    const char* text;
    const char* kept;
    const char* dropped;
  };
  const Row rows[] = {
      {KeyRule::kDigits, "", "0123456789", ".-+ aA"},
      {KeyRule::kDecimal, "2", "0.9", "-,e"},
      {KeyRule::kDecimal, "2.5", "09", "."},  // a second decimal point is dropped
      {KeyRule::kSerialNumber, "", "09AZ", "az_.-"},
      {KeyRule::kHexDigits, "", "09AFaf", "Gg.x"},
      {KeyRule::kPassword, "", "09azAZ_", ".- *"},
  };
  for (const Row& row : rows) {
    for (const char* c = row.kept; *c != '\0'; ++c) EXPECT_TRUE(ostrel::KeyAccepted(row.rule, *c, row.text)) << *c;
    for (const char* c = row.dropped; *c != '\0'; ++c) EXPECT_FALSE(ostrel::KeyAccepted(row.rule, *c, row.text)) << *c;
  }
  EXPECT_EQ(ostrel::RuleOf(ostrel::Field::kSerial).maxLength, 8);
  EXPECT_EQ(ostrel::RuleOf(ostrel::Field::kMinLen).keys, KeyRule::kDecimal);
  EXPECT_EQ(ostrel::RuleOf(ostrel::Field::kTimeout).maxLength, 4);
}

}  // namespace
