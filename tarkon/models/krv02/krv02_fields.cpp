// The KRV02 family's settings dialog words: the names the setup pane and
// tarkon-cli use, the captions of the dialog's fields and their units.

#include "tarkon/models/setting_fields.h"

namespace setting_fields {

const std::vector<SettingField>& KRV02Family() {
  static const std::vector<SettingField> table = {
      {"Laser", "Laser", FieldUnit::kNone, "Laser", 5},
      {"Mode", "Scan Mode", FieldUnit::kNone, "Scan Mode", 0},
      {"Min. Laser Power", "Min. laser power", FieldUnit::kNone, "Laser powers", 1},
      {"Max. Laser Power", "Max. laser power", FieldUnit::kNone, "Laser powers", 1},
      {"Range Offset", "Range offset:", FieldUnit::kRange, "Range offset", 2},
      {"Multiplier", "Range multiplier", FieldUnit::kNone, "Range offset", 2},
      {"Cosine", "Cosine:", FieldUnit::kNone, "Range offset", 2},
      {"Min. Range", "Min. Range", FieldUnit::kRange, "Analog Factors", 3},
      {"Max. Range", "Max. Range", FieldUnit::kRange, "Analog Factors", 3},
      {"Min. Volts", "Volts @ minimum range:", FieldUnit::kVolts, "Analog Factors", 3},
      {"Max. Volts", "Volts @ maximum:", FieldUnit::kVolts, "Analog Factors", 3},
      {"Offset", "Offset voltage:", FieldUnit::kVolts, "Analog Factors", 3},
      {"Out of Range", "Volts outside range:", FieldUnit::kVolts, "Analog Factors", 3},
      {"Threshold", "Threshold", FieldUnit::kNone, "Threshold", 4},
      {"Averaging Period(ms)", "Averaging period (ms)", FieldUnit::kNone, "Averaging period", 6},
      {"Dropout", "Dropout factor:", FieldUnit::kNone, "Scan Buffer Variables", 7},
      {"Smooth", "Smooth factor:", FieldUnit::kNone, "Scan Buffer Variables", 7},
      {"Order", "Order factor:", FieldUnit::kNone, "Scan Buffer Variables", 7},
      {"Scan Interval", "Scan Interval", FieldUnit::kNone, "Scan Interval", 8},
  };
  return table;
}

}  // namespace setting_fields
