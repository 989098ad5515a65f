// The KRV04 family's settings dialog words (each model's dialog shows the
// rows it has): the names the setup pane and tarkon-cli use, the captions
// of the dialogs' fields and their units.

#include "tarkon/models/setting_fields.h"

namespace setting_fields {

const std::vector<SettingField>& KRV04Family() {
  static const std::vector<SettingField> table = {
      {"Mode", "Mode", FieldUnit::kNone, "Mode", 0},
      {"Min. Laser Power", "Min. laser power", FieldUnit::kNone, "Laser powers", 1},
      {"Max. Laser Power", "Max. laser power", FieldUnit::kNone, "Laser powers", 1},
      {"Threshold", "Threshold", FieldUnit::kNone, "Threshold", 2},
      {"Min. Range", "Min. Range", FieldUnit::kRange, "Analog Factors", 3},
      {"Max. Range", "Max. Range", FieldUnit::kRange, "Analog Factors", 3},
      {"Min. Volts", "Volts @ Minumum", FieldUnit::kVolts, "Analog Factors", 3},
      {"Max. Volts", "Volts @ Maximum", FieldUnit::kVolts, "Analog Factors", 3},
      {"Out of Range", "Volts outside", FieldUnit::kVolts, "Analog Factors", 3},
      {"Hold Last Valid Range", "Hold last range value", FieldUnit::kNone, "Hold last range value", 4},
      {"Max samples to hold last range", "Max # dropouts", FieldUnit::kNone, "Hold last range value", 4},
      {"Min Wane Width", "Min. Wane Width(inch/mm)", FieldUnit::kNone, "Wane variables", 5},
      {"Min Wane Height", "Min. Wane Height(inch/mm)", FieldUnit::kNone, "Wane variables", 5},
      {"Pulse duration", "Pulse Duration(ms)", FieldUnit::kNone, "Wane variables", 5},
      {"Conveyer Speed", "Conveyer Speed(mm/s)", FieldUnit::kNone, "Wane variables", 5},
      {"Board timeout", "Board timeout(ms)", FieldUnit::kNone, "Wane variables", 5},
      {"Laser", "Laser", FieldUnit::kNone, "Laser", 6},
  };
  return table;
}

}  // namespace setting_fields
