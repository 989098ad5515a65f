// The KRV04 family's settings dialog words (each model's dialog shows the
// rows it has): the names the setup pane and tarkon-cli use, the captions
// of the dialogs' fields and their units.

#include "tarkon/models/setting_fields.h"

namespace setting_fields {

const std::vector<SettingField>& KRV04Family() {
  static const std::vector<SettingField> table = {
      {"Mode", "Mode", FieldUnit::kNone},
      {"Min. Laser Power", "Min. laser power", FieldUnit::kNone},
      {"Max. Laser Power", "Max. laser power", FieldUnit::kNone},
      {"Threshold", "Threshold", FieldUnit::kNone},
      {"Min. Range", "Min. Range", FieldUnit::kRange},
      {"Max. Range", "Max. Range", FieldUnit::kRange},
      {"Min. Volts", "Volts @ Minumum", FieldUnit::kVolts},
      {"Max. Volts", "Volts @ Maximum", FieldUnit::kVolts},
      {"Out of Range", "Volts outside", FieldUnit::kVolts},
      {"Hold Last Valid Range", "Hold last range value", FieldUnit::kNone},
      {"Max samples to hold last range", "Max # dropouts", FieldUnit::kNone},
      {"Min Wane Width", "Min. Wane Width(inch/mm)", FieldUnit::kNone},
      {"Min Wane Height", "Min. Wane Height(inch/mm)", FieldUnit::kNone},
      {"Pulse duration", "Pulse Duration(ms)", FieldUnit::kNone},
      {"Conveyer Speed", "Conveyer Speed(mm/s)", FieldUnit::kNone},
      {"Board timeout", "Board timeout(ms)", FieldUnit::kNone},
      {"Laser", "Laser", FieldUnit::kNone},
  };
  return table;
}

}  // namespace setting_fields
