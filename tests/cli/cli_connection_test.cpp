// tarkon-cli end to end: connecting (simulated and real lines, stored
// settings, the port map), identification outcomes, `info`, `ports`, exit
// statuses and usage errors.

#include <string>
#include <utility>
#include <vector>

#include "cli/cli_test_support.h"
#include "protocol/command_ids.h"

namespace clitest {
namespace {

const std::vector<std::string> kInfoFields = {"port",         "device",        "baud",          "address",  "check_mode",
                                              "model",        "model_index",   "model_string",
                                              "serial_number", "firmware",     "fpga"};

// "Name<blanks>value" lines of the text output.
std::string ValueOf(const std::string& out, const std::string& name) {
  for (const std::string& line : Lines(out)) {
    if (line.rfind(name, 0) != 0 || line.size() <= name.size() || line[name.size()] != ' ') continue;
    const size_t at = line.find_first_not_of(' ', name.size());
    return at == std::string::npos ? "" : line.substr(at);
  }
  return "<missing " + name + ">";
}

TEST_F(CliTest, InfoOfASimulatedSensor) {
  const ProcessResult r = Run({"--simulate", "KRV02", "info"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_EQ(r.err, QuietRun("KRV02"));
  EXPECT_EQ(ValueOf(r.out, "Model String:"), "0 M7-30-6");
  EXPECT_EQ(ValueOf(r.out, "Model"), "KRV02");
  EXPECT_EQ(ValueOf(r.out, "Address"), "1");
  EXPECT_EQ(ValueOf(r.out, "Sensor baudrate"), "57600");
  EXPECT_EQ(ValueOf(r.out, "Error checking mode"), "Checksum");
  EXPECT_NE(ValueOf(r.out, "Firmware:").find('.'), std::string::npos);
}

TEST_F(CliTest, InfoJsonOfACrcSensorHasExactlyTheFields) {
  sim::SensorConfig config = Sensor("O QMT2000", 1, 4);
  config.serial = "QS123456";
  StartSensor(config);
  sensor_->Mutate([](sim::SensorState& s) {
    s.firmwareVersion = 250;
    s.revision = 'D';
    s.fpgaVersion = 12;
  });
  const ProcessResult r = RunOnSensor({"--address", "4", "--json", "info"});
  EXPECT_EQ(r.exitCode, kOk);
  // The quiet first attempt in checksum mode leaves no line.
  EXPECT_EQ(r.err, QuietRun("Qmt Short"));
  const Json j = OneObject(r);
  EXPECT_EQ(j.Keys(), kInfoFields);
  EXPECT_EQ(j["port"].text, sensor_->SlavePath());
  EXPECT_TRUE(j["baud"].IsNumber());
  EXPECT_EQ(j["baud"].Int(), 57600);
  EXPECT_EQ(j["address"].Int(), 4);
  EXPECT_EQ(j["check_mode"].text, "crc");
  EXPECT_EQ(j["model"].text, "Qmt Short");
  EXPECT_TRUE(j["model_index"].IsNumber());
  EXPECT_EQ(j["model_index"].Int(), 3);
  EXPECT_EQ(j["model_string"].text, "O QMT2000");
  EXPECT_EQ(j["serial_number"].text, "QS123456");
  EXPECT_EQ(j["firmware"].text, "2.50D");
  EXPECT_EQ(j["fpga"].text, " 1.2");
}

TEST_F(CliTest, InfoJsonOfAChecksumSensor) {
  const ProcessResult r = Run({"--simulate", "KRV04 Board Flipper", "--json", "info"});
  EXPECT_EQ(r.exitCode, kOk);
  const Json j = OneObject(r);
  EXPECT_EQ(j.Keys(), kInfoFields);
  EXPECT_EQ(j["check_mode"].text, "checksum");
  EXPECT_EQ(j["model"].text, "KRV04 Board Flipper");
  EXPECT_EQ(j["model_index"].Int(), 4);
  EXPECT_EQ(j["model_string"].text, "0 M3-9-6BF");
}

TEST_F(CliTest, NoSensorOnThePortFailsWithExitOne) {
  for (const std::vector<std::string>& extra : {std::vector<std::string>{}, std::vector<std::string>{"--json"}}) {
    std::vector<std::string> args = {"--port", dir_.File("ttyMissing")};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("info");
    const ProcessResult r = Run(args);
    EXPECT_EQ(r.exitCode, kFailed);
    EXPECT_EQ(r.err, "error: Cannot connect to the sensor...\nnote: Disconnected...\nerror: No such device: " +
                         dir_.File("ttyMissing") +
                         ". Check that the adapter is plugged in and the port is the right one.\nok: Close\n");
    if (extra.empty()) {
      EXPECT_EQ(r.out, "");
    } else {
      ExpectErrorObject(r, kFailed, "Cannot connect to the sensor... No such device: " + dir_.File("ttyMissing"));
    }
  }
  // The bus scan opens the port itself: a port that does not open is said,
  // with no table and no "0 sensors found" before it.
  for (const std::vector<std::string>& extra : {std::vector<std::string>{}, std::vector<std::string>{"--json"}}) {
    std::vector<std::string> args = {"--port", dir_.File("ttyMissing"), "bus-scan", "--to", "3"};
    args.insert(args.end(), extra.begin(), extra.end());
    const ProcessResult r = Run(args);
    EXPECT_EQ(r.exitCode, kFailed);
    EXPECT_EQ(r.err.rfind("bus-scan: cannot open " + dir_.File("ttyMissing"), 0), 0u) << r.err;
    if (extra.empty()) {
      EXPECT_EQ(r.out, "");
    } else {
      ExpectErrorObject(r, kFailed, "bus-scan: cannot open " + dir_.File("ttyMissing"));
    }
  }
}

TEST_F(CliTest, UnknownModelStringIsRefusedOutsideManufacturingMode) {
  const ProcessResult r = Run({"--simulate", "0 M7-30-6X", "--json", "info"});
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_EQ(r.err, "error: Connected to the sensor, but the model name is unknown.\nnote: Disconnected...\nok: Close\n");
  ExpectErrorObject(r, kFailed, "Connected to the sensor, but the model name is unknown.");
}

TEST_F(CliTest, UnknownModelStringConnectsAsKRV02InManufacturingMode) {
  const ProcessResult r = Run({"--manufacturing", "--simulate", "0 M7-30-6X", "--json", "info"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_EQ(r.err,
            "error: Sensor responded with unknown model string.Since in manufacturing mode initializing as KRV02.\n" +
                QuietRun("KRV02"));
  const Json j = OneObject(r);
  EXPECT_EQ(j["model"].text, "KRV02");
  EXPECT_EQ(j["model_index"].Int(), 0);
  EXPECT_EQ(j["model_string"].text, "0 M7-30-6X");
}

TEST_F(CliTest, OptionsNotGivenTakeTheStoredSettings) {
  StartSensor([] {
    sim::SensorConfig c = Sensor("KRV02", 0, 3);
    c.baudRate = 38400;
    return c;
  }());
  ASSERT_TRUE(testsupport::WriteWholeFile(Ini(), "[Serial Settings]\nPort=5\nBaudrate=38400\nAddress=3\n"
                                                 "Read timeout=100\nWrite timeout=100\n\n"
                                                 "[Port Map]\nCOM5=" +
                                                     sensor_->SlavePath() + "\n\n"));
  ProcessResult r = Run({"--json", "info"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  Json j = OneObject(r);
  EXPECT_EQ(j["port"].text, "COM5");
  EXPECT_EQ(j["baud"].Int(), 38400);
  EXPECT_EQ(j["address"].Int(), 3);
  EXPECT_EQ(trace_.CountLabel("rx-garbled"), 0u);

  // COMn through the port map; a successful open stores what it used.
  r = Run({"--port", "com5", "--read-timeout", "200", "--write-timeout", "300", "--json", "info"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(OneObject(r)["port"].text, "COM5");
  EXPECT_EQ(StoredInteger("Read timeout"), 200);
  EXPECT_EQ(StoredInteger("Write timeout"), 300);
  EXPECT_EQ(StoredInteger("Port"), 5);
  EXPECT_EQ(StoredInteger("Baudrate"), 38400);
  // The port map is kept.
  EXPECT_NE(testsupport::ReadWholeFile(Ini()).find("COM5=" + sensor_->SlavePath()), std::string::npos);

  // A wrong address finds nobody, and is stored all the same.
  r = Run({"--address", "4", "info"});
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_EQ(r.err,
            "error: Cannot connect to the sensor...\nnote: Disconnected...\nerror: No answer from a sensor at "
            "address 4 and 38400 bit/s, in checksum mode nor in CRC mode. Check the wiring, the address and the "
            "baud rate.\nok: Close\n");
  EXPECT_EQ(StoredInteger("Address"), 4);
}

TEST_F(CliTest, SimulationLeavesTheSettingsFileAlone) {
  ASSERT_TRUE(testsupport::WriteWholeFile(Ini(), "[Serial Settings]\nPort=2\nBaudrate=19200\nAddress=6\n"
                                                 "Read timeout=100\nWrite timeout=100\n\n"));
  const std::string before = testsupport::ReadWholeFile(Ini());
  const ProcessResult r = Run({"--simulate", "KRV02", "--address", "1", "--baud", "57600", "info"});
  EXPECT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(testsupport::ReadWholeFile(Ini()), before);
}

TEST_F(CliTest, PortsListsThePortMapWithoutConnecting) {
  ASSERT_TRUE(testsupport::WriteWholeFile(Ini(), "[Port Map]\nCOM5=/dev/pts/77\nCOM12=/dev/ttyUSB7\n\n"));
  ProcessResult r = Run({"ports"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("  COM5  /dev/pts/77\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  COM12  /dev/ttyUSB7\n"), std::string::npos) << r.out;

  r = Run({"--json", "ports"});
  EXPECT_EQ(r.exitCode, kOk);
  const Json j = OneObject(r);
  const Json& map = j["port_map"];
  ASSERT_TRUE(map.IsArray());
  ASSERT_EQ(map.items.size(), 2u);
  EXPECT_EQ(map.items[0]["name"].text, "COM5");
  EXPECT_EQ(map.items[0]["device"].text, "/dev/pts/77");
  EXPECT_EQ(map.items[1]["name"].text, "COM12");
  EXPECT_EQ(map.items[1]["device"].text, "/dev/ttyUSB7");
}

TEST_F(CliTest, BadUsageExitsWithTwoBeforeConnecting) {
  StartSensor(Sensor("KRV02"));
  const std::vector<std::vector<std::string>> cases = {
      {"info", "extra"},
      {"frobnicate"},
      {"--baud", "1200", "info"},
      {"--baud", "fast", "info"},
      {"--address", "256", "info"},
      {"--read-timeout", "-5", "info"},
      {"--bogus", "info"},
      {"scan", "sideways"},
      {"laser", "dim"},
      {"check-mode", "parity"},
      {"set", "Threshold"},
      {"watch", "--count", "0"},
      {"scan-buffer", "10", "--append"},
  };
  for (const auto& args : cases) {
    const ProcessResult r = RunOnSensor(args);
    EXPECT_EQ(r.exitCode, kUsage) << args.back();
    EXPECT_EQ(r.out, "") << args.back();
    EXPECT_FALSE(r.err.empty()) << args.back();
    // No connect was tried.
    EXPECT_EQ(r.err.find("Disconnected..."), std::string::npos) << args.back() << ": " << r.err;
  }
  const ProcessResult none = Run({});
  EXPECT_EQ(none.exitCode, kUsage);
  EXPECT_EQ(sensor_->Snapshot().activity.framesReceived, 0u);
  EXPECT_EQ(trace_.size(), 0u);
}

// The options' refusals are the engine's texts, the desktop program's too.
TEST_F(CliTest, OptionRefusalsAreTheEnginesTexts) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--baud", "1200", "info"}, "tarkon-cli: --baud takes 9600, 19200, 38400 or 57600, not \"1200\""},
      {{"--address", "256", "info"}, "tarkon-cli: --address \"256\": Please enter an integer between 0 and 255."},
      {{"watch", "--count", "0"}, "tarkon-cli: --count needs a positive whole number, not \"0\""},
      {{"watch", "--interval", "100"},
       "tarkon-cli: --interval needs a whole number of milliseconds from 250 (the poll period) up, not \"100\""},
      {{"bus-scan", "--budget", "10001"},
       "tarkon-cli: --budget needs a whole number of milliseconds from 1 to 10000, not \"10001\""},
      // A port text that holds more than a port is no other port.
      {{"--port", "COM1x", "info"},
       "tarkon-cli: --port: \"COM1x\" names no serial port: \"x\" follows the port number; give COMn or a device "
       "path such as /dev/ttyUSB0."},
      {{"--port", "COM2 junk", "bus-scan"},
       "tarkon-cli: --port: \"COM2 junk\" names no serial port: \" junk\" follows the port number; give COMn or a "
       "device path such as /dev/ttyUSB0."},
      {{"--port", "COM99999999999", "info"},
       "tarkon-cli: --port: \"COM99999999999\" names no serial port: port numbers run from 1 to 256; give COMn or a "
       "device path such as /dev/ttyUSB0."},
      {{"--port", "COM0", "restore", "x.json", "--bus"},
       "tarkon-cli: --port: \"COM0\" names no serial port: port numbers run from 1 to 256; give COMn or a device "
       "path such as /dev/ttyUSB0."},
  };
  for (const auto& [args, line] : cases) {
    const ProcessResult r = Run(args);
    EXPECT_EQ(r.exitCode, kUsage) << line;
    const std::vector<std::string> lines = Lines(r.err);
    ASSERT_FALSE(lines.empty()) << line;
    EXPECT_EQ(lines[0], line);
  }
}

TEST_F(CliTest, HelpGoesToStandardOutput) {
  const ProcessResult r = Run({"--help"});
  EXPECT_EQ(r.exitCode, kOk);
  EXPECT_NE(r.out.find("usage: tarkon-cli"), std::string::npos);
  EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace clitest
