// The firmware update procedure against the virtual sensor: the questions
// before the first byte, the automatic backup, progress to 100 %, a stop in
// the middle that ends locked, and a firmware that resets the settings,
// which leads to the difference rows and a restore that brings them back.

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "support/sim_document.h"
#include "tarkon/document/doc_internals.h"
#include "tarkon/fleet/firmware_update.h"
#include "tarkon/fleet/setting_layout.h"
#include "tarkon/models/setting_values.h"

namespace {

using fleet::UpdateOutcome;

class FirmwareUpdateTest : public testsupport::SimDocumentTest {
 protected:
  void Start(bool defaultsAfterUpload = false) {
    sim::VirtualSensor& sensor = StartSensor(testsupport::SensorOf("KRV02"));
    sensor.Mutate([&](sim::SensorState& s) {
      s.settings.threshold = 77;  // not the factory value
      s.faults.defaultsAfterUpload = defaultsAfterUpload;
    });
    Doc(true);
    ASSERT_TRUE(ConnectDoc());
    update_ = std::make_unique<fleet::FirmwareUpdate>(Doc());
    update_->SetBackupFolder(dir_.File("backups"));
    callbacks_.askYesNo = [this](const std::string& q) { return Answer(q); };
    callbacks_.goOnWithoutBackup = [this](const std::string& q) { return Answer(q); };
    callbacks_.progress = [this](const fleet::UpdateProgress& p) { progress_.push_back(p); };
  }
  bool Answer(const std::string& question) {
    questions_.push_back(question);
    if (answers_.empty()) return true;
    const bool answer = answers_.front();
    answers_.erase(answers_.begin());
    return answer;
  }
  std::string Image(size_t size) {
    std::vector<char> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 1);
    const std::string path = dir_.File("table.cal");
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
    return path;
  }
  size_t LinesStartingWith(const std::string& start) const {
    size_t n = 0;
    for (const auto& [kind, text] : listener_.lines()) n += text.rfind(start, 0) == 0;
    return n;
  }

  std::unique_ptr<fleet::FirmwareUpdate> update_;
  fleet::UpdateCallbacks callbacks_;
  std::vector<bool> answers_;  // in order; yes once they run out
  std::vector<std::string> questions_;
  std::vector<fleet::UpdateProgress> progress_;
};

TEST_F(FirmwareUpdateTest, CompletesTo100PercentAndBacksUpFirst) {
  Start();
  const fleet::UpdateReport r = update_->Run(kUploadCalibration, Image(1000), callbacks_);
  EXPECT_EQ(r.outcome, UpdateOutcome::kCompleted) << r.result;
  ASSERT_EQ(questions_.size(), 1u);
  EXPECT_NE(questions_[0].find("table.cal (1000 bytes, CRC 0x"), std::string::npos) << questions_[0];
  ASSERT_FALSE(progress_.empty());
  EXPECT_EQ(progress_.back().percent, 100);
  EXPECT_EQ(progress_.back().sent, 1000u);
  for (size_t i = 0; i + 1 < progress_.size(); ++i) EXPECT_LT(progress_[i].percent, 100);
  EXPECT_EQ(r.blocksSent, 8u);
  EXPECT_EQ(r.blocksTotal, 8u);
  EXPECT_TRUE(r.identityRead);
  EXPECT_TRUE(r.compared);
  EXPECT_TRUE(r.differences.empty());
  EXPECT_EQ(LinesStartingWith("Upload started: table.cal, 1000 bytes, CRC 0x"), 1u);
  EXPECT_EQ(LinesStartingWith("Upload completed: 8 of 8 blocks, 0 retries"), 1u);

  // The automatic backup is a backup file that holds the sensor's settings
  // byte for byte.
  fleet::SensorBackup saved;
  std::string error;
  ASSERT_TRUE(fleet::ReadBackupFile(r.backupPath, saved, error)) << error;
  EXPECT_EQ(r.backupPath.rfind(dir_.File("backups/KRV02-"), 0), 0u) << r.backupPath;
  for (const fleet::SettingLayout& l : fleet::LayoutOfModel(Doc().sensor().modelIndex()))
    EXPECT_EQ(saved.Find(l.name)->raw, setting_values::RawBytes(DocInternals::Commands(Doc()), l)) << l.name;

  const sim::SensorState s = sensor_->Snapshot();
  EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kCompleted);
  EXPECT_FALSE(s.FlashUnlocked());
}

TEST_F(FirmwareUpdateTest, NoToAQuestionSendsNothing) {
  struct Case {
    std::vector<bool> answers;
    bool backupFails;
    size_t questions;
  };
  for (const Case& c : {Case{{false}, false, 1}, Case{{true, false}, true, 2}}) {
    SCOPED_TRACE(c.questions);
    Start();
    answers_ = c.answers;
    questions_.clear();
    if (c.backupFails)
      sensor_->Mutate([](sim::SensorState& s) { s.faults.rule(sim::FaultKind::kDrop).probability = 1.0; });
    const fleet::UpdateReport r = update_->Run(kUploadCalibration, Image(300), callbacks_);
    EXPECT_EQ(r.outcome, UpdateOutcome::kNotStarted);
    EXPECT_EQ(r.upload, UploadOutcome::kDeclined);
    ASSERT_EQ(questions_.size(), c.questions);
    if (c.backupFails) {
      EXPECT_NE(questions_.back().find("Upload without a backup of the settings?"), std::string::npos);
      EXPECT_TRUE(r.backupPath.empty());
    }
    const sim::SensorState s = sensor_->Snapshot();
    EXPECT_EQ(s.upload.command, 0);
    EXPECT_EQ(s.flashProtect1, 0);
    EXPECT_EQ(LinesStartingWith("Upload started"), 0u);
    DestroyDoc();
    sensor_.reset();
  }
}

