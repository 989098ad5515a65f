#include "tarkon/models/krv04_family/krv04_family_settings.h"

#include "tarkon/document/number_reading.h"
#include "tarkon/models/krv04_family/krv04_replies.h"

namespace {

namespace edit = settings_editing;

// The record's text fields by the name of their row.
const std::pair<const char*, std::string KRV04Fields::*> kTexts[] = {
    {"Min. Laser Power", &KRV04Fields::minLaserPower},
    {"Max. Laser Power", &KRV04Fields::maxLaserPower},
    {"Threshold", &KRV04Fields::threshold},
    {"Min. Range", &KRV04Fields::minRange},
    {"Max. Range", &KRV04Fields::maxRange},
    {"Min. Volts", &KRV04Fields::voltsAtMinRange},
    {"Max. Volts", &KRV04Fields::voltsAtMaxRange},
    {"Out of Range", &KRV04Fields::voltsOutsideRange},
    {"Max samples to hold last range", &KRV04Fields::maxDropouts},
    {"Min Wane Width", &KRV04Fields::waneWidth},
    {"Min Wane Height", &KRV04Fields::waneHeight},
    {"Pulse duration", &KRV04Fields::pulseDuration},
    {"Conveyer Speed", &KRV04Fields::conveyerSpeed},
    {"Board timeout", &KRV04Fields::boardTimeout},
};

std::string Text(const FieldTexts& texts, const char* name) {
  const auto it = texts.find(name);
  return it != texts.end() ? it->second : std::string();
}

}  // namespace

KRV04FamilySettings::KRV04FamilySettings(SensorCommands& commands, const RangeModeTable& modes, int model,
                                         const std::vector<SettingField>& rows, StateChanged changed)
    : ModelSettings(commands, modes, [model] { return model; }, std::move(changed), rows,
                    model_backup::kKRV04Setup, krv04::kSetupAddress),
      model_(model) {}

FieldTexts KRV04FamilySettings::ToTexts(const KRV04Fields& f) {
  FieldTexts texts;
  for (const auto& [name, member] : kTexts) texts[name] = f.*member;
  texts["Mode"] = f.mode >= 0 ? std::to_string(f.mode) : std::string();
  texts["Hold Last Valid Range"] = f.holdLastRange ? edit::kEnabled : edit::kDisabled;
  return texts;
}

KRV04Fields KRV04FamilySettings::FromTexts(const FieldTexts& texts) {
  KRV04Fields f;
  for (const auto& [name, member] : kTexts) f.*member = Text(texts, name);
  int64_t mode = -1;
  f.mode = IsWholeNumber(Text(texts, "Mode"), &mode) && mode >= 0 && mode <= INT32_MAX ? static_cast<int>(mode) : -1;
  f.holdLastRange = Text(texts, "Hold Last Valid Range") == edit::kEnabled;
  return f;
}

SetResult KRV04FamilySettings::SetMinLaserPower(const KRV04Fields& f) { return Press("Set Min LP", ToTexts(f)); }
SetResult KRV04FamilySettings::SetMaxLaserPower(const KRV04Fields& f) { return Press("Set Max LP", ToTexts(f)); }
SetResult KRV04FamilySettings::SetThreshold(const KRV04Fields& f) { return Press("Set Threshold", ToTexts(f)); }
SetResult KRV04FamilySettings::SetMinRange(const KRV04Fields& f) { return Press("Min. Range", ToTexts(f)); }
SetResult KRV04FamilySettings::SetMaxRange(const KRV04Fields& f) { return Press("Max. Range", ToTexts(f)); }
SetResult KRV04FamilySettings::SetMinVolts(const KRV04Fields& f) { return Press("Volts @ Minumum", ToTexts(f)); }
SetResult KRV04FamilySettings::SetMaxVolts(const KRV04Fields& f) { return Press("Volts @ Maximum", ToTexts(f)); }
SetResult KRV04FamilySettings::SetVoltsOutside(const KRV04Fields& f) { return Press("Volts outside", ToTexts(f)); }
SetResult KRV04FamilySettings::SetMode(const KRV04Fields& f) { return Press("Set Mode", ToTexts(f)); }
SetResult KRV04FamilySettings::SetHoldLastRange(const KRV04Fields& f) { return Press("Enable", ToTexts(f)); }
SetResult KRV04FamilySettings::SetMaxDropouts(const KRV04Fields& f) { return Press("Max # dropouts", ToTexts(f)); }
SetResult KRV04FamilySettings::SetWaneVariables(const KRV04Fields& f) {
  return Press("Set Wane Variables", ToTexts(f));
}

SetResult KRV04FamilySettings::LaserOn(const KRV04Fields& f) {
  Press(std::string(), ToTexts(f));  // takes the fields, writes nothing
  return SwitchLaser(true);
}

SetResult KRV04FamilySettings::LaserOff(const KRV04Fields& f) {
  Press(std::string(), ToTexts(f));
  return SwitchLaser(false);
}
