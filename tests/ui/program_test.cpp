// The program `tarkon` itself: started with a virtual sensor from the
// environment, it connects, polls, and renders its window.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sim/virtual_sensor.h"
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

// TARKON_UNPLUG_SCREENSHOT pulls the virtual sensor's line and saves the
// window only once its bar says the link is lost; with no virtual sensor
// there is no line to pull and nothing is saved.
TEST(TarkonProgram, ThePictureOfALostLinkIsTakenOnceTheBarShowsIt) {
  struct Case {
    bool virtualSensor;
    int exitCode;
    std::string errHas;
  };
  const Case cases[] = {
      {true, 0, ""},
      {false, 1, "tarkon: TARKON_UNPLUG_SCREENSHOT needs a connected virtual sensor\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.virtualSensor ? "virtual sensor" : "no sensor");
    testsupport::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string shot = dir.File("unplugged.png");
    std::vector<std::string> args{"/usr/bin/env", "QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + dir.path(),
                                  "TARKON_UNPLUG_SCREENSHOT=" + shot, "TARKON_SCREENSHOT_DELAY_MS=500"};
    if (c.virtualSensor) args.push_back("TARKON_VIRTUAL_SENSOR=KRV04");
    args.push_back(TARKON_PATH);
    const testsupport::ProcessResult run = testsupport::RunProcess(args);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    const std::string image = testsupport::ReadWholeFile(shot);
    if (c.exitCode != 0) {
      EXPECT_NE(run.err.find(c.errHas), std::string::npos) << run.err;
      EXPECT_EQ(run.out, "could not write " + shot + "\n");
      EXPECT_EQ(image, "");
      continue;
    }
    EXPECT_EQ(run.out, shot + "\n");
    ASSERT_GT(image.size(), 1000u);
    EXPECT_EQ(image.substr(0, 4), "\x89PNG");
  }
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
// The command line's answers and refusals; a refusal ends before the window
// opens, with exit code 2 and the reason.
TEST(TarkonProgram, CommandLineAnswersAndRefusals) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string outHas;
    std::string err;
  };
  const std::string tryHelp = "Try \"tarkon --help\".\n";
  const Case cases[] = {
      {{"--help"}, 0, "--port <PORT>", ""},
      {{"-h"}, 0, "Usage: tarkon [options]", ""},
      {{"--version"}, 0, "tarkon " LRS_TEST_VERSION "\n", ""},
      {{"--port", "COM1", "--baud", "12345"}, 2, "",
       "tarkon: --baud takes 9600, 19200, 38400 or 57600, not \"12345\"\n" + tryHelp},
      {{"--port", "COM1", "--address", "300"}, 2, "",
       "tarkon: --address \"300\": Please enter an integer between 0 and 255.\n" + tryHelp},
      {{"--port", "ttyS0"}, 2, "",
       "tarkon: --port takes COMn or a device path such as /dev/ttyUSB0, not \"ttyS0\"\n" + tryHelp},
      {{"--baud", "9600"}, 2, "", "tarkon: --baud and --address need --port\n" + tryHelp},
      {{"--colour"}, 2, "", "tarkon: Unknown option 'colour'.\n" + tryHelp},
  };
  for (const Case& c : cases) {
    testsupport::TempDir dir;
    ASSERT_TRUE(dir.ok());
    std::vector<std::string> args = {"/usr/bin/env", "QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + dir.path(),
                                     TARKON_PATH};
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

// --port, --baud and --address connect at start: the sensor at address 7
// and 19200 baud answers, and nothing went to another address or rate.
TEST(TarkonProgram, ConnectsAtStartWithThePortBaudAndAddressGiven) {
  testsupport::TempDir dir;
  ASSERT_TRUE(dir.ok());
  sim::SensorConfig config;
  config.model = "KRV02";
  config.address = 7;
  config.baudRate = 19200;
  sim::VirtualSensor sensor(config);
  ASSERT_TRUE(sensor.Start()) << sensor.LastError();
  // A copy of the program in a folder of its own keeps its settings file
  // there, out of the build tree.
  const std::string program = dir.File("tarkon");
  ASSERT_TRUE(std::filesystem::copy_file(TARKON_PATH, program));
  const std::string shot = dir.File("window.png");
  const testsupport::ProcessResult run = testsupport::RunProcess(
      {"/usr/bin/env", "QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + dir.path(), "TARKON_SCREENSHOT=" + shot,
       "TARKON_SCREENSHOT_DELAY_MS=500", program, "--port", sensor.SlavePath(), "--baud", "19200", "--address",
       "7"});
  ASSERT_TRUE(run.started);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const sim::Activity activity = sensor.Snapshot().activity;
  EXPECT_GT(activity.repliesSent, 0u);
  EXPECT_EQ(activity.framesForOthers, 0u);
  EXPECT_EQ(activity.garbledBytes, 0u);
  const std::string ini = testsupport::ReadWholeFile(dir.File("tarkon.ini"));
  EXPECT_NE(ini.find("Device=" + sensor.SlavePath()), std::string::npos) << ini;
  EXPECT_NE(ini.find("Baudrate=19200"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Address=7"), std::string::npos) << ini;
}
#endif

}  // namespace
