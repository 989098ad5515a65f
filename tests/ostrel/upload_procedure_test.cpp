// The firmware upload around its transfer, against the virtual board
// flipper: the settings saved before the first byte, the log lines, the
// identity and settings compared afterwards, and the restore of what the
// upload changed.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "ostrel/operations/settings_backup.h"
#include "ostrel_sim_fixture.h"
#include "protocol/xmodem_block.h"

namespace {

using ostreltest::OstrelSimTest;

class OstrelUploadProcedure : public OstrelSimTest {
 protected:
  // Settings unlike the factory's, in metric mode, with their reserved bytes.
  static void Unusual(sim::SensorState& s) {
    s.settings.minLaserPower = 33;
    s.settings.maxLaserPower = 190;
    s.settings.threshold = 77;
    s.settings.rangeMode = 1;
    s.settings.wane.width = 1234;
    s.settings.wane.height = 987;
    s.settings.wane.speed = 700;
    s.settings.wane.reserved = {0xA1, 0xB2, 0xC3, 0xD4};
    s.settings.wane.pulse = 45;
    s.settings.boardTimeout = 777;
  }
  static bool SameSettings(const sim::Settings& a, const sim::Settings& b) {
    return a.minLaserPower == b.minLaserPower && a.maxLaserPower == b.maxLaserPower && a.threshold == b.threshold &&
           a.rangeMode == b.rangeMode && a.wane.width == b.wane.width && a.wane.height == b.wane.height &&
           a.wane.speed == b.wane.speed && a.wane.reserved == b.wane.reserved && a.wane.pulse == b.wane.pulse &&
           a.boardTimeout == b.boardTimeout;
  }
  // Connects (reading the unusual settings into the window) and uploads a
  // two-block DSP image.
  void Upload(sim::SensorConfig config = {}) {
    StartSensor(config);
    sensor_->Mutate(Unusual);
    ASSERT_TRUE(ops_.Connect());
    ASSERT_TRUE(ops_.connected());
    image_.assign(256, 0x3C);
    const std::string path = dataDir_.File("code.bin");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image_.data()), 256);
    view_.fileToChoose = path;
    fields_.upload = 0;
    ASSERT_TRUE(ops_.Upload());
    ASSERT_EQ(State().upload.outcome, sim::UploadOutcome::kCompleted);
  }
  size_t LogIndex(const std::string& prefix) const {
    for (size_t i = 0; i < view_.log.size(); ++i)
      if (view_.log[i].rfind(prefix, 0) == 0) return i;
    return view_.log.size();
  }
  std::vector<uint8_t> image_;
};

