// The sensor-sim program: its options, and a run as a separate process.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <regex>

#include "protocol/command_ids.h"
#include "sim/sim_options.h"
#include "sim_test_support.h"

namespace {

using namespace simtest;

sim::ParseResult Parse(std::vector<const char*> args, sim::SimOptions& o, std::string& error) {
  args.insert(args.begin(), "sensor-sim");
  return sim::ParseSimOptions(static_cast<int>(args.size()), args.data(), o, error);
}

TEST(SimProgramOptions, AllOptions) {
  sim::SimOptions o;
  std::string error;
  ASSERT_EQ(Parse({"--model", "KRV04 Board Flipper", "--address=17", "--check-mode", "crc", "--baud", "19200",
                   "--throttle", "--link", "/tmp/x", "--serial", "AB12", "--revision", "C", "--trace",
                   "--trace-file", "/tmp/t", "--seed", "99", "--fault", "drop=0.5", "--fault", "noise@4",
                   "--fault-delay", "2500"},
                  o, error),
            sim::ParseResult::kRun)
      << error;
  EXPECT_EQ(o.sensor.model, "0 M3-9-6BF");
  EXPECT_EQ(o.sensor.address, 17);
  EXPECT_EQ(o.sensor.checkMode, 1);
  EXPECT_EQ(o.sensor.baudRate, 19200);
  EXPECT_TRUE(o.line.throttle);
  EXPECT_EQ(o.line.linkPath, "/tmp/x");
  EXPECT_EQ(o.sensor.serial, "AB12");
  EXPECT_EQ(o.sensor.revision, 'C');
  EXPECT_TRUE(o.traceToStderr);
  EXPECT_EQ(o.traceFile, "/tmp/t");
  EXPECT_EQ(o.sensor.seed, 99u);
  EXPECT_DOUBLE_EQ(o.sensor.faults.rule(sim::FaultKind::kDrop).probability, 0.5);
  EXPECT_EQ(o.sensor.faults.rule(sim::FaultKind::kNoise).atReplies, std::vector<uint64_t>{4});
  EXPECT_EQ(o.sensor.faults.delay, std::chrono::milliseconds(2500));

  sim::SimOptions d;
  ASSERT_EQ(Parse({}, d, error), sim::ParseResult::kRun);
  EXPECT_EQ(d.sensor.address, 1);
  EXPECT_EQ(d.sensor.checkMode, 0);
  EXPECT_EQ(d.sensor.baudRate, 57600);
  EXPECT_FALSE(d.line.throttle);
  EXPECT_EQ(Parse({"--help"}, d, error), sim::ParseResult::kHelp);
}

TEST(SimProgramOptions, BurstsArePacedDeliveryOnly) {
  sim::SimOptions o;
  std::string error;
  ASSERT_EQ(Parse({"--throttle", "--burst-ms", "1"}, o, error), sim::ParseResult::kRun) << error;
  EXPECT_EQ(o.line.burst, std::chrono::milliseconds(1));
  sim::SimOptions unpaced;
  EXPECT_EQ(Parse({"--burst-ms", "1"}, unpaced, error), sim::ParseResult::kError) << "unpaced replies come whole anyway";
}

// A serial number with control characters, for tests of what prints it.
TEST(SimProgramOptions, SerialNumberTakesByteEscapes) {
  sim::SimOptions o;
  std::string error;
  ASSERT_EQ(Parse({"--serial", "\\x1B[2J\\x07\\x4"}, o, error), sim::ParseResult::kRun) << error;
  EXPECT_EQ(o.sensor.serial, std::string("\x1b[2J\x07\\x4"));
  sim::SensorConfig c;
  ASSERT_TRUE(sim::ParseSensorSpec("KRV04,serial=\\x1b]0;t\\x07", c, error)) << error;
  EXPECT_EQ(c.serial, std::string("\x1b]0;t\x07"));
}

TEST(SimProgramOptions, BadValuesAreRefusedWithAReason) {
  const std::vector<std::vector<const char*>> bad = {
      {"--model", "KRV99"}, {"--address", "0"},      {"--address", "256"},   {"--address", "1x"},
      {"--check-mode", "parity"}, {"--baud", "115200"}, {"--fault", "drop"}, {"--seed", "-1"},
      {"--throttle=yes"},   {"--bogus"},             {"--address"},          {"--revision", "CC"},
      {"--serial", ""},     {"--serial", "\\x41BCDEFGHI"},
      {"--sensor", "KRV04,serial=AB1234567"},
  };
  for (const auto& args : bad) {
    sim::SimOptions o;
    std::string error;
    EXPECT_EQ(Parse(args, o, error), sim::ParseResult::kError) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
  // The sensor's reply carries 8 characters of serial number: a ninth would
  // be shown cut, so it is refused with the limit, and 8 are taken whole.
  sim::SimOptions o;
  std::string error;
  EXPECT_EQ(Parse({"--serial", "AB1234567"}, o, error), sim::ParseResult::kError);
  EXPECT_EQ(error, "serial number must have 1 to 8 characters (the sensor's reply carries 8), not 9");
  ASSERT_EQ(Parse({"--serial", "AB123456"}, o, error), sim::ParseResult::kRun) << error;
  EXPECT_EQ(o.sensor.serial, "AB123456");
}

#ifdef SENSOR_SIM_PATH
struct Child {
  pid_t pid = -1;
  int out = -1;
  int err = -1;
};

Child Spawn(const std::vector<std::string>& args) {
  int out[2], err[2];
  Child c;
  if (::pipe(out) != 0 || ::pipe(err) != 0) return c;
  c.pid = ::fork();
  if (c.pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::close(out[0]);
    ::close(err[0]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(SENSOR_SIM_PATH));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(SENSOR_SIM_PATH, argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  c.out = out[0];
  c.err = err[0];
  return c;
}

std::string ReadLine(int fd, std::chrono::milliseconds limit) {
  std::string line;
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    char ch;
    if (::read(fd, &ch, 1) != 1) break;
    if (ch == '\n') return line;
    line += ch;
  }
  return line;
}

int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  int status = 0;
  while (Clock::now() < end) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
    std::this_thread::sleep_for(10ms);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  return -1;
}

TEST(SimProgram, VersionIsOneLineAndExitsAtOnce) {
  Child c = Spawn({"--version"});
  ASSERT_GT(c.pid, 0);
  const std::string line = ReadLine(c.out, 5000ms);
  EXPECT_TRUE(std::regex_match(line, std::regex(R"(sensor-sim [0-9]+\.[0-9]+\.[0-9]+)"))) << line;
  EXPECT_EQ(WaitExit(c.pid, 5000ms), 0);
  ::close(c.out);
  ::close(c.err);
}

TEST(SimProgram, PrintsTheSlavePathAnswersAndCleansUp) {
  char dir[] = "/tmp/sim-prog-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string link = std::string(dir) + "/line";
  Child c = Spawn({"--model", "KRV04 Board Flipper", "--address", "5", "--check-mode", "crc", "--link", link});
  ASSERT_GT(c.pid, 0);
  const std::string path = ReadLine(c.out, 5000ms);
  ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
  EXPECT_EQ(ReadLine(c.out, 100ms), "");  // nothing else on standard output
  char target[4096];
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(target, static_cast<size_t>(n)), path);
  {
    Port port(link);
    auto name = Query(port, 5, 1, cmd::GetModelName);
    ASSERT_TRUE(name);
    EXPECT_EQ(std::string(name->begin(), name->begin() + 10), "0 M3-9-6BF");
  }
  ::kill(c.pid, SIGTERM);
  EXPECT_EQ(WaitExit(c.pid, 3000ms), 0);
  struct stat st {};
  EXPECT_NE(::lstat(link.c_str(), &st), 0);
  ::close(c.out);
  ::close(c.err);
  ::rmdir(dir);
}

TEST(SimProgram, BadOptionExitsWithAMessage) {
  Child c = Spawn({"--baud", "300"});
  ASSERT_GT(c.pid, 0);
  EXPECT_EQ(WaitExit(c.pid, 3000ms), 2);
  const std::string message = ReadLine(c.err, 1000ms);
  EXPECT_NE(message.find("baud rate"), std::string::npos) << message;
  ::close(c.out);
  ::close(c.err);
}
#endif

}  // namespace
