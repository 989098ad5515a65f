// The program `ostrel` itself.

#include <gtest/gtest.h>

#include <QTest>
#include <chrono>
#include <fstream>

#include "ostrel/app/ostrel_ini.h"
#include "ostrel/ui/main_window.h"
#include "sim/virtual_sensor.h"
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
// --screenshots saves the three tabs and a firmware upload to the virtual
// board flipper before, during and after its transfer; the upload is a real
// one (its line in the change history), its backup and history kept in the
// given per-user folders.
TEST(OstrelProgram, ScreenshotsShowTheTabsAndAnUploadBeforeDuringAndAfter) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string shots = dir.File("shots");
  const testsupport::ProcessResult run = testsupport::RunProcess(
      {"/usr/bin/env", "QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + dir.File("config"),
       "XDG_DATA_HOME=" + dir.File("data"), OSTREL_PATH, "--screenshots", shots},
      std::chrono::milliseconds(60000));
  ASSERT_TRUE(run.started);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  for (const char* name : {"connect", "settings", "view", "upload-before", "upload-during", "upload-after"}) {
    const std::string image = testsupport::ReadWholeFile(shots + "/ostrel-" + name + ".png");
    EXPECT_GT(image.size(), 1000u) << name;
    EXPECT_EQ(image.substr(0, 4), "\x89PNG") << name;
  }
  const std::string history = testsupport::ReadWholeFile(dir.File("data") + "/tarkon/history.jsonl");
  EXPECT_NE(history.find("Firmware upload (DSP)"), std::string::npos) << history;
  EXPECT_NE(history.find("8192 bytes"), std::string::npos) << history;
}

// The command line's answers and refusals; a refusal ends before the window
// opens, with exit code 2 and the reason.
TEST(OstrelProgram, CommandLineAnswersAndRefusals) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string outHas;
    std::string err;
  };
  const std::string tryHelp = "Try \"ostrel --help\".\n";
  const Case cases[] = {
      {{"--help"}, 0, "--port <PORT>", ""},
      {{"-h"}, 0, "Usage: ostrel [options]", ""},
      {{"--port", "COM1", "--baud", "115200"}, 2, "",
       "ostrel: --baud takes 9600, 19200, 38400 or 57600, not \"115200\"\n" + tryHelp},
      {{"--port", "COM1", "--address", "-1"}, 2, "",
       "ostrel: --address takes 1 to 255, or 0 for the global address, not \"-1\"\n" + tryHelp},
      {{"--address", "3"}, 2, "", "ostrel: --baud and --address need --port\n" + tryHelp},
      {{"stray"}, 2, "", "ostrel: Unexpected argument \"stray\"\n" + tryHelp},
  };
  for (const Case& c : cases) {
    testsupport::TempDir dir;
    ASSERT_TRUE(dir.ok());
    std::vector<std::string> args = {"/usr/bin/env", "QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + dir.path(),
                                     OSTREL_PATH};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testsupport::ProcessResult run = testsupport::RunProcess(args);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut) << c.args[0];
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args[0] << run.err;
    EXPECT_NE(run.out.find(c.outHas), std::string::npos) << c.args[0] << ": " << run.out;
    // The toolkit may add notes of its own (no runtime directory, say).
    if (c.err.empty()) {
      EXPECT_EQ(run.err, "") << c.args[0];
    } else {
      EXPECT_NE(run.err.find(c.err), std::string::npos) << c.args[0] << ": " << run.err;
    }
  }
}
#endif

// The connect at start is the Connect button's: the board flipper at
// address 7 and 19200 baud answers on a device that is not in the port list.
TEST(OstrelProgram, ConnectsAtStartWithThePortBaudAndAddressGiven) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  sim::SensorConfig config;
  config.model = "KRV04 Board Flipper";
  config.address = 7;
  config.baudRate = 19200;
  sim::VirtualSensor sensor(config);
  ASSERT_TRUE(sensor.Start()) << sensor.LastError();
  const std::string ini = dir.File("Ostrel.ini");
  std::ofstream(ini, std::ios::binary) << "[CommPort]\r\nPort=1\r\n";
  ostrel::MainWindow window(ini, "");
  EXPECT_EQ(window.ConnectAtStart({"/dev/null/none", std::string("19200"), std::string("256")}),
            "--address takes 1 to 255, or 0 for the global address, not \"256\"");
  ASSERT_EQ(window.ConnectAtStart({sensor.SlavePath(), std::string("19200"), std::string("7")}), "");
  window.show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.operations().connected(); }, 20000));
  const sim::Activity activity = sensor.Snapshot().activity;
  EXPECT_GT(activity.repliesSent, 0u);
  EXPECT_EQ(activity.framesForOthers, 0u);
  EXPECT_EQ(activity.garbledBytes, 0u);
}

}  // namespace
