// tarkon-cli watch --bus over a virtual line of three sensors, one of which
// goes silent: the lines per sensor per round (text, JSON, CSV), the serial
// number in each, the exits, the options that go with --bus only, and a
// disk that fills up.

#include <algorithm>
#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "sim/virtual_line.h"
#include "support/line_sensor.h"
#include "support/file_size_limit.h"

namespace clitest {
namespace {

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class CliWatchBusTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    line_ = std::make_unique<sim::VirtualLine>(trace_.Line());
    line_->Attach(testsupport::LineSensor("KRV02", 3, "A0000003", 0));
    sim::SensorConfig silent = testsupport::LineSensor("KRV04", 5, "B0000005", 0);
    silent.faults.silentAfterReply = 6;
    line_->Attach(silent);
    line_->Attach(testsupport::LineSensor("Qmt Short", 7, "C0000007", 1));
    ASSERT_TRUE(line_->Start()) << line_->LastError();
  }
  ProcessResult Watch(std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", line_->SlavePath(), "watch", "--bus"});
    return Run(args);
  }

  std::unique_ptr<sim::VirtualLine> line_;
};

TEST_F(CliWatchBusTest, OneLinePerSensorPerRoundWithItsSerialNumber) {
  // Named addresses, in the check mode given: every round a JSON object
  // per sensor, exit 0 while both answer.
  const ProcessResult json = Watch({"--addresses", "3,7", "--check-mode", "crc", "--count", "4", "--json"});
  // Address 3 answers in checksum mode only: asked in CRC it is silent.
  EXPECT_EQ(json.exitCode, kFailed) << json.err;
  std::vector<Json> objects = ObjectLines(json);
  ASSERT_EQ(objects.size(), 9u) << json.out;
  ASSERT_TRUE(objects.back()["error"].IsObject()) << json.out;
  EXPECT_NE(objects.back()["error"]["message"].text.find("1 of 2 sensors not answering at the end"),
            std::string::npos)
      << json.out;
  objects.pop_back();
  // Every round, none skipped however fast the line: a line per sensor each.
  ASSERT_EQ(objects.size(), 8u) << json.out;
  for (size_t i = 0; i < objects.size(); ++i) EXPECT_EQ(objects[i]["round"].Int(), static_cast<long>(i / 2 + 1));
  for (const Json& o : objects) {
    const long address = o["address"].Int();
    ASSERT_TRUE(address == 3 || address == 7) << address;
    EXPECT_EQ(o["serial_number"].text, address == 7 ? "C0000007" : "") << "only what answered is shown";
  }
  const Json& last7 = objects.back()["address"].Int() == 7 ? objects.back() : objects[objects.size() - 2];
  EXPECT_EQ(last7["state"].text, "answering");
  EXPECT_EQ(last7["model"].text, "Qmt Short");
  EXPECT_TRUE(last7["range"].IsNumber());
  EXPECT_EQ(last7["unit"].text, "inch");

  // A bus scan's sensors into a CSV file: the silent one turns silent and
  // the run ends with exit 1, saying why.
  const std::string file = dir_.File("line.csv");
  const ProcessResult csv = Watch({"--to", "8", "--count", "30", "--csv", file});
  EXPECT_EQ(csv.exitCode, kFailed) << csv.err;
  EXPECT_NE(csv.err.find("watch --bus: 1 of 3 sensors not answering at the end"), std::string::npos) << csv.err;
  const std::vector<std::string> lines = Lines(testsupport::ReadWholeFile(file));
  ASSERT_GE(lines.size(), 1u + 3 * 30);
  EXPECT_EQ(lines[0], "time,round,address,model,serial_number,state,range,unit,laser_power,peak,good,failed");
  const std::vector<std::pair<std::string, std::string>> sensors = {
      {",3,KRV02,A0000003,", "A0000003"}, {",5,KRV04,B0000005,", "B0000005"}, {",7,Qmt Short,C0000007,", "C0000007"}};
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), ','), 11) << lines[i];
    EXPECT_TRUE(std::any_of(sensors.begin(), sensors.end(),
                            [&](const auto& s) { return lines[i].find(s.first) != std::string::npos; }))
        << lines[i];
  }
  // The last round: one line per sensor, in the order found.
  EXPECT_NE(lines[lines.size() - 2].find(",5,KRV04,B0000005,silent (last answer "), std::string::npos)
      << testsupport::ReadWholeFile(file);
  EXPECT_EQ(csv.out.rfind("3 sensors (1 silent), each every ", 0), 0u) << csv.out;
}

TEST_F(CliWatchBusTest, BusOptionsAreCheckedBeforeTheLineIsOpened) {
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--port", "/nonexistent/tty", "watch", "--addresses", "3"}, "watch: --addresses goes with --bus"},
      {{"--port", "/nonexistent/tty", "watch", "--to", "9"}, "watch: --to goes with --bus"},
      {{"--port", "/nonexistent/tty", "watch", "--bus", "--addresses", "0"},
       "--addresses needs addresses from 1 to 255 such as 3,5,7-9, not \"0\""},
      {{"--port", "/nonexistent/tty", "watch", "--bus", "--addresses", "3,3"}, "--addresses names address 3 twice"},
      {{"--port", "/nonexistent/tty", "watch", "--bus", "--addresses", "3", "--from", "2"},
       "watch --bus: --addresses names the sensors; --from and --to go with a bus scan"},
      {{"--port", "/nonexistent/tty", "watch", "--bus", "--interval", "500"},
       "watch --bus: --interval watches one sensor"},
      {{"--port", "/nonexistent/tty", "watch", "--bus", "--from", "9", "--to", "3"},
       "watch --bus: the first address must not be above the last"},
      {{"--port", "/nonexistent/tty", "bus-scan", "--addresses", "3"}, "--addresses belongs to watch, not to bus-scan"},
  };
  for (const auto& c : cases) {
    const ProcessResult r = Run(c.args);
    EXPECT_EQ(r.exitCode, kUsage) << c.args.back() << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  // A port that does not open ends the run at once, with the reason.
  const ProcessResult r = Run({"--port", "/nonexistent/tty", "watch", "--bus", "--addresses", "3"});
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_NE(r.err.find("watch: cannot open /nonexistent/tty"), std::string::npos) << r.err;
}

TEST_F(CliWatchBusTest, AFullDiskStopsTheRunAtTheLineItRefused) {
  const std::string file = dir_.File("full.csv");
  ProcessResult full;
  {
    testsupport::FileSizeLimit limit(600);
    full = Watch({"--addresses", "3", "--csv", file});
  }
  EXPECT_EQ(full.exitCode, kFailed) << full.err;
  EXPECT_EQ(Occurrences(full.err, "watch: cannot write " + file + ": File too large"), 1u) << full.err;
  const std::string text = testsupport::ReadWholeFile(file);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  for (const std::string& line : Lines(text)) EXPECT_EQ(std::count(line.begin(), line.end(), ','), 11) << line;
}

}  // namespace
}  // namespace clitest
