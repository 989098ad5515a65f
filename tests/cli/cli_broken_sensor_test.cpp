// tarkon-cli end to end against sensors that misbehave as a whole: a
// firmware receiver that will not end or gives up half-way, a scan buffer
// answered twice, an adapter pulled in the middle of a bus scan or a
// restore, a model reply of the wrong length. What the technician sees must
// be true, and nothing may reach the sensor that was not asked for.

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "support/file_size_limit.h"
#include "protocol/command_ids.h"
#include "protocol/frame.h"
#include "tarkon/document/firmware_upload.h"

namespace clitest {
namespace {

// The sensor's frame counter as the fault "hangup@N" counts it.
uint64_t FramesSeen(const sim::SensorState& s) {
  return s.activity.framesReceived + s.activity.framesForOthers + s.activity.badFrames;
}

TEST_F(CliTest, UploadToABrokenReceiverEndsWithTheFlashLocked) {
  // Block 11 of the image holds a whole SetMinLP request: a receiver that
  // has gone back to taking commands would execute it.
  std::string image(12 * 128, '\x5A');
  const std::vector<uint8_t> request = frame::Build(1, frame::kChecksum, cmd::SetMinLP, {77});
  std::copy(request.begin(), request.end(), image.begin() + 10 * 128 + 20);

  struct Case {
    const char* name;
    void (*fault)(sim::FaultPlan&);
    const char* status;
    uint32_t blocksTaken;
    uint64_t frames;  // the connect's 8, unlock 2, announcement 1, lock 2, and the confirming query
  };
  // Around the transfer: the settings read for the backup (5 queries) and
  // for the comparison (5), the identity read again (3).
  constexpr uint64_t kBackupAndAfter = 13;
  const Case cases[] = {
      {"EOT answered with NAK", [](sim::FaultPlan& p) { p.nakEot = true; }, "Error occurred.Code 3", 12, 14},
      // A receiver that ended the transfer itself is asked after the lock too.
      {"receiver cancels after block 10", [](sim::FaultPlan& p) { p.cancelAfterBlock = 10; },
       "Error occurred.Code 5", 10, 14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SensorConfig config = Sensor("KRV02");
    c.fault(config.faults);
    StartSensor(config);
    const std::string file = dir_.File("table.cal");
    ASSERT_TRUE(testsupport::WriteWholeFile(file, image));
    const ProcessResult r = RunOnSensor({"--manufacturing", "--yes", "upload", "cal", file});
    EXPECT_EQ(r.exitCode, kFailed);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), std::string(c.status) + "\n") << r.out;
    const sim::SensorState s = sensor_->Snapshot();
    EXPECT_EQ(s.upload.blocks, c.blocksTaken);
    EXPECT_NE(s.upload.outcome, sim::UploadOutcome::kReceiving) << "the receiver was left running";
    EXPECT_EQ(s.flashProtect1, 0);
    EXPECT_EQ(s.flashProtect2, 0);
    EXPECT_NE(s.settings.minLaserPower, 77) << "image bytes were taken for a command";
    EXPECT_EQ(s.activity.framesReceived, c.frames + kBackupAndAfter) << "no frame came from the image";
  }
}

TEST_F(CliTest, UploadWhoseLockIsNotConfirmedSaysTheFlashMayBeOpen) {
  // The receiver never ends, and the sensor answers no command after the
  // announcement: the lock commands cannot be confirmed.
  sim::SensorConfig config = Sensor("KRV02");
  config.faults.nakEot = true;
  StartSensor(config);
  const uint64_t replies = sensor_->Snapshot().activity.repliesSent;
  const std::string file = dir_.File("table.cal");
  ASSERT_TRUE(testsupport::WriteWholeFile(file, std::string(300, '\x11')));
  // The sensor answers up to the announcement (the 13 replies before it:
  // the connect's and the settings saved before the upload) and no more.
  sensor_->Mutate([&](sim::SensorState& s) { s.faults.silentAfterReply = replies + 14; });
  const ProcessResult r = RunOnSensor({"--manufacturing", "--yes", "upload", "cal", file});
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), std::string("Error occurred.Code 3; ") + kUploadNotRelockedNote + "\n")
      << r.out;
  EXPECT_NE(r.err.find("Settings saved before the upload to "), std::string::npos) << r.err;
}

