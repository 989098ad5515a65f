#include "tarkon/models/krv04/krv04_model.h"

#include "tarkon/models/krv04_family/krv04_family_backup_layout.h"
#include "tarkon/models/krv04_family/krv04_family_panel.h"
#include "tarkon/models/krv04_family/krv04_replies.h"
#include "tarkon/models/krv04/krv04_settings.h"

namespace krv04 {
namespace {

std::unique_ptr<ModelSettings> NewSettings(SensorCommands& commands, const RangeModeTable& modes,
                                           ModelSettings::ModelGetter /*model*/,
                                           ModelSettings::StateChanged changed) {
  return std::make_unique<KRV04Settings>(commands, modes, std::move(changed));
}

const std::vector<model_backup::SettingLayout>& BackupLayout() {
  using namespace model_backup;
  static const std::vector<SettingLayout> layout = [] {
    std::vector<SettingLayout> l = SharedBackupLayout(true);
    l.push_back({"Hold Last Valid Range", kKRV04Setup, kSetupHoldLastRange, 1, false, SettingKind::kEnabled});
    l.push_back({"Max samples to hold last range", model_backup::kHoldScans, kCountWord, 2, false,
                 SettingKind::kWhole});
    return l;
  }();
  return layout;
}

int ModeByte(const SensorCommands& c) { return c.krv04Setup[kSetupMode]; }

}  // namespace

const ModelParts& Parts() {
  static const ModelParts parts = {
      NewSettings, BackupLayout, LivePanel, RangeModeSet::kB, ModeByte,
      /*krv02VersionCommand=*/false, /*krv02Extras=*/false, /*scanRanges=*/nullptr,
  };
  return parts;
}

}  // namespace krv04