TEST_F(OstrelUploadProcedure, TheSettingsAreSavedFirstLoggedAndRestoreExactly) {
  Upload();
  const sim::SensorState before = State();
  // The backup file, named in the log before the upload's start line.
  const std::string path = ops_.lastBackupPath();
  ASSERT_EQ(path.rfind(dataDir_.File("backups/M3-9-6BF_BF039618_before-upload_"), 0), 0u) << path;
  const size_t saved = LogIndex("Settings saved before the upload to " + path);
  const size_t started = LogIndex("Upload started: code.bin, 256 bytes, CRC-16 ");
  const size_t ended = LogIndex("Upload completed: 2 of 2 blocks, 0 retries, ");
  EXPECT_LT(saved, started);
  EXPECT_LT(started, ended);
  ASSERT_LT(ended, view_.log.size());
  char crc[8];
  std::snprintf(crc, sizeof crc, "0x%04X", xmodem::Crc(image_.data(), image_.size()));
  EXPECT_NE(view_.log[started].find(std::string(crc) + " (DSP)"), std::string::npos) << view_.log[started];

  ostrel::SensorBackup backup;
  std::string error;
  ASSERT_TRUE(ostrel::ReadBackupFile(path, backup, error)) << error;
  EXPECT_EQ(backup.serialNumber, "BF039618");
  EXPECT_EQ(backup.model, "M3-9-6BF");
  EXPECT_EQ(backup.firmware, fields_.firmwarePanel);
  EXPECT_EQ(backup.settings.minLaserPower, 33);
  EXPECT_EQ(backup.settings.mode, 1);
  EXPECT_EQ(backup.settings.waneWidth, 1234);
  EXPECT_EQ(backup.settings.reserved, (std::array<uint8_t, 4>{0xA1, 0xB2, 0xC3, 0xD4}));
  EXPECT_EQ(backup.settings.boardTimeout, 777);

  // What stays on screen: the result, the backup, the firmware before and
  // after, no change of settings; nothing to restore.
  ASSERT_EQ(view_.results.size(), 1u);
  const std::vector<std::string>& lines = view_.results[0];
  EXPECT_EQ(lines[0], view_.log[ended]);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Settings saved before the upload to " + path), lines.end());
  const std::string firmware = fields_.firmwarePanel;
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Sensor read again: firmware " + firmware + " -> " + firmware),
            lines.end());
  EXPECT_EQ(lines.back(), "Settings: unchanged by the upload");
  EXPECT_TRUE(view_.restoreRows.empty());
  EXPECT_EQ(view_.LastStatus(), "Success!");

  // The settings changed by hand, then put back from the file: every byte.
  sensor_->Mutate([](sim::SensorState& s) {
    s.settings = sim::DefaultSettings(s.model);
    s.settings.wane.reserved = {1, 2, 3, 4};
  });
  ostrel::Operations::RestoreResult result;
  ASSERT_TRUE(ops_.RestoreSettings(backup.settings, result));
  EXPECT_TRUE(result.verified) << result.error;
  EXPECT_TRUE(SameSettings(State().settings, before.settings));
  EXPECT_EQ(fields_.minPwr, "33") << "the window shows the restored values";
  EXPECT_EQ(fields_.minLen, "12.34");
}

TEST_F(OstrelUploadProcedure, SettingsTheUploadResetAreShownAndRestoredWhenAsked) {
  for (const bool restore : {false, true}) {
    SCOPED_TRACE(restore ? "restored" : "left");
    view_ = ostreltest::RecordingView();
    view_.answerRestore = restore;
    sim::SensorConfig config;
    config.faults.defaultsAfterUpload = true;
    Upload(config);
    // The difference table: each changed setting, as saved and as now.
    ASSERT_EQ(view_.restoreRows.size(), 10u) << "the reserved wane bytes are kept by the reset";
    EXPECT_EQ(view_.restoreRows[0].name, "Mode");
    EXPECT_EQ(view_.restoreRows[0].saved, "Metric");
    EXPECT_EQ(view_.restoreRows[0].now, "Imperial");
    EXPECT_EQ(view_.restoreRows[1].name, "Min. Laser Pwr");
    EXPECT_EQ(view_.restoreRows[1].saved, "33");
    EXPECT_EQ(view_.restoreRows[1].now, "10");
    ASSERT_FALSE(view_.questions.empty());
    EXPECT_EQ(view_.questions.back(),
              "The upload changed 10 of the sensor's settings.\r\n"
              "Write the settings saved before the upload back to the sensor?");
    EXPECT_EQ(view_.results[0].back(), "Settings: 10 changed by the upload");
    const sim::Settings now = State().settings;
    if (restore) {
      sim::SensorState wanted;
      Unusual(wanted);
      EXPECT_TRUE(SameSettings(now, wanted.settings));
      EXPECT_EQ(view_.LastStatus(), "Settings restored and verified");
      EXPECT_LT(LogIndex("Settings restored from " + ops_.lastBackupPath() + " and verified"), view_.log.size());
      EXPECT_EQ(fields_.mode, 1);
    } else {
      EXPECT_TRUE(SameSettings(now, sim::DefaultSettings(State().model)));
      EXPECT_LT(LogIndex("Settings changed by the upload were left as they are"), view_.log.size());
      EXPECT_EQ(fields_.minPwr, "10") << "the window shows the sensor's values after the upload";
    }
  }
}

