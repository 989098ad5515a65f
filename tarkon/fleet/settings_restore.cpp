#include "tarkon/fleet/settings_restore.h"

#include <algorithm>
#include <cmath>

#include "tarkon/document/connect_values.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/fleet/setting_layout.h"

namespace fleet {
namespace {

// A model without a mode selection (Qmt Short) has no "Mode" setting: its
// ranges use the single row of its set.
int ModeByteOfBackup(const SensorBackup& b) {
  const SettingLayout* mode = FindLayout(b.modelIndex, "Mode");
  const BackupSetting* s = b.Find("Mode");
  return mode != nullptr && s != nullptr ? static_cast<int>(RawValue(*mode, s->raw)) : 0;
}

// The firmware's averaging factor as the connected sensor's settings read it.
double AveragingFactor(const CKRV02Doc& doc) {
  const ModelSettings* settings = doc.currentSettings();
  return settings != nullptr ? settings->ShownContext().averagingFactor : 1.0;
}

ValueContext FileContext(const CKRV02Doc& doc, const SensorBackup& b) {
  return {b.modelIndex, ModeByteOfBackup(b), AveragingFactor(doc), &doc.sensor().ranges()};
}

ValueContext SensorContext(const CKRV02Doc& doc) {
  return {doc.sensor().modelIndex(), doc.sensor().CurrentMode(), AveragingFactor(doc), &doc.sensor().ranges()};
}

bool NumericKind(SettingKind kind) {
  return kind != SettingKind::kOnOff && kind != SettingKind::kEnabled && kind != SettingKind::kMode;
}

// Whether the sensor holds the file's value. Of the same model: the same
// raw bytes. Of another model (--force): the same value in display units.
bool Holds(const CKRV02Doc& doc, const SensorBackup& b, const SettingLayout& sensorLayout,
           const BackupSetting& fileSetting) {
  const ModelSettings* settings = doc.currentSettings();
  const std::vector<uint8_t> now = settings != nullptr ? settings->ReadBytes(sensorLayout) : std::vector<uint8_t>();
  if (b.modelIndex == doc.sensor().modelIndex()) return now == fileSetting.raw;
  const SettingLayout* fileLayout = FindLayout(b.modelIndex, fileSetting.name);
  if (fileLayout == nullptr) return false;
  const ValueContext fileContext = FileContext(doc, b);
  const ValueContext sensorContext = SensorContext(doc);
  if (IsRangeKind(sensorLayout.kind) &&
      UnitOfFormat(doc.sensor().ranges().Lookup(fileContext.model, fileContext.modeByte).unitFormat) !=
          UnitOfFormat(doc.sensor().ranges().Lookup(sensorContext.model, sensorContext.modeByte).unitFormat)) {
    return false;  // the same number in another unit is another length
  }
  const std::string fileText = ExactText(*fileLayout, fileSetting.raw, fileContext);
  const std::string sensorText = ExactText(sensorLayout, now, sensorContext);
  if (!NumericKind(sensorLayout.kind)) return fileText == sensorText;
  const double a = ReadRealNumber(fileText);
  const double c = ReadRealNumber(sensorText);
  return std::fabs(a - c) <= 1e-9 * std::max(1.0, std::fabs(a));
}

void CompareSettings(CKRV02Doc& doc, const SensorBackup& b, RestoreReport& report) {
  const ModelSettings* settings = doc.currentSettings();
  report.settings.clear();
  for (const BackupSetting& s : b.settings) {
    RestoreItem item;
    item.name = s.name;
    item.fileText = s.value;
    const SettingLayout* layout = FindLayout(doc.sensor().modelIndex(), s.name);
    if (layout == nullptr) {
      item.status = RestoreStatus::kNotShared;
      item.message = "the " + doc.sensor().modelText() + " has no such setting";
    } else {
      item.sensorText = settings->DisplayedValue(s.name);
      item.status = Holds(doc, b, *layout, s) ? RestoreStatus::kMatched : RestoreStatus::kDifferent;
    }
    report.settings.push_back(std::move(item));
  }
}

std::string CheckModeText(int mode) { return mode == 1 ? "CRC" : "Checksum"; }

void CompareConnection(const CKRV02Doc& doc, const SensorBackup& b, RestoreReport& report) {
  report.connection = {
      {"Address", std::to_string(doc.sensor().address()), std::to_string(b.address), "", RestoreStatus::kMatched, ""},
      {"Check mode", CheckModeText(doc.sensor().checkMode()), CheckModeText(b.checkMode), "", RestoreStatus::kMatched,
       ""},
      {"Baud rate", std::to_string(doc.sensor().baudRate()), std::to_string(b.baudRate), "", RestoreStatus::kMatched,
       ""},
  };
  for (RestoreItem& item : report.connection)
    if (item.sensorText != item.fileText) item.status = RestoreStatus::kDifferent;
}

bool Begin(CKRV02Doc& doc, const SensorBackup& b, const RestoreOptions& options, RestoreReport& report) {
  ModelSettings* settings = doc.currentSettings();
  if (!doc.connected() || settings == nullptr) {
    report.error = "not connected to a sensor";
    return false;
  }
  report.otherModel = b.modelIndex != doc.sensor().modelIndex();
  if (report.otherModel && !options.force) {
    report.modelRefused = true;
    report.error = "the file holds the settings of a " + b.model + ", the sensor is a " + doc.sensor().modelText() +
                   " (use --force to apply the settings the two share)";
    return false;
  }
  if (!settings->Refresh()) {
    report.error = "the sensor's settings could not be read (see the log)";
    return false;
  }
  CompareSettings(doc, b, report);
  CompareConnection(doc, b, report);
  return true;
}

// Address, check mode, then baud rate, each through the document's own
// operation; then a fresh connect at the new values proves the sensor took
// them.
void RestoreConnection(CKRV02Doc& doc, const SensorBackup& b, RestoreReport& report) {
  const std::string serial = doc.sensor().serialNumberText();
  const std::string device = doc.sensor().device();
  bool changed = false;
  if (doc.sensor().address() != b.address) {
    doc.operations().SetAddress(doc.sensor().serialNumberText(), static_cast<uint8_t>(b.address));
    changed = true;
  }
  if (doc.sensor().checkMode() != b.checkMode) {
    doc.operations().ChangeCheckMode(b.checkMode);
    changed = true;
  }
  if (doc.sensor().baudRate() != b.baudRate) {
    doc.operations().ChangeBaudRate(ConnectBaudChoice(b.baudRate));
    changed = true;
  }
  if (changed) {
    doc.Disconnect();
    ConnectValues values = doc.BeginConnect();
    values.portText = device;
    values.baudChoice = ConnectBaudChoice(b.baudRate);
    values.address = static_cast<uint8_t>(b.address);
    values.globalAddress = false;
    report.reconnected = doc.Connect(values) && doc.sensor().serialNumberText() == serial;
  }
  const std::string after[] = {std::to_string(doc.sensor().address()), CheckModeText(doc.sensor().checkMode()),
                               std::to_string(doc.sensor().baudRate())};
  for (size_t i = 0; i < report.connection.size(); ++i) {
    RestoreItem& item = report.connection[i];
    item.afterText = doc.connected() ? after[i] : "";
    if (item.status == RestoreStatus::kMatched && item.afterText == item.fileText) continue;
    if (doc.connected() && report.reconnected && item.afterText == item.fileText) {
      item.status = RestoreStatus::kChanged;
    } else {
      item.status = RestoreStatus::kNotVerified;
      item.message = report.reconnected ? "the sensor reports " + item.afterText
                                        : "the sensor did not answer at the file's connection values";
    }
  }
}

}  // namespace

const char* StatusText(RestoreStatus status) {
  switch (status) {
    case RestoreStatus::kMatched: return "matched";
    case RestoreStatus::kDifferent: return "different";
    case RestoreStatus::kChanged: return "changed";
    case RestoreStatus::kRefused: return "refused";
    case RestoreStatus::kNotVerified: return "not verified";
    case RestoreStatus::kNotShared: return "not shared";
  }
  return "";
}

bool RestoreReport::Equal() const {
  if (!error.empty() || otherModel) return false;
  for (const RestoreItem& i : settings)
    if (i.status == RestoreStatus::kDifferent) return false;
  for (const RestoreItem& i : connection)
    if (i.status == RestoreStatus::kDifferent) return false;
  return true;
}

bool RestoreReport::AllVerified() const {
  if (!error.empty() || !stopped.empty() || !reconnected) return false;
  for (const RestoreItem& i : settings)
    if (i.status == RestoreStatus::kRefused || i.status == RestoreStatus::kNotVerified ||
        i.status == RestoreStatus::kDifferent)
      return false;
  for (const RestoreItem& i : connection)
    if (i.status == RestoreStatus::kNotVerified) return false;
  return true;
}

RestoreReport CompareWithSensor(CKRV02Doc& doc, const SensorBackup& backup, const RestoreOptions& options) {
  RestoreReport report;
  Begin(doc, backup, options, report);
  return report;
}

RestoreReport RestoreSettings(CKRV02Doc& doc, const SensorBackup& b, const RestoreOptions& options) {
  RestoreReport report;
  for (const std::string& name : options.only) {
    if (b.Find(name) == nullptr) {
      report.error = "the file holds no setting named \"" + name + "\"";
      return report;
    }
  }
  // The settings left out by options.only are neither written nor reported.
  std::vector<bool> chosen(b.settings.size(), true);
  if (!options.only.empty())
    for (size_t i = 0; i < b.settings.size(); ++i)
      chosen[i] = std::find(options.only.begin(), options.only.end(), b.settings[i].name) != options.only.end();
  const auto dropUnchosen = [&] {
    for (size_t i = b.settings.size(); i-- > 0;)
      if (!chosen[i] && i < report.settings.size()) report.settings.erase(report.settings.begin() + static_cast<long>(i));
  };
  if (!Begin(doc, b, options, report) || options.dryRun) {
    dropUnchosen();
    return report;
  }
  ModelSettings* settings = doc.currentSettings();
  const ValueContext context = FileContext(doc, b);

  // The mode first: the ranges of the file are in the file's mode.
  std::vector<size_t> order;
  for (size_t i = 0; i < b.settings.size(); ++i)
    if (b.settings[i].name == "Mode") order.push_back(i);
  for (size_t i = 0; i < b.settings.size(); ++i)
    if (b.settings[i].name != "Mode") order.push_back(i);

  std::vector<bool> applied(b.settings.size(), false);
  // Settings that a read-back after a write showed holding the file's
  // value, with the text read then: they stay verified when the sensor
  // falls silent or the port goes away later on.
  std::vector<bool> verified(b.settings.size(), false);
  const auto noteVerified = [&] {
    for (size_t j = 0; j < b.settings.size(); ++j) {
      if (!applied[j] || verified[j]) continue;
      const SettingLayout* layout = FindLayout(doc.sensor().modelIndex(), b.settings[j].name);
      if (layout == nullptr || !Holds(doc, b, *layout, b.settings[j])) continue;
      verified[j] = true;
      report.settings[j].afterText = settings->DisplayedValue(b.settings[j].name);
    }
  };
  for (size_t i : order) {
    RestoreItem& item = report.settings[i];
    if (!chosen[i] || item.status != RestoreStatus::kDifferent) continue;
    const BackupSetting& s = b.settings[i];
    if (!report.stopped.empty()) {
      item.status = RestoreStatus::kNotVerified;
      item.message = "not sent: the connection was lost before it";
      continue;
    }
    // A group's other fields go out as last read; one written earlier may
    // already have brought this one back.
    const SettingLayout* sensorLayout = FindLayout(doc.sensor().modelIndex(), s.name);
    if (applied[i] || (sensorLayout != nullptr && Holds(doc, b, *sensorLayout, s))) {
      applied[i] = true;
      noteVerified();
      continue;
    }
    const SettingLayout* fileLayout = FindLayout(b.modelIndex, s.name);
    // A range goes over in display units; in another unit (the mode was
    // not restored, or the models' modes differ) it would mean something else.
    if (IsRangeKind(fileLayout->kind)) {
      const ValueContext now = SensorContext(doc);
      const std::string fileUnit =
          UnitOfFormat(doc.sensor().ranges().Lookup(context.model, context.modeByte).unitFormat);
      const std::string sensorUnit = UnitOfFormat(doc.sensor().ranges().Lookup(now.model, now.modeByte).unitFormat);
      if (fileUnit != sensorUnit) {
        item.status = RestoreStatus::kRefused;
        item.message = "the file's value is in " + (fileUnit.empty() ? std::string("no known unit") : fileUnit) +
                       ", the sensor's range mode in " + (sensorUnit.empty() ? std::string("no known unit") : sensorUnit);
        continue;
      }
    }
    const SetResult result = settings->ChangeSetting(s.name, ExactText(*fileLayout, s.raw, context));
    if (result.Refused()) {
      item.status = RestoreStatus::kRefused;
      item.message = result.message;
      continue;
    }
    applied[i] = true;
    if (result.reread) noteVerified();
    // A failed command on a port that went away closed the connection:
    // nothing more can be sent, and writing on would only fail again.
    if (!doc.connected()) report.stopped = "the connection was lost while " + s.name + " was written";
  }

  // Verify everything against a fresh read; without one, what an earlier
  // read-back showed still stands.
  const bool reread = report.stopped.empty() && settings->Refresh();
  for (size_t i = 0; i < b.settings.size(); ++i) {
    RestoreItem& item = report.settings[i];
    if (!chosen[i]) continue;
    if (item.status == RestoreStatus::kNotShared || item.status == RestoreStatus::kRefused) continue;
    if (item.status == RestoreStatus::kNotVerified) continue;  // not sent
    const SettingLayout* layout = FindLayout(doc.sensor().modelIndex(), item.name);
    if (!reread && verified[i]) {
      if (item.status == RestoreStatus::kDifferent) item.status = RestoreStatus::kChanged;
      continue;
    }
    // Without a read after the writes, a setting that matched at the start
    // and was not written still stands as it was read then.
    if (!reread && item.status == RestoreStatus::kMatched && !applied[i]) continue;
    item.afterText = settings->DisplayedValue(item.name);
    const bool holds = reread && layout != nullptr && Holds(doc, b, *layout, b.settings[i]);
    if (holds) {
      if (item.status == RestoreStatus::kDifferent) item.status = RestoreStatus::kChanged;
    } else {
      item.status = RestoreStatus::kNotVerified;
      item.message = reread ? "the sensor reports " + item.afterText : "the sensor's settings could not be read back";
    }
  }
  if (options.connection && report.stopped.empty()) RestoreConnection(doc, b, report);
  dropUnchosen();
  return report;
}

}  // namespace fleet
