#include "tarkon/fleet/settings_bench.h"

#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/fleet/setting_layout.h"
#include "tarkon/fleet/settings_restore.h"
#include "tarkon/models/model_table.h"

namespace fleet {

SettingsBench::SettingsBench() = default;

SettingsBench::~SettingsBench() {
  if (doc_) doc_->CloseDocument();
}

bool SettingsBench::Open(const SensorBackup& file, std::string& error) {
  doc_.reset();
  port_.Stop();
  file_ = file;
  // A document of its own that neither reads nor writes the user's
  // settings file: nothing of the bench is remembered as a connection.
  doc_ = std::make_unique<CKRV02Doc>("/dev/null");
  doc_->options().SetSaveOnClose(false);
  // Its writes go to a private virtual sensor, not to a sensor: none of them
  // belongs in the change history.
  doc_->options().SetChangeRecording(false);
  ConnectValues values = doc_->BeginConnect();
  VirtualSensorRequest request;
  request.model = ModelDisplayName(file.modelIndex);
  if (!port_.Start(request, values)) {
    error = port_.failure();
    return false;
  }
  if (!doc_->Connect(values) || doc_->sensor().modelIndex() != file.modelIndex) {
    error = "the private virtual sensor of the " + request.model + " did not answer";
    return false;
  }
  return Load(error);
}

bool SettingsBench::Replace(const SensorBackup& file, std::string& error) {
  if (!doc_ || !doc_->connected() || file.modelIndex != file_.modelIndex) return Open(file, error);
  file_ = file;
  return Load(error);
}

bool SettingsBench::Load(std::string& error) {
  notLoaded_.clear();
  const RestoreReport report = RestoreSettings(*doc_, file_, RestoreOptions{});
  if (!report.error.empty()) {
    error = report.error;
    return false;
  }
  for (const RestoreItem& item : report.settings)
    if (item.status != RestoreStatus::kMatched && item.status != RestoreStatus::kChanged)
      notLoaded_.push_back(item.name);
  return true;
}

const ModelSettings& SettingsBench::settings() const { return *doc_->currentSettings(); }

const RangeModeTable& SettingsBench::ranges() const { return doc_->sensor().ranges(); }

void SettingsBench::TakeShownTexts() {
  const ModelSettings& settings = *doc_->currentSettings();
  for (BackupSetting& s : file_.settings) {
    const SettingLayout* layout = FindLayout(file_.modelIndex, s.name);
    if (layout != nullptr && settings.ReadBytes(*layout) == s.raw) s.value = settings.DisplayedValue(s.name);
  }
}

SetResult SettingsBench::Edit(const std::string& name, const std::string& value) {
  SetResult refused;
  if (!doc_ || !doc_->connected()) {
    refused.message = "the settings file is not open";
    return refused;
  }
  ModelSettings& settings = *doc_->currentSettings();
  const std::string known = settings.KnownSettingName(name);
  const SettingLayout* layout = FindLayout(file_.modelIndex, known);
  if (known.empty() || layout == nullptr) {
    refused.message = settings.SettingNameRefusal(name);
    if (refused.message.empty()) refused.message = "\"" + name + "\" is not kept in a settings file";
    return refused;
  }
  SetResult result = settings.ChangeSetting(known, value);
  if (result.Refused()) return result;
  if (!result.reread) {
    // Without a read-back the file would take bytes nobody saw.
    result.message = "the value could not be checked (the private sensor did not answer)";
    return result;
  }
  for (BackupSetting& s : file_.settings)
    if (s.name == known) s.raw = settings.ReadBytes(*layout);
  TakeShownTexts();
  return result;
}

bool EditSettingsFile(const std::string& path, const std::string& name, const std::string& value,
                      std::string& message, bool& refused) {
  refused = false;
  SensorBackup file;
  if (!ReadBackupFile(path, file, message)) return false;
  SettingsBench bench;
  if (!bench.Open(file, message)) return false;
  const SetResult result = bench.Edit(name, value);
  if (result.Refused()) {
    refused = true;
    message = result.message;
    return false;
  }
  // What is written must read back as a valid settings file.
  SensorBackup check;
  std::string why;
  if (!ParseBackup(BackupToJson(bench.file()), check, why)) {
    refused = true;
    message = "the edited file would not be valid: " + why;
    return false;
  }
  if (!WriteBackupFile(path, bench.file(), message)) return false;
  const BackupSetting* s = bench.file().Find(bench.settings().KnownSettingName(name));
  message = (s != nullptr ? s->name + ": " + s->value : name) + " (saved in " + path + ")";
  return true;
}

}  // namespace fleet
