#include "tarkon/models/qmt_short/qmt_short_settings.h"

namespace qmt_short {

const std::vector<SettingField>& Rows() {
  static const std::vector<SettingField> rows = [] {
    std::vector<SettingField> r = setting_fields::Without(
        setting_fields::KRV04Family(),
        {"Mode", "Hold Last Valid Range", "Max samples to hold last range", "Min Wane Height", "Min Wane Width",
         "Pulse duration", "Conveyer Speed", "Board timeout", "Laser"});
    // Its dialog has no checks of its own: a value is refused only where
    // its word cannot hold it (a byte, an unsigned word), never sent cut.
    for (SettingField& row : r) row.check = FieldCheck::kWord;
    return r;
  }();
  return rows;
}

}  // namespace qmt_short

QmtShortSettings::QmtShortSettings(SensorCommands& commands, const RangeModeTable& modes, StateChanged changed)
    : KRV04FamilySettings(commands, modes, kModelQmtShort, qmt_short::Rows(), std::move(changed)) {}
