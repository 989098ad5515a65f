// What the desktop program's Tools menu binds to: the trace log's pause,
// clear and save, the bus scan on its own thread (stopped, and run through),
// and the texts of a restore.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "sim/virtual_line.h"
#include "support/temp_dir.h"
#include "tarkon/fleet/background_bus_scan.h"
#include "tarkon/fleet/fleet_tools.h"
#include "tarkon/fleet/trace_log.h"

namespace {

TEST(TraceLog, KeepsLinesUnlessPausedAndSavesThemAsWritten) {
  testsupport::TempDir dir;
  fleet::TraceLog log;
  std::atomic<int> told{0};
  log.SetListener([&] { ++told; });
  const uint8_t query[] = {0x02, 0x01, 0x01, 0x7F, 0x7D};
  log.trace().Frame(ProtocolTrace::kSent, query, sizeof query, 0);
  log.SetPaused(true);
  log.trace().Frame(ProtocolTrace::kSent, query, sizeof query, 0);
  log.SetPaused(false);
  // Lines may come from a scan's thread.
  std::thread([&] { log.trace().Frame(ProtocolTrace::kSent, query, sizeof query, 0); }).join();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(told.load(), 2);
  EXPECT_EQ(log.Lines()[0].substr(10), " tx 02 01 01 7F 7D  GetModelName addr=1 len=0 checksum check=ok");
  EXPECT_EQ(log.Lines(1).size(), 1u);
  EXPECT_TRUE(log.Lines(5).empty());

  const std::string file = dir.File("trace.txt");
  std::string error;
  ASSERT_TRUE(log.Save(file, error)) << error;
  std::ifstream in(file);
  std::vector<std::string> written;
  for (std::string line; std::getline(in, line);) written.push_back(line);
  EXPECT_EQ(written, log.Lines());
  EXPECT_FALSE(log.Save(dir.File("no-such-folder/trace.txt"), error));
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
  log.Clear();
  EXPECT_EQ(log.size(), 0u);
}

TEST(TraceLog, ReplacedListenerIsNotCalledAfterwardsByAScanThread) {
  fleet::TraceLog log;
  int calls = 0;  // no lock: once replaced, the listener must be done with it
  log.SetListener([&] { ++calls; });
  std::atomic<bool> stop{false};
  std::thread scan([&] {
    const uint8_t ack = 0x06;
    while (!stop) log.trace().Xmodem(ProtocolTrace::kSent, &ack, 1);
  });
  while (log.size() == 0) std::this_thread::yield();
  log.SetListener(nullptr);  // the pane goes away while the scan traces
  const int seen = calls;
  while (log.size() < 50) std::this_thread::yield();
  stop = true;
  scan.join();
  EXPECT_GT(seen, 0);
  EXPECT_EQ(calls, seen);
}

TEST(TraceLog, KeepsTheNewestLinesAndAViewerTakesThemByNumber) {
  fleet::TraceLog log;
  const uint8_t bytes[] = {0x01, 0x02};
  log.trace().Xmodem(ProtocolTrace::kSent, bytes, 1);
  log.trace().Xmodem(ProtocolTrace::kSent, bytes + 1, 1);
  const std::string second = log.Lines()[1];
  uint64_t next = 0;
  EXPECT_EQ(log.LinesSince(next).size(), 2u);
  EXPECT_EQ(next, 2u);
  for (size_t i = 2; i <= fleet::TraceLog::kMaxLines; ++i) log.trace().Xmodem(ProtocolTrace::kSent, bytes, 1);
  // One line past the limit: the oldest went.
  ASSERT_EQ(log.size(), fleet::TraceLog::kMaxLines);
  EXPECT_EQ(log.Lines()[0], second);
  EXPECT_EQ(log.LinesSince(next).size(), fleet::TraceLog::kMaxLines - 1);
  EXPECT_EQ(next, fleet::TraceLog::kMaxLines + 1);
  // A viewer that fell behind gets what is still kept; after a clear only
  // the lines that came since.
  uint64_t behind = 0;
  EXPECT_EQ(log.LinesSince(behind).size(), fleet::TraceLog::kMaxLines);
  log.Clear();
  log.trace().Xmodem(ProtocolTrace::kSent, bytes, 1);
  EXPECT_EQ(log.LinesSince(next).size(), 1u);
  EXPECT_EQ(next, fleet::TraceLog::kMaxLines + 2);
}

TEST(BackgroundBusScan, StopsOnRequestAndFindsTheSensorWhenRunThrough) {
  sim::VirtualLine line;
  sim::SensorConfig config;
  config.model = "KRV04";
  config.address = 200;
  config.checkMode = 1;
  line.Attach(config);
  ASSERT_TRUE(line.Start()) << line.LastError();

  fleet::BackgroundBusScan scan;
  std::atomic<long> done{0};
  std::atomic<bool> finished{false};
  fleet::BusScanOptions options;
  ASSERT_TRUE(scan.Start(line.SlavePath(), options, nullptr, [&](long d, long) { done = d; }, [&] { finished = true; }));
  EXPECT_FALSE(scan.Start(line.SlavePath(), options, nullptr, nullptr, nullptr)) << "one scan at a time";
  while (done < 10) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto asked = std::chrono::steady_clock::now();
  scan.Stop();
  scan.Join();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(500));
  EXPECT_TRUE(finished);
  EXPECT_TRUE(scan.stopped());
  EXPECT_TRUE(scan.found().empty());
  EXPECT_LT(done.load(), 510);

