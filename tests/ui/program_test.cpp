// The program `tarkon` itself: started with a virtual sensor from the
// environment, it connects, polls, and renders its window.

#include <gtest/gtest.h>

#include "support/process_runner.h"
#include "support/temp_dir.h"

namespace {

#ifdef TARKON_PATH
TEST(TarkonProgram, VirtualSensorFromTheEnvironmentAndScreenshot) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string shot = dir.File("window.png");
  const testsupport::ProcessResult run = testsupport::RunProcess(
      {"/usr/bin/env", "QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + dir.path(),
       "TARKON_VIRTUAL_SENSOR=Qmt Long", "TARKON_SCREENSHOT=" + shot, TARKON_PATH});
  ASSERT_TRUE(run.started);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, shot + "\n");
  const std::string image = testsupport::ReadWholeFile(shot);
  ASSERT_GT(image.size(), 1000u);
  EXPECT_EQ(image.substr(0, 4), "\x89PNG");
  // The pane sizes went to the per-user profile under "NRD".
  EXPECT_NE(testsupport::ReadWholeFile(dir.File("NRD/Tarkon.conf")).find("[NRD-SCBar-1]"), std::string::npos);
}

// --version answers without a display and opens no window.
TEST(TarkonProgram, VersionNeedsNoDisplay) {
  const testsupport::ProcessResult run =
      testsupport::RunProcess({"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                               TARKON_PATH, "--version"});
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "tarkon " LRS_TEST_VERSION "\n");
  EXPECT_EQ(run.err, "");
}
#endif

}  // namespace
