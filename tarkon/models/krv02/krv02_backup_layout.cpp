#include "tarkon/models/krv02/krv02_backup_layout.h"

#include "tarkon/models/krv02/krv02_replies.h"

namespace krv02 {

const std::vector<model_backup::SettingLayout>& BackupLayout() {
  using namespace model_backup;
  using K = SettingKind;
  static const std::vector<SettingLayout> layout = {
      {"Laser", kSensorSetup, kSetupLaser, 2, true, K::kOnOff},
      {"Mode", kSensorSetup, kSetupMode, 1, false, K::kMode},
      {"Scan Interval", kSensorSetup, kSetupScanInterval, 2, true, K::kWhole},
      {"Dropout", kSensorSetup, kSetupDropout, 2, true, K::kWhole},
      {"Smooth", kSensorSetup, kSetupSmooth, 2, true, K::kWhole},
      {"Order", kSensorSetup, kSetupOrder, 2, true, K::kWhole},
      {"Range Offset", kSensorSetup, kSetupRangeOffset, 2, true, K::kRangeOffset},
      {"Multiplier", kSensorSetup, kSetupMultiplier, 2, true, K::kThousandths},
      {"Cosine", kSensorSetup, kSetupCosine, 2, true, K::kCosine},
      {"Threshold", kSensorSetup, kSetupThreshold, 1, false, K::kWhole},
      {"Min. Laser Power", kMinLP, kLaserPower, 1, false, K::kWhole},
      {"Max. Laser Power", kMaxLP, kLaserPower, 1, false, K::kWhole},
      {"Min. Range", kAnalog, kAnalogMinRange, 2, true, K::kRange},
      {"Max. Range", kAnalog, kAnalogMaxRange, 2, true, K::kRange},
      {"Min. Volts", kAnalog, kAnalogMinVolts, 2, true, K::kThousandths},
      {"Max. Volts", kAnalog, kAnalogMaxVolts, 2, true, K::kThousandths},
      {"Offset", kAnalog, kAnalogOffset, 2, true, K::kThousandths},
      {"Out of Range", kAnalog, kAnalogOutOfRange, 2, true, K::kThousandths},
      // Both words of the count, high one first.
      {"Averaging Period(ms)", kConfig, kConfigAveragingHigh, 4, false, K::kAveraging},
  };
  return layout;
}

}  // namespace krv02
