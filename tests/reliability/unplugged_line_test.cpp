// The sensor's line goes away in the middle of an operation (the adapter is
// pulled): a query waiting for its reply, a scan buffer read of 8192 ranges
// and a firmware upload. Each must end with a clear failure within its
// budgets, nothing may crash or hang, and once the sensor is back a fresh
// connect through the same path must work.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tarkon/document/doc_internals.h"
#include "protocol/packet_link.h"
#include "reliability/reliability_support.h"
#include "sim/virtual_sensor.h"
#include "tarkon/document/firmware_upload.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/scan_buffer.h"

namespace {

using reliability::Clock;
using reliability::MsSince;

// What a read or write on a line that has gone reports.
const std::string kReadGone =
    "::sc_Read ReadFile failed (An I/O error occurred during communications with the device.)";
const std::string kWriteGone =
    "::sc_Write WriteFile failed (An I/O error occurred during communications with the device.)";

// What the document logs once it sees that its port has gone.
std::string GoneLine(const std::string& device) {
  return "The port " + device + " went away (adapter unplugged or line hung up); polling stopped.";
}
const std::string kClosedPort = "sc_Write: an invalid argument was passed.";

// One exchange's worst case: budget, one port time-out, recovery pause.
constexpr long kExchangeBoundMs = 1000 + 100 + 250;
// Allowance for a machine loaded by parallel tests.
constexpr long kSlackMs = 750;

class UnpluggedLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Covers the tear-down too: closing the document stops its poll worker.
    watchdog_ = std::make_unique<reliability::Watchdog>(
        120, ::testing::UnitTest::GetInstance()->current_test_info()->name());
    ASSERT_TRUE(dir_.ok());
    linkPath_ = dir_.File("sensor-line");
  }
  void TearDown() override {
    if (unplugger_.joinable()) unplugger_.join();
    doc_.reset();
    if (sensor_) sensor_->Stop();
    watchdog_.reset();
  }

  void StartSensor(bool throttle, sim::SensorConfig config = {}) {
    sim::LineConfig line;
    line.linkPath = linkPath_;
    line.throttle = throttle;
    sensor_ = std::make_unique<sim::VirtualSensor>(config, line);
    ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
  }

  // A document connected through the line's stable path.
  void ConnectDocument() {
    doc_ = std::make_unique<CKRV02Doc>(dir_.File("tarkon.ini"));
    doc_->options().SetSaveOnClose(false);
    doc_->options().SetManufacturingMode(true);
    doc_->SetListener(&log_);
    ASSERT_TRUE(Reconnect());
  }
  bool Reconnect() {
    ConnectValues values = doc_->BeginConnect();
    values.portText = linkPath_;
    values.baudChoice = 3;
    values.readTimeout = 100;
    values.writeTimeout = 100;
    return doc_->Connect(values);
  }

  void UnplugAfter(int ms) {
    unplugger_ = std::thread([this, ms] {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      unplugged_ = sensor_->Unplug();
    });
  }
  void WaitUnplugged() {
    unplugger_.join();
    ASSERT_TRUE(unplugged_);
    ASSERT_FALSE(sensor_->Line().Plugged());
  }

  // Back in: the old connection is closed, the sensor plugged in again
  // (a new pseudo-terminal behind the same path), and a fresh connect
  // identifies it and talks to it.
  void ExpectFreshConnectWorks() {
    doc_->Disconnect();
    ASSERT_TRUE(sensor_->Replug()) << sensor_->LastError();
    log_.Clear();
    ASSERT_TRUE(Reconnect());
    EXPECT_TRUE(doc_->connected());
    EXPECT_EQ(doc_->sensor().modelText(), "KRV02");
    EXPECT_TRUE(log_.Has(kLogSuccess, "Successfully connected to KRV02 type sensor"));
    EXPECT_EQ(DocInternals::Commands(*doc_).GetMinLP(), 1);
    EXPECT_EQ(DocInternals::Commands(*doc_).minLP, sensor_->Snapshot().settings.minLaserPower);
    doc_->Disconnect();
  }

  // The error lines written since the last Clear.
  std::vector<std::string> ErrorLines() const {
    std::vector<std::string> out;
    for (const auto& [kind, text] : log_.Lines()) {
      if (kind == kLogError) out.push_back(text);
    }
    return out;
  }

  std::unique_ptr<reliability::Watchdog> watchdog_;
  reliability::TempDir dir_;
  std::string linkPath_;
  std::unique_ptr<sim::VirtualSensor> sensor_;
  std::unique_ptr<CKRV02Doc> doc_;
  reliability::LogListener log_;
  std::thread unplugger_;
  bool unplugged_ = false;
};

