// A damaged or hand-edited backup file is refused with a message that says
// what is wrong; a sound one reads back exactly as it was written.

#include <gtest/gtest.h>

#include <string>

#include "tarkon/models/model_table.h"
#include "tarkon/fleet/setting_layout.h"
#include "tarkon/fleet/settings_backup.h"

namespace {

fleet::SensorBackup SampleBackup() {
  fleet::SensorBackup b;
  b.time = "2026-12-08T02:40:00Z";
  b.modelIndex = kModelKRV04;
  b.model = "KRV04";
  b.modelString = "0 M3-9-6";
  b.serialNumber = "K4030961";
  b.firmware = "4.20C";
  b.fpga = " 3.2";
  static const RangeModeTable ranges;
  fleet::ValueContext context;
  context.model = b.modelIndex;
  context.ranges = &ranges;
  for (const fleet::SettingLayout& l : fleet::LayoutOfModel(b.modelIndex)) {
    fleet::BackupSetting s;
    s.name = l.name;
    s.source = l.source;
    s.offset = l.offset;
    // Recognisable bytes; the inch mode 0 and switches off.
    s.raw.assign(l.size, l.kind == fleet::SettingKind::kWhole || l.kind == fleet::SettingKind::kRange ||
                                 l.kind == fleet::SettingKind::kThousandths
                             ? static_cast<uint8_t>(l.offset)
                             : 0);
    s.value = fleet::ExactText(l, s.raw, context);
    b.settings.push_back(s);
  }
  return b;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(BackupFile, RoundTripsEveryField) {
  const fleet::SensorBackup written = SampleBackup();
  fleet::SensorBackup read;
  std::string error;
  ASSERT_TRUE(fleet::ParseBackup(fleet::BackupToJson(written), read, error)) << error;
  EXPECT_EQ(read.modelIndex, written.modelIndex);
  EXPECT_EQ(read.serialNumber, written.serialNumber);
  EXPECT_EQ(read.address, written.address);
  EXPECT_EQ(read.checkMode, written.checkMode);
  ASSERT_EQ(read.settings.size(), written.settings.size());
  for (size_t i = 0; i < read.settings.size(); ++i) {
    EXPECT_EQ(read.settings[i].name, written.settings[i].name);
    EXPECT_EQ(read.settings[i].raw, written.settings[i].raw);
  }
}

TEST(BackupFile, DamagedOrHandEditedFilesAreRefusedWithTheReason) {
  const std::string good = fleet::BackupToJson(SampleBackup());
  fleet::SensorBackup missingOne = SampleBackup();
  missingOne.settings.pop_back();
  fleet::SensorBackup twice = SampleBackup();
  twice.settings.push_back(twice.settings.front());

  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {good.substr(0, good.size() / 2), "not a valid JSON document"},
      {"[1, 2]", "not a settings backup: the document is not a JSON object"},
      {Replaced(good, "tarkon-settings-backup", "spreadsheet"), "not a settings backup: \"format\" is \"spreadsheet\""},
      {Replaced(good, "\"format_version\": 1", "\"format_version\": 2"), "backup format version 2 is not supported"},
      {Replaced(good, "\"model_index\": 1", "\"model_index\": 9"), "\"model_index\" 9 is no known model"},
      {Replaced(good, "\"baud\": 57600", "\"baud\": \"fast\""), "connection: \"baud\" has the wrong type"},
      {Replaced(good, "\"address\": 1", "\"address\": 0"), "connection: address 0 is not 1 to 255"},
      {Replaced(good, "\"address\": 1", "\"address\": 4294967297"), "connection: \"address\" is out of range"},
      {Replaced(good, "\"check_mode\": \"checksum\"", "\"check_mode\": \"parity\""),
       "connection: check mode \"parity\" is not checksum or crc"},
      {Replaced(good, "\"name\": \"Threshold\"", "\"name\": \"Treshold\""),
       "setting 4: \"Treshold\" is no setting of the KRV04 model"},
      {Replaced(good, "\"raw\": \"0A\"", "\"raw\": \"0G\""),
       "setting 4: \"Threshold\": \"raw\" must be 2 hexadecimal digits, not \"0G\""},
      {Replaced(good, "\"raw\": \"0C0C\"", "\"raw\": \"0C\""),
       "setting 5: \"Min. Range\": \"raw\" must be 4 hexadecimal digits, not \"0C\""},
      {Replaced(good, "\"offset\": 10", "\"offset\": 11"),
       "setting 4: \"Threshold\" does not come from GetKRV04Setup at offset 10"},
      {Replaced(good, "\"name\": \"Threshold\",\n      \"value\": \"10\"", "\"name\": \"Threshold\",\n      \"value\": \"60\""),
       "setting 4: \"Threshold\": the value \"60\" does not match the raw bytes 0A (10); edit both, or neither"},
      {Replaced(good, "\"value\": \"Disabled\"", "\"value\": \"Enabled\""),
       "setting 10: \"Hold Last Valid Range\": the value \"Enabled\" does not match the raw bytes 00 (Disabled)"},
      {fleet::BackupToJson(missingOne), "the setting \"Max samples to hold last range\" is missing"},
      {fleet::BackupToJson(twice), "setting 12: \"Mode\" appears twice"},
  };
  for (const auto& c : cases) {
    fleet::SensorBackup read;
    std::string error;
    EXPECT_FALSE(fleet::ParseBackup(c.text, read, error)) << c.message;
    EXPECT_EQ(error.substr(0, c.message.size()), c.message);
  }
}

}  // namespace
