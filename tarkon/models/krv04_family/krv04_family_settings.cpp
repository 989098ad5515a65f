#include "tarkon/models/krv04_family/krv04_family_settings.h"

#include "tarkon/document/number_reading.h"
#include "tarkon/document/numeric_text.h"
#include "tarkon/models/krv04_family/krv04_replies.h"

namespace {

using settings_display::Thousandths;
using settings_display::Whole;
namespace edit = settings_editing;

using namespace krv04;

int32_t Unsigned(const uint8_t* area, size_t offset) { return SensorCommands::Word(area, offset); }

constexpr char kMode[] = "Mode";
constexpr char kMinLaserPower[] = "Min. Laser Power";
constexpr char kMaxLaserPower[] = "Max. Laser Power";
constexpr char kThreshold[] = "Threshold";
constexpr char kMinRange[] = "Min. Range";
constexpr char kMaxRange[] = "Max. Range";
constexpr char kMinVolts[] = "Min. Volts";
constexpr char kMaxVolts[] = "Max. Volts";
constexpr char kOutOfRange[] = "Out of Range";

// Volts of the family's analog output: unsigned millivolts.
edit::FieldFit VoltsFit(const char* name) {
  return {name, edit::FieldWord::kUnsigned16, 1000.0, edit::ShowThousandths};
}

// A range of this family: an unsigned word of raw range units of the row.
edit::FieldFit RangeFit(const char* name, const RangeModeRow& row) {
  return {name, edit::FieldWord::kUnsigned16, row.divisor,
          [&row](double v) { return RangeModeTable::FormatUnit(row, v); }};
}

}  // namespace

// --- The family ---------------------------------------------------------------

KRV04FamilySettings::KRV04FamilySettings(SensorCommands& commands, const RangeModeTable& modes,
                                         int model, StateChanged changed)
    : ModelSettings(commands, modes, [model] { return model; }, std::move(changed)),
      model_(model) {}

void KRV04FamilySettings::Clear() {
  ModelSettings::Clear();
  fields_ = KRV04Fields{};
  read_ = KRV04Fields{};
}

const char* KRV04FamilySettings::ThresholdMessage() const { return edit::kThresholdMessage; }

const RangeModeRow& KRV04FamilySettings::ShownRow(int modeByte) const {
  return modes().Lookup(model_, modeByte);
}

const RangeModeRow& KRV04FamilySettings::EditRow(const KRV04Fields& fields) const {
  return modes().Lookup(model_, fields.mode);
}

const RangeModeRow& KRV04FamilySettings::RowOfChosenMode(int chosenMode) const {
  KRV04Fields fields;
  fields.mode = chosenMode;
  return EditRow(fields);
}

std::string KRV04FamilySettings::TypedText(const std::string& name) const {
  // KRV04 and the board flipper add their own names.
  static const std::pair<const char*, std::string KRV04Fields::*> texts[] = {
      {kMinLaserPower, &KRV04Fields::minLaserPower}, {kMaxLaserPower, &KRV04Fields::maxLaserPower},
      {kThreshold, &KRV04Fields::threshold},         {kMinRange, &KRV04Fields::minRange},
      {kMaxRange, &KRV04Fields::maxRange},           {kMinVolts, &KRV04Fields::voltsAtMinRange},
      {kMaxVolts, &KRV04Fields::voltsAtMaxRange},    {kOutOfRange, &KRV04Fields::voltsOutsideRange},
  };
  for (const auto& [field, member] : texts)
    if (name == field) return fields_.*member;
  return std::string();
}

std::string KRV04FamilySettings::RangeHint(const std::string& name, int chosenMode) const {
  const RangeModeRow& row = RowOfChosenMode(chosenMode);
  // Qmt Short checks nothing: it sends the low byte, and what fits a word.
  if (name == kMinLaserPower || name == kMaxLaserPower) {
    return ChecksFields() ? edit::WholeRange(edit::kLaserPowerLow, edit::kLaserPowerHigh) : edit::WholeRange(0, 255);
  }
  if (name == kThreshold) return edit::WholeRange(edit::kThresholdLow, edit::kThresholdHigh);
  if (name == kMinRange || name == kMaxRange) {
    return ChecksFields() ? edit::RowRange(row) : edit::FitRange(RangeFit(name.c_str(), row));
  }
  if (name == kMinVolts || name == kMaxVolts || name == kOutOfRange) return edit::FitRange(VoltsFit(name.c_str()));
  return ExtraRangeHint(name);
}

