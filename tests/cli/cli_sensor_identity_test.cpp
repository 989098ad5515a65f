// A sensor's identity whose reply was lost on the line: info fails and names
// what is missing, and nothing records a blank serial number as the
// sensor's (a backup asks again and saves the serial number it then gets).

#include <algorithm>
#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "protocol/command_ids.h"

namespace clitest {
namespace {

class CliIdentityTest : public CliTest {
 protected:
  // The number of the reply that answers `command` in a connect of `info`
  // (each query of a checksum-mode sensor gets one reply), learnt from a
  // run on a sensor that loses nothing.
  size_t ReplyOf(const std::string& model, int command) {
    StartSensor(Sensor(model));
    trace_.Clear();
    EXPECT_EQ(RunOnSensor({"info"}).exitCode, kOk);
    const std::vector<int> commands = trace_.Commands();
    const auto at = std::find(commands.begin(), commands.end(), command);
    EXPECT_NE(at, commands.end());
    return static_cast<size_t>(at - commands.begin()) + 1;
  }
  // A sensor that loses that one reply.
  void StartLosing(const std::string& model, size_t reply) {
    sim::SensorConfig config = Sensor(model);
    config.faults.rule(sim::FaultKind::kDrop).atReplies = {reply};
    StartSensor(config);
    trace_.Clear();
  }
};

TEST_F(CliIdentityTest, InfoFailsAndNamesWhatWasNotRead) {
  const struct {
    std::string model;
    int command;
    std::string missing;
    std::string row;  // the text row that shows the gap
  } cases[] = {
      {"KRV04", cmd::GetSerialNum, "the serial number was not read (GetSerialNum got no answer)",
       "Serial number        (serial number not read)"},
      {"KRV04", cmd::GetKRV04Version, "the firmware and FPGA versions were not read (GetKRV04Version got no answer)",
       "Firmware:            (not read)"},
      {"KRV02", cmd::GetVersion, "the firmware and FPGA versions were not read (GetVersion got no answer)",
       "FPGA version         (not read)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.missing);
    const size_t reply = ReplyOf(c.model, c.command);
    StartLosing(c.model, reply);
    ProcessResult r = RunOnSensor({"--json", "info"});
    EXPECT_EQ(r.exitCode, kFailed) << r.err;
    ExpectErrorObject(r, kFailed, "info: the identity of the " + c.model + " is incomplete: " + c.missing);

    StartLosing(c.model, reply);
    r = RunOnSensor({"info"});
    EXPECT_EQ(r.exitCode, kFailed);
    EXPECT_NE(r.out.find(c.row + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.missing), std::string::npos) << r.err;
  }
}

TEST_F(CliIdentityTest, ABackupAsksForALostSerialNumberAgainAndNeverSavesItBlank) {
  const size_t reply = ReplyOf("KRV04", cmd::GetSerialNum);
  StartLosing("KRV04", reply);
  const std::string file = dir_.File("k4.json");
  const ProcessResult r = RunOnSensor({"--json", "backup", file});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  EXPECT_EQ(OneObject(r)["serial_number"].text, "K4030961");
  EXPECT_NE(testsupport::ReadWholeFile(file).find("\"serial_number\": \"K4030961\""), std::string::npos);
  EXPECT_EQ(trace_.CountCommand(cmd::GetSerialNum), 2u);  // the connect's, lost, and the one asked again
}

}  // namespace
}  // namespace clitest
