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

const SettingField* Find(const std::vector<SettingField>& table, const std::string& name) {
  for (const SettingField& field : table)
    if (name == field.name) return &field;
  return nullptr;
}

std::string Spoken(const std::string& caption) {
  std::string text = caption;
  if (!text.empty() && text.back() == ')') {
    const size_t open = text.rfind('(');
    if (open != std::string::npos) text.erase(open);
  }
  while (!text.empty() && (text.back() == ':' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace setting_fields
