#include "tarkon/models/krv04bf/krv04bf_settings.h"

#include <cstring>

#include "tarkon/document/number_reading.h"
#include "tarkon/models/krv04_family/krv04_replies.h"
#include "tarkon/models/krv04bf/krv04bf_replies.h"

namespace {

using settings_display::Whole;
namespace edit = settings_editing;

using krv04::kSetupMode;
using namespace krv04bf;

constexpr char kMinWaneHeight[] = "Min Wane Height";
constexpr char kMinWaneWidth[] = "Min Wane Width";
constexpr char kPulseDuration[] = "Pulse duration";
constexpr char kConveyerSpeed[] = "Conveyer Speed";
constexpr char kBoardTimeout[] = "Board timeout";

constexpr char kLaser[] = "Laser";

// Wane lengths in the scale the sensor's range mode byte gives them.
double WaneScale(const SensorCommands& c) {
  return WaneScaleOfMode(c.krv04Setup[kSetupMode]);
}

// The words of the wane group, each checked before anything is sent.
edit::FieldFit WaneFit(const char* name, double scale) {
  if (name == std::string(kMinWaneHeight) || name == std::string(kMinWaneWidth)) {
    return {name, edit::FieldWord::kUnsigned16, scale,
            scale == kWaneScaleMillimetre ? edit::ShowHundredths : edit::ShowThousandths};
  }
  return edit::WholeFit(name, edit::FieldWord::kUnsigned16);
}

}  // namespace

KRV04BFSettings::KRV04BFSettings(SensorCommands& commands, const RangeModeTable& modes,
                                 StateChanged changed)
    : KRV04FamilySettings(commands, modes, kModelKRV04BoardFlipper, std::move(changed)) {}

std::vector<std::string> KRV04BFSettings::ModeTexts() const {
  return {"0:  From 00.000 to  8.000 inch", "1:  From 00.00 to  200.00 mm"};
}

const char* KRV04BFSettings::ThresholdMessage() const { return edit::kThresholdMessageNoBlank; }

bool KRV04BFSettings::ReadExtras() {
  return commands().ReadWaneParams() != 0 && commands().GetBoardTimeout() != 0;
}

void KRV04BFSettings::AddExtras(KRV04Fields& f, SummaryRows& rows) const {
  const SensorCommands& c = commands();
  const RangeModeRow& row = ShownRow(c.krv04Setup[kSetupMode]);
  const uint8_t* wane = c.waneParams;
  f.waneHeight = RangeModeTable::FormatBare(row, SensorCommands::Word(wane, kWaneHeight) / row.divisor);
  f.waneWidth = RangeModeTable::FormatBare(row, SensorCommands::Word(wane, kWaneWidth) / row.divisor);
  f.pulseDuration = Whole(SensorCommands::Word(wane, kWanePulse));
  f.conveyerSpeed = Whole(SensorCommands::Word(wane, kWaneSpeed));
  f.boardTimeout = Whole(c.boardTimeout);
  // One empty row sets the wane rows apart from the analog ones.
  rows.emplace_back(std::string(), std::string());
  rows.emplace_back(kMinWaneHeight, f.waneHeight);
  rows.emplace_back(kMinWaneWidth, f.waneWidth);
  rows.emplace_back(kPulseDuration, f.pulseDuration);
  rows.emplace_back(kConveyerSpeed, f.conveyerSpeed);
  rows.emplace_back(kBoardTimeout, f.boardTimeout);
}

std::vector<std::string> KRV04BFSettings::ExtraNames() const {
  return {kMinWaneHeight, kMinWaneWidth, kPulseDuration, kConveyerSpeed, kBoardTimeout};
}

SetResult KRV04BFSettings::SetMode(const KRV04Fields& fields) { return SendChosenMode(fields); }

