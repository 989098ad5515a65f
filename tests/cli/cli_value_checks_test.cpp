// `set` refuses what the sensor could not store: a converted value beyond
// the word of its field (instead of sending it with its upper bits cut
// off), and a text that is not exactly one number, the way the desktop
// program's numeric fields refuse it. Nothing reaches the sensor then.

#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "protocol/command_ids.h"

namespace clitest {
namespace {

struct Refusal {
  const char* model;
  const char* name;
  const char* value;
  int command;  // the command that must not be sent
  const char* message;
};

// Every field whose dialog button has no check of its own. The KRV02
// family's words are signed, the KRV04 family's unsigned.
const Refusal kUnfit[] = {
    {"KRV02", "Scan Interval", "40000", cmd::SetScanInterval, "Scan Interval must be between -32768 and 32767"},
    {"KRV02", "Dropout", "-40000", cmd::SetFilterFactors, "Dropout must be between -32768 and 32767"},
    {"KRV02", "Smooth", "32768", cmd::SetFilterFactors, "Smooth must be between -32768 and 32767"},
    {"KRV02", "Range Offset", "40", cmd::SetOffset, "Range Offset must be between -32.768 inch and 32.767 inch"},
    {"KRV02", "Multiplier", "33", cmd::SetOffset, "Multiplier must be between -32.768 and 32.767"},
    {"KRV02", "Min. Volts", "-33", cmd::SetAnalogOuputFactors, "Min. Volts must be between -32.768 and 32.767"},
    {"KRV02", "Max. Volts", "99", cmd::SetAnalogOuputFactors, "Max. Volts must be between -32.768 and 32.767"},
    {"KRV02", "Offset", "32.768", cmd::SetAnalogOuputFactors, "Offset must be between -32.768 and 32.767"},
    {"KRV02", "Out of Range", "40", cmd::SetAnalogOuputFactors, "Out of Range must be between -32.768 and 32.767"},
    {"KRV04", "Min. Volts", "-3", cmd::SetAnalogMinVolts, "Min. Volts must be between 0.000 and 65.535"},
    {"KRV04", "Max. Volts", "99", cmd::SetAnalogMaxVolts, "Max. Volts must be between 0.000 and 65.535"},
    {"KRV04", "Out of Range", "65.536", cmd::SetAnalogOutOfRange, "Out of Range must be between 0.000 and 65.535"},
    {"KRV04", "Max samples to hold last range", "70000", cmd::SetNumHoldScans,
     "Max samples to hold last range must be between 0 and 65535"},
    {"Qmt Short", "Min. Range", "-1", cmd::SetAnalogMinRange, "Min. Range must be between 0.000 inch and 65.535 inch"},
    {"Qmt Short", "Max. Range", "70", cmd::SetAnalogMaxRange, "Max. Range must be between 0.000 inch and 65.535 inch"},
    {"Qmt Short", "Max. Volts", "-0.001", cmd::SetAnalogMaxVolts, "Max. Volts must be between 0.000 and 65.535"},
    {"KRV04 Board Flipper", "Min Wane Height", "70", cmd::WriteWaneParams,
     "Min Wane Height must be between 0.000 and 65.535"},
    {"KRV04 Board Flipper", "Min Wane Width", "-1", cmd::WriteWaneParams,
     "Min Wane Width must be between 0.000 and 65.535"},
    {"KRV04 Board Flipper", "Pulse duration", "99999", cmd::WriteWaneParams,
     "Pulse duration must be between 0 and 65535"},
    {"KRV04 Board Flipper", "Conveyer Speed", "70000", cmd::WriteWaneParams,
     "Conveyer Speed must be between 0 and 65535"},
    {"KRV04 Board Flipper", "Board timeout", "-1", cmd::SetBoardTimeout, "Board timeout must be between 0 and 65535"},
    {"KRV04 Board Flipper", "Min. Volts", "70", cmd::SetAnalogMinVolts, "Min. Volts must be between 0.000 and 65.535"},
    // Not exactly one number: the numeric field's message.
    {"KRV02", "Threshold", "abc", cmd::SetThreshold, "Characters must be a number."},
    {"KRV02", "Threshold", "12abc", cmd::SetThreshold, "Characters must be a number."},
    {"KRV04", "Max. Volts", "", cmd::SetAnalogMaxVolts, "Characters must be a number."},
    {"KRV04 Board Flipper", "Pulse duration", "-", cmd::WriteWaneParams, "Characters must be a number."},
    {"Qmt Short", "Threshold", "1 2", cmd::SetThreshold, "Characters must be a number."},
};

TEST_F(CliTest, ValuesThatDoNotFitTheirFieldAreRefusedInBothCheckModes) {
  for (const int32_t mode : {0, 1}) {
    std::string model;
    for (const Refusal& c : kUnfit) {
      if (model != c.model) {
        model = c.model;
        StartSensor(Sensor(model, mode));
      }
      trace_.Clear();
      // A CRC sensor is named as such, so each run skips the checksum attempt.
      const ProcessResult r = RunOnSensor({"--check-mode", mode == 1 ? "crc" : "checksum", "set", c.name, c.value});
      const std::string what = std::string(c.model) + " " + c.name + "=" + c.value + " mode " + std::to_string(mode);
      EXPECT_EQ(r.exitCode, kUsage) << what << ": " << r.err;
      EXPECT_EQ(r.out, "") << what;
      const std::vector<std::string> lines = Lines(r.err);
      ASSERT_EQ(lines.size(), 4u) << what << ": " << r.err;
      EXPECT_EQ(lines[1], c.message) << what;
      EXPECT_EQ(trace_.CountCommand(c.command), 0u) << what;
    }
  }
  // Values at the ends of a word still go through.
  StartSensor(Sensor("KRV04"));
  ProcessResult r = RunOnSensor({"set", "Max. Volts", "65.535"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(sensor_->Snapshot().settings.analog.maxVolts, 65535);
  StartSensor(Sensor("KRV02"));
  r = RunOnSensor({"set", "Min. Volts", "-32.768"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(r.out, "Min. Volts  -32.768\n");
}

TEST_F(CliTest, SetNamesTheSettingsItKnows) {
  StartSensor(Sensor("Qmt Short"));
  ProcessResult r = RunOnSensor({"set", "Colour", "3"});
  EXPECT_EQ(r.exitCode, kUsage);
  EXPECT_NE(r.err.find("\"Colour\""), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\"Min. Laser Power\", \"Max. Laser Power\", \"Threshold\""), std::string::npos) << r.err;
  r = RunOnSensor({"set", "serial number", "X"});
  EXPECT_EQ(r.exitCode, kUsage);
  EXPECT_NE(r.err.find("serial-number"), std::string::npos) << r.err;
}

// `laser` is the settings dialog's button: the KRV02 family's reads the
// settings back, the board flipper's does not, and a model without a
// switch refuses with nothing sent. `model-name` refuses a string that is
// not in the table.
TEST_F(CliTest, LaserIsTheDialogsButtonAndModelNameKnowsTheTable) {
  struct Case {
    const char* model;
    std::vector<std::string> args;
    int exit;
    const char* out;
    const char* firstErrorLine;  // "" for none checked
  };
  const Case cases[] = {
      {"KRV02", {"laser", "off"}, kOk, "Laser: Off, read back\n", ""},
      {"KRV04 Board Flipper", {"laser", "off"}, kOk, "Laser: sent, not reported by the sensor\n", ""},
      {"KRV04", {"laser", "on"}, kUsage, "", "laser: this sensor model has no laser switch"},
      {"Qmt Short", {"laser", "off"}, kUsage, "", "laser: this sensor model has no laser switch"},
      {"KRV02", {"--manufacturing", "model-name", "M7"}, kUsage, "", "model-name: not a model string of the table:"},
  };
  for (const Case& c : cases) {
    StartSensor(Sensor(c.model));
    trace_.Clear();
    const ProcessResult r = RunOnSensor(c.args);
    EXPECT_EQ(r.exitCode, c.exit) << c.model << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.model;
    if (*c.firstErrorLine != 0) {
      EXPECT_NE(r.err.find(std::string("\n") + c.firstErrorLine + "\n"), std::string::npos) << r.err;
      EXPECT_EQ(trace_.CountCommand(cmd::SetLaserOn) + trace_.CountCommand(cmd::SetModelName), 0u) << c.model;
    }
  }
}

}  // namespace
}  // namespace clitest
