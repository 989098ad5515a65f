#include "tarkon/models/krv04_family/krv04_family_backup_layout.h"

#include "tarkon/models/krv04_family/krv04_replies.h"

namespace krv04 {

std::vector<model_backup::SettingLayout> SharedBackupLayout(bool withMode) {
  using namespace model_backup;
  using K = SettingKind;
  std::vector<SettingLayout> layout;
  if (withMode) layout.push_back({"Mode", kKRV04Setup, kSetupMode, 1, false, K::kMode});
  const std::vector<SettingLayout> shared = {
      {"Min. Laser Power", kKRV04Setup, kSetupMinLaserPower, 1, false, K::kWhole},
      {"Max. Laser Power", kKRV04Setup, kSetupMaxLaserPower, 1, false, K::kWhole},
      {"Threshold", kKRV04Setup, kSetupThreshold, 1, false, K::kWhole},
      {"Min. Range", kKRV04Setup, kSetupMinRange, 2, false, K::kRange},
      {"Max. Range", kKRV04Setup, kSetupMaxRange, 2, false, K::kRange},
      {"Min. Volts", kKRV04Setup, kSetupMinVolts, 2, false, K::kThousandths},
      {"Max. Volts", kKRV04Setup, kSetupMaxVolts, 2, false, K::kThousandths},
      {"Out of Range", kKRV04Setup, kSetupOutOfRange, 2, false, K::kThousandths},
  };
  layout.insert(layout.end(), shared.begin(), shared.end());
  return layout;
}

}  // namespace krv04