SetResult KRV04BFSettings::SetWaneVariables(const KRV04Fields& fields) {
  TakeFields(fields);
  // Bytes 6 to 9 are the sensor's own, known only from a read.
  if (!HasValues()) return Refusal(edit::kNotReadMessage);
  SensorCommands& c = commands();
  const double scale = WaneScale(c);
  const int32_t height = edit::ToWord(ReadRealNumber(fields.waneHeight), scale);
  const int32_t width = edit::ToWord(ReadRealNumber(fields.waneWidth), scale);
  const int32_t speed = ReadWholeNumber(fields.conveyerSpeed);
  const int32_t pulse = ReadWholeNumber(fields.pulseDuration);
  const int32_t timeout = ReadWholeNumber(fields.boardTimeout);
  // Every word of the group must fit before anything is sent: the record
  // and the time-out go out together.
  const std::pair<int32_t, edit::FieldFit> words[] = {
      {height, WaneFit(kMinWaneHeight, scale)}, {width, WaneFit(kMinWaneWidth, scale)},
      {pulse, WaneFit(kPulseDuration, scale)},  {speed, WaneFit(kConveyerSpeed, scale)},
      {timeout, WaneFit(kBoardTimeout, scale)},
  };
  for (const auto& [value, fit] : words) {
    const std::string unfit = edit::UnfitMessage(value, fit);
    if (!unfit.empty()) return Refusal(unfit);
  }
  uint8_t record[12] = {};
  edit::PutWord(record, kWaneHeight, height);
  edit::PutWord(record, kWaneWidth, width);
  edit::PutWord(record, kWaneSpeed, speed);
  std::memcpy(record + kWaneSpare, c.waneParams + kWaneSpare, kWaneSpareLength);
  edit::PutWord(record, kWanePulse, pulse);
  // The command leaves its record in wire order; it is not used afterwards.
  c.WriteWaneParams(record);
  c.SetBoardTimeout(timeout);
  return ReReadAfterSending({kMinWaneWidth, kMinWaneHeight, kPulseDuration, kConveyerSpeed, kBoardTimeout});
}

SetResult KRV04BFSettings::LaserOn(const KRV04Fields& fields) {
  TakeFields(fields);
  commands().SetLaserOn();
  SetResult result;
  result.sent = true;
  result.written = {kLaser};  // the sensor does not report it back
  return result;
}

SetResult KRV04BFSettings::LaserOff(const KRV04Fields& fields) {
  TakeFields(fields);
  commands().SetLaserOff();
  SetResult result;
  result.sent = true;
  result.written = {kLaser};  // the sensor does not report it back
  return result;
}

SetResult KRV04BFSettings::SwitchLaser(bool on) { return on ? LaserOn(readFields()) : LaserOff(readFields()); }

std::string KRV04BFSettings::TypedText(const std::string& name) const {
  static const std::pair<const char*, std::string KRV04Fields::*> texts[] = {
      {kMinWaneWidth, &KRV04Fields::waneWidth},         {kMinWaneHeight, &KRV04Fields::waneHeight},
      {kPulseDuration, &KRV04Fields::pulseDuration},    {kConveyerSpeed, &KRV04Fields::conveyerSpeed},
      {kBoardTimeout, &KRV04Fields::boardTimeout},
  };
  for (const auto& [field, member] : texts)
    if (name == field) return fields().*member;
  return KRV04FamilySettings::TypedText(name);
}

std::string KRV04BFSettings::ExtraRangeHint(const std::string& name) const {
  for (const char* wane : {kMinWaneHeight, kMinWaneWidth, kPulseDuration, kConveyerSpeed, kBoardTimeout})
    if (name == wane) return edit::FitRange(WaneFit(wane, WaneScale(commands())));
  return std::string();
}

SetResult KRV04BFSettings::ChangeExtraByName(const std::string& name, const std::string& value,
                                             KRV04Fields& f) {
  if (name == kMinWaneHeight) {
    f.waneHeight = value;
  } else if (name == kMinWaneWidth) {
    f.waneWidth = value;
  } else if (name == kPulseDuration) {
    f.pulseDuration = value;
  } else if (name == kConveyerSpeed) {
    f.conveyerSpeed = value;
  } else if (name == kBoardTimeout) {
    f.boardTimeout = value;
  } else {
    return UnknownName(name);
  }
  return SetWaneVariables(f);
}
