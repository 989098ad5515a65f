// tarkon-cli fleet commands end to end: backup, diff and restore with their
// exit statuses, a damaged file that ends the run before the port is
// opened, the bus scan, the protocol trace and range logging to CSV.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_test_support.h"
#include "protocol/command_ids.h"

namespace clitest {
namespace {

size_t CountFields(const std::string& line) {
  size_t n = 1;
  for (char c : line) n += c == ',' ? 1 : 0;
  return n;
}

TEST_F(CliTest, BackupDiffRestoreAndTheirExitStatuses) {
  StartSensor(Sensor("KRV02", 1));
  const std::string file = dir_.File("krv02.json");
  ASSERT_EQ(RunOnSensor({"backup", file}).exitCode, kOk);
  EXPECT_EQ(RunOnSensor({"diff", file}).exitCode, kOk);

  sensor_->Mutate([](sim::SensorState& s) { s.settings.threshold = 99; });
  const ProcessResult diff = RunOnSensor({"diff", file});
  EXPECT_EQ(diff.exitCode, kFailed);
  const std::vector<std::string> lines = Lines(diff.out);
  ASSERT_EQ(lines.size(), 2u) << diff.out;  // the table's head and the one difference
  EXPECT_EQ(lines[0].rfind("Setting", 0), 0u);
  EXPECT_EQ(lines[1].substr(0, 9), "Threshold");
  EXPECT_NE(lines[1].find("99"), std::string::npos);

  const ProcessResult dry = RunOnSensor({"restore", file, "--dry-run"});
  EXPECT_EQ(dry.exitCode, kOk);
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 99) << "a dry run sends nothing";

