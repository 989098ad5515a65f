// watch --reconnect: a logging session outlives an unplug, says so, and
// goes on polling once the line is back under the same name.

#include <chrono>
#include <string>
#include <thread>

#include "cli/cli_test_support.h"

namespace clitest {
namespace {

TEST_F(CliTest, WatchReconnectGoesOnWhenTheLineIsBackUnderItsName) {
  sim::LineConfig line = trace_.Line();
  line.linkPath = dir_.File("sensor");
  sensor_ = std::make_unique<sim::VirtualSensor>(Sensor("KRV02"), line);
  ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
  const std::string file = dir_.File("ranges.csv");
  std::thread replug([&] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (Lines(testsupport::ReadWholeFile(file)).size() < 3 && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sensor_->Unplug();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    sensor_->Replug();
  });
  const ProcessResult r = Run({"--port", line.linkPath, "watch", "--csv", file, "--reconnect", "--count", "6"});
  replug.join();
  const std::string sensor = "KRV02 SN K2073064 on " + line.linkPath;
  EXPECT_NE(r.out.find("-- link lost  "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("went away (adapter unplugged or line hung up)"), std::string::npos) << r.out;
  // What a console user does: there is no button to press.
  EXPECT_NE(r.out.find("Plug it back in: this run reconnects by itself once the port is back"), std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("press Reconnect"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("-- reconnected  "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(sensor), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("ok: Reconnected to the " + sensor + ".\n"), std::string::npos) << r.err;
  // Six polls: the one the unplug failed, and lines for the others, before
  // and after it.
  EXPECT_NE(r.out.find("polls 6, failures 1, "), std::string::npos) << r.out;
  EXPECT_EQ(Lines(testsupport::ReadWholeFile(file)).size(), 6u);  // the header and five lines
  EXPECT_EQ(r.exitCode, kFailed);  // a poll failed, and says so
}

}  // namespace
}  // namespace clitest
