#pragma once
// The board flipper's settings as Ostrel reads and writes them, and the
// JSON file a firmware upload saves them to first: who the sensor is, how it
// was reached, and every setting with the text the window shows and the raw
// value it came from (the raw value governs; the text is for people, and a
// file whose two disagree is refused, so a hand edit of one alone is caught).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel {

inline constexpr char kBackupFormat[] = "ostrel-settings-backup";
inline constexpr int kBackupFormatVersion = 1;
// A backup is about two kilobytes; a file far larger is none.
inline constexpr size_t kMaxBackupFileSize = 256 * 1024;

// The settings a Settings tab button writes, raw as the sensor holds them.
struct SensorSettings {
  uint8_t minLaserPower = 0;
  uint8_t maxLaserPower = 0;
  uint8_t threshold = 0;
  int mode = 0;  // mode list entry: 0 imperial, 1 metric
  uint16_t waneWidth = 0;   // raw units of the mode
  uint16_t waneHeight = 0;  // raw units of the mode
  uint16_t speed = 0;       // mm/s
  uint16_t pulse = 0;       // ms
  std::array<uint8_t, 4> reserved{};  // wane bytes 6 to 9, as received
  uint16_t boardTimeout = 0;  // ms

  bool operator==(const SensorSettings& other) const;
};

// One setting: its name (the window's caption), raw value and shown text.
struct SettingValue {
  std::string name;
  uint32_t raw = 0;
  std::string shown;
};
// Every setting in the order a restore writes them (the mode first: the
// wane sizes are in its units).
std::vector<SettingValue> SettingValues(const SensorSettings& settings);
// The shown text of the setting `name` (a name of SettingValues), with its
// unit: "2.500 inch", "800 mm/s", "77". Empty for a name it does not have.
std::string ShownValue(const SensorSettings& settings, const std::string& name);

// A setting that differs between the backup and the sensor now.
struct SettingDifference {
  std::string name;
  std::string saved;  // in the backup
  std::string now;    // on the sensor
};
std::vector<SettingDifference> CompareSettings(const SensorSettings& saved, const SensorSettings& now);

struct SensorBackup {
  int formatVersion = kBackupFormatVersion;
  std::string time;  // ISO 8601, UTC
  std::string model;
  std::string serialNumber;
  std::string firmware;
  std::string fpga;
  int address = 1;
  int baudRate = 57600;
  bool crc = false;
  SensorSettings settings;
};

std::string BackupToJson(const SensorBackup& backup);
// False with a message that says what is wrong with the document.
bool ParseBackup(const std::string& text, SensorBackup& backup, std::string& error);
bool WriteBackupFile(const std::string& path, const SensorBackup& backup, std::string& error);
bool ReadBackupFile(const std::string& path, SensorBackup& backup, std::string& error);

// Where the automatic backups go: $XDG_DATA_HOME/ostrel/backups, else
// ~/.local/share/ostrel/backups (files::UserDataFolder; on Windows under
// %LOCALAPPDATA%).
std::string AutomaticBackupFolder();
// "M3-9-6BF_BF039618_before-upload_2026-12-08T154000Z.json": characters a
// file name should not hold become '_'.
std::string BackupFileName(const std::string& model, const std::string& serial, const std::string& time);
// "2026-12-08T15:40:00Z"
std::string UtcTimestamp();

}  // namespace ostrel
