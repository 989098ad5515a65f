// A KRV04 family member that exists only in the test build: the KRV04
// without its count of samples to hold the last range, and with a
// narrower threshold (20 to 200). Its folder is all it takes: its rows,
// its parts, one row of the model table with its model string, and the
// virtual sensor's own entry for it (which plays it as a KRV04 under its
// own model string). Every test that goes over the model table takes it.

#include "sim/model_table.h"
#include "tarkon/models/krv04_family/krv04_family_panel.h"
#include "tarkon/models/krv04_family/krv04_family_settings.h"
#include "tarkon/models/krv04_family/krv04_replies.h"
#include "tarkon/models/model_table.h"

namespace krv04_compact {
namespace {

constexpr int kIndex = kModelCount;  // the first index after the program's own

const std::vector<SettingField>& Rows() {
  static const std::vector<SettingField> rows = setting_fields::With(
      setting_fields::Without(setting_fields::KRV04Family(),
                              {"Max samples to hold last range", "Min Wane Height", "Min Wane Width", "Pulse duration",
                               "Conveyer Speed", "Board timeout", "Laser"}),
      "Threshold", [](SettingField& row) {
        row.low = 20;
        row.high = 200;
        row.message = "Threshold must be between 20 and 200";
      });
  return rows;
}

std::unique_ptr<ModelSettings> NewSettings(SensorCommands& commands, const RangeModeTable& modes,
                                           ModelSettings::ModelGetter /*model*/, ModelSettings::StateChanged changed) {
  return std::make_unique<KRV04FamilySettings>(commands, modes, kIndex, Rows(), std::move(changed));
}

int ModeByte(const SensorCommands& c) { return c.krv04Setup[krv04::kSetupMode]; }

const ModelParts& Parts() {
  static const ModelParts parts = {
      NewSettings, Rows, krv04::LivePanel, RangeModeSet::kB, ModeByte,
      /*krv02VersionCommand=*/false, /*krv02Extras=*/false, /*scanRanges=*/nullptr,
  };
  return parts;
}

const ModelRegistration kEngine({kIndex, "KRV04 Compact", SettingsDialogKind::kKRV04, ViewPanelKind::kKRV04, Parts},
                                {{"0 M3-9-5C", kIndex}});
const sim::ModelRegistration kSensor({"0 M3-9-5C", sim::kKrv04, "KC039501", 410, 'C', 31}, "KRV04 Compact");

}  // namespace
}  // namespace krv04_compact