// What an upload reports is what the sensor confirmed: a lock that was not
// answered after it, a backup that was not saved, a line lost during the
// backup, a transfer the sensor ended. Frame and reply numbers count from
// the sensor's own counters before the run: the connect takes 8 frames
// (8 replies), the backup 5 queries, then unlock 2, announcement 1, lock 2
// and the confirming query.
TEST_F(CliTest, AnUploadSaysWhatTheSensorConfirmedAndNothingMore) {
  enum class Backups { kFolder, kRegularFile, kFullDisk };
  struct Case {
    const char* name;
    void (*fault)(sim::SensorState&, uint64_t frames, uint64_t replies);
    Backups backups;
    bool withoutBackup;
    int exit;
    const char* result;  // "completed", "failed", "not started"
    bool flashLocked;
    bool unlocked;        // the unlock commands reached the sensor
    const char* text;     // part of the result's "text"
    const char* toDo;     // part of "what_to_do"
    const char* history;  // the upload's outcome in the change history; "" for no line
  };
  const Case cases[] = {
      {"the line hangs up at the second lock command",
       [](sim::SensorState& s, uint64_t frames, uint64_t) { s.faults.hangUpAtFrame = frames + 8 + 5 + 2 + 1 + 2; },
       Backups::kFolder, false, kFailed, "failed", false, true, "the lock of the flash was not confirmed", "",
       "not verified"},
      {"no answer after the lock commands",
       [](sim::SensorState& s, uint64_t, uint64_t replies) { s.faults.silentAfterReply = replies + 8 + 5 + 1; },
       Backups::kFolder, false, kFailed, "failed", false, true, "the lock of the flash was not confirmed", "",
       "not verified"},
      {"the receiver cancels after block 5",
       [](sim::SensorState& s, uint64_t, uint64_t) { s.faults.cancelAfterBlock = 5; }, Backups::kFolder, false,
       kFailed, "failed", true, true, "(Error occurred.Code 5) after 5 of 12 blocks, 0 retries",
       "check that the file is the right image", "failed"},
      {"the end is refused", [](sim::SensorState& s, uint64_t, uint64_t) { s.faults.nakEot = true; },
       Backups::kFolder, false, kFailed, "failed", true, true, "refused the end of the transfer",
       "check that the file is the right image", "failed"},
      {"no answer during the backup",
       [](sim::SensorState& s, uint64_t, uint64_t replies) { s.faults.silentAfterReply = replies + 8 + 2; },
       Backups::kFolder, false, kFailed, "not started", true, false, "The settings were not saved",
       "check the connection", ""},
      {"the line hangs up during the backup",
       [](sim::SensorState& s, uint64_t frames, uint64_t) { s.faults.hangUpAtFrame = frames + 8 + 2; },
       Backups::kFolder, false, kFailed, "not started", true, false, "The settings were not saved",
       "check the connection", ""},
      {"the backup folder is a regular file", nullptr, Backups::kRegularFile, false, kFailed, "not started", true,
       false, "The settings were not saved", "free the backup folder", ""},
      {"the backup folder's disk is full", nullptr, Backups::kFullDisk, false, kFailed, "not started", true, false,
       "The settings were not saved", "free the backup folder", ""},
      {"no backup, but --without-backup", nullptr, Backups::kRegularFile, true, kOk, "completed", true, true,
       "Upload completed: 12 of 12 blocks", "", "verified"},
  };
  const std::string backups = dir_.File("tarkon/backups");
  const std::string history = dir_.File("tarkon/history.jsonl");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(history);
    std::filesystem::remove_all(backups);
    std::filesystem::create_directories(dir_.File("tarkon"));
    if (c.backups == Backups::kRegularFile) {
      ASSERT_TRUE(testsupport::WriteWholeFile(backups, "not a folder"));
    }
    StartSensor(Sensor("KRV02"));
    if (c.fault != nullptr)
      sensor_->Mutate([&](sim::SensorState& s) { c.fault(s, FramesSeen(s), s.activity.repliesSent); });
    const std::string file = dir_.File("table.cal");
    ASSERT_TRUE(testsupport::WriteWholeFile(file, std::string(12 * 128, '\x33')));
    std::vector<std::string> args = {"--manufacturing", "--yes", "--json", "upload", "cal", file};
    if (c.withoutBackup) args.push_back("--without-backup");
    ProcessResult r;
    if (c.backups == Backups::kFullDisk) {
      const testsupport::FileSizeLimit full(200);
      r = RunOnSensor(args);
    } else {
      r = RunOnSensor(args);
    }
    EXPECT_EQ(r.exitCode, c.exit) << r.err;
    const Json j = LastObject(r);
    EXPECT_EQ(j["result"].text, c.result) << r.out;
    EXPECT_EQ(j["flash_locked"].boolean, c.flashLocked) << r.out;
    EXPECT_NE(j["text"].text.find(c.text), std::string::npos) << r.out;
    EXPECT_NE(j["what_to_do"].text.find(c.toDo), std::string::npos) << r.out;
    // A failed run's result carries its error too; a run that sent nothing
    // says why in its result, not only on standard error.
    EXPECT_EQ(j.Has("error"), c.exit != kOk) << r.out;
    if (c.backups != Backups::kFolder) {
      EXPECT_FALSE(j["backup_error"].text.empty()) << r.out;
    }
    if (std::string(c.result) == "failed") {
      EXPECT_TRUE(j["blocks_sent"].IsNumber()) << r.out;
    }
    // Nothing was sent after a backup that was not saved.
    EXPECT_EQ(trace_.CountCommand(cmd::WriteFlashProtect1) > 0, c.unlocked);
    EXPECT_EQ(r.err.find("Upload started") != std::string::npos, c.unlocked) << r.err;
    std::string outcome;
    for (const std::string& line : Lines(testsupport::ReadWholeFile(history)))
      if (line.find("Firmware upload") != std::string::npos) outcome = line;
    if (*c.history == '\0') {
      EXPECT_EQ(outcome, "") << "no upload, no history line";
    } else {
      EXPECT_NE(outcome.find(std::string("\"outcome\":\"") + c.history + "\""), std::string::npos) << outcome;
    }
    trace_.Clear();
  }
}