  const ProcessResult restore = RunOnSensor({"--json", "restore", file});
  EXPECT_EQ(restore.exitCode, kOk) << restore.out << restore.err;
  const Json j = OneObject(restore);
  EXPECT_TRUE(j["verified"].boolean);
  EXPECT_NE(sensor_->Snapshot().settings.threshold, 99);
  EXPECT_EQ(RunOnSensor({"diff", file}).exitCode, kOk);
}

TEST_F(CliTest, DamagedBackupIsRefusedBeforeTheLineIsTouched) {
  StartSensor(Sensor("KRV04"));
  const std::string file = dir_.File("damaged.json");
  ASSERT_TRUE(testsupport::WriteWholeFile(file, "{\"format\": \"tarkon-settings-backup\", \"format_version\": 1,"));
  for (const char* command : {"restore", "diff"}) {
    const ProcessResult r = RunOnSensor({command, file});
    EXPECT_EQ(r.exitCode, kUsage);
    EXPECT_NE(r.err.find("not a valid JSON document"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("(nothing was sent)"), std::string::npos) << r.err;
  }
  EXPECT_EQ(sensor_->Snapshot().activity.framesReceived, 0u);
}

TEST_F(CliTest, RestoreOfAnotherModelNeedsForce) {
  const std::string file = dir_.File("krv04.json");
  ASSERT_EQ(Run({"--simulate", "KRV04", "backup", file}).exitCode, kOk);
  StartSensor(Sensor("KRV04 Board Flipper"));
  const ProcessResult refused = RunOnSensor({"restore", file});
  EXPECT_EQ(refused.exitCode, kUsage);
  EXPECT_NE(refused.err.find("use --force"), std::string::npos) << refused.err;
  EXPECT_EQ(trace_.CountCommand(cmd::SetThreshold), 0u);
  const ProcessResult forced = RunOnSensor({"restore", file, "--force"});
  EXPECT_NE(forced.out.find("not restored: Hold Last Valid Range"), std::string::npos) << forced.out;
}

TEST_F(CliTest, BusScanFindsTheSimulatedSensor) {
  const ProcessResult r =
      Run({"--simulate", "KRV04", "--simulate-check-mode", "crc", "--address", "17", "bus-scan", "--to", "40", "--json"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  const Json j = OneObject(r);
  ASSERT_EQ(j["sensors"].items.size(), 1u) << r.out;
  const Json& s = j["sensors"].items[0];
  EXPECT_EQ(s["address"].Int(), 17);
  EXPECT_EQ(s["check_mode"].text, "crc");
  EXPECT_EQ(s["baud"].Int(), 57600);
  EXPECT_EQ(s["model"].text, "KRV04");
  EXPECT_EQ(s["serial_number"].text.size(), 8u);
  EXPECT_TRUE(j["complete"].boolean);
}

TEST_F(CliTest, TraceWritesEveryFrameDecoded) {
  const std::string file = dir_.File("trace.txt");
  const ProcessResult r = Run({"--trace", file, "--simulate", "KRV02", "info"});
  EXPECT_EQ(r.exitCode, kOk);
  const std::vector<std::string> lines = Lines(testsupport::ReadWholeFile(file));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(10), " tx 02 01 01 7F 7D  GetModelName addr=1 len=0 checksum check=ok");
  EXPECT_EQ(lines[1].substr(11, 2), "rx");
  EXPECT_NE(lines[1].find("GetModelName addr=1 len=16 checksum check=ok"), std::string::npos) << lines[1];
  double previous = 0;
  for (const std::string& line : lines) {
    const double ms = std::stod(line.substr(0, 10));
    EXPECT_GE(ms, previous) << line;
    previous = ms;
  }
}

TEST_F(CliTest, WatchCsvLogsOneFlushedLinePerPollAndSummarises) {
  const std::string file = dir_.File("ranges.csv");
  const ProcessResult r = Run({"--simulate", "KRV04", "watch", "--csv", file, "--duration", "1200ms"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  const std::vector<std::string> lines = Lines(testsupport::ReadWholeFile(file));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "time,raw_range,range (inch),Base pix.,Sum pix.,Num pix.,Sub pix.,Laser power,Peak");
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(CountFields(lines[i]), CountFields(lines[0])) << lines[i];
    EXPECT_EQ(lines[i].substr(0, 2), "20") << lines[i];
  }
  const std::string polls = "polls " + std::to_string(lines.size() - 1) + ", failures 0, range min ";
  EXPECT_EQ(r.out.substr(0, polls.size()), polls) << r.out;

  // A second run appends below the same header.
  ASSERT_EQ(Run({"--simulate", "KRV04", "watch", "--csv", file, "--duration", "300ms"}).exitCode, kOk);
  const std::vector<std::string> more = Lines(testsupport::ReadWholeFile(file));
  EXPECT_GT(more.size(), lines.size());
  EXPECT_EQ(std::count(more.begin(), more.end(), lines[0]), 1);
}

TEST_F(CliTest, TraceShowsTheXmodemBlocksAndAnswers) {
  StartSensor(Sensor("KRV02"));
  const std::string image(130, 'x');
  const std::string file = dir_.File("table.cal");
  ASSERT_TRUE(testsupport::WriteWholeFile(file, image));
  const std::string traceFile = dir_.File("trace.txt");
  const ProcessResult r = RunOnSensor({"--trace", traceFile, "--manufacturing", "--yes", "upload", "cal", file});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  std::vector<std::string> xmodem;
  for (const std::string& line : Lines(testsupport::ReadWholeFile(traceFile))) {
    const size_t at = line.find("  XMODEM ");
    if (at != std::string::npos) xmodem.push_back(line.substr(11, 3) + line.substr(at + 2));
  }
  // The receiver asks with "C", each block of 133 bytes is acknowledged, EOT ends.
  const std::vector<std::string> expected = {"rx XMODEM C",
                                             "tx XMODEM block 1 (133 bytes) check=ok",
                                             "rx XMODEM ACK",
                                             "tx XMODEM block 2 (133 bytes) check=ok",
                                             "rx XMODEM ACK",
                                             "tx XMODEM EOT",
                                             "rx XMODEM ACK"};
  EXPECT_EQ(xmodem, expected);
}

TEST_F(CliTest, WatchCsvEndsCleanlyOnInterruptWithItsSummary) {
  const std::string file = dir_.File("ranges.csv");
  const std::string out = dir_.File("out.txt");
  const std::vector<std::string> args = {TARKON_CLI_PATH, "--settings", Ini(), "--simulate", "KRV02",
                                         "watch",         "--csv",      file};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  // Polls are logged while the run goes on: each line is flushed.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Lines(testsupport::ReadWholeFile(file)).size() < 4 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const size_t seen = Lines(testsupport::ReadWholeFile(file)).size();
  EXPECT_GE(seen, 4u);
  ASSERT_EQ(kill(pid, SIGINT), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kOk);
  const size_t polls = Lines(testsupport::ReadWholeFile(file)).size() - 1;
  const std::string summary = testsupport::ReadWholeFile(out);
  EXPECT_EQ(summary.rfind("polls " + std::to_string(polls) + ", failures 0, range min ", 0), 0u) << summary;
}

}  // namespace
}  // namespace clitest
