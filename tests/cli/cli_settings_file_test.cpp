// What tarkon-cli stores in the settings file and reads back on the next
// start: port numbers versus device paths, time-outs the port cannot use,
// and the document's last log line.

#include <algorithm>
#include <string>
#include <vector>

#include "cli/cli_test_support.h"

namespace clitest {
namespace {

class CliSettingsFileTest : public CliTest {
 protected:
  // The "key=value" lines of section [Serial Settings], in file order.
  std::vector<std::string> SerialSection() {
    std::vector<std::string> lines;
    bool inside = false;
    for (const std::string& line : Lines(testsupport::ReadWholeFile(Ini()))) {
      if (!line.empty() && line[0] == '[') {
        inside = line == "[Serial Settings]";
        continue;
      }
      if (inside && !line.empty()) lines.push_back(line);
    }
    return lines;
  }
  void WriteIni(const std::string& serial, const std::string& portMap) {
    ASSERT_TRUE(testsupport::WriteWholeFile(
        Ini(), "[Serial Settings]\n" + serial + "\n[Port Map]\n" + portMap + "\n"));
  }
  static std::vector<std::string> Section(const std::string& port, const std::string& timeouts = "100",
                                          const std::string& device = "") {
    std::vector<std::string> lines = {"Port=" + port, "Baudrate=57600", "Address=1",
                                      "Read timeout=" + timeouts, "Write timeout=" + timeouts};
    if (!device.empty()) lines.push_back("Device=" + device);
    return lines;
  }
};

// A connection by COMn stores the port number only, after the connect and
// after a baud or address change, so a changed port map takes effect.
TEST_F(CliSettingsFileTest, ConnectionByPortNumberNeverStoresTheResolvedDevice) {
  sim::VirtualSensor deviceA(Sensor("KRV02"));
  sim::VirtualSensor deviceB(Sensor("KRV04"));
  ASSERT_TRUE(deviceA.Start() && deviceB.Start());
  WriteIni("", "COM5=" + deviceA.SlavePath() + "\n");

  ProcessResult r = Run({"--port", "COM5", "info"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(SerialSection(), Section("5"));
  r = Run({"baud", "57600"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(SerialSection(), Section("5"));
  r = Run({"address", "1"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(SerialSection(), Section("5"));

  WriteIni("Port=5\nBaudrate=57600\nAddress=1\nRead timeout=100\nWrite timeout=100\n",
           "COM5=" + deviceB.SlavePath() + "\n");
  r = Run({"--json", "info"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(OneObject(r)["model"].text, "KRV04");
  EXPECT_EQ(deviceB.Snapshot().activity.framesReceived > 0, true);
}

// A connection by device path keeps the stored port number, after the
// connect and after a change alike.
TEST_F(CliSettingsFileTest, ConnectionByPathKeepsTheStoredPortNumber) {
  StartSensor(Sensor("KRV02"));
  WriteIni("Port=7\n", "");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"info"}, {"baud", "57600"}, {"address", "1"}}) {
    const ProcessResult r = RunOnSensor(args);
    ASSERT_EQ(r.exitCode, kOk) << args[0] << ": " << r.err;
    EXPECT_EQ(SerialSection(), Section("7", "100", sensor_->SlavePath())) << args[0];
  }
}

// Stored time-outs beyond what the port takes are clamped for the port,
// and their text stays as the user wrote it.
TEST_F(CliSettingsFileTest, HugeStoredTimeoutsStillConnectAndStayAsWritten) {
  StartSensor(Sensor("KRV02"));
  for (const std::string timeout : {"2147483648", "-1", "4294967295"}) {
    WriteIni("Port=3\nBaudrate=57600\nAddress=1\nRead timeout=" + timeout + "\nWrite timeout=" + timeout + "\n",
             "COM3=" + sensor_->SlavePath() + "\n");
    ProcessResult r = Run({"info"});
    EXPECT_EQ(r.exitCode, kOk) << timeout << ": " << r.err;
    EXPECT_EQ(SerialSection(), Section("3", timeout)) << timeout;
    r = Run({"baud", "57600"});
    EXPECT_EQ(r.exitCode, kOk) << timeout << ": " << r.err;
    EXPECT_EQ(SerialSection(), Section("3", timeout)) << timeout;
  }
}

// Once no device path is in use, the section holds exactly its five keys.
TEST_F(CliSettingsFileTest, ConnectionByPortNumberAfterOneByPathDropsTheDeviceKey) {
  StartSensor(Sensor("KRV02"));
  WriteIni("Port=4\n", "COM4=" + sensor_->SlavePath() + "\n");
  ProcessResult r = RunOnSensor({"info"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(SerialSection(), Section("4", "100", sensor_->SlavePath()));
  r = Run({"--port", "COM4", "info"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(SerialSection(), Section("4"));
}

// The document's "Close" is the last log line of every run: connected,
// failed to connect, simulated.
TEST_F(CliSettingsFileTest, CloseIsTheLastLogLineOfEveryRun) {
  StartSensor(Sensor("KRV02"));
  const std::vector<std::vector<std::string>> runs = {
      {"--port", sensor_->SlavePath(), "info"},
      {"--port", dir_.File("ttyMissing"), "info"},
      {"--simulate", "KRV04", "settings"},
  };
  for (const auto& args : runs) {
    const ProcessResult r = Run(args);
    const std::vector<std::string> lines = Lines(r.err);
    ASSERT_GE(lines.size(), 2u) << r.err;
    EXPECT_EQ(lines.back(), kCloseLine) << args[1];
    // A failed connect ends with the line that says why, after "Disconnected...".
    const bool failed = r.exitCode != kOk;
    ASSERT_GE(lines.size(), failed ? 3u : 2u) << r.err;
    EXPECT_EQ(lines[lines.size() - (failed ? 3 : 2)], kDisconnectedLine) << args[1];
    if (failed) {
      EXPECT_EQ(lines[lines.size() - 2].rfind("error: No such device: ", 0), 0u) << r.err;
    }
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(kCloseLine)), 1) << args[1];
  }
  // A port that does not open stores nothing.
  EXPECT_EQ(SerialSection(), Section("1", "100", sensor_->SlavePath()));
}

// A file named as the settings file that is no INI file (a settings backup
// named by mistake, a binary file, a notes file) is read as nothing and left
// byte for byte as it was, with the reason said once.
TEST_F(CliSettingsFileTest, AFileThatIsNoIniFileIsLeftAlone) {
  StartSensor(Sensor("KRV04"));
  const std::string backup = dir_.File("k4copy.json");
  ASSERT_EQ(Run({"--simulate", "KRV04", "backup", backup}).exitCode, kOk);
  const struct {
    std::string path;
    std::string content;  // empty: as it is
    std::string why;
  } cases[] = {
      {backup, "", "it is a JSON file, not an INI file"},
      {dir_.File("image.bin"), std::string("\x7f" "ELF\x02\x01\x01\0\0\0[Serial Settings]\n", 28), "it holds binary data"},
      {dir_.File("notes.txt"), "Port 3 is the one by the door.\n", "it holds no [section] line of an INI file"},
  };
  for (const auto& c : cases) {
    if (!c.content.empty()) {
      ASSERT_TRUE(testsupport::WriteWholeFile(c.path, c.content));
    }
    const std::string before = testsupport::ReadWholeFile(c.path);
    const ProcessResult r = testsupport::RunProcess({TARKON_CLI_PATH, "--settings", c.path, "--port",
                                                     sensor_->SlavePath(), "info"});
    EXPECT_EQ(r.exitCode, kOk) << r.err;
    EXPECT_NE(r.err.find("note: " + c.path + " is not read as a settings file (" + c.why +
                         "); it is left as it is and the defaults are used\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(testsupport::ReadWholeFile(c.path), before) << c.path;
  }
  // The backup is still one that restore takes.
  EXPECT_EQ(Run({"--simulate", "KRV04", "restore", backup, "--dry-run"}).exitCode, kOk);
}

}  // namespace
}  // namespace clitest
