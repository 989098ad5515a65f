// Firmware upload from a terminal: the unusual-size message with the sizes,
// and Ctrl+C during the transfer (the first warns, the second cancels the
// transfer on the line and locks the flash again).

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_test_support.h"
#include "protocol/command_ids.h"

extern char** environ;

namespace clitest {
namespace {

using namespace std::chrono_literals;

// tarkon-cli started in the background, its output into files.
class BackgroundCli {
 public:
  BackgroundCli(const std::vector<std::string>& args, const std::string& out, const std::string& err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~BackgroundCli() {
    if (pid_ > 0 && !done_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return pid_ > 0; }
  void Interrupt() const { kill(pid_, SIGINT); }
  void Signal(int signal) const { kill(pid_, signal); }
  // Stops the program where it is (true once it is stopped), and lets it go on.
  bool Hold() const {
    if (kill(pid_, SIGSTOP) != 0) return false;
    int status = 0;
    return waitpid(pid_, &status, WUNTRACED) == pid_ && WIFSTOPPED(status);
  }
  void Release() const { kill(pid_, SIGCONT); }
  // Exit status, or -1 when it has not ended within `limit`.
  int Wait(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        done_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  bool done_ = false;
};

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

TEST_F(CliTest, UploadStopsOnlyOnTheSecondCtrlCAndCancelsOnTheLine) {
  // A line paced at its baud rate, so the 65000-byte transfer takes seconds.
  sim::LineConfig line = trace_.Line();
  line.throttle = true;
  sensor_ = std::make_unique<sim::VirtualSensor>(Sensor("KRV02"), line);
  ASSERT_TRUE(sensor_->Start());
  const std::string file = dir_.File("code.bin");
  ASSERT_TRUE(testsupport::WriteWholeFile(file, std::string(65000, '\x5a')));

  BackgroundCli cli({TARKON_CLI_PATH, "--settings", Ini(), "--port", sensor_->SlavePath(), "--manufacturing",
                     "--yes", "upload", "dsp", file},
                    dir_.File("out"), dir_.File("err"));
  ASSERT_TRUE(cli.started());
  ASSERT_TRUE(WaitFor([&] { return sensor_->Snapshot().upload.image.size() >= 1024; }, 10s));

  cli.Interrupt();
  const std::string warning =
      "Stopping now leaves the sensor without complete firmware. Press Ctrl+C again to stop anyway.";
  ASSERT_TRUE(WaitFor([&] { return testsupport::ReadWholeFile(dir_.File("err")).find(warning) != std::string::npos; },
                      5s))
      << testsupport::ReadWholeFile(dir_.File("err"));
  // The transfer goes on after the first press.
  const size_t before = sensor_->Snapshot().upload.image.size();
  ASSERT_TRUE(WaitFor([&] { return sensor_->Snapshot().upload.image.size() > before + 256; }, 5s));

  cli.Interrupt();
  EXPECT_EQ(cli.Wait(10s), kFailed);
  const sim::SensorState s = sensor_->Snapshot();
  EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kCancelled);
  EXPECT_LT(s.upload.image.size(), 65000u);
  EXPECT_EQ(s.upload.image.size() % 128, 0u);  // whole blocks only
  EXPECT_FALSE(s.FlashUnlocked());
  EXPECT_EQ(trace_.CountCommand(cmd::WriteFlashProtect1), 2u);  // unlock, lock again
  EXPECT_NE(testsupport::ReadWholeFile(dir_.File("out")).find("Stopped"), std::string::npos);
}

// Ctrl+C (or SIGTERM) while the connect still runs: the command that
// would follow does not run, nothing is written, and the exit says so.
TEST_F(CliTest, AStopDuringTheConnectEndsTheRunBeforeAnythingIsWritten) {
  const std::string file = dir_.File("code.bin");
  ASSERT_TRUE(testsupport::WriteWholeFile(file, std::string(65000, '\x5a')));
  const struct {
    std::vector<std::string> command;
    int signal;
  } cases[] = {
      {{"set", "Threshold", "90"}, SIGINT},
      {{"--manufacturing", "--yes", "upload", "dsp", file}, SIGTERM},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command.front());
    std::vector<std::string> args = {TARKON_CLI_PATH, "--settings", Ini(), "--port", ""};
    args.insert(args.end(), c.command.begin(), c.command.end());
    // A CRC-mode sensor: the connect's first query, in checksum mode, waits
    // out its whole budget. The run is held there (stopped) while the
    // signal comes; a run that got further before it was held is tried
    // again, so the signal always lands inside the connect.
    std::unique_ptr<BackgroundCli> cli;
    bool held = false;
    for (int attempt = 0; attempt < 5 && !held; ++attempt) {
      sensor_ = std::make_unique<sim::VirtualSensor>(Sensor("KRV04", 1), trace_.Line());
      ASSERT_TRUE(sensor_->Start());
      trace_.Clear();
      args[4] = sensor_->SlavePath();
      cli = std::make_unique<BackgroundCli>(args, dir_.File("out"), dir_.File("err"));
      ASSERT_TRUE(cli->started());
      ASSERT_TRUE(WaitFor([&] { return trace_.size() > 0; }, 10s));  // the checksum query came
      ASSERT_TRUE(cli->Hold());
      held = trace_.CountLabel("rx") == 0;  // no query in CRC mode yet
    }
    ASSERT_TRUE(held);
    cli->Signal(c.signal);
    cli->Release();
    EXPECT_EQ(cli->Wait(20s), kFailed);
    const std::string err = testsupport::ReadWholeFile(dir_.File("err"));
    EXPECT_NE(err.find("stopped: an interrupt came while connecting"), std::string::npos) << err;
    EXPECT_GT(trace_.CountCommand(cmd::GetModelName), 0u);  // the connect went on to its end
    EXPECT_EQ(trace_.CountCommand(cmd::SetThreshold), 0u);
    EXPECT_EQ(trace_.CountCommand(cmd::WriteFlashProtect1) + trace_.CountCommand(cmd::UploadCode), 0u);
  }
}

TEST_F(CliTest, UnusualSizeMessageNamesTheUsualSizes) {
  StartSensor(Sensor("KRV02"));
  const std::string file = dir_.File("fpga.bin");
  ASSERT_TRUE(testsupport::WriteWholeFile(file, std::string(1000, '\x01')));
  const ProcessResult r = RunOnSensor({"--manufacturing", "--json", "upload", "FPGA", file});
  EXPECT_EQ(r.exitCode, kUsage);
  EXPECT_NE(r.err.find("FPGA images are usually 20000 to 28000 bytes; this file has 1000 bytes.\n"),
            std::string::npos)
      << r.err;
  ExpectErrorObject(r, kUsage, "use --yes");
  EXPECT_EQ(trace_.CountCommand(cmd::WriteFlashProtect1), 0u);
}

}  // namespace
}  // namespace clitest
