#include "tarkon/models/qmt_short/qmt_short_model.h"

#include "tarkon/models/krv04_family/krv04_family_panel.h"
#include "tarkon/models/qmt_short/qmt_short_settings.h"

namespace qmt_short {
namespace {

std::unique_ptr<ModelSettings> NewSettings(SensorCommands& commands, const RangeModeTable& modes,
                                           ModelSettings::ModelGetter /*model*/,
                                           ModelSettings::StateChanged changed) {
  return std::make_unique<QmtShortSettings>(commands, modes, std::move(changed));
}

// Its ranges always use the single row of its set, whatever the sensor's
// mode byte says.
int ModeByte(const SensorCommands& /*commands*/) { return 0; }

}  // namespace

const ModelParts& Parts() {
  static const ModelParts parts = {
      NewSettings, Rows, krv04::LivePanel, RangeModeSet::kC, ModeByte,
      /*krv02VersionCommand=*/false, /*krv02Extras=*/false, /*scanRanges=*/nullptr,
  };
  return parts;
}

}  // namespace qmt_short