std::vector<std::string> KRV04FamilySettings::SettingNames() const {
  std::vector<std::string> names;
  if (HasModeSelection()) names.emplace_back(kMode);
  for (const char* name : {kMinLaserPower, kMaxLaserPower, kThreshold, kMinRange, kMaxRange,
                           kMinVolts, kMaxVolts, kOutOfRange}) {
    names.emplace_back(name);
  }
  for (std::string& name : ExtraNames()) names.push_back(std::move(name));
  return names;
}

bool KRV04FamilySettings::Refresh() {
  SensorCommands& c = commands();
  if (c.GetKRV04Setup() == 0 || !ReadExtras()) return false;
  const uint8_t* setup = c.krv04Setup;
  const int modeByte = setup[kSetupMode];
  const RangeModeRow& row = ShownRow(modeByte);

  KRV04Fields f;
  f.minLaserPower = Whole(setup[kSetupMinLaserPower]);
  f.maxLaserPower = Whole(setup[kSetupMaxLaserPower]);
  f.threshold = Whole(setup[kSetupThreshold]);
  f.minRange = RangeModeTable::FormatBare(row, Unsigned(setup, kSetupMinRange) / row.divisor);
  f.maxRange = RangeModeTable::FormatBare(row, Unsigned(setup, kSetupMaxRange) / row.divisor);
  f.voltsAtMinRange = Thousandths(Unsigned(setup, kSetupMinVolts));
  f.voltsAtMaxRange = Thousandths(Unsigned(setup, kSetupMaxVolts));
  f.voltsOutsideRange = Thousandths(Unsigned(setup, kSetupOutOfRange));
  const int modeCount = static_cast<int>(ModeTexts().size());
  f.mode = HasModeSelection() && modeByte < modeCount ? modeByte : -1;

  SummaryRows rows;
  if (HasModeSelection()) rows.emplace_back(kMode, row.text);
  rows.emplace_back(kMinLaserPower, f.minLaserPower);
  rows.emplace_back(kMaxLaserPower, f.maxLaserPower);
  rows.emplace_back(kThreshold, f.threshold);
  rows.emplace_back(kMinRange, f.minRange);
  rows.emplace_back(kMaxRange, f.maxRange);
  rows.emplace_back(kMinVolts, f.voltsAtMinRange);
  rows.emplace_back(kMaxVolts, f.voltsAtMaxRange);
  rows.emplace_back(kOutOfRange, f.voltsOutsideRange);
  AddExtras(f, rows);

  fields_ = f;
  read_ = f;
  Publish(std::move(rows), setup[kSetupAddress]);
  return true;
}

SetResult KRV04FamilySettings::SetMinLaserPower(const KRV04Fields& fields) {
  fields_ = fields;
  if (!ChecksFields()) {
    commands().SetMinLP(edit::LowByte(fields.minLaserPower));
    return ReReadAfterSending({kMinLaserPower});
  }
  const auto power = edit::LaserPower(fields.minLaserPower);
  if (!power) return Refusal(edit::kMinLaserPowerMessage);
  commands().SetMinLP(*power);
  return ReReadAfterSending({kMinLaserPower});
}

SetResult KRV04FamilySettings::SetMaxLaserPower(const KRV04Fields& fields) {
  fields_ = fields;
  if (!ChecksFields()) {
    commands().SetMaxLP(edit::LowByte(fields.maxLaserPower));
    return ReReadAfterSending({kMaxLaserPower});
  }
  const auto power = edit::LaserPower(fields.maxLaserPower);
  if (!power) return Refusal(edit::kMaxLaserPowerMessage);
  commands().SetMaxLP(*power);
  return ReReadAfterSending({kMaxLaserPower});
}

SetResult KRV04FamilySettings::SetThreshold(const KRV04Fields& fields) {
  fields_ = fields;
  if (!ChecksFields()) {
    commands().SetThreshold(edit::LowByte(fields.threshold));
    return ReReadAfterSending({kThreshold});
  }
  const auto threshold = edit::Threshold(fields.threshold);
  if (!threshold) return Refusal(ThresholdMessage());
  commands().SetThreshold(*threshold);
  return ReReadAfterSending({kThreshold});
}

SetResult KRV04FamilySettings::SendRange(const std::string& text, bool maximum) {
  const RangeModeRow& row = EditRow(fields_);
  const double range = ReadRealNumber(text);
  if (ChecksFields() && !edit::WithinRow(range, row)) return Refusal(edit::RangeMessage(row));
  const int32_t raw = edit::ToWord(range, row.divisor);
  // Qmt Short checks no range: what would not fit its word is refused.
  const std::string unfit = edit::UnfitMessage(raw, RangeFit(maximum ? kMaxRange : kMinRange, row));
  if (!unfit.empty()) return Refusal(unfit);
  if (maximum) {
    commands().SetAnalogMaxRange(raw);
  } else {
    commands().SetAnalogMinRange(raw);
  }
  return ReReadAfterSending({maximum ? kMaxRange : kMinRange});
}

