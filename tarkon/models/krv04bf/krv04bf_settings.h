#pragma once
// Settings of the KRV04 Board Flipper: the KRV04 family's setup record plus
// the wane-detection record and the board time-out, and a laser switch that
// the sensor does not report back.

#include <string>
#include <vector>

#include "tarkon/models/krv04_family/krv04_family_settings.h"

class KRV04BFSettings : public KRV04FamilySettings {
 public:
  KRV04BFSettings(SensorCommands& commands, const RangeModeTable& modes, StateChanged changed);

  std::vector<std::string> ModeTexts() const override;

  SetResult SetMode(const KRV04Fields& fields);           // "Set Mode"
  SetResult SetWaneVariables(const KRV04Fields& fields);  // "Set Wane Variables"
  // "Laser On" / "Laser Off": sent without a re-read, the fields stay.
  SetResult LaserOn(const KRV04Fields& fields);
  SetResult LaserOff(const KRV04Fields& fields);
  SetResult SwitchLaser(bool on) override;

 protected:
  bool ReadExtras() override;
  void AddExtras(KRV04Fields& fields, SummaryRows& rows) const override;
  std::vector<std::string> ExtraNames() const override;
  const char* ThresholdMessage() const override;
  SetResult ChangeExtraByName(const std::string& name, const std::string& value,
                              KRV04Fields& fields) override;
  std::string ExtraRangeHint(const std::string& name) const override;
  std::string TypedText(const std::string& name) const override;
};
