// What tarkon-cli writes and prints when things go wrong around it: a log
// or trace the disk no longer takes ends the run with exit 1 and says so,
// watch --csv takes --count and --interval and stops when the line goes
// away, and text from the sensor reaches the terminal as data, never as
// control sequences.

#include <algorithm>
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

// No byte below 0x20 but the line break, and no DEL or byte above.
bool OnlyPrintable(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\n') || byte >= 0x7F) return false;
  }
  return true;
}

TEST_F(CliTest, TextFromTheSensorIsShownNotObeyed) {
  struct Case {
    std::string model;
    std::string serial;
    std::vector<std::string> args;
    std::string shown;  // what stdout holds instead of the raw bytes
  };
  const std::string backup = dir_.File("backup.json");
  // Sets the terminal's title, within the 8 characters of a serial number.
  const std::string title = "\x1b]0;x\x07" "12";
  const std::string titleShown = "\\x1B]0;x\\x0712";
  const std::vector<Case> cases = {
      {"KRV04", title, {"info"}, "Serial number        " + titleShown + "\n"},
      {"KRV04", title, {"settings"}, titleShown},
      {"KRV04", title, {"backup", backup}, "(serial number " + titleShown + ") to " + backup + "\n"},
      {"KRV04", title, {"bus-scan", "--to", "1", "--baud", "57600"}, titleShown + "\n"},
      // An unknown model string is taken for a KRV02 in manufacturing mode;
      // this one clears the screen (ESC [ and the one-byte CSI).
      {"\x1b[2J\x9b" "2J", "AB", {"--manufacturing", "info"}, "Model String:        \\x1B[2J\\x9B2J\n"},
  };
  for (const Case& c : cases) {
    sim::SensorConfig config = Sensor(c.model);
    config.serial = c.serial;
    StartSensor(config);
    const ProcessResult r = RunOnSensor(c.args);
    EXPECT_EQ(r.exitCode, kOk) << c.args[0] << "\n" << r.err;
    EXPECT_TRUE(OnlyPrintable(r.out)) << r.out;
    EXPECT_TRUE(OnlyPrintable(r.err)) << r.err;
    EXPECT_NE(r.out.find(c.shown), std::string::npos) << c.args[0] << ":\n" << r.out;
  }
}

}  // namespace
}  // namespace clitest
