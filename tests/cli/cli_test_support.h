#pragma once
// Runs tarkon-cli as its users do, with a settings file of the test's own
// (tests run in parallel; none may touch a tarkon.ini beside the program),
// either against its in-process simulation or against a virtual sensor the
// test owns (passed as --port), so that the test can see what reached the
// sensor.

#include <gtest/gtest.h>

#include <cctype>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/virtual_sensor.h"
#include "support/mini_json.h"
#include "support/process_runner.h"
#include "support/sim_trace.h"
#include "support/temp_dir.h"

#ifndef TARKON_CLI_PATH
#error "TARKON_CLI_PATH must name the tarkon-cli binary"
#endif

namespace clitest {

using testsupport::Json;
using testsupport::JsonReader;
using testsupport::Lines;
using testsupport::ProcessResult;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kHistoryNotWritten = 3;

inline std::string ConnectedLine(const std::string& model) {
  return "ok: Successfully connected to " + model + " type sensor";
}
constexpr const char* kDisconnectedLine = "note: Disconnected...";
// The document's last line, whatever the run did.
constexpr const char* kCloseLine = "ok: Close";

// The standard error of a run whose only log lines are the connect, the
// disconnect and the close.
inline std::string QuietRun(const std::string& model) {
  return ConnectedLine(model) + "\n" + kDisconnectedLine + "\n" + kCloseLine + "\n";
}

inline sim::SensorConfig Sensor(const std::string& model, int32_t checkMode = 0, uint8_t address = 1) {
  sim::SensorConfig config;
  config.model = model;
  config.checkMode = checkMode;
  config.address = address;
  return config;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    // The per-user data folder (an upload's automatic backup) of every run.
    setenv("XDG_DATA_HOME", dir_.path().c_str(), 1);
  }

  std::string Ini() const { return dir_.File("tarkon.ini"); }

  // tarkon-cli --settings <own file> ARGS...
  ProcessResult Run(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {TARKON_CLI_PATH, "--settings", Ini()};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult r = testsupport::RunProcess(argv);
    EXPECT_TRUE(r.started) << r.err;
    EXPECT_FALSE(r.timedOut) << "tarkon-cli did not finish";
    return r;
  }
  // The same against the test's own sensor.
  ProcessResult RunOnSensor(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"--port", sensor_->SlavePath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return Run(argv);
  }

  sim::VirtualSensor& StartSensor(const sim::SensorConfig& config) {
    sensor_ = std::make_unique<sim::VirtualSensor>(config, trace_.Line());
    EXPECT_TRUE(sensor_->Start()) << sensor_->LastError();
    return *sensor_;
  }

  // Exactly one JSON object on standard output.
  static Json OneObject(const ProcessResult& r) {
    std::string error;
    const std::optional<Json> json = JsonReader::ParseOne(r.out, &error);
    EXPECT_TRUE(json.has_value()) << error << " in: " << r.out;
    if (!json) return Json{};
    EXPECT_TRUE(json->IsObject()) << r.out;
    return *json;
  }

  // One JSON object per line of standard output (upload --json: the plan,
  // each progress step, the result).
  static std::vector<Json> ObjectLines(const ProcessResult& r) {
    std::vector<Json> objects;
    for (const std::string& line : Lines(r.out)) {
      std::string error;
      const std::optional<Json> json = JsonReader::ParseOne(line, &error);
      EXPECT_TRUE(json.has_value() && json->IsObject()) << error << " in: " << line;
      if (json) objects.push_back(*json);
    }
    return objects;
  }
  static Json LastObject(const ProcessResult& r) {
    const std::vector<Json> objects = ObjectLines(r);
    EXPECT_FALSE(objects.empty()) << r.out;
    return objects.empty() ? Json{} : objects.back();
  }

  // The "rows" list as name/value pairs. A row whose text is a number
  // carries it and its unit (the setting's own, which the text may not
  // print: a range of "6.410" is in inch); no row is an empty separator.
  static std::vector<std::pair<std::string, std::string>> Rows(const Json& json) {
    std::vector<std::pair<std::string, std::string>> rows;
    const Json& list = json["rows"];
    EXPECT_TRUE(list.IsArray());
    for (const Json& row : list.items) {
      const std::vector<std::string> keys = row.Keys();
      if (keys.size() == 4) {
        EXPECT_EQ(keys, (std::vector<std::string>{"name", "value", "number", "unit"}));
        EXPECT_TRUE(row["number"].IsNumber());
        EXPECT_EQ(std::stod(row["value"].text), row["number"].number) << row["value"].text;
        const std::string& unit = row["unit"].text;
        const std::string& value = row["value"].text;
        EXPECT_TRUE(unit.find_first_of("0123456789") == std::string::npos) << unit;
        // A unit the text prints is the one named.
        if (!value.empty() && std::isalpha(static_cast<unsigned char>(value.back())) != 0) {
          EXPECT_EQ(value.substr(value.size() - unit.size()), unit) << value;
        }
      } else {
        EXPECT_EQ(keys, (std::vector<std::string>{"name", "value"}));
      }
      EXPECT_FALSE(row["name"].text.empty() && row["value"].text.empty());
      rows.emplace_back(row["name"].text, row["value"].text);
    }
    return rows;
  }
  // The {"error": {"code", "message"}} object of a failed run.
  static void ExpectErrorObject(const ProcessResult& r, int code, const std::string& messagePart) {
    const Json j = OneObject(r);
    EXPECT_EQ(j.Keys(), std::vector<std::string>{"error"}) << r.out;
    EXPECT_EQ(j["error"].Keys(), (std::vector<std::string>{"code", "message"})) << r.out;
    EXPECT_EQ(j["error"]["code"].Int(), code) << r.out;
    EXPECT_NE(j["error"]["message"].text.find(messagePart), std::string::npos) << r.out;
  }

  int StoredInteger(const std::string& key) {
    const std::string content = testsupport::ReadWholeFile(Ini());
    const std::string prefix = key + "=";
    for (const std::string& line : Lines(content))
      if (line.rfind(prefix, 0) == 0) return std::stoi(line.substr(prefix.size()));
    ADD_FAILURE() << key << " missing in:\n" << content;
    return -1;
  }

  testsupport::TempDir dir_;
  testsupport::SimTrace trace_;
  std::unique_ptr<sim::VirtualSensor> sensor_;
};

using Pairs = std::vector<std::pair<std::string, std::string>>;

}  // namespace clitest
