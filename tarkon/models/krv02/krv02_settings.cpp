#include "tarkon/models/krv02/krv02_settings.h"

#include <cstring>

#include "tarkon/document/number_reading.h"
#include "tarkon/models/krv02/krv02_replies.h"

namespace {

using settings_display::Format;
using settings_display::FormatReal;
using settings_display::Thousandths;
using settings_display::Whole;
namespace edit = settings_editing;

using namespace krv02;

// In this family the 16-bit fields are signed.
int32_t Signed(const uint8_t* area, size_t offset) {
  return static_cast<int16_t>(SensorCommands::Word(area, offset));
}

// Display names, in the setup pane's order.
constexpr char kLaser[] = "Laser";
constexpr char kMode[] = "Mode";
constexpr char kScanInterval[] = "Scan Interval";
constexpr char kDropout[] = "Dropout";
constexpr char kSmooth[] = "Smooth";
constexpr char kOrder[] = "Order";
constexpr char kRangeOffset[] = "Range Offset";
constexpr char kMultiplier[] = "Multiplier";
constexpr char kCosine[] = "Cosine";
constexpr char kThreshold[] = "Threshold";
constexpr char kMinLaserPower[] = "Min. Laser Power";
constexpr char kMaxLaserPower[] = "Max. Laser Power";
constexpr char kMinRange[] = "Min. Range";
constexpr char kMaxRange[] = "Max. Range";
constexpr char kMinVolts[] = "Min. Volts";
constexpr char kMaxVolts[] = "Max. Volts";
constexpr char kOffset[] = "Offset";
constexpr char kOutOfRange[] = "Out of Range";
constexpr char kAveragingPeriod[] = "Averaging Period(ms)";

// Volts and the range multiplier of this family: signed thousandths.
edit::FieldFit SignedThousandths(const char* name) {
  return {name, edit::FieldWord::kSigned16, 1000.0, edit::ShowThousandths};
}

// The range offset: a signed word of raw range units of the chosen mode.
edit::FieldFit RangeOffsetFit(const RangeModeRow& row) {
  return {kRangeOffset, edit::FieldWord::kSigned16, row.divisor,
          [&row](double v) { return RangeModeTable::FormatUnit(row, v); }};
}

}  // namespace

KRV02Settings::KRV02Settings(SensorCommands& commands, const RangeModeTable& modes,
                             ModelGetter model, StateChanged changed)
    : ModelSettings(commands, modes, std::move(model), std::move(changed)) {}

std::vector<std::string> KRV02Settings::ModeTexts() const {
  return modes().ModeTexts(ConnectedModel());
}

std::vector<std::string> KRV02Settings::LaserTexts() { return {edit::kOn, edit::kOff}; }

std::vector<std::string> KRV02Settings::OrderFactorTexts() { return edit::OrderFactorTexts(); }

std::vector<std::string> KRV02Settings::SettingNames() const {
  return {kLaser,     kMode,          kScanInterval,  kDropout,   kSmooth,
          kOrder,     kRangeOffset,   kMultiplier,    kCosine,    kThreshold,
          kMinLaserPower, kMaxLaserPower, kMinRange,  kMaxRange,  kMinVolts,
          kMaxVolts,  kOffset,        kOutOfRange,    kAveragingPeriod};
}

void KRV02Settings::Clear() {
  ModelSettings::Clear();
  fields_ = KRV02Fields{};
  read_ = KRV02Fields{};
}

const RangeModeRow& KRV02Settings::ChosenModeRow(const KRV02Fields& fields) const {
  return RowOfChosenMode(fields.scanMode);
}

const RangeModeRow& KRV02Settings::RowOfChosenMode(int chosenMode) const {
  return modes().Lookup(ConnectedModel(), chosenMode);
}

