#pragma once
// Settings of the KRV04 Board Flipper: the KRV04 family's setup record plus
// the wane-detection record and the board time-out, and a laser switch that
// the sensor does not report back.

#include <vector>

#include "tarkon/models/krv04_family/krv04_family_settings.h"

namespace krv04bf {
// The board flipper's rows, in the setup pane's order.
const std::vector<SettingField>& Rows();
}  // namespace krv04bf

class KRV04BFSettings : public KRV04FamilySettings {
 public:
  KRV04BFSettings(SensorCommands& commands, const RangeModeTable& modes, StateChanged changed);
};
