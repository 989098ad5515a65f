// Several virtual sensors on one line, described as sensor-sim's --sensor
// options describe them, each answering tarkon-cli at its own address in
// its own check mode; conflicting descriptions are refused.

#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "sim/sim_options.h"
#include "sim/virtual_line.h"

namespace clitest {
namespace {

sim::ParseResult Parse(const std::vector<std::string>& args, sim::SimOptions& options, std::string& error) {
  std::vector<const char*> argv = {"sensor-sim"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  return sim::ParseSimOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST_F(CliTest, TwoSensorsOnOneLineAnswerAtTheirAddresses) {
  sim::SimOptions options;
  std::string error;
  ASSERT_EQ(Parse({"--sensor", "KRV04,address=3", "--sensor=KRV02,address=5,check-mode=crc,serial=B5"}, options,
                  error),
            sim::ParseResult::kRun)
      << error;
  sim::VirtualLine line(trace_.Line());
  for (const sim::SensorConfig& config : sim::LineSensors(options)) line.Attach(config);
  ASSERT_TRUE(line.Start()) << line.LastError();

  struct Expected {
    std::vector<std::string> args;
    std::string model;
    std::string checkMode;
  };
  const std::vector<Expected> sensors = {{{"--address", "3"}, "KRV04", "checksum"},
                                         {{"--address", "5", "--check-mode", "crc"}, "KRV02", "crc"}};
  for (const Expected& e : sensors) {
    std::vector<std::string> args = {"--port", line.SlavePath(), "--json", "info"};
    args.insert(args.end(), e.args.begin(), e.args.end());
    const ProcessResult r = Run(args);
    ASSERT_EQ(r.exitCode, kOk) << r.err;
    const Json j = OneObject(r);
    EXPECT_EQ(j["model"].text, e.model);
    EXPECT_EQ(j["check_mode"].text, e.checkMode);
    EXPECT_EQ(j["address"].Int(), std::stoi(e.args[1]));
  }
  EXPECT_EQ(OneObject(Run({"--port", line.SlavePath(), "--address", "5", "--json", "info"}))["serial_number"].text,
            "B5");
  // No sensor at address 4.
  EXPECT_EQ(Run({"--port", line.SlavePath(), "--address", "4", "info"}).exitCode, kFailed);
}

TEST(SensorSimOptions, ConflictingOrRepeatedOptionsAreRefused) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--sensor", "KRV04,address=3", "--sensor", "KRV02,address=3"}, "address 3 is already taken"},
      {{"--sensor", "KRV04", "--sensor", "KRV02"}, "address 1 is already taken"},
      {{"--sensor", "KRV04,address=3,address=4"}, "address given twice"},
      {{"--sensor", "KRV04,colour=red"}, "unknown sensor key 'colour'"},
      {{"--sensor", "KRV04,address=300"}, "address must be 1..255"},
      {{"--sensor", "KRV04,address=3", "--address", "4"}, "cannot be mixed"},
      {{"--model", "KRV04", "--model", "KRV02"}, "--model given twice"},
      {{"--baud", "9600", "--baud=19200"}, "--baud given twice"},
  };
  for (const auto& [args, message] : cases) {
    sim::SimOptions options;
    std::string error;
    EXPECT_EQ(Parse(args, options, error), sim::ParseResult::kError) << args[1];
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace clitest
