#include "tarkon/models/krv02/krv02_model.h"

#include "tarkon/document/scan_buffer.h"
#include "tarkon/models/krv02/krv02_panel.h"
#include "tarkon/models/krv02/krv02_replies.h"
#include "tarkon/models/krv02/krv02_settings.h"

namespace krv02 {
namespace {

std::unique_ptr<ModelSettings> NewSettings(SensorCommands& commands, const RangeModeTable& modes,
                                           ModelSettings::ModelGetter model, ModelSettings::StateChanged changed) {
  // One record serves KRV02 and Qmt Long; its range modes follow the
  // connected model's index.
  return std::make_unique<KRV02Settings>(commands, modes, std::move(model), std::move(changed));
}

int ModeByte(const SensorCommands& c) { return c.sensorSetup[kSetupMode]; }

int ScanRanges(const uint8_t* krv02State) {
  return krv02State != nullptr ? KRV02RangesAvailable(krv02State) : 0;
}

}  // namespace

const ModelParts& Parts() {
  static const ModelParts parts = {
      NewSettings, setting_fields::KRV02Family, LivePanel, RangeModeSet::kA, ModeByte,
      /*krv02VersionCommand=*/true, /*krv02Extras=*/true, ScanRanges,
  };
  return parts;
}

}  // namespace krv02
