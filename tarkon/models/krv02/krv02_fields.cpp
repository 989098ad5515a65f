// The KRV02 family's settings (KRV02 and Qmt Long), one row each, in the
// setup pane's order: the 31-byte setup record, the laser power limits,
// the analog output record and the configuration block with the averaging
// period. The family's 16-bit fields are signed, its bytes unsigned.

#include "protocol/sensor_commands.h"
#include "tarkon/document/settings_editing.h"
#include "tarkon/models/krv02/krv02_replies.h"
#include "tarkon/models/setting_fields.h"

namespace setting_fields {
namespace {

namespace edit = settings_editing;
using K = model_backup::SettingKind;
using namespace krv02;

// The commands that write the family's settings.
const SettingWrite kSetLaser = {.command = "SetLaserOn/SetLaserOff", .send = [](SensorCommands& c, int32_t on, uint8_t*) {
                                  return on != 0 ? c.SetLaserOn() : c.SetLaserOff();
                                }};
const SettingWrite kSetMode = {.command = "SetMode",
                               .send = [](SensorCommands& c, int32_t v, uint8_t*) { return c.SetMode(v); }};
const SettingWrite kSetScanInterval = {
    .command = "SetScanInterval", .send = [](SensorCommands& c, int32_t v, uint8_t*) { return c.SetScanInterval(v); }};
const SettingWrite kSetFilterFactors = {
    .command = "SetFilterFactors",
    .send = [](SensorCommands& c, int32_t, uint8_t* r) { return c.SetFilterFactors(r); },
    .recordSize = 6};
// The offset record's fourth word is the sensor's own: it goes back as read.
const SettingWrite kSetOffset = {.command = "SetOffset",
                                 .send = [](SensorCommands& c, int32_t, uint8_t* r) { return c.SetOffset(r); },
                                 .recordSize = 8,
                                 .spareSource = model_backup::kSensorSetup,
                                 .spareFrom = kSetupOffsetSpare,
                                 .spareLength = 2,
                                 .spareTo = 6};
const SettingWrite kSetThreshold = {
    .command = "SetThreshold", .send = [](SensorCommands& c, int32_t v, uint8_t*) { return c.SetThreshold(v); }};
const SettingWrite kSetMinLP = {.command = "SetMinLP",
                                .send = [](SensorCommands& c, int32_t v, uint8_t*) { return c.SetMinLP(v); }};
const SettingWrite kSetMaxLP = {.command = "SetMaxLP",
                                .send = [](SensorCommands& c, int32_t v, uint8_t*) { return c.SetMaxLP(v); }};
// One record for all six analog values; bytes 12 to 19 go back as read.
const SettingWrite kSetAnalog = {
    .command = "SetAnalogOuputFactors",
    .send = [](SensorCommands& c, int32_t, uint8_t* r) { return c.SetAnalogOuputFactors(r); },
    .recordSize = 20,
    .spareSource = model_backup::kAnalog,
    .spareFrom = kAnalogSpare,
    .spareLength = kAnalogSpareLength,
    .spareTo = kAnalogSpare};
// The configuration block as last read, with the new averaging count.
const SettingWrite kSetConfigVars = {.command = "SetConfigVars",
                                     .send = [](SensorCommands& c, int32_t, uint8_t* r) { return c.SetConfigVars(r); },
                                     .recordSize = 10,
                                     .spareSource = model_backup::kConfig,
                                     .spareFrom = 0,
                                     .spareLength = 10,
                                     .spareTo = 0};

}  // namespace

const std::vector<SettingField>& KRV02Family() {
  static const std::vector<SettingField> table = {
      {.name = "Laser", .caption = "Laser", .group = "Laser", .writeOrder = 5, .button = "Set Laser",
       .source = model_backup::kSensorSetup, .offset = kSetupLaser, .size = 2, .isSigned = true, .kind = K::kOnOff,
       .check = FieldCheck::kChoice, .write = &kSetLaser},
      {.name = "Mode", .caption = "Scan Mode", .group = "Scan Mode", .writeOrder = 0, .button = "Set Mode",
       .source = model_backup::kSensorSetup, .offset = kSetupMode, .size = 1, .kind = K::kMode,
       .check = FieldCheck::kChoice, .write = &kSetMode},
      {.name = "Scan Interval", .caption = "Scan Interval", .group = "Scan Interval", .writeOrder = 8,
       .button = "Set Scan Int.", .source = model_backup::kSensorSetup, .offset = kSetupScanInterval, .size = 2,
       .isSigned = true, .write = &kSetScanInterval},
      {.name = "Dropout", .caption = "Dropout factor:", .group = "Scan Buffer Variables", .writeOrder = 7,
       .button = "Set Scan Filter Variables", .source = model_backup::kSensorSetup, .offset = kSetupDropout,
       .size = 2, .isSigned = true, .write = &kSetFilterFactors, .recordOffset = 0},
      {.name = "Smooth", .caption = "Smooth factor:", .group = "Scan Buffer Variables", .writeOrder = 7,
       .button = "Set Scan Filter Variables", .source = model_backup::kSensorSetup, .offset = kSetupSmooth,
       .size = 2, .isSigned = true, .write = &kSetFilterFactors, .recordOffset = 2},
      {.name = "Order", .caption = "Order factor:", .group = "Scan Buffer Variables", .writeOrder = 7,
       .button = "Set Scan Filter Variables", .source = model_backup::kSensorSetup, .offset = kSetupOrder,
       .size = 2, .isSigned = true, .check = FieldCheck::kChoice, .choices = edit::OrderFactors,
       .write = &kSetFilterFactors, .recordOffset = 4},
      {.name = "Range Offset", .caption = "Range offset:", .unit = FieldUnit::kRange, .group = "Range offset",
       .writeOrder = 2, .button = "Set Range offset", .source = model_backup::kSensorSetup,
       .offset = kSetupRangeOffset, .size = 2, .isSigned = true, .kind = K::kRangeOffset, .write = &kSetOffset,
       .recordOffset = 0},
      {.name = "Multiplier", .caption = "Range multiplier", .group = "Range offset", .writeOrder = 2,
       .button = "Set Range offset", .source = model_backup::kSensorSetup, .offset = kSetupMultiplier, .size = 2,
       .isSigned = true, .kind = K::kThousandths, .write = &kSetOffset, .recordOffset = 4},
      {.name = "Cosine", .caption = "Cosine:", .group = "Range offset", .writeOrder = 2, .button = "Set Range offset",
       .source = model_backup::kSensorSetup, .offset = kSetupCosine, .size = 2, .isSigned = true,
       .kind = K::kCosine, .check = FieldCheck::kBounds, .low = 0, .high = 1,
       .message = "Cosine must be between 0 and 1.0000", .rangeText = "0 to 1.0000", .write = &kSetOffset, .recordOffset = 2},
      // The KRV02 dialog carries its threshold message without the blank.
      {.name = "Threshold", .caption = "Threshold", .group = "Threshold", .writeOrder = 4, .button = "Set Threshold",
       .source = model_backup::kSensorSetup, .offset = kSetupThreshold, .size = 1, .check = FieldCheck::kBounds,
       .low = 0, .high = 255, .message = "Thresholdmust be between 0 and 255",
       .write = &kSetThreshold},
      // Every dialog that checks laser powers takes 0 to 254; one byte is sent.
      {.name = "Min. Laser Power", .caption = "Min. laser power", .group = "Laser powers", .writeOrder = 1,
       .button = "Set Min.", .source = model_backup::kMinLP, .offset = kLaserPower, .size = 1,
       .check = FieldCheck::kBounds, .low = 0, .high = 254,
       .message = "Min laser power must be between 0 and 254", .write = &kSetMinLP},
      {.name = "Max. Laser Power", .caption = "Max. laser power", .group = "Laser powers", .writeOrder = 1,
       .button = "Set Max", .source = model_backup::kMaxLP, .offset = kLaserPower, .size = 1,
       .check = FieldCheck::kBounds, .low = 0, .high = 254,
       .message = "Max laser power must be between 0 and 254", .write = &kSetMaxLP},
      {.name = "Min. Range", .caption = "Min. Range", .unit = FieldUnit::kRange, .group = "Analog Factors",
       .writeOrder = 3, .button = "Set Analog Factors", .source = model_backup::kAnalog, .offset = kAnalogMinRange,
       .size = 2, .isSigned = true, .kind = K::kRange, .check = FieldCheck::kModeRow, .write = &kSetAnalog,
       .recordOffset = kAnalogMinRange},
      {.name = "Max. Range", .caption = "Max. Range", .unit = FieldUnit::kRange, .group = "Analog Factors",
       .writeOrder = 3, .button = "Set Analog Factors", .source = model_backup::kAnalog, .offset = kAnalogMaxRange,
       .size = 2, .isSigned = true, .kind = K::kRange, .check = FieldCheck::kModeRow, .write = &kSetAnalog,
       .recordOffset = kAnalogMaxRange},
      {.name = "Min. Volts", .caption = "Volts @ minimum range:", .unit = FieldUnit::kVolts, .group = "Analog Factors",
       .writeOrder = 3, .button = "Set Analog Factors", .source = model_backup::kAnalog, .offset = kAnalogMinVolts,
       .size = 2, .isSigned = true, .kind = K::kThousandths, .write = &kSetAnalog, .recordOffset = kAnalogMinVolts},
      {.name = "Max. Volts", .caption = "Volts @ maximum:", .unit = FieldUnit::kVolts, .group = "Analog Factors",
       .writeOrder = 3, .button = "Set Analog Factors", .source = model_backup::kAnalog, .offset = kAnalogMaxVolts,
       .size = 2, .isSigned = true, .kind = K::kThousandths, .write = &kSetAnalog, .recordOffset = kAnalogMaxVolts},
      {.name = "Offset", .caption = "Offset voltage:", .unit = FieldUnit::kVolts, .group = "Analog Factors",
       .writeOrder = 3, .button = "Set Analog Factors", .source = model_backup::kAnalog, .offset = kAnalogOffset,
       .size = 2, .isSigned = true, .kind = K::kThousandths, .write = &kSetAnalog, .recordOffset = kAnalogOffset},
      {.name = "Out of Range", .caption = "Volts outside range:", .unit = FieldUnit::kVolts, .group = "Analog Factors",
       .writeOrder = 3, .button = "Set Analog Factors", .source = model_backup::kAnalog, .offset = kAnalogOutOfRange,
       .size = 2, .isSigned = true, .kind = K::kThousandths, .write = &kSetAnalog, .recordOffset = kAnalogOutOfRange},
      // Unsigned 32 bits, both words of the count, high one first.
      {.name = "Averaging Period(ms)", .caption = "Averaging period (ms)", .unit = FieldUnit::kMilliseconds,
       .group = "Averaging period", .writeOrder = 6, .button = "Averaging Period", .source = model_backup::kConfig,
       .offset = kConfigAveragingHigh, .size = 4, .kind = K::kAveraging, .check = FieldCheck::kAveraging,
       .message = "Averaging period must be between 0 and 21474836.47", .write = &kSetConfigVars, .recordOffset = kConfigAveragingHigh,
       .readBack = ReadBack::kStep},
  };
  return table;
}

}  // namespace setting_fields