std::string KRV02Settings::TypedText(const std::string& name) const {
  static const std::pair<const char*, std::string KRV02Fields::*> texts[] = {
      {kMinLaserPower, &KRV02Fields::minLaserPower}, {kMaxLaserPower, &KRV02Fields::maxLaserPower},
      {kRangeOffset, &KRV02Fields::rangeOffset},     {kMultiplier, &KRV02Fields::rangeMultiplier},
      {kCosine, &KRV02Fields::cosine},               {kMinRange, &KRV02Fields::minRange},
      {kMaxRange, &KRV02Fields::maxRange},           {kMinVolts, &KRV02Fields::voltsAtMinRange},
      {kMaxVolts, &KRV02Fields::voltsAtMaxRange},    {kOffset, &KRV02Fields::offsetVolts},
      {kOutOfRange, &KRV02Fields::voltsOutsideRange}, {kThreshold, &KRV02Fields::threshold},
      {kAveragingPeriod, &KRV02Fields::averagingPeriod}, {kDropout, &KRV02Fields::dropoutFactor},
      {kSmooth, &KRV02Fields::smoothFactor},         {kScanInterval, &KRV02Fields::scanInterval},
  };
  for (const auto& [field, member] : texts)
    if (name == field) return fields_.*member;
  return std::string();
}

std::string KRV02Settings::RangeHint(const std::string& name, int chosenMode) const {
  const RangeModeRow& row = RowOfChosenMode(chosenMode);
  if (name == kMinLaserPower || name == kMaxLaserPower) return edit::WholeRange(edit::kLaserPowerLow, edit::kLaserPowerHigh);
  if (name == kThreshold) return edit::WholeRange(edit::kThresholdLow, edit::kThresholdHigh);
  if (name == kRangeOffset) return edit::FitRange(RangeOffsetFit(row));
  if (name == kCosine) return edit::CosineRange();
  if (name == kMinRange || name == kMaxRange) return edit::RowRange(row);
  if (name == kMultiplier || name == kMinVolts || name == kMaxVolts || name == kOffset || name == kOutOfRange)
    return edit::FitRange(SignedThousandths(name.c_str()));
  if (name == kDropout || name == kSmooth || name == kScanInterval)
    return edit::FitRange(edit::WholeFit(name.c_str(), edit::FieldWord::kSigned16));
  if (name == kAveragingPeriod) {
    const SensorCommands& c = commands();
    return edit::AveragingRange(c.versionFormat(), c.versionDivisor(), c.versionValue());
  }
  return std::string();
}

bool KRV02Settings::Refresh() {
  SensorCommands& c = commands();
  if (c.GetSensorSetup() == 0 || c.GetMinLP() == 0 || c.GetMaxLP() == 0 ||
      c.GetAnalogFactors() == 0 || c.GetConfigVars() == 0) {
    return false;
  }
  const uint8_t* setup = c.sensorSetup;
  const uint8_t* analog = c.analogFactors;
  const int mode = setup[kSetupMode];
  const RangeModeRow& row = modes().Lookup(ConnectedModel(), mode);
  const int modeCount = static_cast<int>(ModeTexts().size());

  KRV02Fields f;
  f.scanMode = mode < modeCount ? mode : -1;
  f.minLaserPower = Whole(c.minLP);
  f.maxLaserPower = Whole(c.maxLP);
  f.rangeOffset = Format("%2.3f", Signed(setup, kSetupRangeOffset) / row.divisor);
  f.rangeMultiplier = Thousandths(Signed(setup, kSetupMultiplier));
  f.cosine = Format("%3.4f", Signed(setup, kSetupCosine) * 0.0001);
  f.minRange = RangeModeTable::FormatBare(row, Signed(analog, kAnalogMinRange) / row.divisor);
  f.maxRange = RangeModeTable::FormatBare(row, Signed(analog, kAnalogMaxRange) / row.divisor);
  f.voltsAtMinRange = Thousandths(Signed(analog, kAnalogMinVolts));
  f.voltsAtMaxRange = Thousandths(Signed(analog, kAnalogMaxVolts));
  f.offsetVolts = Thousandths(Signed(analog, kAnalogOffset));
  f.voltsOutsideRange = Thousandths(Signed(analog, kAnalogOutOfRange));
  f.threshold = Whole(setup[kSetupThreshold]);
  f.laser = Signed(setup, kSetupLaser) == 1 ? kLaserOn : kLaserOff;
  // Unsigned 32 bits, in steps of the firmware's averaging scale.
  f.averagingPeriod =
      FormatReal(c.versionFormat(), edit::AveragingCountOf(c.configVars) / c.versionDivisor());
  f.dropoutFactor = Whole(Signed(setup, kSetupDropout));
  f.smoothFactor = Whole(Signed(setup, kSetupSmooth));
  f.orderFactor = edit::OrderFactorIndex(Signed(setup, kSetupOrder));
  f.scanInterval = Whole(Signed(setup, kSetupScanInterval));

  SummaryRows rows = {
      {kLaser, f.laser == kLaserOn ? edit::kOn : edit::kOff},
      {kMode, row.text},
      {kScanInterval, f.scanInterval},
      {kDropout, f.dropoutFactor},
      {kSmooth, f.smoothFactor},
      {kOrder, Whole(Signed(setup, kSetupOrder))},
      {kRangeOffset, f.rangeOffset},
      {kMultiplier, f.rangeMultiplier},
      {kCosine, f.cosine},
      {kThreshold, f.threshold},
      {kMinLaserPower, f.minLaserPower},
      {kMaxLaserPower, f.maxLaserPower},
      {kMinRange, f.minRange},
      {kMaxRange, f.maxRange},
      {kMinVolts, f.voltsAtMinRange},
      {kMaxVolts, f.voltsAtMaxRange},
      {kOffset, f.offsetVolts},
      {kOutOfRange, f.voltsOutsideRange},
      {kAveragingPeriod, f.averagingPeriod},
  };
  fields_ = f;
  read_ = f;
  Publish(std::move(rows), setup[kSetupAddress]);
  return true;
}

