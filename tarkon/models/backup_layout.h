#pragma once
// The words of a model's backup layout: how a setting's raw value reads
// (its kind) and the queries whose replies hold settings. A backup keeps
// each setting's raw bytes where its row (setting_fields.h) says they sit,
// so that a restore sends them back bit for bit; the fleet tools
// (tarkon/fleet/setting_layout.h) read and convert them.

#include <cstddef>

namespace model_backup {

// How a setting's raw value reads as a field text.
enum class SettingKind {
  kWhole,        // a count or a byte: the number itself
  kMode,         // range mode number
  kOnOff,        // 1 "On", anything else "Off"
  kEnabled,      // 1 "Enabled", anything else "Disabled"
  kThousandths,  // volts and the range multiplier: x 0.001
  kCosine,       // x 0.0001
  kRange,        // raw range units: / divisor of the mode's row
  kRangeOffset,  // raw range units: / divisor of the mode's row, shown "%2.3f"
  kAveraging,    // 32-bit count / the firmware's averaging scale
  kWane,         // raw range units: / wane scale (1000 inch, 100 mm modes)
};

// The queries whose replies hold settings, by the names a backup file uses.
inline constexpr char kSensorSetup[] = "GetSensorSetup";
inline constexpr char kKRV04Setup[] = "GetKRV04Setup";
inline constexpr char kMinLP[] = "GetMinLP";
inline constexpr char kMaxLP[] = "GetMaxLP";
inline constexpr char kAnalog[] = "GetAnalogFactors";
inline constexpr char kConfig[] = "GetConfigVars";
inline constexpr char kHoldScans[] = "GetNumHoldScans";
inline constexpr char kWane[] = "ReadWaneParams";
inline constexpr char kBoardTimeout[] = "GetBoardTimeout";

}  // namespace model_backup
