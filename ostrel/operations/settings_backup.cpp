#include "ostrel/operations/settings_backup.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <nlohmann/json.hpp>

#include "files/atomic_file_writer.h"
#include "files/bounded_file_reader.h"
#include "files/calendar_time.h"
#include "files/user_data_folder.h"
#include "ostrel/operations/field_values.h"

namespace ostrel {
namespace {

using json = nlohmann::ordered_json;

// Names, largest raw value and the members of each setting, in restore order.
struct SettingRow {
  const char* name;
  uint32_t most;
};
constexpr SettingRow kRows[] = {
    {"Mode", 1},
    {"Min. Laser Pwr", 255},
    {"Max. Laser Pwr", 255},
    {"Threshold", 255},
    {"Min. Wane Width", 65535},
    {"Min. Wane Height", 65535},
    {"Conveyor Speed", 65535},
    {"Pulse Duration", 65535},
    {"Wane reserved bytes", std::numeric_limits<uint32_t>::max()},
    {"Board Timeout", 65535},
};
constexpr size_t kRowCount = sizeof kRows / sizeof kRows[0];

uint32_t ReservedRaw(const std::array<uint8_t, 4>& r) {
  return static_cast<uint32_t>(r[0]) << 24 | static_cast<uint32_t>(r[1]) << 16 | static_cast<uint32_t>(r[2]) << 8 |
         r[3];
}

void SetRaw(SensorSettings& s, size_t row, uint32_t raw) {
  switch (row) {
    case 0: s.mode = static_cast<int>(raw); break;
    case 1: s.minLaserPower = static_cast<uint8_t>(raw); break;
    case 2: s.maxLaserPower = static_cast<uint8_t>(raw); break;
    case 3: s.threshold = static_cast<uint8_t>(raw); break;
    case 4: s.waneWidth = static_cast<uint16_t>(raw); break;
    case 5: s.waneHeight = static_cast<uint16_t>(raw); break;
    case 6: s.speed = static_cast<uint16_t>(raw); break;
    case 7: s.pulse = static_cast<uint16_t>(raw); break;
    case 8:
      for (size_t i = 0; i < 4; ++i) s.reserved[i] = static_cast<uint8_t>(raw >> (24 - 8 * i));
      break;
    default: s.boardTimeout = static_cast<uint16_t>(raw); break;
  }
}

std::string Echo(const std::string& text) { return text.size() <= 60 ? text : text.substr(0, 60) + "..."; }

bool Text(const json& object, const char* key, std::string& out, std::string& error) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) {
    error = std::string("\"") + key + "\" is missing or not a text";
    return false;
  }
  out = it->get<std::string>();
  return true;
}

bool Whole(const json& object, const char* key, uint32_t most, uint32_t& out, std::string& error) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer()) {
    error = std::string("\"") + key + "\" is missing or not a whole number";
    return false;
  }
  // A huge number must not wrap round into a plausible one.
  if (it->is_number_unsigned() ? it->get<uint64_t>() > most : (it->get<int64_t>() < 0 || it->get<int64_t>() > most)) {
    error = std::string("\"") + key + "\" is out of range (0 to " + std::to_string(most) + ")";
    return false;
  }
  out = static_cast<uint32_t>(it->get<uint64_t>());
  return true;
}

}  // namespace

bool SensorSettings::operator==(const SensorSettings& o) const {
  return minLaserPower == o.minLaserPower && maxLaserPower == o.maxLaserPower && threshold == o.threshold &&
         mode == o.mode && waneWidth == o.waneWidth && waneHeight == o.waneHeight && speed == o.speed &&
         pulse == o.pulse && reserved == o.reserved && boardTimeout == o.boardTimeout;
}

std::vector<SettingValue> SettingValues(const SensorSettings& s) {
  const UnitSet& unit = s.mode == 0 ? kImperial : kMetric;
  const auto scaled = [&](uint16_t raw) { return FormatScaled(raw, unit) + " " + unit.text; };
  char reserved[16];
  std::snprintf(reserved, sizeof reserved, "%02X %02X %02X %02X", s.reserved[0], s.reserved[1], s.reserved[2],
                s.reserved[3]);
  const std::string shown[kRowCount] = {
      s.mode == 0 ? "Imperial" : "Metric",
      std::to_string(s.minLaserPower),
      std::to_string(s.maxLaserPower),
      std::to_string(s.threshold),
      scaled(s.waneWidth),
      scaled(s.waneHeight),
      std::to_string(s.speed) + " mm/s",
      std::to_string(s.pulse) + " msec",
      reserved,
      std::to_string(s.boardTimeout) + " msec",
  };
  const uint32_t raw[kRowCount] = {static_cast<uint32_t>(s.mode), s.minLaserPower, s.maxLaserPower, s.threshold,
                                   s.waneWidth, s.waneHeight, s.speed, s.pulse, ReservedRaw(s.reserved),
                                   s.boardTimeout};
  std::vector<SettingValue> values;
  for (size_t i = 0; i < kRowCount; ++i) values.push_back({kRows[i].name, raw[i], shown[i]});
  return values;
}

std::string ShownValue(const SensorSettings& settings, const std::string& name) {
  for (const SettingValue& v : SettingValues(settings))
    if (v.name == name) return v.shown;
  return std::string();
}

std::vector<SettingDifference> CompareSettings(const SensorSettings& saved, const SensorSettings& now) {
  const std::vector<SettingValue> a = SettingValues(saved);
  const std::vector<SettingValue> b = SettingValues(now);
  std::vector<SettingDifference> differences;
  for (size_t i = 0; i < a.size(); ++i) {
    // The wane sizes are compared raw: after a change of mode the same
    // text can stand for another raw value.
    if (a[i].raw != b[i].raw) differences.push_back({a[i].name, a[i].shown, b[i].shown});
  }
  return differences;
}

