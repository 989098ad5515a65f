// tarkon-cli end to end: the commands of manufacturing mode (reset, serial
// number, model name, firmware upload), refused without --manufacturing.

#include <algorithm>
#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "protocol/command_ids.h"

namespace clitest {
namespace {

std::string Image(size_t size) {
  std::string image(size, '\0');
  for (size_t i = 0; i < size; ++i) image[i] = static_cast<char>(i * 7 + 3);
  return image;
}

TEST_F(CliTest, ManufacturingCommandsAreRefusedWithoutTheSwitch) {
  StartSensor(Sensor("KRV02"));
  const std::string file = dir_.File("table.cal");
  ASSERT_TRUE(testsupport::WriteWholeFile(file, Image(10)));
  const std::vector<std::vector<std::string>> cases = {
      {"reset"}, {"serial-number", "K1234567"}, {"model-name", "0 M3-9-6"}, {"upload", "cal", file}};
  for (const auto& args : cases) {
    const ProcessResult r = RunOnSensor(args);
    EXPECT_EQ(r.exitCode, kUsage) << args[0];
    EXPECT_NE(r.err.find("manufacturing"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  // Not even a connect was tried.
  EXPECT_EQ(trace_.size(), 0u);
  EXPECT_EQ(sensor_->Snapshot().activity.framesReceived, 0u);
}

TEST_F(CliTest, SerialNumberAndModelNameAreWritten) {
  StartSensor(Sensor("KRV02", 1));
  ProcessResult r = RunOnSensor({"--manufacturing", "serial-number", "K7654321"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(r.out, "Serial number  K7654321\n");
  EXPECT_EQ(sim::IdentityText(sensor_->Snapshot().serialNumber), "K7654321");

  r = RunOnSensor({"--manufacturing", "model-name", "0 M25-30-6"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(r.out, "Model String:  0 M25-30-6\n");
  EXPECT_EQ(sim::IdentityText(sensor_->Snapshot().modelName), "0 M25-30-6");

  r = RunOnSensor({"--json", "info"});
  EXPECT_EQ(r.exitCode, kOk);
  const Json j = OneObject(r);
  EXPECT_EQ(j["model_string"].text, "0 M25-30-6");
  EXPECT_EQ(j["serial_number"].text, "K7654321");

  r = RunOnSensor({"--manufacturing", "model-name", "0 M25-30-7"});
  EXPECT_EQ(r.exitCode, kUsage);
  EXPECT_NE(r.err.find("0 M25-30-6"), std::string::npos) << r.err;  // the known strings are listed
  EXPECT_EQ(sim::IdentityText(sensor_->Snapshot().modelName), "0 M25-30-6");
}

TEST_F(CliTest, ResetIsSent) {
  StartSensor(Sensor("KRV02"));
  const ProcessResult r = RunOnSensor({"--manufacturing", "reset"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(r.err, QuietRun("KRV02"));
  EXPECT_EQ(trace_.CountCommand(cmd::ResetSensor), 1u);
}

TEST_F(CliTest, CalibrationUploadReachesTheSensor) {
  StartSensor(Sensor("KRV02", 1));
  const std::string image = Image(300);
  const std::string file = dir_.File("table.cal");
  ASSERT_TRUE(testsupport::WriteWholeFile(file, image));
  const ProcessResult r = RunOnSensor({"--manufacturing", "--yes", "--json", "upload", "cal", file});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  // The start and the result as log lines, between the connect and the close.
  EXPECT_EQ(r.err.rfind(ConnectedLine("KRV02") + "\n", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("\nnote: Upload started: table.cal, 300 bytes, CRC 0x"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\nok: Upload completed: 3 of 3 blocks, 0 retries"), std::string::npos) << r.err;
  // One line for the plan, one per progress step up to 100 %, the result last.
  const std::vector<Json> lines = ObjectLines(r);
  ASSERT_GE(lines.size(), 4u) << r.out;
  EXPECT_EQ(lines.front()["plan"]["Size"].text, "300 bytes");
  int percent = -1;
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    EXPECT_EQ(lines[i]["progress"]["total"].Int(), 300);
    EXPECT_GE(lines[i]["progress"]["percent"].Int(), percent);
    percent = static_cast<int>(lines[i]["progress"]["percent"].Int());
  }
  EXPECT_EQ(percent, 100);
  const Json j = lines.back();
  EXPECT_EQ(j.Keys()[0], "status");
  EXPECT_EQ(j.Keys()[1], "bytes");
  EXPECT_EQ(j["status"].text, "Successfully completed");
  EXPECT_EQ(j["bytes"].Int(), 300);
  EXPECT_EQ(j["result"].text, "completed");
  EXPECT_EQ(j["blocks_sent"].Int(), 3);
  EXPECT_TRUE(j["settings_changed"].IsArray());

  const sim::SensorState s = sensor_->Snapshot();
  EXPECT_EQ(s.upload.command, cmd::UploadCalibration);
  EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kCompleted);
  ASSERT_EQ(s.upload.image.size(), 384u);  // three blocks, the last filled with the last byte
  for (size_t i = 0; i < s.upload.image.size(); ++i)
    ASSERT_EQ(s.upload.image[i], static_cast<uint8_t>(image[std::min(i, image.size() - 1)])) << i;
  EXPECT_FALSE(s.FlashUnlocked());
  EXPECT_EQ(s.flashProtect1, 0);
  EXPECT_EQ(s.flashProtect2, 0);
}

TEST_F(CliTest, UnusualDspSizeNeedsYes) {
  StartSensor(Sensor("KRV02"));
  const std::string file = dir_.File("code.bin");
  ASSERT_TRUE(testsupport::WriteWholeFile(file, Image(200)));
  ProcessResult r = RunOnSensor({"--manufacturing", "upload", "dsp", file});
  EXPECT_EQ(r.exitCode, kUsage);
  EXPECT_NE(r.err.find("The file size is unusual for the type of upload you are trying to do. Continue anyway? "),
            std::string::npos)
      << r.err;
  // After the connect nothing more reached the sensor.
  const std::vector<int> commands = trace_.Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), cmd::GetSerialNum);
  EXPECT_EQ(trace_.CountCommand(cmd::WriteFlashProtect1), 0u);
  EXPECT_EQ(sensor_->Snapshot().upload.command, 0);

  r = RunOnSensor({"--manufacturing", "--yes", "--json", "upload", "dsp", file});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(LastObject(r)["status"].text, "Successfully completed");
  const sim::SensorState s = sensor_->Snapshot();
  EXPECT_EQ(s.upload.command, cmd::UploadCode);
  EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kCompleted);
  EXPECT_EQ(s.upload.image.size(), 256u);

  // An FPGA image far below its usual size, confirmed.
  const std::string fpga = dir_.File("fpga.bin");
  ASSERT_TRUE(testsupport::WriteWholeFile(fpga, Image(129)));
  r = RunOnSensor({"--manufacturing", "--yes", "upload", "fpga", fpga});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(r.out.rfind("Successfully completed\n", 0), 0u) << r.out;
  EXPECT_EQ(sensor_->Snapshot().upload.command, cmd::UploadFPGA);
  EXPECT_EQ(sensor_->Snapshot().upload.image.size(), 256u);
  EXPECT_FALSE(sensor_->Snapshot().FlashUnlocked());
}

// A firmware whose update resets the settings: the comparison with the
// automatic backup names them, and --restore-settings puts them back.
TEST_F(CliTest, SettingsTheUpdateResetIsShownAndRestoredOnRequest) {
  sim::SensorConfig config = Sensor("KRV02");
  config.faults.defaultsAfterUpload = true;
  StartSensor(config);
  const std::string file = dir_.File("table.cal");
  ASSERT_TRUE(testsupport::WriteWholeFile(file, Image(300)));
  const auto changeThreshold = [&] { sensor_->Mutate([](sim::SensorState& s) { s.settings.threshold = 77; }); };
  changeThreshold();
  ProcessResult r = RunOnSensor({"--manufacturing", "--yes", "upload", "cal", file});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_NE(r.out.find("Settings: 1 changed by the upload"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Restore them with --restore-settings"), std::string::npos) << r.out;
  EXPECT_NE(sensor_->Snapshot().settings.threshold, 77);

  changeThreshold();
  r = RunOnSensor({"--manufacturing", "--yes", "--json", "upload", "--restore-settings", "cal", file});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  const Json j = LastObject(r);
  EXPECT_EQ(j["settings_changed"].items.size(), 1u) << r.out;
  EXPECT_TRUE(j["restored"].boolean) << r.out;
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 77);
}

TEST_F(CliTest, UnreadableUploadFileIsRefused) {
  const std::string missing = dir_.File("missing.bin");
  const ProcessResult r = Run({"--manufacturing", "--simulate", "KRV02", "upload", "fpga", missing});
  EXPECT_EQ(r.exitCode, kUsage);
  EXPECT_NE(r.err.find("Error reading file"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace clitest