SetResult KRV04FamilySettings::SetMinRange(const KRV04Fields& fields) {
  fields_ = fields;
  return SendRange(fields.minRange, false);
}

SetResult KRV04FamilySettings::SetMaxRange(const KRV04Fields& fields) {
  fields_ = fields;
  return SendRange(fields.maxRange, true);
}

SetResult KRV04FamilySettings::SetMinVolts(const KRV04Fields& fields) {
  fields_ = fields;
  const int32_t millivolts = edit::ToWord(ReadRealNumber(fields.voltsAtMinRange), 1000.0);
  const std::string unfit = edit::UnfitMessage(millivolts, VoltsFit(kMinVolts));
  if (!unfit.empty()) return Refusal(unfit);
  commands().SetAnalogMinVolts(millivolts);
  return ReReadAfterSending({kMinVolts});
}

SetResult KRV04FamilySettings::SetMaxVolts(const KRV04Fields& fields) {
  fields_ = fields;
  const int32_t millivolts = edit::ToWord(ReadRealNumber(fields.voltsAtMaxRange), 1000.0);
  const std::string unfit = edit::UnfitMessage(millivolts, VoltsFit(kMaxVolts));
  if (!unfit.empty()) return Refusal(unfit);
  commands().SetAnalogMaxVolts(millivolts);
  return ReReadAfterSending({kMaxVolts});
}

SetResult KRV04FamilySettings::SetVoltsOutside(const KRV04Fields& fields) {
  fields_ = fields;
  const int32_t millivolts = edit::ToWord(ReadRealNumber(fields.voltsOutsideRange), 1000.0);
  const std::string unfit = edit::UnfitMessage(millivolts, VoltsFit(kOutOfRange));
  if (!unfit.empty()) return Refusal(unfit);
  commands().SetAnalogOutOfRange(millivolts);
  return ReReadAfterSending({kOutOfRange});
}

SetResult KRV04FamilySettings::SendChosenMode(const KRV04Fields& fields) {
  fields_ = fields;
  if (fields.mode < 0 || fields.mode >= static_cast<int>(ModeTexts().size())) return SetResult{};
  commands().SetKRV04Mode(fields.mode);
  return ReReadAfterSending({kMode});
}

bool KRV04FamilySettings::ChangeSharedByName(const std::string& name, const std::string& value,
                                             KRV04Fields& f, SetResult& result) {
  if (name == kMode && HasModeSelection()) {
    const int count = static_cast<int>(ModeTexts().size());
    int64_t mode = -1;
    if (!IsWholeNumber(value, &mode) || mode < 0 || mode >= count) {
      result = Refusal("Mode must be a mode number from 0 to " + std::to_string(count - 1));
    } else {
      f.mode = static_cast<int>(mode);
      result = SendChosenMode(f);
    }
    return true;
  }
  if (name == kMinLaserPower) {
    f.minLaserPower = value;
    result = SetMinLaserPower(f);
  } else if (name == kMaxLaserPower) {
    f.maxLaserPower = value;
    result = SetMaxLaserPower(f);
  } else if (name == kThreshold) {
    f.threshold = value;
    result = SetThreshold(f);
  } else if (name == kMinRange) {
    f.minRange = value;
    result = SetMinRange(f);
  } else if (name == kMaxRange) {
    f.maxRange = value;
    result = SetMaxRange(f);
  } else if (name == kMinVolts) {
    f.voltsAtMinRange = value;
    result = SetMinVolts(f);
  } else if (name == kMaxVolts) {
    f.voltsAtMaxRange = value;
    result = SetMaxVolts(f);
  } else if (name == kOutOfRange) {
    f.voltsOutsideRange = value;
    result = SetVoltsOutside(f);
  } else {
    return false;
  }
  return true;
}

SetResult KRV04FamilySettings::ChangeByName(const std::string& name, const std::string& value) {
  KRV04Fields f = read_;
  SetResult result;
  if (ChangeSharedByName(name, value, f, result)) return result;
  return ChangeExtraByName(name, value, f);
}

SetResult KRV04FamilySettings::ChangeExtraByName(const std::string& name,
                                                 const std::string& /*value*/,
                                                 KRV04Fields& /*fields*/) {
  return UnknownName(name);
}
