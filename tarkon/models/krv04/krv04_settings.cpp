#include "tarkon/models/krv04/krv04_settings.h"

#include "tarkon/document/number_reading.h"
#include "tarkon/document/numeric_text.h"
#include "tarkon/models/krv04_family/krv04_replies.h"

namespace {

using settings_display::Whole;
namespace edit = settings_editing;

constexpr char kHoldLastRange[] = "Hold Last Valid Range";
constexpr char kHoldScans[] = "Max samples to hold last range";

}  // namespace

KRV04Settings::KRV04Settings(SensorCommands& commands, const RangeModeTable& modes,
                             StateChanged changed)
    : KRV04FamilySettings(commands, modes, kModelKRV04, std::move(changed)) {}

std::vector<std::string> KRV04Settings::ModeTexts() const { return modes().ModeTexts(model()); }

bool KRV04Settings::ReadExtras() { return commands().GetNumHoldScans() != 0; }

void KRV04Settings::AddExtras(KRV04Fields& f, SummaryRows& rows) const {
  const SensorCommands& c = commands();
  f.holdLastRange = c.krv04Setup[krv04::kSetupHoldLastRange] == 1;
  f.maxDropouts = Whole(c.holdScans);
  rows.emplace_back(kHoldLastRange, f.holdLastRange ? edit::kEnabled : edit::kDisabled);
  rows.emplace_back(kHoldScans, f.maxDropouts);
}

std::vector<std::string> KRV04Settings::ExtraNames() const { return {kHoldLastRange, kHoldScans}; }

SetResult KRV04Settings::SetMode(const KRV04Fields& fields) { return SendChosenMode(fields); }

SetResult KRV04Settings::SetHoldLastRange(const KRV04Fields& fields) {
  TakeFields(fields);
  commands().SetOutOfRangeMode(fields.holdLastRange ? 1 : 0);
  return ReReadAfterSending({kHoldLastRange});
}

SetResult KRV04Settings::SetMaxDropouts(const KRV04Fields& fields) {
  TakeFields(fields);
  // The one field of the dialogs that takes any text: what is not exactly
  // one number is refused rather than read as 0.
  if (CheckNumericText(fields.maxDropouts, kNumericLowest, kNumericHighest) == kNumericNotANumber)
    return Refusal(kNumericNotANumberMessage);
  const int32_t scans = edit::ToWord(ReadRealNumber(fields.maxDropouts), 1.0);
  const std::string unfit = edit::UnfitMessage(scans, edit::WholeFit(kHoldScans, edit::FieldWord::kUnsigned16));
  if (!unfit.empty()) return Refusal(unfit);
  commands().SetNumHoldScans(scans);
  return ReReadAfterSending({kHoldScans});
}

std::string KRV04Settings::ExtraRangeHint(const std::string& name) const {
  if (name == kHoldScans) return edit::FitRange(edit::WholeFit(kHoldScans, edit::FieldWord::kUnsigned16));
  return std::string();
}

bool KRV04Settings::TakesWord(const std::string& name) const { return name == kHoldLastRange; }

SetResult KRV04Settings::ChangeExtraByName(const std::string& name, const std::string& value,
                                           KRV04Fields& f) {
  if (name == kHoldLastRange) {
    const auto on = edit::ReadSwitch(value);
    if (!on) return Refusal("Hold Last Valid Range must be Enabled or Disabled");
    f.holdLastRange = *on;
    return SetHoldLastRange(f);
  }
  if (name == kHoldScans) {
    f.maxDropouts = value;
    return SetMaxDropouts(f);
  }
  return UnknownName(name);
}

std::string KRV04Settings::TypedText(const std::string& name) const {
  if (name == kHoldScans) return fields().maxDropouts;
  return KRV04FamilySettings::TypedText(name);
}