TEST_F(FirmwareUpdateTest, StopInTheMiddleCancelsAndLocks) {
  Start();
  callbacks_.progress = [this](const fleet::UpdateProgress& p) {
    progress_.push_back(p);
    if (p.sent >= 5 * 128) update_->Stop();
  };
  const fleet::UpdateReport r = update_->Run(kUploadCalibration, Image(20 * 128), callbacks_);
  EXPECT_EQ(r.outcome, UpdateOutcome::kStopped);
  EXPECT_EQ(r.blocksSent, 5u);
  EXPECT_EQ(r.result.rfind("Stopped by the user after 5 of 20 blocks", 0), 0u) << r.result;
  EXPECT_NE(r.meaning.find("no complete image"), std::string::npos);
  EXPECT_TRUE(r.flashLocked);
  EXPECT_EQ(LinesStartingWith("Stopped by the user after 5 of 20 blocks"), 1u);
  const sim::SensorState s = sensor_->Snapshot();
  // The receiver saw CAN after five blocks and no block after it: what came
  // next were the lock commands, taken as commands.
  EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kCancelled);
  EXPECT_EQ(s.upload.blocks, 5u);
  EXPECT_EQ(s.activity.badFrames, 0u);
  EXPECT_FALSE(s.FlashUnlocked());
  EXPECT_EQ(s.flashProtect1, 0);
  EXPECT_EQ(s.flashProtect2, 0);
}

// As a window runs it: the transfer on a thread of its own (progress comes
// from there), "Stop" from the calling thread while its loop goes on.
TEST_F(FirmwareUpdateTest, StopFromTheWindowThreadWhileTheTransferRunsOnItsOwn) {
  sim::LineConfig line;
  line.throttle = true;  // 20 blocks take about half a second
  sensor_ = std::make_unique<sim::VirtualSensor>(testsupport::SensorOf("KRV02"), trace_.Line(line));
  ASSERT_TRUE(sensor_->Start());
  Doc(true);
  ASSERT_TRUE(ConnectDoc());
  fleet::FirmwareUpdate update(Doc());
  update.SetBackupFolder(dir_.File("backups"));
  std::atomic<size_t> sent{0};
  fleet::UpdateCallbacks callbacks;
  callbacks.askYesNo = [](const std::string&) { return true; };
  callbacks.progress = [&](const fleet::UpdateProgress& p) { sent = p.sent; };
  callbacks.runTransfer = [&](const std::function<void()>& transfer) {
    std::thread worker(transfer);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return sent >= 2 * 128; }, std::chrono::seconds(10)));
    update.Stop();
    worker.join();
  };
  const fleet::UpdateReport r = update.Run(kUploadCalibration, Image(20 * 128), callbacks);
  EXPECT_EQ(r.outcome, UpdateOutcome::kStopped) << r.result;
  const sim::SensorState s = sensor_->Snapshot();
  EXPECT_EQ(s.upload.outcome, sim::UploadOutcome::kCancelled);
  EXPECT_EQ(s.upload.blocks, r.blocksSent);
  EXPECT_LT(r.blocksSent, 20u);
  EXPECT_FALSE(s.FlashUnlocked());
}

TEST_F(FirmwareUpdateTest, SettingsTheFirmwareResetAreShownAndRestored) {
  Start(true);
  const fleet::UpdateReport r = update_->Run(kUploadCalibration, Image(500), callbacks_);
  ASSERT_EQ(r.outcome, UpdateOutcome::kCompleted) << r.result;
  ASSERT_TRUE(r.compared);
  ASSERT_FALSE(r.differences.empty());
  bool threshold = false;
  for (const fleet::RestoreItem& i : r.differences) threshold |= i.fileText.find("77") != std::string::npos;
  EXPECT_TRUE(threshold);
  EXPECT_NE(fleet::RestoreOfferQuestion(r).find(r.backupPath), std::string::npos);

  const fleet::RestoreReport restored = update_->RestoreBackup();
  EXPECT_TRUE(restored.AllVerified());
  EXPECT_EQ(sensor_->Snapshot().settings.threshold, 77);
  EXPECT_TRUE(fleet::CompareWithSensor(Doc(), update_->backup(), {}).Equal());
}

TEST(FirmwareUpdateTexts, LineTimeCrcAndProgress) {
  EXPECT_DOUBLE_EQ(fleet::LineSeconds(1000, 57600), (8 * 133 + 1) * 10.0 / 57600);
  EXPECT_EQ(fleet::CrcText(0x31C3), "0x31C3");
  fleet::UpdateProgress p{1792, 65000, 2, 5600, 11.3};
  EXPECT_EQ(fleet::ProgressText(p), "Sent 1792 of 65000 bytes (2 %), 5.6 kB/s, 11 s left");
}

}  // namespace
