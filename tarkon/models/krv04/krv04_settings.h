#pragma once
// Settings of the KRV04: the family's setup record plus the hold of the
// last valid range and the count of samples to hold it.

#include <vector>

#include "tarkon/models/krv04_family/krv04_family_settings.h"

namespace krv04 {
// The KRV04's rows, in the setup pane's order.
const std::vector<SettingField>& Rows();
}  // namespace krv04

class KRV04Settings : public KRV04FamilySettings {
 public:
  KRV04Settings(SensorCommands& commands, const RangeModeTable& modes, StateChanged changed);
};
