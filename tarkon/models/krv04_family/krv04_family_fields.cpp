// The KRV04 family's settings (KRV04, Qmt Short, KRV04 Board Flipper), one
// row each, in the setup pane's order: the 28-byte setup record that holds
// the laser powers, the threshold and the analog output (written value by
// value), then the members' own: KRV04's hold of the last valid range, the
// board flipper's wane record, board time-out and laser switch. Each model
// takes the rows it has (its folder's model file). Every 16-bit field and
// byte of this family is unsigned.

#include "protocol/sensor_commands.h"
#include "tarkon/document/settings_editing.h"
#include "tarkon/models/krv04_family/krv04_replies.h"
#include "tarkon/models/krv04bf/krv04bf_replies.h"
#include "tarkon/models/setting_fields.h"

namespace setting_fields {
namespace {

namespace edit = settings_editing;
using K = model_backup::SettingKind;
using namespace krv04;
using namespace krv04bf;

// A command with one value.
#define LRS_VALUE_WRITE(name, method) \
  const SettingWrite name = {.command = #method, .send = [](SensorCommands& c, int32_t v, uint8_t*) { return c.method(v); }}

LRS_VALUE_WRITE(kSetMode, SetKRV04Mode);
LRS_VALUE_WRITE(kSetMinLP, SetMinLP);
LRS_VALUE_WRITE(kSetMaxLP, SetMaxLP);
LRS_VALUE_WRITE(kSetThreshold, SetThreshold);
LRS_VALUE_WRITE(kSetMinRange, SetAnalogMinRange);
LRS_VALUE_WRITE(kSetMaxRange, SetAnalogMaxRange);
LRS_VALUE_WRITE(kSetMinVolts, SetAnalogMinVolts);
LRS_VALUE_WRITE(kSetMaxVolts, SetAnalogMaxVolts);
LRS_VALUE_WRITE(kSetOutOfRange, SetAnalogOutOfRange);
LRS_VALUE_WRITE(kSetHoldLastRange, SetOutOfRangeMode);
LRS_VALUE_WRITE(kSetHoldScans, SetNumHoldScans);
LRS_VALUE_WRITE(kSetBoardTimeout, SetBoardTimeout);
#undef LRS_VALUE_WRITE

const SettingWrite kSetLaser = {.command = "SetLaserOn/SetLaserOff", .send = [](SensorCommands& c, int32_t on, uint8_t*) {
                                  return on != 0 ? c.SetLaserOn() : c.SetLaserOff();
                                }};
// The wane record: bytes 6 to 9 are the sensor's own, sent back as read.
const SettingWrite kWriteWane = {.command = "WriteWaneParams",
                                 .send = [](SensorCommands& c, int32_t, uint8_t* r) { return c.WriteWaneParams(r); },
                                 .recordSize = 12,
                                 .spareSource = model_backup::kWane,
                                 .spareFrom = kWaneSpare,
                                 .spareLength = kWaneSpareLength,
                                 .spareTo = kWaneSpare};

}  // namespace

const std::vector<SettingField>& KRV04Family() {
  static const std::vector<SettingField> table = {
      {.name = "Mode", .caption = "Mode", .group = "Mode", .writeOrder = 0, .button = "Set Mode",
       .source = model_backup::kKRV04Setup, .offset = kSetupMode, .size = 1, .kind = K::kMode,
       .check = FieldCheck::kChoice, .write = &kSetMode},
      {.name = "Min. Laser Power", .caption = "Min. laser power", .group = "Laser powers", .writeOrder = 1,
       .button = "Set Min LP", .source = model_backup::kKRV04Setup, .offset = kSetupMinLaserPower, .size = 1,
       .check = FieldCheck::kBounds, .low = 0, .high = 254,
       .message = "Min laser power must be between 0 and 254", .write = &kSetMinLP},
      {.name = "Max. Laser Power", .caption = "Max. laser power", .group = "Laser powers", .writeOrder = 1,
       .button = "Set Max LP", .source = model_backup::kKRV04Setup, .offset = kSetupMaxLaserPower, .size = 1,
       .check = FieldCheck::kBounds, .low = 0, .high = 254,
       .message = "Max laser power must be between 0 and 254", .write = &kSetMaxLP},
      {.name = "Threshold", .caption = "Threshold", .group = "Threshold", .writeOrder = 2, .button = "Set Threshold",
       .source = model_backup::kKRV04Setup, .offset = kSetupThreshold, .size = 1, .check = FieldCheck::kBounds,
       .low = 0, .high = 255, .message = "Threshold must be between 0 and 255",
       .write = &kSetThreshold},
      // One button per analog value, captioned as its field.
      {.name = "Min. Range", .caption = "Min. Range", .unit = FieldUnit::kRange, .group = "Analog Factors",
       .writeOrder = 3, .button = "Min. Range", .source = model_backup::kKRV04Setup, .offset = kSetupMinRange,
       .size = 2, .kind = K::kRange, .check = FieldCheck::kModeRow, .write = &kSetMinRange},
      {.name = "Max. Range", .caption = "Max. Range", .unit = FieldUnit::kRange, .group = "Analog Factors",
       .writeOrder = 3, .button = "Max. Range", .source = model_backup::kKRV04Setup, .offset = kSetupMaxRange,
       .size = 2, .kind = K::kRange, .check = FieldCheck::kModeRow, .write = &kSetMaxRange},
      {.name = "Min. Volts", .caption = "Volts @ Minumum", .unit = FieldUnit::kVolts, .group = "Analog Factors",
       .writeOrder = 3, .button = "Volts @ Minumum", .source = model_backup::kKRV04Setup, .offset = kSetupMinVolts,
       .size = 2, .kind = K::kThousandths, .write = &kSetMinVolts},
      {.name = "Max. Volts", .caption = "Volts @ Maximum", .unit = FieldUnit::kVolts, .group = "Analog Factors",
       .writeOrder = 3, .button = "Volts @ Maximum", .source = model_backup::kKRV04Setup, .offset = kSetupMaxVolts,
       .size = 2, .kind = K::kThousandths, .write = &kSetMaxVolts},
      {.name = "Out of Range", .caption = "Volts outside", .unit = FieldUnit::kVolts, .group = "Analog Factors",
       .writeOrder = 3, .button = "Volts outside", .source = model_backup::kKRV04Setup, .offset = kSetupOutOfRange,
       .size = 2, .kind = K::kThousandths, .write = &kSetOutOfRange},
      // KRV04: the "Enable" check box sends its state at each click.
      {.name = "Hold Last Valid Range", .caption = "Hold last range value", .group = "Hold last range value",
       .writeOrder = 4, .button = "Enable", .source = model_backup::kKRV04Setup, .offset = kSetupHoldLastRange,
       .size = 1, .kind = K::kEnabled, .check = FieldCheck::kChoice, .write = &kSetHoldLastRange},
      {.name = "Max samples to hold last range", .caption = "Max # dropouts", .group = "Hold last range value",
       .writeOrder = 4, .button = "Max # dropouts", .source = model_backup::kHoldScans, .offset = kCountWord,
       .size = 2, .write = &kSetHoldScans},
      // The board flipper: the wane record, and the time-out sent with it.
      {.name = "Min Wane Height", .caption = "Min. Wane Height(inch/mm)", .unit = FieldUnit::kRange,
       .group = "Wane variables", .writeOrder = 5, .button = "Set Wane Variables", .source = model_backup::kWane,
       .offset = kWaneHeight, .size = 2, .kind = K::kWane, .write = &kWriteWane, .recordOffset = kWaneHeight,
       .gapBefore = true},
      {.name = "Min Wane Width", .caption = "Min. Wane Width(inch/mm)", .unit = FieldUnit::kRange,
       .group = "Wane variables", .writeOrder = 5, .button = "Set Wane Variables", .source = model_backup::kWane,
       .offset = kWaneWidth, .size = 2, .kind = K::kWane, .write = &kWriteWane, .recordOffset = kWaneWidth},
      {.name = "Pulse duration", .caption = "Pulse Duration(ms)", .unit = FieldUnit::kMilliseconds,
       .group = "Wane variables", .writeOrder = 5, .button = "Set Wane Variables", .source = model_backup::kWane,
       .offset = kWanePulse, .size = 2, .write = &kWriteWane, .recordOffset = kWanePulse},
      {.name = "Conveyer Speed", .caption = "Conveyer Speed(mm/s)", .unit = FieldUnit::kSpeed,
       .group = "Wane variables", .writeOrder = 5, .button = "Set Wane Variables", .source = model_backup::kWane,
       .offset = kWaneSpeed, .size = 2, .write = &kWriteWane, .recordOffset = kWaneSpeed},
      {.name = "Board timeout", .caption = "Board timeout(ms)", .unit = FieldUnit::kMilliseconds,
       .group = "Wane variables", .writeOrder = 5, .button = "Set Wane Variables",
       .source = model_backup::kBoardTimeout, .offset = kCountWord, .size = 2, .write = &kSetBoardTimeout},
      // The board flipper's laser switch: sent, never reported back.
      {.name = "Laser", .caption = "Laser", .group = "Laser", .writeOrder = 6, .kind = K::kOnOff,
       .check = FieldCheck::kChoice, .write = &kSetLaser, .readBack = ReadBack::kNotReported},
  };
  return table;
}

}  // namespace setting_fields
