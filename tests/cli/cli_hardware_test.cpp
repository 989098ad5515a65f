// tarkon-cli on lines that misbehave as real ones do: a port this user may
// not open, a port another program holds, a driver without RS-485 mode, a
// sensor whose line goes away while it is watched. Each ends with exit
// status 1 and one line on standard error that says why.

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "cli/cli_test_support.h"
#include "support/pty_peer.h"

namespace {

using namespace clitest;

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

constexpr const char* kFailedConnect = "error: Cannot connect to the sensor...\nnote: Disconnected...\n";

TEST_F(CliTest, PortThisUserMayNotOpenNamesTheOwningGroupAndTheFix) {
  if (geteuid() != 0) GTEST_SKIP() << "switching to an unprivileged user needs root; this run is not root";
  if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv (util-linux) is not installed";
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  // The group may read and write, the user is not in it: joining it cures.
  ASSERT_EQ(chmod(peer.path().c_str(), 0660), 0);
  // The unprivileged user must reach its settings file.
  ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);
  const ProcessResult r = testsupport::RunProcess({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                                   "--clear-groups", TARKON_CLI_PATH, "--settings", Ini(), "--port",
                                                   peer.path(), "info"});
  if (r.exitCode == 127 || r.err.find("setpriv:") != std::string::npos)
    GTEST_SKIP() << "this machine does not let setpriv switch users: " << r.err;
  EXPECT_EQ(r.exitCode, kFailed);
  struct stat node {};
  ASSERT_EQ(stat(peer.path().c_str(), &node), 0);
  const group* owner = getgrgid(node.st_gid);
  ASSERT_NE(owner, nullptr);
  const std::string group = owner->gr_name;  // tty on most systems
  EXPECT_EQ(r.err, std::string(kFailedConnect) + "error: Permission denied on " + peer.path() +
                       ", which belongs to the group " + group + ". Add your user to it with: sudo usermod -aG " +
                       group + " $USER, then log out and log in again.\nok: Close\n");
}

TEST_F(CliTest, PortHeldByAnotherProgramNamesTheHolder) {
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    // Another program with the port open and locked, as a terminal program
    // holds it.
    const int fd = open(peer.path().c_str(), O_RDWR | O_NOCTTY);
    const char ok = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
    (void)!write(ready[1], &ok, 1);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char ok = 'n';
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  close(ready[0]);
  ASSERT_EQ(ok, 'y');

  const ProcessResult r = Run({"--port", peer.path(), "info"});
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_EQ(r.err, std::string(kFailedConnect) + "error: " + peer.path() +
                       " is in use by another program: cli_tests (process " + std::to_string(holder) +
                       "). Close it, then connect again.\nok: Close\n");
}

TEST_F(CliTest, Rs485OnADriverWithoutItIsRefusedWithTheReason) {
  StartSensor(Sensor("KRV02"));
  const ProcessResult r = RunOnSensor({"--rs485", "info"});
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_EQ(r.err, std::string(kFailedConnect) + "error: RS-485 direction control is not available on " +
                       sensor_->SlavePath() +
                       ": its driver has no RS-485 mode (Inappropriate ioctl for device). Connect without it if the "
                       "adapter switches direction by itself.\nok: Close\n");
  // Nothing reached the sensor.
  EXPECT_EQ(sensor_->Snapshot().activity.framesReceived, 0u);
  // Without the option the same port connects as always.
  EXPECT_EQ(RunOnSensor({"info"}).exitCode, kOk);
}

TEST_F(CliTest, WatchEndsWithExitOneWhenTheSensorsLineGoesAway) {
  StartSensor(Sensor("KRV04"));
  const std::string device = sensor_->SlavePath();
  std::thread unplug([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    sensor_->Unplug();
  });
  const ProcessResult r = Run({"--port", device, "watch"});
  unplug.join();
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_NE(r.out.find("-- poll 1 "), std::string::npos) << r.out;
  // One line says the port went away; polling does not repeat the failure.
  EXPECT_EQ(Count(r.err, "error: The port " + device +
                             " went away (adapter unplugged or line hung up); polling stopped.\n"),
            1u)
      << r.err;
  EXPECT_EQ(Count(r.err, "error: Command "), 1u) << r.err;
  EXPECT_EQ(Count(r.err, "note: Disconnected...\n"), 1u) << r.err;
}

TEST_F(CliTest, VersionIsOneLineAndConnectsNowhere) {
  const ProcessResult r = Run({"--version"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_TRUE(std::regex_match(r.out, std::regex(R"(tarkon-cli [0-9]+\.[0-9]+\.[0-9]+\n)"))) << r.out;
  EXPECT_EQ(r.err, "");
}

}  // namespace
