#include "tarkon/models/qmt_short/qmt_short_model.h"

#include "tarkon/models/krv04_family/krv04_family_backup_layout.h"
#include "tarkon/models/krv04_family/krv04_family_panel.h"
#include "tarkon/models/qmt_short/qmt_short_settings.h"

namespace qmt_short {
namespace {

std::unique_ptr<ModelSettings> NewSettings(SensorCommands& commands, const RangeModeTable& modes,
                                           ModelSettings::ModelGetter /*model*/,
                                           ModelSettings::StateChanged changed) {
  return std::make_unique<QmtShortSettings>(commands, modes, std::move(changed));
}

// No mode selection: the setup record's mode byte is not its to show.
const std::vector<model_backup::SettingLayout>& BackupLayout() {
  static const std::vector<model_backup::SettingLayout> layout = krv04::SharedBackupLayout(false);
  return layout;
}

// Its ranges always use the single row of its set, whatever the sensor's
// mode byte says.
int ModeByte(const SensorCommands& /*commands*/) { return 0; }

}  // namespace

const ModelParts& Parts() {
  static const ModelParts parts = {
      NewSettings, BackupLayout, krv04::LivePanel, RangeModeSet::kC, ModeByte,
      /*krv02VersionCommand=*/false, /*krv02Extras=*/false, /*scanRanges=*/nullptr,
  };
  return parts;
}

}  // namespace qmt_short
