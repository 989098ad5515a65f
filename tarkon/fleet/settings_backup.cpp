#include "tarkon/fleet/settings_backup.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <chrono>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <type_traits>
#include <set>

#include <nlohmann/json.hpp>

#include "files/atomic_file_writer.h"
#include "files/bounded_file_reader.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/iso_time.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/document/printable_text.h"
#include "tarkon/fleet/setting_layout.h"

namespace fleet {
namespace {

using json = nlohmann::ordered_json;

// Text from the file repeated in a message, cut to a readable length: a
// file may hold a string of any size, and any bytes, which a message shows
// and never sends to a terminal.
std::string Echo(const std::string& text, size_t kMax = 60) {
  if (text.size() <= kMax) return PrintableText(text);
  size_t cut = kMax;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // whole UTF-8 characters
  return PrintableText(text.substr(0, cut)) + "... (" + std::to_string(text.size()) + " bytes)";
}

const char* CheckModeName(int mode) { return mode == 1 ? "crc" : "checksum"; }

bool IsBaudRate(int rate) { return rate == 9600 || rate == 19200 || rate == 38400 || rate == 57600; }

// Typed member access with a message naming the member.
template <typename T>
bool Member(const json& object, const char* key, T& out, std::string& error, const std::string& where) {
  const auto it = object.find(key);
  if (it == object.end()) {
    error = where + "\"" + key + "\" is missing";
    return false;
  }
  try {
    if constexpr (std::is_same_v<T, std::string>) {
      if (!it->is_string()) throw std::runtime_error("type");
      out = it->get<T>();
    } else {
      // Whole numbers only, and only those the member's type holds: a huge
      // number must not wrap round into a plausible one.
      if (!it->is_number_integer()) throw std::runtime_error("type");
      if (it->is_number_unsigned() && it->get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<T>::max()))
        throw std::out_of_range("range");
      const int64_t value = it->get<int64_t>();
      if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max())
        throw std::out_of_range("range");
      out = static_cast<T>(value);
    }
  } catch (const std::out_of_range&) {
    error = where + "\"" + key + "\" is out of range";
    return false;
  } catch (const std::exception&) {
    error = where + "\"" + key + "\" has the wrong type";
    return false;
  }
  return true;
}

// The file says each value twice: as the setup pane showed it and as raw
// bytes. A hand edit of one without the other would restore something the
// editor did not mean; such a file is refused. The shown text is rounded to
// its printed decimals, so the raw value must lie within half its last unit.
bool ValueMatchesRaw(const SettingLayout& layout, const BackupSetting& s, const ValueContext& context) {
  const std::string exact = ExactText(layout, s.raw, context);
  switch (layout.kind) {
    case SettingKind::kOnOff:
    case SettingKind::kEnabled: return s.value == exact;
    case SettingKind::kAveraging: return true;  // its scale is the firmware's, not in the file
    case SettingKind::kMode:
      // "3:  From ..." names its number first; a mode without a row reads otherwise.
      if (s.value.empty() || s.value[0] < '0' || s.value[0] > '9') return true;
      return ReadWholeNumber(s.value) == RawValue(layout, s.raw);
    default: break;
  }
  const size_t point = s.value.find('.');
  size_t decimals = 0;
  if (point != std::string::npos)
    while (point + 1 + decimals < s.value.size() && std::isdigit(static_cast<unsigned char>(s.value[point + 1 + decimals])))
      ++decimals;
  const double tolerance = 0.5 * std::pow(10.0, -static_cast<double>(decimals)) + 1e-9;
  return std::fabs(ReadRealNumber(s.value) - ReadRealNumber(exact)) <= tolerance;
}

}  // namespace

const BackupSetting* SensorBackup::Find(const std::string& name) const {
  for (const BackupSetting& s : settings)
    if (s.name == name) return &s;
  return nullptr;
}

std::string UtcTimestamp() {
  // Whole seconds of the ISO time (no C library call: gmtime_r is POSIX
  // only).
  const std::string precise = IsoUtcTime(std::chrono::system_clock::now());
  return precise.substr(0, precise.find('.')) + "Z";
}

bool RequireCompleteIdentity(CKRV02Doc& doc, std::string& error, IdentityNeed need) {
  const auto enough = [need](const SensorIdentity& id) {
    return need == IdentityNeed::kAnswered ? id.answered : id.complete();
  };
  if (!enough(doc.sensor().identity())) doc.operations().RereadIdentity();
  const SensorIdentity id = doc.sensor().identity();
  if (enough(id)) return true;
  error = id.MissingText() + "; connect again when the line is sound";
  return false;
}