// --- Buttons ---------------------------------------------------------------

SetResult KRV02Settings::SetMode(const KRV02Fields& fields) {
  fields_ = fields;
  // Without a chosen entry there is no mode to send.
  if (fields.scanMode < 0 || fields.scanMode >= static_cast<int>(ModeTexts().size())) {
    return SetResult{};
  }
  commands().SetMode(fields.scanMode);
  return ReReadAfterSending({kMode});
}

SetResult KRV02Settings::SetMinLaserPower(const KRV02Fields& fields) {
  fields_ = fields;
  const auto power = edit::LaserPower(fields.minLaserPower);
  if (!power) return Refusal(edit::kMinLaserPowerMessage);
  commands().SetMinLP(*power);
  return ReReadAfterSending({kMinLaserPower});
}

SetResult KRV02Settings::SetMaxLaserPower(const KRV02Fields& fields) {
  fields_ = fields;
  const auto power = edit::LaserPower(fields.maxLaserPower);
  if (!power) return Refusal(edit::kMaxLaserPowerMessage);
  commands().SetMaxLP(*power);
  return ReReadAfterSending({kMaxLaserPower});
}

SetResult KRV02Settings::SetRangeOffset(const KRV02Fields& fields) {
  fields_ = fields;
  const auto cosine = edit::CosineWord(fields.cosine);
  if (!cosine) return Refusal(edit::kCosineMessage);
  if (!HasValues()) return Refusal(edit::kNotReadMessage);
  const RangeModeRow& row = ChosenModeRow(fields);
  // The offset is shown with the mode's decimals, so it is read as a real
  // number: the text the re-read wrote goes back as the same raw value.
  const int32_t offset = edit::ToWord(ReadRealNumber(fields.rangeOffset), row.divisor);
  const int32_t multiplier = edit::ToWordFloor(ReadRealNumber(fields.rangeMultiplier), 1000.0);
  std::string unfit = edit::UnfitMessage(offset, RangeOffsetFit(row));
  if (unfit.empty()) unfit = edit::UnfitMessage(multiplier, SignedThousandths(kMultiplier));
  if (!unfit.empty()) return Refusal(unfit);
  uint8_t record[8] = {};
  edit::PutWord(record, 0, offset);
  edit::PutWord(record, 2, *cosine);
  edit::PutWord(record, 4, multiplier);
  edit::PutWord(record, 6, SensorCommands::Word(commands().sensorSetup, kSetupOffsetSpare));
  commands().SetOffset(record);
  return ReReadAfterSending({kRangeOffset, kMultiplier, kCosine});
}

