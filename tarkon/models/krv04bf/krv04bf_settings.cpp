#include "tarkon/models/krv04bf/krv04bf_settings.h"

namespace krv04bf {

const std::vector<SettingField>& Rows() {
  // Its dialog words the threshold's message without the blank.
  static const std::vector<SettingField> rows = setting_fields::With(
      setting_fields::Without(setting_fields::KRV04Family(), {"Hold Last Valid Range", "Max samples to hold last range"}),
      "Threshold", [](SettingField& row) { row.message = "Thresholdmust be between 0 and 255"; });
  return rows;
}

}  // namespace krv04bf

KRV04BFSettings::KRV04BFSettings(SensorCommands& commands, const RangeModeTable& modes, StateChanged changed)
    : KRV04FamilySettings(commands, modes, kModelKRV04BoardFlipper, krv04bf::Rows(), std::move(changed)) {}