bool CaptureBackup(CKRV02Doc& doc, SensorBackup& backup, std::string& error) {
  ModelSettings* settings = doc.currentSettings();
  if (!doc.connected() || settings == nullptr) {
    error = "not connected to a sensor";
    return false;
  }
  if (!settings->Refresh()) {
    error = "the sensor's settings could not be read (see the log)";
    return false;
  }
  if (!RequireCompleteIdentity(doc, error)) return false;
  SensorBackup b;
  b.time = UtcTimestamp();
  b.modelIndex = doc.sensor().modelIndex();
  b.model = doc.sensor().modelText();
  b.modelString = doc.sensor().modelString();
  b.serialNumber = doc.sensor().serialNumberText();
  b.firmware = doc.sensor().firmwareText();
  b.fpga = doc.sensor().fpgaText();
  b.address = doc.sensor().address();
  b.baudRate = doc.sensor().baudRate();
  b.checkMode = doc.sensor().checkMode();
  for (const SettingLayout& layout : LayoutOfModel(b.modelIndex)) {
    BackupSetting s;
    s.name = layout.name;
    s.value = settings->DisplayedValue(layout.name);
    s.source = layout.source;
    s.offset = layout.offset;
    s.raw = settings->ReadBytes(layout);
    b.settings.push_back(std::move(s));
  }
  backup = std::move(b);
  return true;
}