SetResult KRV02Settings::SetAnalogFactors(const KRV02Fields& fields) {
  fields_ = fields;
  const RangeModeRow& row = ChosenModeRow(fields);
  const double minRange = ReadRealNumber(fields.minRange);
  const double maxRange = ReadRealNumber(fields.maxRange);
  // Both ranges are checked before the one record goes out.
  if (!edit::WithinRow(minRange, row) || !edit::WithinRow(maxRange, row)) {
    return Refusal(edit::RangeMessage(row));
  }
  if (!HasValues()) return Refusal(edit::kNotReadMessage);
  const std::pair<const char*, const std::string*> volts[] = {
      {kMinVolts, &fields.voltsAtMinRange},
      {kMaxVolts, &fields.voltsAtMaxRange},
      {kOffset, &fields.offsetVolts},
      {kOutOfRange, &fields.voltsOutsideRange},
  };
  int32_t millivolts[4] = {};
  for (size_t i = 0; i < 4; ++i) {
    millivolts[i] = edit::ToWord(ReadRealNumber(*volts[i].second), 1000.0);
    const std::string unfit = edit::UnfitMessage(millivolts[i], SignedThousandths(volts[i].first));
    if (!unfit.empty()) return Refusal(unfit);
  }
  uint8_t record[20] = {};
  edit::PutWord(record, kAnalogMinVolts, millivolts[0]);
  edit::PutWord(record, kAnalogMinRange, edit::ToWord(minRange, row.divisor));
  edit::PutWord(record, kAnalogMaxVolts, millivolts[1]);
  edit::PutWord(record, kAnalogMaxRange, edit::ToWord(maxRange, row.divisor));
  edit::PutWord(record, kAnalogOffset, millivolts[2]);
  edit::PutWord(record, kAnalogOutOfRange, millivolts[3]);
  // The bytes the dialog does not show go back as the sensor last reported them.
  std::memcpy(record + kAnalogSpare, commands().analogFactors + kAnalogSpare, kAnalogSpareLength);
  commands().SetAnalogOuputFactors(record);
  return ReReadAfterSending({kMinRange, kMaxRange, kMinVolts, kMaxVolts, kOffset, kOutOfRange});
}

SetResult KRV02Settings::SetThreshold(const KRV02Fields& fields) {
  fields_ = fields;
  const auto threshold = edit::Threshold(fields.threshold);
  if (!threshold) return Refusal(edit::kThresholdMessageNoBlank);
  commands().SetThreshold(*threshold);
  return ReReadAfterSending({kThreshold});
}

SetResult KRV02Settings::SetLaser(const KRV02Fields& fields) {
  fields_ = fields;
  if (fields.laser == kLaserOn) {
    commands().SetLaserOn();
  } else if (fields.laser == kLaserOff) {
    commands().SetLaserOff();
  } else {
    // Neither entry chosen: nothing to switch, the fields are read again.
    SetResult result;
    result.reread = Refresh();
    return result;
  }
  return ReReadAfterSending({kLaser});
}

SetResult KRV02Settings::SwitchLaser(bool on) {
  KRV02Fields f = read_;
  f.laser = on ? kLaserOn : kLaserOff;
  return SetLaser(f);
}

SetResult KRV02Settings::SetAveragingPeriod(const KRV02Fields& fields) {
  fields_ = fields;
  const SensorCommands& c = commands();
  const auto count =
      edit::AveragingCount(ReadRealNumber(fields.averagingPeriod), c.versionDivisor(), c.versionValue());
  if (!count) return Refusal(edit::kAveragingMessage);
  if (!HasValues()) return Refusal(edit::kNotReadMessage);
  // A copy of the last configuration block with the new count: the command
  // converts the record it is given in place.
  uint8_t block[10];
  std::memcpy(block, c.configVars, sizeof block);
  edit::PutAveragingCount(block, static_cast<uint32_t>(*count));
  commands().SetConfigVars(block);
  return ReReadAfterSending({kAveragingPeriod});
}

