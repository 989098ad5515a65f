#pragma once
// Where each setting of a model sits in the replies its settings re-read
// leaves in the command object (the model's rows, found through the model
// table), and how its raw bytes turn back into the text that the settings
// operations take, so that a value goes back to the sensor bit for bit
// instead of through the display's rounding.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/sensor_commands.h"
#include "tarkon/document/range_mode_table.h"
#include "tarkon/models/setting_fields.h"
#include "tarkon/models/setting_values.h"

namespace fleet {

// The layout each model folder lists (tarkon/models/backup_layout.h).
using model_backup::SettingKind;
using model_backup::SettingLayout;

// Every setting of a model that the sensor reports (the rows with a reply),
// in the setup pane's order; empty for an unknown model.
const std::vector<SettingLayout>& LayoutOfModel(int model);
// The layout of `name` for `model`, or null.
const SettingLayout* FindLayout(int model, const std::string& name);

// The raw value as an integer (sign by the layout).
int64_t RawValue(const SettingLayout& layout, const std::vector<uint8_t>& raw);

// What the conversion of a raw value needs besides the value.
struct ValueContext {
  int model = 0;
  int modeByte = 0;               // the range mode the ranges are in
  double averagingScale = 1.0;    // the firmware's averaging factor (SettingContext::averagingFactor)
  const RangeModeTable* ranges = nullptr;
};

// The same as the models' conversion context (the averaging format and
// step are the firmware's and play no part in a stored value).
SettingContext ContextOf(const ValueContext& context);
// The field text that the model's settings operation converts back into
// exactly this raw value (where its conversion can reach it at all).
std::string ExactText(const SettingLayout& layout, const std::vector<uint8_t>& raw,
                      const ValueContext& context);

// The unit of a range mode's unit format ("%#2.3f inch" -> "inch").
std::string UnitOfFormat(const std::string& unitFormat);
// Whether the setting is a range in the units of the range mode.
bool IsRangeKind(SettingKind kind);

std::string ToHex(const std::vector<uint8_t>& bytes);
// False for anything but an even number of hex digits.
bool FromHex(const std::string& text, std::vector<uint8_t>& bytes);

}  // namespace fleet
