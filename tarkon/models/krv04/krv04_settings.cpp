#include "tarkon/models/krv04/krv04_settings.h"

namespace krv04 {

const std::vector<SettingField>& Rows() {
  static const std::vector<SettingField> rows = setting_fields::Without(
      setting_fields::KRV04Family(),
      {"Min Wane Height", "Min Wane Width", "Pulse duration", "Conveyer Speed", "Board timeout", "Laser"});
  return rows;
}

}  // namespace krv04

KRV04Settings::KRV04Settings(SensorCommands& commands, const RangeModeTable& modes, StateChanged changed)
    : KRV04FamilySettings(commands, modes, kModelKRV04, krv04::Rows(), std::move(changed)) {}