std::string BackupToJson(const SensorBackup& b) {
  json settings = json::array();
  for (const SettingValue& v : SettingValues(b.settings))
    settings.push_back({{"name", v.name}, {"value", v.shown}, {"raw", v.raw}});
  const json document = {
      {"format", kBackupFormat},
      {"format_version", b.formatVersion},
      {"time", b.time},
      {"model", b.model},
      {"serial_number", b.serialNumber},
      {"firmware", b.firmware},
      {"fpga", b.fpga},
      {"connection", {{"address", b.address}, {"baud", b.baudRate}, {"check_mode", b.crc ? "crc" : "checksum"}}},
      {"settings", settings},
  };
  // A sensor's identity bytes need not be UTF-8: replaced, not a failure.
  return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool ParseBackup(const std::string& text, SensorBackup& backup, std::string& error) {
  json document;
  try {
    document = json::parse(text);
  } catch (const json::exception& e) {
    error = std::string("not a valid JSON document: ") + e.what();
    return false;
  }
  if (!document.is_object()) {
    error = "not a settings backup: the document is not a JSON object";
    return false;
  }
  SensorBackup b;
  std::string format;
  if (!Text(document, "format", format, error)) return false;
  if (format != kBackupFormat) {
    error = "not an Ostrel settings backup: \"format\" is \"" + Echo(format) + "\"";
    return false;
  }
  uint32_t number = 0;
  if (!Whole(document, "format_version", 1000, number, error)) return false;
  if (number != kBackupFormatVersion) {
    error = "backup format version " + std::to_string(number) + " is not supported (this program reads " +
            std::to_string(kBackupFormatVersion) + ")";
    return false;
  }
  if (!Text(document, "time", b.time, error) || !Text(document, "model", b.model, error) ||
      !Text(document, "serial_number", b.serialNumber, error) || !Text(document, "firmware", b.firmware, error) ||
      !Text(document, "fpga", b.fpga, error))
    return false;
  const auto connection = document.find("connection");
  if (connection == document.end() || !connection->is_object()) {
    error = "\"connection\" is missing or not an object";
    return false;
  }
  std::string checkMode;
  if (!Whole(*connection, "address", 255, number, error)) return false;
  b.address = static_cast<int>(number);
  if (!Whole(*connection, "baud", 115200, number, error)) return false;
  b.baudRate = static_cast<int>(number);
  if (!Text(*connection, "check_mode", checkMode, error)) return false;
  if (checkMode != "crc" && checkMode != "checksum") {
    error = "\"check_mode\" is \"" + Echo(checkMode) + "\" (crc or checksum)";
    return false;
  }
  b.crc = checkMode == "crc";

  const auto settings = document.find("settings");
  if (settings == document.end() || !settings->is_array()) {
    error = "\"settings\" is missing or not a list";
    return false;
  }
  bool seen[kRowCount] = {};
  std::string shown[kRowCount];
  for (const json& entry : *settings) {
    std::string name;
    if (!entry.is_object() || !Text(entry, "name", name, error)) {
      error = "a setting without a name: " + error;
      return false;
    }
    size_t row = 0;
    while (row < kRowCount && name != kRows[row].name) ++row;
    if (row == kRowCount) {
      error = "unknown setting \"" + Echo(name) + "\"";
      return false;
    }
    if (seen[row]) {
      error = "setting \"" + name + "\" appears twice";
      return false;
    }
    seen[row] = true;
    if (!Whole(entry, "raw", kRows[row].most, number, error) || !Text(entry, "value", shown[row], error)) {
      error = "setting \"" + name + "\": " + error;
      return false;
    }
    SetRaw(b.settings, row, number);
  }
  for (size_t row = 0; row < kRowCount; ++row) {
    if (!seen[row]) {
      error = std::string("setting \"") + kRows[row].name + "\" is missing";
      return false;
    }
  }
  const std::vector<SettingValue> values = SettingValues(b.settings);
  for (size_t row = 0; row < kRowCount; ++row) {
    if (values[row].shown != shown[row]) {
      error = "setting \"" + values[row].name + "\": its value \"" + Echo(shown[row]) + "\" does not match its raw " +
              std::to_string(values[row].raw) + " (\"" + values[row].shown + "\")";
      return false;
    }
  }
  backup = std::move(b);
  return true;
}

bool WriteBackupFile(const std::string& path, const SensorBackup& backup, std::string& error) {
  files::AtomicWriteOptions options;
  options.createDirectories = true;
  return files::WriteFileAtomically(path, BackupToJson(backup), &error, options);
}

bool ReadBackupFile(const std::string& path, SensorBackup& backup, std::string& error) {
  const files::FileContent file = files::ReadBoundedFile(path, kMaxBackupFileSize);
  if (!file.ok()) {
    error = file.reason;
    return false;
  }
  return ParseBackup(file.content, backup, error);
}

std::string AutomaticBackupFolder() { return files::UserDataFolder() + "/ostrel/backups"; }

std::string BackupFileName(const std::string& model, const std::string& serial, const std::string& time) {
  std::string name = (model.empty() ? "sensor" : model) + "_" + (serial.empty() ? "unknown" : serial) +
                     "_before-upload_" + time;
  std::string out;
  for (const char c : name) {
    if (c == ':') continue;  // a time without ':' for other systems
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_' || c == '.';
    out += plain ? c : '_';
  }
  return out + ".json";
}

std::string UtcTimestamp() {
  const std::tm utc = files::UtcCalendarTime(std::time(nullptr));
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace ostrel
