// Flash protection, upload refusal and the XMODEM-CRC receiver, including a
// transfer sent by lrzsz's sx.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "protocol/command_ids.h"
#include "sim/xmodem_receiver.h"
#include "sim_test_support.h"

namespace {

using namespace simtest;
using sim::XmodemReceiver;

Bytes Block(uint8_t number, const Bytes& data128) {
  Bytes b = {XmodemReceiver::kSoh, number, static_cast<uint8_t>(0xFF - number)};
  b.insert(b.end(), data128.begin(), data128.end());
  const uint16_t crc = sim::XmodemCrc(data128.data(), data128.size());
  b.push_back(static_cast<uint8_t>(crc >> 8));
  b.push_back(static_cast<uint8_t>(crc & 0xFF));
  return b;
}

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + 7 * i + (i >> 8));
  return b;
}

void Unlock(Port& port, int32_t mode) {
  port.Write(frame::Build(1, mode, cmd::WriteFlashProtect1, Bytes{0x3C}));
  port.Write(frame::Build(1, mode, cmd::WriteFlashProtect2, Bytes{0xC3}));
}

TEST(SimXmodem, CrcMatchesTheStandardCheckValue) {
  const Bytes digits = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(sim::XmodemCrc(digits.data(), digits.size()), 0x31C3);
}

TEST(SimUpload, RefusedWhileTheFlashIsLocked) {
  for (int32_t mode : {0, 1}) {
    sim::VirtualSensor sensor(Config("KRV04 Board Flipper", mode));
    ASSERT_TRUE(sensor.Start());
    Port port(sensor.SlavePath());
    // Only the first protection byte: still locked.
    port.Write(frame::Build(1, mode, cmd::WriteFlashProtect1, Bytes{0x3C}));
    port.Write(frame::Build(1, mode, cmd::UploadCode));
    auto reply = port.ReadFrame(mode);
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, frame::Build(1, mode, 0));  // a good frame whose command byte is 0
    EXPECT_TRUE(port.Silent(400ms));              // and no "C" after it
    const sim::SensorState s = sensor.Snapshot();
    EXPECT_EQ(s.errors.illegalOperations, 1);
    EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kNone);
    EXPECT_TRUE(Query(port, 1, mode, cmd::GetModelName));  // still talking frames
  }
}

TEST(SimUpload, ReceiverAcksNaksRepeatsAndEnds) {
  sim::VirtualSensor sensor(Config("KRV04 Board Flipper", 1));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  Unlock(port, 1);
  port.Write(frame::Build(1, 1, cmd::UploadFPGA));
  auto reply = port.ReadFrame(1);
  ASSERT_TRUE(reply);
  EXPECT_EQ(*reply, frame::Build(1, 1, cmd::UploadFPGA));
  EXPECT_EQ(port.Read(1, 500ms), Bytes{'C'});

  const Bytes one = Pattern(128, 1), two = Pattern(128, 2);
  port.Write(Block(1, one));
  EXPECT_EQ(port.Read(1, 500ms), Bytes{XmodemReceiver::kAck});

  Bytes badCrc = Block(2, two);
  badCrc.back() ^= 0x40;
  port.Write(badCrc);
  EXPECT_EQ(port.Read(1, 500ms), Bytes{XmodemReceiver::kNak});
  Bytes badComplement = Block(2, two);
  badComplement[2] = 0x00;
  port.Write(badComplement);
  EXPECT_EQ(port.Read(1, 500ms), Bytes{XmodemReceiver::kNak});

  port.Write(Block(2, two));
  EXPECT_EQ(port.Read(1, 500ms), Bytes{XmodemReceiver::kAck});
  port.Write(Block(2, two));  // the sender missed our ACK and repeats
  EXPECT_EQ(port.Read(1, 500ms), Bytes{XmodemReceiver::kAck});
  port.Write({XmodemReceiver::kEot});
  EXPECT_EQ(port.Read(1, 500ms), Bytes{XmodemReceiver::kAck});

  ASSERT_TRUE(WaitFor([&] { return sensor.Snapshot().upload.outcome == sim::UploadOutcome::kCompleted; }));
  const sim::SensorState s = sensor.Snapshot();
  Bytes expected = one;
  expected.insert(expected.end(), two.begin(), two.end());
  EXPECT_EQ(s.upload.image, expected);
  EXPECT_EQ(s.upload.command, cmd::UploadFPGA);
  EXPECT_EQ(s.upload.blocks, 2u);
  EXPECT_EQ(s.upload.naks, 2u);
  EXPECT_EQ(s.upload.repeats, 1u);
  EXPECT_EQ(s.upload.completedUploads, 1u);
  EXPECT_TRUE(Query(port, 1, 1, cmd::GetModelName));  // back to frames
}

