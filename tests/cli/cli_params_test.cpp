// tarkon-cli params, edit and restore --only end to end.

#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "protocol/command_ids.h"

namespace clitest {
namespace {

TEST_F(CliTest, ParamsListsEverySettingWithUnitRangeAndGroup) {
  StartSensor(Sensor("KRV04"));
  const ProcessResult r = RunOnSensor({"--json", "params"});
  ASSERT_EQ(r.exitCode, kOk) << r.err;
  const Json j = OneObject(r);
  const Json& list = j["parameters"];
  ASSERT_TRUE(list.IsArray());
  ASSERT_EQ(list.items.size(), 11u);  // mode, 8 shared, hold and its count
  bool sawThreshold = false;
  for (const Json& row : list.items) {
    EXPECT_EQ(row.Keys(), (std::vector<std::string>{"name", "value", "number", "unit", "min", "max", "group"}));
    EXPECT_FALSE(row["group"].text.empty()) << row["name"].text;
    if (row["name"].text != "Threshold") continue;
    sawThreshold = true;
    EXPECT_EQ(row["min"].number, 0);
    EXPECT_EQ(row["max"].number, 255);
    EXPECT_EQ(row["number"].number, sensor_->Snapshot().settings.threshold);
  }
  EXPECT_TRUE(sawThreshold);
  const ProcessResult text = RunOnSensor({"params"});
  EXPECT_EQ(text.exitCode, kOk);
  EXPECT_EQ(Lines(text.out)[0].rfind("Name", 0), 0u) << text.out;
}

TEST_F(CliTest, EditRefusalLeavesTheFileByteIdenticalAndRestoreOnlyAppliesTheNamedSettings) {
  StartSensor(Sensor("KRV02"));
  const std::string file = dir_.File("krv02.json");
  ASSERT_EQ(RunOnSensor({"backup", file}).exitCode, kOk);
  const std::string before = testsupport::ReadWholeFile(file);

  const ProcessResult refused = Run({"edit", file, "Threshold", "300"});
  EXPECT_EQ(refused.exitCode, kUsage);
  EXPECT_NE(refused.err.find("Thresholdmust be between 0 and 255"), std::string::npos) << refused.err;
  EXPECT_EQ(testsupport::ReadWholeFile(file), before);
  EXPECT_EQ(Run({"edit", file, "No Such", "1"}).exitCode, kUsage);
  EXPECT_EQ(testsupport::ReadWholeFile(file), before);

  ASSERT_EQ(Run({"edit", file, "Threshold", "42"}).exitCode, kOk);
  ASSERT_EQ(Run({"edit", file, "Min. Laser Power", "17"}).exitCode, kOk);
  EXPECT_NE(testsupport::ReadWholeFile(file), before);
  // The edits ran on a private virtual sensor, not on a sensor: the change
  // history holds none of them.
  EXPECT_EQ(testsupport::ReadWholeFile(dir_.File("tarkon/history.jsonl")), "");

  trace_.Clear();
  const ProcessResult only = RunOnSensor({"restore", file, "--only", "threshold"});
  EXPECT_EQ(only.exitCode, kOk) << only.out << only.err;
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 42);
  EXPECT_NE(sensor_->Snapshot().settings.minLaserPower, 17);
  EXPECT_EQ(trace_.CountCommand(cmd::SetMinLP), 0u);
  EXPECT_EQ(RunOnSensor({"restore", file, "--only", "Nothing"}).exitCode, kUsage);
}

}  // namespace
}  // namespace clitest