SetResult KRV02Settings::SetScanFilterVariables(const KRV02Fields& fields) {
  fields_ = fields;
  const auto& factors = edit::OrderFactors();
  int32_t order = 0;
  if (fields.orderFactor >= 0 && fields.orderFactor < static_cast<int>(factors.size())) {
    order = factors[static_cast<size_t>(fields.orderFactor)];
  } else {
    // The list shows no entry when the sensor holds a factor outside it;
    // the sensor's own factor then goes back unchanged.
    if (!HasValues()) return Refusal(edit::kNotReadMessage);
    order = Signed(commands().sensorSetup, kSetupOrder);
  }
  const int32_t dropout = ReadWholeNumber(fields.dropoutFactor);
  const int32_t smooth = ReadWholeNumber(fields.smoothFactor);
  std::string unfit = edit::UnfitMessage(dropout, edit::WholeFit(kDropout, edit::FieldWord::kSigned16));
  if (unfit.empty()) unfit = edit::UnfitMessage(smooth, edit::WholeFit(kSmooth, edit::FieldWord::kSigned16));
  if (!unfit.empty()) return Refusal(unfit);
  uint8_t record[6] = {};
  edit::PutWord(record, 0, dropout);
  edit::PutWord(record, 2, smooth);
  edit::PutWord(record, 4, order);
  commands().SetFilterFactors(record);
  return ReReadAfterSending({kDropout, kSmooth, kOrder});
}

SetResult KRV02Settings::SetScanInterval(const KRV02Fields& fields) {
  fields_ = fields;
  const int32_t interval = ReadWholeNumber(fields.scanInterval);
  const std::string unfit = edit::UnfitMessage(interval, edit::WholeFit(kScanInterval, edit::FieldWord::kSigned16));
  if (!unfit.empty()) return Refusal(unfit);
  commands().SetScanInterval(interval);
  return ReReadAfterSending({kScanInterval});
}

// --- Change by display name --------------------------------------------------

bool KRV02Settings::TakesWord(const std::string& name) const { return name == kLaser; }

SetResult KRV02Settings::ChangeByName(const std::string& name, const std::string& value) {
  KRV02Fields f = read_;
  const std::string n = name;
  if (n == kLaser) {
    const auto on = edit::ReadSwitch(value);
    if (!on) return Refusal("Laser must be On or Off");
    f.laser = *on ? kLaserOn : kLaserOff;
    return SetLaser(f);
  }
  if (n == kMode) {
    const int count = static_cast<int>(ModeTexts().size());
    int64_t mode = -1;
    if (!IsWholeNumber(value, &mode) || mode < 0 || mode >= count) {
      return Refusal("Mode must be a mode number from 0 to " + std::to_string(count - 1));
    }
    f.scanMode = static_cast<int>(mode);
    return SetMode(f);
  }
  if (n == kScanInterval) {
    f.scanInterval = value;
    return SetScanInterval(f);
  }
  if (n == kDropout || n == kSmooth || n == kOrder) {
    if (n == kDropout) f.dropoutFactor = value;
    if (n == kSmooth) f.smoothFactor = value;
    if (n == kOrder) {
      int64_t order = -1;
      const int index = IsWholeNumber(value, &order) && order >= 0 && order <= 255
                            ? edit::OrderFactorIndex(static_cast<int32_t>(order))
                            : -1;
      if (index < 0) return Refusal("Order must be one of 1, 3, 5, 7, 9, 11, 13, 15, 17, 19");
      f.orderFactor = index;
    }
    return SetScanFilterVariables(f);
  }
  if (n == kRangeOffset || n == kMultiplier || n == kCosine) {
    if (n == kRangeOffset) f.rangeOffset = value;
    if (n == kMultiplier) f.rangeMultiplier = value;
    if (n == kCosine) f.cosine = value;
    return SetRangeOffset(f);
  }
  if (n == kThreshold) {
    f.threshold = value;
    return SetThreshold(f);
  }
  if (n == kMinLaserPower) {
    f.minLaserPower = value;
    return SetMinLaserPower(f);
  }
  if (n == kMaxLaserPower) {
    f.maxLaserPower = value;
    return SetMaxLaserPower(f);
  }
  if (n == kMinRange || n == kMaxRange || n == kMinVolts || n == kMaxVolts || n == kOffset ||
      n == kOutOfRange) {
    if (n == kMinRange) f.minRange = value;
    if (n == kMaxRange) f.maxRange = value;
    if (n == kMinVolts) f.voltsAtMinRange = value;
    if (n == kMaxVolts) f.voltsAtMaxRange = value;
    if (n == kOffset) f.offsetVolts = value;
    if (n == kOutOfRange) f.voltsOutsideRange = value;
    return SetAnalogFactors(f);
  }
  if (n == kAveragingPeriod) {
    f.averagingPeriod = value;
    return SetAveragingPeriod(f);
  }
  return UnknownName(name);
}
