#include "tarkon/models/krv02/krv02_settings.h"

#include "tarkon/document/number_reading.h"
#include "tarkon/models/krv02/krv02_replies.h"

namespace {

namespace edit = settings_editing;

// The record's text fields by the name of their row.
const std::pair<const char*, std::string KRV02Fields::*> kTexts[] = {
    {"Min. Laser Power", &KRV02Fields::minLaserPower}, {"Max. Laser Power", &KRV02Fields::maxLaserPower},
    {"Range Offset", &KRV02Fields::rangeOffset},       {"Multiplier", &KRV02Fields::rangeMultiplier},
    {"Cosine", &KRV02Fields::cosine},                  {"Min. Range", &KRV02Fields::minRange},
    {"Max. Range", &KRV02Fields::maxRange},            {"Min. Volts", &KRV02Fields::voltsAtMinRange},
    {"Max. Volts", &KRV02Fields::voltsAtMaxRange},     {"Offset", &KRV02Fields::offsetVolts},
    {"Out of Range", &KRV02Fields::voltsOutsideRange}, {"Threshold", &KRV02Fields::threshold},
    {"Averaging Period(ms)", &KRV02Fields::averagingPeriod}, {"Dropout", &KRV02Fields::dropoutFactor},
    {"Smooth", &KRV02Fields::smoothFactor},            {"Scan Interval", &KRV02Fields::scanInterval},
};

std::string Text(const FieldTexts& texts, const char* name) {
  const auto it = texts.find(name);
  return it != texts.end() ? it->second : std::string();
}

// A list's value as a whole number; -1 for none (or a text that is none).
int Choice(const FieldTexts& texts, const char* name) {
  int64_t value = -1;
  return IsWholeNumber(Text(texts, name), &value) && value >= 0 && value <= INT32_MAX ? static_cast<int>(value) : -1;
}

}  // namespace

KRV02Settings::KRV02Settings(SensorCommands& commands, const RangeModeTable& modes, ModelGetter model,
                             StateChanged changed)
    : ModelSettings(commands, modes, std::move(model), std::move(changed), setting_fields::KRV02Family(),
                    model_backup::kSensorSetup, krv02::kSetupAddress) {}

std::vector<std::string> KRV02Settings::LaserTexts() { return {edit::kOn, edit::kOff}; }

std::vector<std::string> KRV02Settings::OrderFactorTexts() { return edit::OrderFactorTexts(); }

FieldTexts KRV02Settings::ToTexts(const KRV02Fields& f) {
  FieldTexts texts;
  for (const auto& [name, member] : kTexts) texts[name] = f.*member;
  texts["Mode"] = f.scanMode >= 0 ? std::to_string(f.scanMode) : std::string();
  texts["Laser"] = f.laser == kLaserOn ? edit::kOn : f.laser == kLaserOff ? edit::kOff : "";
  const auto& factors = edit::OrderFactors();
  texts["Order"] = f.orderFactor >= 0 && f.orderFactor < static_cast<int>(factors.size())
                       ? std::to_string(factors[static_cast<size_t>(f.orderFactor)])
                       : std::string();
  return texts;
}

KRV02Fields KRV02Settings::FromTexts(const FieldTexts& texts) {
  KRV02Fields f;
  for (const auto& [name, member] : kTexts) f.*member = Text(texts, name);
  f.scanMode = Choice(texts, "Mode");
  const std::string laser = Text(texts, "Laser");
  f.laser = laser == edit::kOn ? kLaserOn : laser == edit::kOff ? kLaserOff : -1;
  f.orderFactor = edit::OrderFactorIndex(Choice(texts, "Order"));
  return f;
}

SetResult KRV02Settings::SetMode(const KRV02Fields& f) { return Press("Set Mode", ToTexts(f)); }
SetResult KRV02Settings::SetMinLaserPower(const KRV02Fields& f) { return Press("Set Min.", ToTexts(f)); }
SetResult KRV02Settings::SetMaxLaserPower(const KRV02Fields& f) { return Press("Set Max", ToTexts(f)); }
SetResult KRV02Settings::SetRangeOffset(const KRV02Fields& f) { return Press("Set Range offset", ToTexts(f)); }
SetResult KRV02Settings::SetAnalogFactors(const KRV02Fields& f) { return Press("Set Analog Factors", ToTexts(f)); }
SetResult KRV02Settings::SetThreshold(const KRV02Fields& f) { return Press("Set Threshold", ToTexts(f)); }
SetResult KRV02Settings::SetLaser(const KRV02Fields& f) { return Press("Set Laser", ToTexts(f)); }
SetResult KRV02Settings::SetAveragingPeriod(const KRV02Fields& f) { return Press("Averaging Period", ToTexts(f)); }
SetResult KRV02Settings::SetScanFilterVariables(const KRV02Fields& f) {
  return Press("Set Scan Filter Variables", ToTexts(f));
}
SetResult KRV02Settings::SetScanInterval(const KRV02Fields& f) { return Press("Set Scan Int.", ToTexts(f)); }
