// The line itself: pacing at the baud rate, reaction time, trace, link,
// unplugging and many clients one after another.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <mutex>
#include <regex>

#include "protocol/command_ids.h"
#include "sim_test_support.h"

namespace {

using namespace simtest;

std::string TempDir() {
  char dir[] = "/tmp/sim-line-XXXXXX";
  return ::mkdtemp(dir) != nullptr ? std::string(dir) : std::string();
}

std::string LinkTarget(const std::string& link) {
  char buffer[4096];
  const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

// Fills the scan buffer and asks for 126 samples: a reply of 258 bytes.
double ReplySeconds(bool throttle, int baud) {
  sim::SensorConfig c = Config("KRV02", 0);
  c.baudRate = baud;
  sim::LineConfig line;
  line.throttle = throttle;
  sim::VirtualSensor sensor(c, line);
  if (!sensor.Start()) return -1;
  sensor.Mutate([](sim::SensorState& s) { s.scanFill = 200; });
  Port port(sensor.SlavePath(), baud);
  const auto sent = Clock::now();
  port.Write(frame::Build(1, 0, cmd::GetScanBufferPortion, Bytes{0, 0, 126, 0}));
  const Bytes got = port.Read(258, 3000ms);
  const double seconds = std::chrono::duration<double>(Clock::now() - sent).count();
  return got.size() == 258 ? seconds : -1;
}

TEST(SimLine, ThrottledReplyTakesTenBitTimesPerByte) {
  const double expected = 258 * 10.0 / 9600;  // 268.75 ms
  const double took = ReplySeconds(true, 9600);
  ASSERT_GT(took, 0);
  EXPECT_GE(took, expected * 0.97);
  EXPECT_LE(took, expected + 0.15);
  const double fast = ReplySeconds(true, 57600);  // 44.8 ms
  ASSERT_GT(fast, 0);
  EXPECT_GE(fast, 258 * 10.0 / 57600 * 0.97);
  EXPECT_LT(fast, took);
}

TEST(SimLine, UnthrottledReplyIsImmediate) {
  const double took = ReplySeconds(false, 9600);
  ASSERT_GT(took, 0);
  EXPECT_LT(took, 0.1);
}

TEST(SimLine, ThrottledRepliesFollowEachOtherWithoutGaps) {
  // 3 count-down replies of 258, 258 and 102 bytes at 19200 bit/s.
  sim::SensorConfig c = Config("KRV02", 0);
  c.baudRate = 19200;
  sim::LineConfig line;
  line.throttle = true;
  sim::VirtualSensor sensor(c, line);
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath(), 19200);
  const auto sent = Clock::now();
  port.Write(frame::Build(1, 0, cmd::GetScanBufferPortion, Bytes{0, 0, 44, 1}));  // 300 samples
  const Bytes got = port.Read(258 + 258 + 102, 3000ms);
  const double took = std::chrono::duration<double>(Clock::now() - sent).count();
  ASSERT_EQ(got.size(), 618u);
  const double expected = 618 * 10.0 / 19200;  // 321.9 ms
  EXPECT_GE(took, expected * 0.97);
  EXPECT_LE(took, expected + 0.15);
}

TEST(SimLine, QueriesAreAnsweredWithoutPollingDelay) {
  sim::VirtualSensor sensor(Config("KRV04", 0));
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  const auto start = Clock::now();
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(Query(port, 1, 0, cmd::GetRange));
  // A fixed polling cadence of even a few milliseconds would show here.
  EXPECT_LT(Clock::now() - start, 250ms);
}

TEST(SimLine, TraceShowsEveryFrameWithATimestamp) {
  std::mutex m;
  std::vector<std::string> lines;
  sim::LineConfig line;
  line.traceSink = [&](const std::string& l) {
    std::lock_guard<std::mutex> lock(m);
    lines.push_back(l);
  };
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  line.traceFile = file;
  sim::VirtualSensor sensor(Config("KRV02", 0), line);
  ASSERT_TRUE(sensor.Start());
  sensor.Mutate([](sim::SensorState& s) { s.settings.minLaserPower = 10; });
  Port port(sensor.SlavePath());
  ASSERT_TRUE(Query(port, 1, 0, cmd::GetMinLP));
  port.Write({0x02, 0x01, 0x01, 0x82, 0x00});
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> lock(m);
    return lines.size() >= 3;
  }));
  sensor.Stop();
  std::lock_guard<std::mutex> lock(m);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d+\.\d{6} rx 02 01 01 82 7A)"))) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\d+\.\d{6} tx 02 01 02 82 0A 6F)"))) << lines[1];
  EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(\d+\.\d{6} rx-bad 02 01 01 82 00 \(checksum error\))")))
      << lines[2];
  std::rewind(file);
  char buffer[256];
  int count = 0;
  while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
    std::string l(buffer);
    l.pop_back();
    EXPECT_EQ(l, lines[static_cast<size_t>(count)]);
    ++count;
  }
  EXPECT_EQ(count, 3);
  std::fclose(file);
}