TEST(SimUpload, WrongBlockNumberCancelsTheTransfer) {
  sim::VirtualSensor sensor(Config("KRV04", 0));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  Unlock(port, 0);
  port.Write(frame::Build(1, 0, cmd::UploadCode));
  ASSERT_TRUE(port.ReadFrame(0));
  EXPECT_EQ(port.Read(1, 500ms), Bytes{'C'});
  port.Write(Block(5, Pattern(128, 5)));
  EXPECT_EQ(port.Read(3, 500ms), (Bytes{XmodemReceiver::kCan, XmodemReceiver::kCan, XmodemReceiver::kCan}));
  ASSERT_TRUE(WaitFor([&] { return sensor.Snapshot().upload.outcome == sim::UploadOutcome::kOutOfSync; }));
  EXPECT_TRUE(Query(port, 1, 0, cmd::GetModelName));
}

TEST(SimUpload, SenderCanCancel) {
  sim::VirtualSensor sensor(Config("KRV04", 0));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  Unlock(port, 0);
  port.Write(frame::Build(1, 0, cmd::UploadCalibration));
  ASSERT_TRUE(port.ReadFrame(0));
  EXPECT_EQ(port.Read(1, 500ms), Bytes{'C'});
  port.Write(Block(1, Pattern(128, 9)));
  EXPECT_EQ(port.Read(1, 500ms), Bytes{XmodemReceiver::kAck});
  port.Write({XmodemReceiver::kCan, XmodemReceiver::kCan});
  ASSERT_TRUE(WaitFor([&] { return sensor.Snapshot().upload.outcome == sim::UploadOutcome::kCancelled; }));
  EXPECT_EQ(sensor.Snapshot().upload.image.size(), 128u);
  EXPECT_TRUE(Query(port, 1, 0, cmd::GetModelName));
}

TEST(SimUpload, StartRequestsRepeatThenGiveUp) {
  sim::SensorConfig c = Config("KRV04", 0);
  c.xmodemRequestInterval = std::chrono::milliseconds(60);
  c.xmodemRequestTries = 3;
  c.eraseTime = std::chrono::milliseconds(100);
  sim::VirtualSensor sensor(c);
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  Unlock(port, 0);
  const auto sent = Clock::now();
  port.Write(frame::Build(1, 0, cmd::UploadCode));
  ASSERT_TRUE(port.ReadFrame(0));
  EXPECT_GE(Clock::now() - sent, 100ms);  // the erase comes first
  EXPECT_EQ(port.Read(3, 1000ms), (Bytes{'C', 'C', 'C'}));
  EXPECT_TRUE(port.Silent(200ms));
  const sim::SensorState s = sensor.Snapshot();
  EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kNoSender);
  EXPECT_EQ(s.upload.requests, 3u);
  EXPECT_TRUE(Query(port, 1, 0, cmd::GetModelName));
}

// A receiver driven with a clock of our own: an unfinished block is asked
// for again, and silence ends the transfer.
TEST(SimXmodem, UnfinishedBlockIsNakedAndSilenceEndsTheTransfer) {
  XmodemReceiver rx;
  XmodemReceiver::Timing timing;
  timing.byteTimeout = std::chrono::milliseconds(100);
  timing.silenceTimeout = std::chrono::milliseconds(1000);
  sim::UploadRecord record;
  const sim::TimePoint t0{};
  rx.Begin(t0, timing, record, 86);
  Bytes out;
  rx.Tick(t0, record, out);
  EXPECT_EQ(out, Bytes{'C'});
  out.clear();
  const Bytes block = Block(1, Pattern(128, 3));
  for (size_t i = 0; i < 40; ++i) rx.Feed(block[i], t0 + std::chrono::milliseconds(1), record, out);
  EXPECT_TRUE(out.empty());
  ASSERT_TRUE(rx.Deadline());
  EXPECT_EQ(*rx.Deadline(), t0 + std::chrono::milliseconds(101));
  rx.Tick(t0 + std::chrono::milliseconds(101), record, out);
  EXPECT_EQ(out, Bytes{XmodemReceiver::kNak});
  out.clear();
  for (uint8_t b : block) rx.Feed(b, t0 + std::chrono::milliseconds(200), record, out);
  EXPECT_EQ(out, Bytes{XmodemReceiver::kAck});
  EXPECT_TRUE(rx.Active());
  rx.Tick(t0 + std::chrono::milliseconds(1199), record, out);
  EXPECT_TRUE(rx.Active());
  rx.Tick(t0 + std::chrono::milliseconds(1200), record, out);
  EXPECT_FALSE(rx.Active());
  EXPECT_EQ(record.outcome, sim::UploadOutcome::kTimedOut);
  EXPECT_EQ(record.image.size(), 128u);
}

