#include "tarkon/models/krv04bf/krv04bf_model.h"

#include "tarkon/document/scan_buffer.h"
#include "tarkon/models/krv04_family/krv04_replies.h"
#include "tarkon/models/krv04bf/krv04bf_panel.h"
#include "tarkon/models/krv04bf/krv04bf_settings.h"

namespace krv04bf {
namespace {

std::unique_ptr<ModelSettings> NewSettings(SensorCommands& commands, const RangeModeTable& modes,
                                           ModelSettings::ModelGetter /*model*/,
                                           ModelSettings::StateChanged changed) {
  return std::make_unique<KRV04BFSettings>(commands, modes, std::move(changed));
}

int ModeByte(const SensorCommands& c) { return c.krv04Setup[krv04::kSetupMode]; }

int ScanRanges(const uint8_t* /*krv02State*/) { return kBoardFlipperRangesAvailable; }

}  // namespace

const ModelParts& Parts() {
  static const ModelParts parts = {
      NewSettings, Rows, LivePanel, RangeModeSet::kB, ModeByte,
      /*krv02VersionCommand=*/false, /*krv02Extras=*/false, ScanRanges,
  };
  return parts;
}

}  // namespace krv04bf
