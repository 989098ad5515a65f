#pragma once
// One description of every setting of a model, row by row, as the
// "Parameters" pane, `tarkon-cli params` and the settings files show it:
// the name the setup pane gives it, its value in the sensor's unit, the
// number the settings operation takes back, the unit, the range the
// model's own check accepts (its words and its bounds) and the dialog group
// that writes it. Everything comes from the model's rows; nothing here
// repeats a limit.

#include <string>
#include <vector>

#include "tarkon/fleet/setting_layout.h"
#include "tarkon/fleet/settings_backup.h"

class CKRV02Doc;
class ModelSettings;

namespace fleet {

struct ParameterRow {
  std::string name;    // as the setup pane names it
  std::string value;   // as the setup pane shows it
  std::string number;  // the text the settings operation turns back into exactly this value
  std::string unit;    // "inch", "mm", "V", "ms"; empty for a count or a choice
  std::string range;   // the check's accepted values in its own words ("0 to 255"); empty when unchecked
  std::string min;     // the range's bounds as numbers; empty when it has none
  std::string max;
  std::string group;   // the settings dialog group that writes it
  int writeOrder = 0;  // that group's place when several are written
  std::vector<uint8_t> raw;  // the reply bytes it came from
};

// What a row description needs: the model's settings record (for the
// check's words and the units), and the values' context.
struct RowSource {
  const ModelSettings* settings = nullptr;
  ValueContext context;
};

// One row from a setting's raw bytes and shown text.
ParameterRow DescribeSetting(const SettingLayout& layout, const std::vector<uint8_t>& raw, const std::string& shown,
                             const RowSource& source);

// The rows of the connected sensor as last read, in the setup pane's
// order; empty when not connected or not read.
std::vector<ParameterRow> SensorRows(const CKRV02Doc& doc);
// The rows of a settings file, described with the checks of `settings`
// (a record of the file's model) and the averaging scale of its commands.
std::vector<ParameterRow> FileRows(const SensorBackup& file, const ModelSettings& settings, const RangeModeTable& ranges);

// The mode a file's ranges are in (0 for a model with a single mode).
int ModeByteOfFile(const SensorBackup& file);

}  // namespace fleet