TEST_F(CliTest, ScanBufferAnsweredTwiceRepeatsNoRange) {
  sim::SensorConfig config = Sensor("KRV02");
  config.faults.doublePortions = true;
  StartSensor(config);
  sensor_->Mutate([](sim::SensorState& s) {
    for (size_t i = 0; i < 300; ++i) s.scanBuffer[i] = static_cast<uint16_t>(1000 + i);
    s.scanFill = 300;
    s.scanCount = 300;
    s.scanning = false;
  });
  const ProcessResult r = RunOnSensor({"--json", "scan-buffer", "129"});
  // The second answer to a portion is no answer to the next one: it is
  // dropped before the next request or refused as not fitting.
  if (r.exitCode == kOk) {
    const Json j = OneObject(r);
    const Json& ranges = j["ranges"];
    ASSERT_EQ(ranges.items.size(), 129u);
    for (size_t i = 0; i < 129; ++i) EXPECT_EQ(ranges.items[i]["raw"].Int(), static_cast<int64_t>(1000 + i)) << i;
  } else {
    EXPECT_EQ(r.exitCode, kFailed);
    EXPECT_NE((r.out + r.err).find("Scan buffer portion from 126: a reply of 126 ranges where 3 were asked for; it "
                                   "answers another request (the sensor answered twice?)"),
              std::string::npos)
        << r.out << r.err;
    EXPECT_EQ(r.out.find("\"ranges\""), std::string::npos) << r.out;
  }
}