std::string BackupToJson(const SensorBackup& b) {
  json settings = json::array();
  for (const BackupSetting& s : b.settings) {
    settings.push_back({{"name", s.name}, {"value", s.value}, {"source", s.source}, {"offset", s.offset},
                        {"raw", ToHex(s.raw)}});
  }
  const json document = {
      {"format", kBackupFormat},
      {"format_version", b.formatVersion},
      {"time", b.time},
      {"model", b.model},
      {"model_index", b.modelIndex},
      {"model_string", b.modelString},
      {"serial_number", b.serialNumber},
      {"firmware", b.firmware},
      {"fpga", b.fpga},
      {"connection", {{"address", b.address}, {"baud", b.baudRate}, {"check_mode", CheckModeName(b.checkMode)}}},
      {"settings", settings},
  };
  // Text that no UTF-8 decoder accepts (a sensor's raw identity bytes) is
  // written with replacement characters instead of failing the backup.
  return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool ParseBackup(const std::string& text, SensorBackup& backup, std::string& error) {
  json document;
  try {
    document = json::parse(text);
  } catch (const json::exception& e) {
    // Also a number too large for any type ("1e400"), which the library
    // reports as out of range rather than as a syntax error.
    error = "not a valid JSON document: " + Echo(e.what(), 200);
    return false;
  }
  if (!document.is_object()) {
    error = "not a settings backup: the document is not a JSON object";
    return false;
  }
  SensorBackup b;
  std::string format;
  if (!Member(document, "format", format, error, "") ) return false;
  if (format != kBackupFormat) {
    error = "not a settings backup: \"format\" is \"" + Echo(format) + "\"";
    return false;
  }
  if (!Member(document, "format_version", b.formatVersion, error, "")) return false;
  if (b.formatVersion != kBackupFormatVersion) {
    error = "backup format version " + std::to_string(b.formatVersion) + " is not supported (this program reads " +
            std::to_string(kBackupFormatVersion) + ")";
    return false;
  }
  if (!Member(document, "time", b.time, error, "") || !Member(document, "model", b.model, error, "") ||
      !Member(document, "model_index", b.modelIndex, error, "") ||
      !Member(document, "model_string", b.modelString, error, "") ||
      !Member(document, "serial_number", b.serialNumber, error, "") ||
      !Member(document, "firmware", b.firmware, error, "") || !Member(document, "fpga", b.fpga, error, "")) {
    return false;
  }
  if (LayoutOfModel(b.modelIndex).empty()) {
    error = "\"model_index\" " + std::to_string(b.modelIndex) + " is no known model";
    return false;
  }
  // The layout follows "model_index"; a "model" that names another model
  // (a file edited by hand) would have a restore speak of one model while
  // it applies another's settings.
  if (b.model != ModelDisplayName(b.modelIndex)) {
    error = "\"model\" is \"" + Echo(b.model) + "\", but \"model_index\" " + std::to_string(b.modelIndex) +
            " and the settings are those of a " + ModelDisplayName(b.modelIndex) +
            ": the file was changed by hand or is damaged";
    return false;
  }
  const auto connection = document.find("connection");
  if (connection == document.end() || !connection->is_object()) {
    error = "\"connection\" is missing or not an object";
    return false;
  }
  std::string checkMode;
  if (!Member(*connection, "address", b.address, error, "connection: ") ||
      !Member(*connection, "baud", b.baudRate, error, "connection: ") ||
      !Member(*connection, "check_mode", checkMode, error, "connection: ")) {
    return false;
  }
  if (b.address < 1 || b.address > 255) {
    error = "connection: address " + std::to_string(b.address) + " is not 1 to 255";
    return false;
  }
  if (!IsBaudRate(b.baudRate)) {
    error = "connection: baud rate " + std::to_string(b.baudRate) + " is not 9600, 19200, 38400 or 57600";
    return false;
  }
  if (checkMode != "checksum" && checkMode != "crc") {
    error = "connection: check mode \"" + Echo(checkMode) + "\" is not checksum or crc";
    return false;
  }
  b.checkMode = checkMode == "crc" ? 1 : 0;

  const auto settings = document.find("settings");
  if (settings == document.end() || !settings->is_array()) {
    error = "\"settings\" is missing or not a list";
    return false;
  }
  std::set<std::string> seen;
  for (size_t i = 0; i < settings->size(); ++i) {
    const json& item = (*settings)[i];
    const std::string where = "setting " + std::to_string(i + 1) + ": ";
    if (!item.is_object()) {
      error = where + "not an object";
      return false;
    }
    BackupSetting s;
    std::string raw;
    int64_t offset = 0;
    if (!Member(item, "name", s.name, error, where) || !Member(item, "value", s.value, error, where) ||
        !Member(item, "source", s.source, error, where) || !Member(item, "offset", offset, error, where) ||
        !Member(item, "raw", raw, error, where)) {
      return false;
    }
    const SettingLayout* layout = FindLayout(b.modelIndex, s.name);
    if (layout == nullptr) {
      error = where + "\"" + Echo(s.name) + "\" is no setting of the " + Echo(b.model) + " model";
      return false;
    }
    if (!seen.insert(s.name).second) {
      error = where + "\"" + s.name + "\" appears twice";
      return false;
    }
    if (s.source != layout->source || offset != static_cast<int64_t>(layout->offset)) {
      error = where + "\"" + s.name + "\" does not come from " + layout->source + " at offset " +
              std::to_string(layout->offset);
      return false;
    }
    s.offset = layout->offset;
    if (!FromHex(raw, s.raw) || s.raw.size() != layout->size) {
      error = where + "\"" + s.name + "\": \"raw\" must be " + std::to_string(layout->size * 2) +
              " hexadecimal digits, not \"" + Echo(raw) + "\"";
      return false;
    }
    b.settings.push_back(std::move(s));
  }
  for (const SettingLayout& layout : LayoutOfModel(b.modelIndex)) {
    if (seen.count(layout.name) == 0) {
      error = "the setting \"" + std::string(layout.name) + "\" is missing";
      return false;
    }
  }
  static const RangeModeTable ranges;
  ValueContext context;
  context.model = b.modelIndex;
  context.ranges = &ranges;
  // A model without a mode selection (Qmt Short) has no "Mode" in its
  // layout: its ranges use the single row of its set.
  const BackupSetting* mode = b.Find("Mode");
  const SettingLayout* modeLayout = FindLayout(b.modelIndex, "Mode");
  if (mode != nullptr && modeLayout != nullptr) context.modeByte = static_cast<int>(RawValue(*modeLayout, mode->raw));
  for (size_t i = 0; i < b.settings.size(); ++i) {
    const BackupSetting& s = b.settings[i];
    const SettingLayout& layout = *FindLayout(b.modelIndex, s.name);
    if (!ValueMatchesRaw(layout, s, context)) {
      error = "setting " + std::to_string(i + 1) + ": \"" + s.name + "\": the value \"" + Echo(s.value) +
              "\" does not match the raw bytes " + ToHex(s.raw) + " (" + ExactText(layout, s.raw, context) +
              "); edit both, or neither";
      return false;
    }
  }
  backup = std::move(b);
  return true;
}

bool WriteBackupFile(const std::string& path, const SensorBackup& backup, std::string& error) {
  // Replaced as a whole, so an interrupted write never leaves half a
  // backup under the file's name, and a link there is not written through.
  std::string reason;
  if (!files::WriteFileAtomically(path, BackupToJson(backup), &reason)) {
    error = "cannot write " + path + ": " + reason;
    return false;
  }
  return true;
}

bool ReadBackupFile(const std::string& path, SensorBackup& backup, std::string& error) {
  const files::FileContent file = files::ReadBoundedFile(path, kMaxBackupFileSize);
  if (!file.ok()) {
    error = "cannot read " + path + ": " + file.reason;
    return false;
  }
  if (!ParseBackup(file.content, backup, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace fleet