TEST_F(OstrelUploadProcedure, ABackupThatCannotBeReadIsToldAndTheTechnicianDecides) {
  for (const bool goOn : {false, true}) {
    SCOPED_TRACE(goOn ? "go on" : "stop");
    Connected();
    view_ = ostreltest::RecordingView();
    view_.answersInTurn = {true, goOn};
    // The sensor falls silent: the setup read of the backup fails.
    sensor_->Mutate([](sim::SensorState& s) { s.faults.silentAfterReply = s.activity.repliesSent; });
    view_.fileToChoose = dataDir_.File("code.bin");
    std::ofstream(view_.fileToChoose, std::ios::binary) << "image";
    ASSERT_TRUE(ops_.Upload());
    ASSERT_EQ(view_.questions.size(), 2u);
    EXPECT_EQ(view_.questions[1],
              "The settings were not saved before the upload: the sensor did not answer the setup read "
              "(Error : No Response).\r\nUpload without a backup of the settings?");
    EXPECT_TRUE(ops_.lastBackupPath().empty());
    const std::vector<int> commands = trace_.Commands();
    const bool unlocked = std::find(commands.begin(), commands.end(), 78) != commands.end();
    EXPECT_EQ(unlocked, goOn) << "no byte of the upload without the technician's yes";
    if (!goOn) {
      EXPECT_EQ(view_.LastStatus(), "Upload not started: nothing was sent");
      EXPECT_TRUE(view_.results.empty());
    } else {
      EXPECT_EQ(view_.LastStatus().rfind("Error : ", 0), 0u) << view_.LastStatus();
      ASSERT_EQ(view_.results.size(), 1u);
      EXPECT_EQ(view_.results[0][1], "This means nothing was sent: the sensor keeps its firmware; its flash is locked again.");
    }
    EXPECT_FALSE(ops_.busy());
  }
}

TEST(OstrelBackupFile, AHandEditOrAStrangeDocumentIsRefused) {
  ostrel::SensorBackup backup;
  backup.model = "M3-9-6BF";
  backup.settings.threshold = 40;
  const std::string good = ostrel::BackupToJson(backup);
  ostrel::SensorBackup parsed;
  std::string error;
  ASSERT_TRUE(ostrel::ParseBackup(good, parsed, error)) << error;
  EXPECT_TRUE(parsed.settings == backup.settings);
  const auto edited = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  struct Row {
    std::string text;
    const char* error;
  };
  const Row rows[] = {
      {edited("\"value\": \"40\"", "\"value\": \"41\""),
       "setting \"Threshold\": its value \"41\" does not match its raw 40 (\"40\")"},
      {edited("\"raw\": 40", "\"raw\": 256"), "setting \"Threshold\": \"raw\" is out of range (0 to 255)"},
      {edited("\"name\": \"Threshold\"", "\"name\": \"Min. Laser Pwr\""), "setting \"Min. Laser Pwr\" appears twice"},
      {edited("ostrel-settings-backup", "tarkon-settings-backup"),
       "not an Ostrel settings backup: \"format\" is \"tarkon-settings-backup\""},
      {edited("\"check_mode\": \"checksum\"", "\"check_mode\": 1"), "\"check_mode\" is missing or not a text"},
      {"[1, 2]", "not a settings backup: the document is not a JSON object"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.error);
    EXPECT_FALSE(ostrel::ParseBackup(row.text, parsed, error));
    EXPECT_EQ(error, row.error);
  }
  EXPECT_EQ(ostrel::BackupFileName("M3/9:6BF", "", "2026-12-08T15:40:00Z"),
            "M3_96BF_unknown_before-upload_2026-12-08T154000Z.json");
}

}  // namespace