TEST(SimXmodem, BlockNumbersWrapAfter255) {
  XmodemReceiver rx;
  sim::UploadRecord record;
  rx.Begin(sim::TimePoint{}, {}, record, 87);
  Bytes out;
  for (int i = 1; i <= 257; ++i) {
    const Bytes block = Block(static_cast<uint8_t>(i), Pattern(128, static_cast<uint8_t>(i)));
    for (uint8_t b : block) rx.Feed(b, sim::TimePoint{}, record, out);
  }
  EXPECT_EQ(out, Bytes(257, XmodemReceiver::kAck));
  EXPECT_EQ(record.blocks, 257u);
  EXPECT_EQ(record.image.size(), 257u * 128u);
}

// lrzsz's sx sends the file; the image the sensor keeps is the file and
// sx's padding of the last block.
TEST(SimUpload, AcceptsAFileSentBySx) {
  const char* candidates[] = {"/usr/bin/sx", "/usr/local/bin/sx", "/bin/sx"};
  std::string sx;
  for (const char* c : candidates)
    if (::access(c, X_OK) == 0) sx = c;
  if (sx.empty()) GTEST_SKIP() << "sx (lrzsz) is not installed";

  char dir[] = "/tmp/sim-sx-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/firmware.bin";
  Bytes content(1000);
  std::mt19937 random(42);
  for (auto& b : content) b = static_cast<uint8_t>(random());
  {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
  }

  sim::SensorConfig c = Config("KRV04 Board Flipper", 1);
  c.xmodemRequestInterval = std::chrono::milliseconds(1000);
  sim::VirtualSensor sensor(c);
  ASSERT_TRUE(sensor.Start());
  const std::string slave = sensor.SlavePath();
  {
    Port port(slave);
    Unlock(port, 1);
    port.Write(frame::Build(1, 1, cmd::UploadCode));
    auto reply = port.ReadFrame(1);  // exactly the frame; the "C" stays for sx
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, frame::Build(1, 1, cmd::UploadCode));
  }

  const std::string log = std::string(dir) + "/sx.log";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
    const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) ::_exit(120);
    ::dup2(fd, 0);
    ::dup2(fd, 1);
    if (err >= 0) ::dup2(err, 2);
    ::execl(sx.c_str(), "sx", file.c_str(), static_cast<char*>(nullptr));
    ::_exit(121);
  }
  int status = -1;
  const auto end = Clock::now() + std::chrono::seconds(40);
  while (Clock::now() < end) {
    if (::waitpid(child, &status, WNOHANG) == child) break;
    std::this_thread::sleep_for(20ms);
  }
  if (Clock::now() >= end) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    FAIL() << "sx did not finish";
  }
  std::ifstream logFile(log);
  const std::string sxLog((std::istreambuf_iterator<char>(logFile)), std::istreambuf_iterator<char>());
  ASSERT_TRUE(WIFEXITED(status)) << sxLog;
  EXPECT_EQ(WEXITSTATUS(status), 0) << sxLog;

  ASSERT_TRUE(WaitFor([&] { return sensor.Snapshot().upload.outcome == sim::UploadOutcome::kCompleted; }))
      << sim::UploadOutcomeName(sensor.Snapshot().upload.outcome) << "\n" << sxLog;
  const sim::SensorState s = sensor.Snapshot();
  // sx pads the last block with CP/M end-of-file bytes (0x1A).
  Bytes expected = content;
  expected.resize(1024, 0x1A);
  EXPECT_EQ(s.upload.image, expected);
  EXPECT_EQ(s.upload.command, cmd::UploadCode);
  EXPECT_EQ(s.upload.blocks, 8u);

  std::remove(log.c_str());
  std::remove(file.c_str());
  ::rmdir(dir);
}

}  // namespace
