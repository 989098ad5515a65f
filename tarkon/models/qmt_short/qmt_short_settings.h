#pragma once
// Settings of the Qmt Short.

#include <vector>

#include "tarkon/models/krv04_family/krv04_family_settings.h"

namespace qmt_short {
// The Qmt Short's rows: no mode selection (its ranges always use the single
// row of set C), and checks only of what its fields' words hold.
const std::vector<SettingField>& Rows();
}  // namespace qmt_short

class QmtShortSettings : public KRV04FamilySettings {
 public:
  QmtShortSettings(SensorCommands& commands, const RangeModeTable& modes, StateChanged changed);
};
