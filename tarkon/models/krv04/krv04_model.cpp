#include "tarkon/models/krv04/krv04_model.h"

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

int ModeByte(const SensorCommands& c) { return c.krv04Setup[kSetupMode]; }

}  // namespace

const ModelParts& Parts() {
  static const ModelParts parts = {
      NewSettings, Rows, LivePanel, RangeModeSet::kB, ModeByte,
      /*krv02VersionCommand=*/false, /*krv02Extras=*/false, /*scanRanges=*/nullptr,
  };
  return parts;
}

}  // namespace krv04