TEST_F(CliTest, AFailingPortEndsTheBusScanAndTheRestore) {
  // Bus scan: the adapter is pulled as the 30th probe arrives.
  sim::SensorConfig config = Sensor("KRV02", 0, 200);
  config.faults.hangUpAtFrame = 30;
  StartSensor(config);
  ProcessResult r = RunOnSensor({"--json", "bus-scan", "--to", "100"});
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_FALSE(OneObject(r)["complete"].boolean);
  EXPECT_NE(r.err.find("bus-scan: the port failed at address 30: "), std::string::npos) << r.err;

  // Restore: the frames a restore takes, from a dry run (connect and read)
  // and a restore of one setting (its write, a read-back after it and the
  // final read).
  StartSensor(Sensor("KRV02"));
  const std::string file = dir_.File("krv02.json");
  ASSERT_EQ(RunOnSensor({"backup", file}).exitCode, kOk);
  uint64_t before = FramesSeen(sensor_->Snapshot());
  ASSERT_EQ(RunOnSensor({"restore", file, "--dry-run"}).exitCode, kOk);
  const uint64_t connectAndRead = FramesSeen(sensor_->Snapshot()) - before;
  sensor_->Mutate([](sim::SensorState& s) { s.settings.threshold = 99; });
  before = FramesSeen(sensor_->Snapshot());
  ASSERT_EQ(RunOnSensor({"restore", file}).exitCode, kOk);
  const uint64_t read = (FramesSeen(sensor_->Snapshot()) - before - connectAndRead - 1) / 2;

  // Three settings differ; the adapter is pulled as the second write
  // arrives, after the first was read back.
  sensor_->Mutate([&](sim::SensorState& s) {
    s.settings.threshold = 99;
    s.settings.minLaserPower = 3;
    s.settings.maxLaserPower = 150;
    s.faults.hangUpAtFrame = FramesSeen(s) + connectAndRead + 1 + read + 1;
  });
  r = RunOnSensor({"--json", "restore", file});
  EXPECT_EQ(r.exitCode, kFailed);
  const Json j = OneObject(r);
  EXPECT_FALSE(j["verified"].boolean);
  std::vector<std::pair<std::string, std::string>> rows;
  for (const Json& row : j["settings"].items)
    if (row["status"].text != "matched") rows.emplace_back(row["name"].text, row["status"].text + ": " + row["message"].text);
  EXPECT_EQ(rows, (std::vector<std::pair<std::string, std::string>>{
                      {"Threshold", "changed: "},
                      {"Min. Laser Power", "not verified: the sensor's settings could not be read back"},
                      {"Max. Laser Power", "not verified: not sent: the connection was lost before it"}}))
      << r.out;
  EXPECT_EQ(r.err.find("an invalid argument was passed"), std::string::npos) << "written on to a closed port: " << r.err;
  EXPECT_NE(r.out.find("stopped: the connection was lost while Min. Laser Power was written"), std::string::npos)
      << r.out;
}

TEST_F(CliTest, AModelReplyOfTheWrongLengthIsNoMissingAnswer) {
  sim::SensorConfig config = Sensor("KRV02");
  config.faults.shortReplies = {1};  // the answer to the first model query
  StartSensor(config);
  const ProcessResult r = RunOnSensor({"info"});
  EXPECT_EQ(r.exitCode, kFailed);
  EXPECT_EQ(r.err.find("Check the wiring"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("A sensor at address 1 and 57600 bit/s answered in checksum mode, but its answer to the "
                       "model query did not fit: the sensor's reply held 15 data bytes where 16 were expected."),
            std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace clitest
