// tarkon-cli for people and scripts: a conventional command line, JSON
// for every command, and the connection values it chooses.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "protocol/command_ids.h"

namespace clitest {
namespace {

using Strings = std::vector<std::string>;

struct LineCase {
  Strings args;
  int exit;
  std::string outPart;  // expected in standard output
  std::string errPart;  // expected in standard error
};

TEST_F(CliTest, ConventionalCommandLine) {
  const std::string hint = "Try 'tarkon-cli --help' for more information.";
  const std::vector<LineCase> cases = {
      // Options after the command, --opt=value, words in any case.
      {{"info", "--simulate", "KRV04", "--json"}, kOk, "\"model\":\"KRV04\"", ""},
      {{"INFO", "--simulate=Qmt Short", "--address=1"}, kOk, "Qmt Short", ""},
      {{"--simulate", "KRV02", "check-mode", "CRC", "--json"}, kOk, "{\"check_mode\":\"crc\"}", ""},
      {{"--simulate", "KRV02", "Laser", "OFF", "--json"}, kOk, "{\"laser\":\"off\"}", ""},
      {{"--simulate", "KRV02", "set", "THRESHOLD", "45", "--quiet"}, kOk, "THRESHOLD  45", "<nothing>"},
      // Help, per command and whole, and the version.
      {{"set", "--help"}, kOk, "usage: tarkon-cli [OPTIONS] set NAME VALUE\n", ""},
      {{"watch", "-h"}, kOk, "--interval MS", ""},
      {{"help", "upload"}, kOk, "Needs --manufacturing.", ""},
      {{"--help"}, kOk, "exit status:\n  0  success\n  1  no connection, or a command failed\n", ""},
      {{"--version"}, kOk, "tarkon-cli ", ""},
      // Usage errors: one line and the pointer to --help.
      {{"frobnicate"}, kUsage, "", "tarkon-cli: unknown command \"frobnicate\"\n" + hint + "\n"},
      {{"info", "--count", "3"}, kUsage, "", "tarkon-cli: --count belongs to watch, not to info\n" + hint + "\n"},
      {{"--json=yes", "info"}, kUsage, "", "tarkon-cli: option --json takes no value\n" + hint + "\n"},
      {{"watch", "--interval", "100"}, kUsage, "", "from 250"},
      {{"check-mode", "parity"}, kUsage, "", "check-mode takes checksum|crc, not \"parity\"\n"},
      // The bus scan window's check and text.
      {{"bus-scan", "--from", "9", "--to", "3"},
       kUsage,
       "",
       "tarkon-cli: bus-scan: the first address must not be above the last\n" + hint + "\n"},
      // 0 goes out as the window's address dialog sends it; the sensor keeps
      // its own address, read back, so the change is not verified.
      {{"--simulate", "KRV02", "address", "0"}, kFailed, "Address  1\n", ""},
  };
  for (const LineCase& c : cases) {
    const ProcessResult r = Run(c.args);
    const std::string what = c.args.front() + " " + c.args.back();
    EXPECT_EQ(r.exitCode, c.exit) << what << "\n" << r.err;
    EXPECT_NE(r.out.find(c.outPart), std::string::npos) << what << "\n" << r.out;
    if (c.exit == kUsage && c.args.front() != "--simulate") {
      EXPECT_EQ(r.err.find("usage:"), std::string::npos) << what;
      EXPECT_LE(Lines(r.err).size(), 2u) << what << "\n" << r.err;
    }
    if (c.errPart == "<nothing>") {
      EXPECT_EQ(r.err, "") << what;  // --quiet: no ok: and note: lines
    } else if (c.errPart.size() > 0 && c.errPart.back() == '\n' && c.errPart.rfind("tarkon-cli:", 0) == 0) {
      EXPECT_EQ(r.err, c.errPart) << what;
    } else {
      EXPECT_NE(r.err.find(c.errPart), std::string::npos) << what << "\n" << r.err;
    }
  }
}

TEST_F(CliTest, InfoNamesTheDeviceAComPortResolvedTo) {
  StartSensor(Sensor("KRV02"));
  ASSERT_TRUE(testsupport::WriteWholeFile(Ini(), "[Port Map]\nCOM7=" + sensor_->SlavePath() + "\n\n"));
  ProcessResult r = Run({"--port", "com7", "info"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(Lines(r.out)[0], "Port                 COM7 (" + sensor_->SlavePath() + ")");
  r = Run({"--port", "COM7", "--json", "info"});
  const Json j = OneObject(r);
  EXPECT_EQ(j["port"].text, "COM7");
  EXPECT_EQ(j["device"].text, sensor_->SlavePath());
}

struct JsonCase {
  Strings args;
  Strings keys;
};

// Every command's --json output is one object with its fields; a failure
// is the error object.
TEST_F(CliTest, EveryCommandAnswersInJson) {
  const std::string image = dir_.File("table.cal");
  ASSERT_TRUE(testsupport::WriteWholeFile(image, std::string(300, 'x')));
  const std::vector<JsonCase> cases = {
      {{"info"}, {"port", "device", "baud", "address", "check_mode", "model", "model_index", "model_string",
                  "serial_number", "firmware", "fpga"}},
      {{"settings"}, {"rows"}},
      {{"set", "Threshold", "45"}, {"name", "value", "number", "unit"}},
      {{"state"}, {"rows"}},
      {{"errors"}, {"rows"}},
      {{"scan", "start"}, {"scan"}},
      {{"scan", "stop"}, {"scan"}},
      {{"scan", "filter"}, {"rows"}},
      {{"laser", "on"}, {"laser"}},
      {{"scan-buffer", "0"}, {"count", "ranges"}},
      {{"address", "7"}, {"address", "serial_number"}},
      {{"baud", "38400"}, {"baud"}},
      {{"check-mode", "crc"}, {"check_mode"}},
      {{"defaults", "--yes"}, {"defaults"}},
      {{"ports"}, {"ports", "port_map", "settings_file"}},
      {{"reset"}, {"reset"}},
      {{"serial-number", "K7654321"}, {"serial_number"}},
      {{"model-name", "0 M7-30-6"}, {"model_string"}},
      {{"upload", "--yes", "cal", image},
       {"status", "bytes", "result", "text", "meaning", "what_to_do", "blocks_sent", "blocks", "retries", "seconds",
        "flash_locked", "backup", "backup_error", "firmware_before", "firmware_after", "settings_compared",
        "settings_changed"}},
      {{"set", "Threshold", "300"}, {"error"}},
      {{"set", "Threshold", "x1"}, {"error"}},
      {{"scan-buffer", "100000"}, {"error"}},
  };
  for (const JsonCase& c : cases) {
    Strings args = {"--simulate", "KRV02", "--manufacturing", "--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProcessResult r = Run(args);
    // upload prints its plan and progress steps before its result.
    const Json j = c.args[0] == "upload" ? LastObject(r) : OneObject(r);
    EXPECT_EQ(j.Keys(), c.keys) << c.args[0] << ": " << r.out;
    EXPECT_EQ(r.exitCode, c.keys[0] == "error" ? kUsage : kOk) << c.args[0] << ": " << r.err;
    if (j.Has("rows")) {
      const Pairs rows = Rows(j);
      EXPECT_FALSE(rows.empty()) << c.args[0];
    }
  }
  // watch: one object per poll, each with its time stamp.
  const ProcessResult r = Run({"--simulate", "KRV04", "--json", "watch", "--count", "2"});
  EXPECT_EQ(r.exitCode, kOk);
  const Strings lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  for (size_t i = 0; i < 2; ++i) {
    const auto poll = JsonReader::ParseOne(lines[i]);
    ASSERT_TRUE(poll.has_value()) << lines[i];
    EXPECT_EQ(poll->Keys(), (Strings{"poll", "time", "rows"}));
    EXPECT_EQ((*poll)["poll"].Int(), static_cast<int64_t>(i + 1));
  }
}

// What the connection uses when the command line does not say.
TEST_F(CliTest, ConnectionValuesForSimulationAndCheckMode) {
  // A stored address and rate of an earlier real sensor do not reach the
  // virtual sensor.
  ASSERT_TRUE(testsupport::WriteWholeFile(Ini(), "[Serial Settings]\nPort=2\nBaudrate=9600\nAddress=9\n"
                                                 "Read timeout=100\nWrite timeout=100\n\n"));
  ProcessResult r = Run({"--simulate", "KRV04", "--json", "info"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(OneObject(r)["address"].Int(), 1);
  EXPECT_EQ(OneObject(r)["baud"].Int(), 57600);

  // --check-mode names the mode tried first: a CRC sensor then sees no
  // checksum frame (which it would count as a check error), a checksum
  // sensor still answers after the CRC attempt.
  struct ModeCase {
    int32_t sensorMode;
    Strings option;
    bool wrongModeFrameSeen;
  };
  const std::vector<ModeCase> modes = {
      {1, {}, true}, {1, {"--check-mode", "crc"}, false}, {0, {"--check-mode=CRC"}, true}, {0, {}, false}};
  std::remove(Ini().c_str());  // the stored address 9 would find no sensor
  for (const ModeCase& m : modes) {
    StartSensor(Sensor("KRV02", m.sensorMode));
    Strings args = m.option;
    args.insert(args.end(), {"--json", "info"});
    r = RunOnSensor(args);
    ASSERT_EQ(r.exitCode, kOk) << r.err;
    EXPECT_EQ(OneObject(r)["check_mode"].text, m.sensorMode == 1 ? "crc" : "checksum");
    EXPECT_EQ(sensor_->Snapshot().errors.checkErrors > 0, m.wrongModeFrameSeen) << m.sensorMode;
  }
}

}  // namespace
}  // namespace clitest
