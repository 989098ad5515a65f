// The program `ostrel` itself.

#include <gtest/gtest.h>

#include "ostrel/app/ostrel_ini.h"
#include "support/process_runner.h"
#include "support/temp_dir.h"

namespace {

// Beside a program in a writable folder of its own; per user when the
// program is installed, even where its folder could be written (by root).
TEST(OstrelProgram, SettingsFileBesideAPortableProgramPerUserWhenInstalled) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string config = dir.File("config");
  bool perUser = true;
  EXPECT_EQ(ostrel::OstrelIni::ChoosePath(dir.path(), config.c_str(), "/home/x", &perUser),
            dir.path() + "/" + ostrel::OstrelIni::kFileName);
  EXPECT_FALSE(perUser);
  for (const char* installed : {"/usr/bin", "/usr/local/bin", "/opt/lrs/bin", "/bin"}) {
    EXPECT_EQ(ostrel::OstrelIni::ChoosePath(installed, config.c_str(), "/home/x", &perUser),
              config + "/ostrel/" + ostrel::OstrelIni::kFileName)
        << installed;
    EXPECT_TRUE(perUser) << installed;
  }
}

#ifdef OSTREL_PATH
// --version answers without a display and opens no window.
TEST(OstrelProgram, VersionNeedsNoDisplay) {
  const testsupport::ProcessResult run =
      testsupport::RunProcess({"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                               OSTREL_PATH, "--version"});
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "ostrel " LRS_TEST_VERSION "\n");
  EXPECT_EQ(run.err, "");
}
#endif

}  // namespace
