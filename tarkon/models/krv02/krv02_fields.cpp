// The KRV02 family's settings dialog words: the names the setup pane and
// tarkon-cli use, the captions of the dialog's fields and their units.

#include "tarkon/models/setting_fields.h"

namespace setting_fields {

const std::vector<SettingField>& KRV02Family() {
  static const std::vector<SettingField> table = {
      {"Laser", "Laser", FieldUnit::kNone},
      {"Mode", "Scan Mode", FieldUnit::kNone},
      {"Min. Laser Power", "Min. laser power", FieldUnit::kNone},
      {"Max. Laser Power", "Max. laser power", FieldUnit::kNone},
      {"Range Offset", "Range offset:", FieldUnit::kRange},
      {"Multiplier", "Range multiplier", FieldUnit::kNone},
      {"Cosine", "Cosine:", FieldUnit::kNone},
      {"Min. Range", "Min. Range", FieldUnit::kRange},
      {"Max. Range", "Max. Range", FieldUnit::kRange},
      {"Min. Volts", "Volts @ minimum range:", FieldUnit::kVolts},
      {"Max. Volts", "Volts @ maximum:", FieldUnit::kVolts},
      {"Offset", "Offset voltage:", FieldUnit::kVolts},
      {"Out of Range", "Volts outside range:", FieldUnit::kVolts},
      {"Threshold", "Threshold", FieldUnit::kNone},
      {"Averaging Period(ms)", "Averaging period (ms)", FieldUnit::kNone},
      {"Dropout", "Dropout factor:", FieldUnit::kNone},
      {"Smooth", "Smooth factor:", FieldUnit::kNone},
      {"Order", "Order factor:", FieldUnit::kNone},
      {"Scan Interval", "Scan Interval", FieldUnit::kNone},
  };
  return table;
}

}  // namespace setting_fields