TEST_F(UnpluggedLineTest, QueryWaitingForItsReplyFailsWithTheIoError) {
  StartSensor(false);
  ConnectDocument();
  // The reply to the next request would come only after 1500 ms: the line
  // goes while the query waits for it.
  sensor_->Mutate([](sim::SensorState& s) {
    s.faults.rule(sim::FaultKind::kDelay).atReplies = {s.activity.repliesSent + 1};
  });
  log_.Clear();
  UnplugAfter(300);
  const auto start = Clock::now();
  EXPECT_EQ(DocInternals::Commands(*doc_).GetSerialNum(), 0);
  const long took = MsSince(start);
  WaitUnplugged();
  EXPECT_LT(took, kExchangeBoundMs + kSlackMs);
  EXPECT_EQ(DocInternals::Link(*doc_).errorCode(), kSerialIoError);
  // The failure, then one line that says the port went away; the document
  // has disconnected: polling stopped, port closed.
  EXPECT_EQ(ErrorLines(), (std::vector<std::string>{"Command GetSerialNum failed. " + kReadGone, GoneLine(linkPath_)}));
  EXPECT_TRUE(log_.Has(kLogNotice, "Disconnected..."));
  EXPECT_FALSE(doc_->connected());
  EXPECT_FALSE(DocInternals::Link(*doc_).IsOpen());
  EXPECT_FALSE(doc_->polling().PollAllowed());
  EXPECT_FALSE(doc_->polling().WaitPollTick(600));

  // Further commands fail at once on the closed port, without another
  // "went away" line.
  log_.Clear();
  const auto again = Clock::now();
  EXPECT_EQ(DocInternals::Commands(*doc_).GetMinLP(), 0);
  EXPECT_EQ(DocInternals::Commands(*doc_).SetThreshold(5), 0);
  EXPECT_LT(MsSince(again), 2 * kExchangeBoundMs);
  EXPECT_EQ(ErrorLines(), (std::vector<std::string>{"Command GetMinLP failed. " + kClosedPort,
                                                    "Command SetThreshold failed. " + kClosedPort}));

  ExpectFreshConnectWorks();
}

TEST_F(UnpluggedLineTest, ScanBufferReadOf8192RangesFailsAndLeavesTheListEmpty) {
  StartSensor(true);
  sensor_->Mutate([](sim::SensorState& s) {
    for (size_t i = 0; i < s.scanBuffer.size(); ++i) s.scanBuffer[i] = static_cast<uint16_t>(i);
    s.scanFill = s.scanBuffer.size();
  });
  ConnectDocument();
  log_.Clear();
  ScanBufferReader reader(DocInternals::Commands(*doc_), doc_.get());
  reader.SetRangesAvailable(kScanBufferMaxRanges);
  int portions = 0;
  ScanReadCallbacks callbacks;
  callbacks.betweenPortions = [&portions] { ++portions; };

  // 66 portions of about 45 ms each on the paced line: the line goes at
  // about a third of the way.
  UnplugAfter(1000);
  const auto start = Clock::now();
  EXPECT_EQ(reader.Read(kScanBufferMaxRanges, 0, [](int16_t) { return std::string("x"); }, callbacks),
            ScanReadOutcome::kFailed);
  const long took = MsSince(start);
  WaitUnplugged();
  EXPECT_GT(portions, 0);   // it was under way
  EXPECT_LT(portions, 65);  // and did not finish
  EXPECT_TRUE(reader.rows().empty());
  EXPECT_FALSE(reader.reading());
  // The portions before the unplug, then one failed exchange.
  EXPECT_LT(took, 1000 + 200 + kExchangeBoundMs + kSlackMs);
  EXPECT_EQ(DocInternals::Link(*doc_).errorCode(), kSerialIoError);
  EXPECT_EQ(ErrorLines(),
            (std::vector<std::string>{"Command GetScanBufferPortion failed. " + kReadGone, GoneLine(linkPath_)}));
  EXPECT_FALSE(doc_->connected());

  ExpectFreshConnectWorks();
}

TEST_F(UnpluggedLineTest, FirmwareUploadFailsTriesToLockAndReportsWhy) {
  StartSensor(true);
  ConnectDocument();
  // A calibration table of 40000 bytes: 313 blocks, several seconds.
  const std::string image = dir_.File("table.cal");
  {
    std::vector<char> bytes(40000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    FILE* f = std::fopen(image.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
  }
  FirmwareUpload upload(DocInternals::Commands(*doc_), DocInternals::Xmodem(*doc_), DocInternals::Transfer(*doc_));
  std::vector<std::string> statuses;
  int lastPercent = -1;
  UploadCallbacks callbacks;
  callbacks.status = [&statuses](const std::string& text) { statuses.push_back(text); };
  callbacks.progress = [&lastPercent](int percent) { lastPercent = percent; };
  log_.Clear();

  UnplugAfter(1500);
  const auto start = Clock::now();
  EXPECT_EQ(upload.Upload(kUploadCalibration, image, callbacks), UploadOutcome::kTransferFailed);
  const long took = MsSince(start);
  WaitUnplugged();
  EXPECT_FALSE(DocInternals::Transfer(*doc_).InProgress());
  EXPECT_GT(lastPercent, 0);
  EXPECT_LT(lastPercent, 99);
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.back(), UploadErrorStatus(XmodemSender::kBlockNotAcknowledged));
  // The lock after the failed transfer cannot reach the sensor, and says so.
  EXPECT_EQ(ErrorLines(),
            (std::vector<std::string>{"Command WriteFlashProtect1 failed. " + kWriteGone, GoneLine(linkPath_)}));
  EXPECT_FALSE(doc_->connected());
  EXPECT_EQ(DocInternals::Link(*doc_).errorCode(), kSerialIoError);
  std::printf("upload ended %ld ms after its start, %ld ms after the unplug\n", took, took - 1500);
  // The sender gives up on a dead line without waiting out its retries.
  EXPECT_LT(took, 1500 + kExchangeBoundMs + kSlackMs);

  ExpectFreshConnectWorks();
}

}  // namespace
