#include "tarkon/models/krv04bf/krv04bf_model.h"

#include "tarkon/document/scan_buffer.h"
#include "tarkon/models/krv04_family/krv04_family_backup_layout.h"
#include "tarkon/models/krv04_family/krv04_replies.h"
#include "tarkon/models/krv04bf/krv04bf_panel.h"
#include "tarkon/models/krv04bf/krv04bf_replies.h"
#include "tarkon/models/krv04bf/krv04bf_settings.h"

namespace krv04bf {
namespace {

std::unique_ptr<ModelSettings> NewSettings(SensorCommands& commands, const RangeModeTable& modes,
                                           ModelSettings::ModelGetter /*model*/,
                                           ModelSettings::StateChanged changed) {
  return std::make_unique<KRV04BFSettings>(commands, modes, std::move(changed));
}

const std::vector<model_backup::SettingLayout>& BackupLayout() {
  using model_backup::SettingKind;
  using model_backup::SettingLayout;
  static const std::vector<SettingLayout> layout = [] {
    std::vector<SettingLayout> l = krv04::SharedBackupLayout(true);
    l.push_back({"Min Wane Height", model_backup::kWane, kWaneHeight, 2, false, SettingKind::kWane});
    l.push_back({"Min Wane Width", model_backup::kWane, kWaneWidth, 2, false, SettingKind::kWane});
    l.push_back({"Pulse duration", model_backup::kWane, kWanePulse, 2, false, SettingKind::kWhole});
    l.push_back({"Conveyer Speed", model_backup::kWane, kWaneSpeed, 2, false, SettingKind::kWhole});
    l.push_back({"Board timeout", model_backup::kBoardTimeout, krv04::kCountWord, 2, false, SettingKind::kWhole});
    return l;
  }();
  return layout;
}

int ModeByte(const SensorCommands& c) { return c.krv04Setup[krv04::kSetupMode]; }

int ScanRanges(const uint8_t* /*krv02State*/) { return kBoardFlipperRangesAvailable; }

}  // namespace

const ModelParts& Parts() {
  static const ModelParts parts = {
      NewSettings, BackupLayout, LivePanel, RangeModeSet::kB, ModeByte,
      /*krv02VersionCommand=*/false, /*krv02Extras=*/false, ScanRanges,
  };
  return parts;
}

}  // namespace krv04bf