  options.from = 195;
  options.to = 205;
  finished = false;
  ASSERT_TRUE(scan.Start(line.SlavePath(), options, nullptr, nullptr, [&] { finished = true; }));
  scan.Join();
  EXPECT_TRUE(finished);
  EXPECT_FALSE(scan.stopped());
  EXPECT_EQ(scan.error(), "");
  ASSERT_EQ(scan.found().size(), 1u);
  const std::vector<std::string> cells = fleet::FoundSensorCells(scan.found()[0]);
  EXPECT_EQ(cells[0], "200");
  EXPECT_EQ(cells[1], "CRC");
  EXPECT_EQ(cells[3], "KRV04");

  ConnectValues stored;
  stored.portText = "COM1";
  stored.readTimeout = 7;
  const fleet::FoundConnection c = fleet::ConnectionOfFound(scan.found()[0], "/dev/pts/9", stored);
  EXPECT_EQ(c.values.portText, "/dev/pts/9");
  EXPECT_EQ(c.values.address, 200);
  EXPECT_EQ(BaudRateOfChoice(c.values.baudChoice), 57600);
  EXPECT_EQ(c.values.readTimeout, 7u);
  EXPECT_EQ(c.firstCheckMode, 1);

  std::string error;
  EXPECT_EQ(fleet::ScanDeviceOfPortText("/dev/pts/9", error), "/dev/pts/9");
  EXPECT_EQ(fleet::ScanDeviceOfPortText("ttyS0", error), "");
  EXPECT_NE(error.find("names no port"), std::string::npos) << error;
}

TEST(RestoreTexts, SayWhatDiffersAndWhatTheRestoreDid) {
  fleet::RestoreReport report;
  report.otherModel = true;
  report.settings = {{"Threshold", "99", "40", "", fleet::RestoreStatus::kDifferent, ""},
                     {"Laser", "", "On", "", fleet::RestoreStatus::kNotShared, "the KRV04 has no such setting"},
                     {"Min. Range", "0.000", "0.000", "", fleet::RestoreStatus::kMatched, ""}};
  report.connection = {{"Address", "2", "1", "", fleet::RestoreStatus::kDifferent, ""}};
  fleet::SensorBackup backup;
  backup.model = "KRV02";
  EXPECT_EQ(fleet::DifferenceRows(report).size(), 3u);
  EXPECT_EQ(fleet::RestoreQuestion(report, backup, "KRV04", "a.json"),
            "a.json holds the settings of a KRV02, the sensor is a KRV04: only the settings the two share are "
            "restored.\n1 setting differs from a.json. The connection (1 value) is restored only when asked, last, "
            "with a reconnect.\nApply the file's values to the sensor?");

  report.settings[0].status = fleet::RestoreStatus::kChanged;
  EXPECT_EQ(fleet::RestoreOutcomeText(report), "Changed 1, already matched 1, not restored 2. Every change verified.");
  report.settings[0].status = fleet::RestoreStatus::kRefused;
  EXPECT_NE(fleet::RestoreOutcomeText(report).find("refused 1"), std::string::npos);
  report.error = "not connected to a sensor";
  EXPECT_EQ(fleet::RestoreOutcomeText(report), "The restore failed: not connected to a sensor");
}

// Texts from a sensor or a backup file are data: a file name proposed from
// them stays in the chosen folder, a question built from them drives no
// terminal.
TEST(RestoreTexts, TextsFromASensorOrAFileCannotEscape) {
  const struct {
    const char* model;
    const char* serial;
    const char* proposed;
  } names[] = {{"KRV04", "482913", "KRV04-482913.json"},
               {"Qmt Long", "../../etc/x", "Qmt_Long-.._.._etc_x.json"},
               {"..", "/", "_.-_.json"},
               {"KRV02", "\x1b[2J", "KRV02-__2J.json"}};
  for (const auto& n : names) EXPECT_EQ(fleet::ProposedBackupFileName(n.model, n.serial), n.proposed) << n.serial;

  fleet::SensorBackup backup;
  backup.model = "\x1b]0;owned\x07";
  fleet::RestoreReport otherModel;
  otherModel.otherModel = true;
  const std::string question = fleet::RestoreQuestion(otherModel, backup, "KRV04", "a.json");
  EXPECT_EQ(question.find('\x1b'), std::string::npos) << question;
  EXPECT_NE(question.find("\\x1B"), std::string::npos) << question;
}

}  // namespace
