// What tarkon-cli writes and prints when things go wrong around it: a log
// or trace the disk no longer takes ends the run with exit 1 and says so,
// and watch --csv takes --count and --interval and stops when the line goes
// away.

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_test_support.h"
#include "support/file_size_limit.h"

namespace clitest {
namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

size_t CountFields(const std::string& line) { return 1 + static_cast<size_t>(std::count(line.begin(), line.end(), ',')); }

// Milliseconds since midnight of a line's "2026-12-08T02:40:00.123Z".
long MsOfDay(const std::string& line) {
  return ((std::stol(line.substr(11, 2)) * 60 + std::stol(line.substr(14, 2))) * 60 + std::stol(line.substr(17, 2))) *
             1000 +
         std::stol(line.substr(20, 3));
}

using testsupport::FileSizeLimit;

TEST_F(CliTest, LogAndTraceWritesThatFailEndTheRunWithExitOne) {
  struct Case {
    std::vector<std::string> args;
    rlim_t sizeLimit;  // 0: none
    std::string message;
  };
  const std::string csv = dir_.File("ranges.csv");
  const std::string noSpace = "cannot write /dev/full: No space left on device";
  const std::vector<Case> cases = {
      // Not even the header fits.
      {{"--simulate", "KRV04", "watch", "--csv", csv, "--count", "2"}, 10, "watch: cannot write " + csv + ": File too large"},
      {{"--trace", "/dev/full", "--simulate", "KRV04", "info"}, 0, "--trace: " + noSpace + " ("},
      // Plain watch runs until stopped: the trace's failure stops it.
      {{"--trace", "/dev/full", "--simulate", "KRV04", "watch"}, 0, "--trace: " + noSpace + " ("},
      {{"--trace", "/dev/full", "--simulate", "KRV04", "watch", "--csv", dir_.File("t.csv")}, 0, "--trace: " + noSpace},
  };
  for (const Case& c : cases) {
    ProcessResult r;
    {
      std::optional<FileSizeLimit> limit;
      if (c.sizeLimit > 0) limit.emplace(c.sizeLimit);
      r = Run(c.args);
    }
    EXPECT_EQ(r.exitCode, kFailed) << c.args.back() << "\n" << r.err;
    EXPECT_EQ(Count(r.err, c.message), 1u) << r.err;
  }
  const ProcessResult json = Run({"--json", "--trace", "/dev/full", "--simulate", "KRV04", "info"});
  EXPECT_EQ(json.exitCode, kFailed);
  ExpectErrorObject(json, kFailed, "--trace: " + noSpace);

  // A disk that fills up during the run: the run stops at the line it
  // refused, and the file ends with the last whole line.
  const std::string file = dir_.File("full.csv");
  ProcessResult full;
  {
    FileSizeLimit limit(300);
    full = Run({"--simulate", "KRV04", "watch", "--csv", file});
  }
  EXPECT_EQ(full.exitCode, kFailed) << full.err;
  EXPECT_EQ(Count(full.err, "watch: cannot write " + file + ": File too large"), 1u) << full.err;
  const std::string text = testsupport::ReadWholeFile(file);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  const std::vector<std::string> lines = Lines(text);
  ASSERT_GE(lines.size(), 2u) << text;
  for (const std::string& line : lines) EXPECT_EQ(CountFields(line), CountFields(lines[0])) << line;
}

TEST_F(CliTest, WatchCsvTakesCountAndInterval) {
  const std::string file = dir_.File("ranges.csv");
  const ProcessResult r = Run({"--simulate", "KRV04", "watch", "--csv", file, "--count", "2", "--interval", "1000"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(r.out.rfind("polls 2, failures 0, ", 0), 0u) << r.out;
  const std::vector<std::string> lines = Lines(testsupport::ReadWholeFile(file));
  ASSERT_EQ(lines.size(), 3u);  // the header and two polls
  // One poll a second, not one per 250 ms tick (the times are taken after
  // each poll's exchange, so allow for a shorter second exchange).
  const long gap = (MsOfDay(lines[2]) - MsOfDay(lines[1]) + 86'400'000) % 86'400'000;
  EXPECT_GE(gap, 900) << lines[1] << "\n" << lines[2];
}

TEST_F(CliTest, WatchCsvEndsWithExitOneWhenTheSensorsLineGoesAway) {
  StartSensor(Sensor("KRV04"));
  const std::string device = sensor_->SlavePath();
  const std::string file = dir_.File("ranges.csv");
  std::thread unplug([&] {
    // After the first logged poll.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (Lines(testsupport::ReadWholeFile(file)).size() < 2 && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sensor_->Unplug();
  });
  const ProcessResult r = Run({"--port", device, "watch", "--csv", file});
  unplug.join();
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_EQ(r.out.rfind("polls ", 0), 0u) << r.out;
  EXPECT_EQ(Count(r.err, "error: The port " + device +
                             " went away (adapter unplugged or line hung up); polling stopped.\n"),
            1u)
      << r.err;
}

}  // namespace
}  // namespace clitest
