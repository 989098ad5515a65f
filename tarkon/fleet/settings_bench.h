#pragma once
// A settings file edited with no sensor attached. The file's values are
// loaded into a private virtual sensor of the file's model, and every edit
// goes through that model's own settings operation there: the same check
// with the same message, the same conversion into the reply's bytes, and
// the same re-read. The file then takes the edited setting's bytes, so
// what it holds is exactly what the model's operation would have put on a
// sensor. Settings not edited keep the file's own bytes.

#include <memory>
#include <string>
#include <vector>

#include "tarkon/document/settings_editing.h"
#include "tarkon/document/virtual_sensor_port.h"
#include "tarkon/fleet/settings_backup.h"

class CKRV02Doc;
class ModelSettings;

namespace fleet {

class SettingsBench {
 public:
  SettingsBench();
  ~SettingsBench();
  SettingsBench(const SettingsBench&) = delete;
  SettingsBench& operator=(const SettingsBench&) = delete;

  // Starts the private sensor of the file's model and loads the file's
  // values. False with the reason when it could not start.
  bool Open(const SensorBackup& file, std::string& error);
  // The same file with other values (taken from a sensor): loads them.
  bool Replace(const SensorBackup& file, std::string& error);

  // Changes one setting of the file by its name with a value typed in
  // display units, through the model's operation. A refusal (its message)
  // leaves the file as it was.
  SetResult Edit(const std::string& name, const std::string& value);

  const SensorBackup& file() const { return file_; }
  // The settings record of the file's model (its checks and words).
  const ModelSettings& settings() const;
  const RangeModeTable& ranges() const;
  // Settings whose file value the model's operation refused to load: an
  // edit of another setting of their group sends them as the model holds
  // them, but the file keeps its own bytes for them.
  const std::vector<std::string>& notLoaded() const { return notLoaded_; }

 private:
  bool Load(std::string& error);
  // The shown texts of settings the private sensor holds as the file does.
  void TakeShownTexts();

  VirtualSensorPort port_;
  std::unique_ptr<CKRV02Doc> doc_;
  SensorBackup file_;
  std::vector<std::string> notLoaded_;
};

// An edit of one setting in a settings file on disk (tarkon-cli edit): read
// (size cap), edit on the bench, check the result parses as a backup, then
// replace the file atomically. On a refusal the file is not touched and
// `refused` is set. False with the message otherwise.
bool EditSettingsFile(const std::string& path, const std::string& name, const std::string& value,
                      std::string& message, bool& refused);

}  // namespace fleet
