// Bus scans of several lines at once: each line scanned on its own, a
// result per line in the order given, a line that cannot be opened failing
// alone, the frames of every line in one trace behind its port.

#include <gtest/gtest.h>

#include <mutex>

#include "protocol/protocol_trace.h"
#include "sim/virtual_line.h"
#include "support/sim_document.h"
#include "tarkon/fleet/settings_backup.h"
#include "tarkon/fleet/several_lines.h"

namespace {

sim::SensorConfig At(uint8_t address, const char* serial) {
  sim::SensorConfig config;
  config.model = "KRV02";
  config.address = address;
  config.serial = serial;
  return config;
}

TEST(SeveralLines, ScansTheLinesAtOnceWithAResultPerLine) {
  // A long scan of an empty line comes first: scanned one after the
  // other, no sensor of the second line could be seen before that scan
  // had made all its probes.
  sim::VirtualLine empty;
  sim::VirtualLine busy;
  busy.Attach(At(1, "K2000001"));
  busy.Attach(At(3, "K2000003"));
  ASSERT_TRUE(empty.Start()) << empty.LastError();
  ASSERT_TRUE(busy.Start()) << busy.LastError();
  const std::vector<fleet::LineTarget> lines = {
      {"COM7", empty.SlavePath()}, {"/nonexistent/ttyUSB9", "/nonexistent/ttyUSB9"}, {"COM8", busy.SlavePath()}};
  fleet::BusScanOptions options;
  options.to = 40;
  options.budgetMs = 50;
  const long probesOfOneLine = fleet::ProbeCount(options);

  std::mutex mutex;
  std::vector<std::string> traced;
  ProtocolTrace trace([&](const std::string& line) {
    const std::lock_guard<std::mutex> guard(mutex);
    traced.push_back(line);
  });
  long doneSoFar = 0;
  long total = 0;
  long doneAtFirstSighting = -1;
  std::vector<std::pair<size_t, int>> sightings;  // line, address
  std::string error;
  const std::vector<fleet::LineScan> results = fleet::ScanLines(
      lines, options, &trace,
      [&](long done, long all) {
        doneSoFar = done;
        total = all;
        return true;
      },
      [&](size_t line, size_t, const fleet::FoundSensor& sensor) {
        if (doneAtFirstSighting < 0) doneAtFirstSighting = doneSoFar;
        if (sensor.serialNumber.empty()) sightings.emplace_back(line, sensor.address);
      },
      error);
  ASSERT_EQ(error, "");
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(total, 2 * probesOfOneLine);  // the line that did not open made no probe
  EXPECT_EQ(doneSoFar, total);
  EXPECT_LT(doneAtFirstSighting, probesOfOneLine);
  EXPECT_EQ(sightings, (std::vector<std::pair<size_t, int>>{{2, 1}, {2, 3}}));

  EXPECT_EQ(results[0].portText, "COM7");
  EXPECT_TRUE(results[0].ok) << results[0].error;
  EXPECT_TRUE(results[0].found.empty());
  EXPECT_FALSE(results[1].ok);
  EXPECT_EQ(results[1].error.rfind("cannot open /nonexistent/ttyUSB9: ", 0), 0u) << results[1].error;
  EXPECT_TRUE(results[2].ok) << results[2].error;
  ASSERT_EQ(results[2].found.size(), 2u);
  EXPECT_EQ(results[2].found[0].serialNumber, "K2000001");
  EXPECT_EQ(results[2].found[1].serialNumber, "K2000003");

  // Every traced line names its port; both open lines traced their probes.
  size_t ofEmpty = 0;
  size_t ofBusy = 0;
  for (const std::string& line : traced) {
    ofEmpty += line.rfind("COM7 ", 0) == 0;
    ofBusy += line.rfind("COM8 ", 0) == 0;
  }
  EXPECT_EQ(ofEmpty + ofBusy, traced.size());
  EXPECT_GE(ofEmpty, static_cast<size_t>(probesOfOneLine));
  EXPECT_GE(ofBusy, static_cast<size_t>(probesOfOneLine));

  // No line, or options no scan takes: nothing is opened.
  EXPECT_TRUE(fleet::ScanLines({}, options, nullptr, {}, {}, error).empty());
  EXPECT_EQ(error, "no port to scan");
  options.from = 0;
  EXPECT_TRUE(fleet::ScanLines(lines, options, nullptr, {}, {}, error).empty());
  EXPECT_EQ(error, "the addresses run from 1 to 255");
}

// The fleet apply on two lines at once, a document each: every sensor of
// the file's model on either line takes the file, the other model is left.
class SeveralLinesApply : public testsupport::SimDocumentTest {};

TEST_F(SeveralLinesApply, BringsTheSensorsOfEveryLineToTheFile) {
  StartSensor(At(1, "K2000009")).Mutate([](sim::SensorState& s) { s.settings.threshold = 77; });
  ASSERT_TRUE(ConnectDoc());
  fleet::SensorBackup backup;
  std::string error;
  ASSERT_TRUE(fleet::CaptureBackup(Doc(), backup, error)) << error;
  const ConnectValues base = Doc().BeginConnect();
  Doc().Disconnect();

  sim::VirtualLine first;
  sim::VirtualLine second;
  const auto a = first.Attach(At(2, "K2000002"));
  const auto b = second.Attach(At(3, "K2000003"));
  sim::SensorConfig other = At(4, "K4000004");
  other.model = "KRV04";
  second.Attach(other);
  ASSERT_TRUE(first.Start()) << first.LastError();
  ASSERT_TRUE(second.Start()) << second.LastError();
  fleet::BusScanOptions options;
  options.to = 4;
  options.budgetMs = 50;
  const std::vector<fleet::LineApply> results = fleet::ApplyToLines(
      [this] {
        auto doc = std::make_unique<CKRV02Doc>(SettingsPath());
        doc->options().SetSaveOnClose(false);
        return doc;
      },
      backup, {{first.SlavePath(), first.SlavePath()}, {second.SlavePath(), second.SlavePath()}}, base, options, {},
      {});
  ASSERT_EQ(results.size(), 2u);
  for (const fleet::LineApply& line : results) {
    SCOPED_TRACE(line.portText);
    EXPECT_EQ(line.report.error, "");
    ASSERT_EQ(line.report.rows.size(), 1u);
    EXPECT_FALSE(line.report.rows[0].Failed()) << line.report.rows[0].error;
    EXPECT_GE(line.report.rows[0].verified, 1);
  }
  EXPECT_EQ(results[0].portText, first.SlavePath());
  EXPECT_EQ(results[1].report.otherModels, 1);
  EXPECT_EQ(a->Snapshot().settings.threshold, 77);
  EXPECT_EQ(b->Snapshot().settings.threshold, 77);
}

}  // namespace