TEST(SimLine, ClientsMayOpenAndCloseTheLineAgainAndAgain) {
  sim::VirtualSensor sensor(Config("KRV04", 1));
  ASSERT_TRUE(sensor.Start());
  for (int i = 0; i < 30; ++i) {
    Port port(sensor.SlavePath());
    ASSERT_TRUE(port.ok());
    ASSERT_TRUE(Query(port, 1, 1, cmd::GetRange)) << "round " << i;
  }
  // A client that leaves without reading its reply does not disturb the next.
  {
    Port port(sensor.SlavePath());
    port.Write(frame::Build(1, 1, cmd::GetSerialNum));
    std::this_thread::sleep_for(20ms);
  }
  Port port(sensor.SlavePath());
  port.Flush();
  EXPECT_TRUE(Query(port, 1, 1, cmd::GetModelName));
}

TEST(SimLine, LinkFollowsTheSlaveAndIsRemovedAtStop) {
  const std::string dir = TempDir();
  ASSERT_FALSE(dir.empty());
  sim::LineConfig line;
  line.linkPath = dir + "/sensor";
  {
    sim::VirtualSensor sensor(Config("KRV04", 0), line);
    ASSERT_TRUE(sensor.Start()) << sensor.LastError();
    EXPECT_EQ(LinkTarget(line.linkPath), sensor.SlavePath());
    Port port(line.linkPath);
    EXPECT_TRUE(Query(port, 1, 0, cmd::GetRange));
    sensor.Stop();
    struct stat st {};
    EXPECT_NE(::lstat(line.linkPath.c_str(), &st), 0);
  }
  // Never replaces a file that is not a link.
  std::FILE* f = std::fopen(line.linkPath.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  sim::VirtualSensor other(Config("KRV04", 0), line);
  EXPECT_FALSE(other.Start());
  EXPECT_NE(other.LastError().find("not a symbolic link"), std::string::npos);
  std::remove(line.linkPath.c_str());
  ::rmdir(dir.c_str());
}

TEST(SimLine, UnplugHangsUpReplugGivesANewLine) {
  const std::string dir = TempDir();
  ASSERT_FALSE(dir.empty());
  sim::LineConfig line;
  line.linkPath = dir + "/sensor";
  sim::VirtualSensor sensor(Config("KRV04", 0), line);
  ASSERT_TRUE(sensor.Start());
  const std::string first = sensor.SlavePath();
  Port port(first);
  ASSERT_TRUE(Query(port, 1, 0, cmd::GetRange));

  ASSERT_TRUE(sensor.Unplug());
  EXPECT_TRUE(sensor.SlavePath().empty());
  // Gone with the line, as a pulled adapter's by-id link: it cannot lead
  // to the next pseudo-terminal that takes the freed number.
  struct stat st {};
  EXPECT_NE(::lstat(line.linkPath.c_str(), &st), 0);
  pollfd p{port.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 1000), 1);
  EXPECT_TRUE(p.revents & POLLHUP);
  uint8_t b;
  EXPECT_LE(::read(port.fd(), &b, 1), 0);

  ASSERT_TRUE(sensor.Replug());
  const std::string second = sensor.SlavePath();
  EXPECT_FALSE(second.empty());
  EXPECT_EQ(LinkTarget(line.linkPath), second);
  Port again(line.linkPath);
  ASSERT_TRUE(again.ok());
  EXPECT_TRUE(Query(again, 1, 0, cmd::GetRange));
  sensor.Stop();
  ::rmdir(dir.c_str());
}

}  // namespace
