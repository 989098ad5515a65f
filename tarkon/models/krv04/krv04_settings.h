#pragma once
// Settings of the KRV04.

#include <string>
#include <vector>

#include "tarkon/models/krv04_family/krv04_family_settings.h"

// KRV04: adds the hold of the last valid range and the count of samples to
// hold it.
class KRV04Settings : public KRV04FamilySettings {
 public:
  KRV04Settings(SensorCommands& commands, const RangeModeTable& modes, StateChanged changed);

  std::vector<std::string> ModeTexts() const override;

  SetResult SetMode(const KRV04Fields& fields);         // "Set Mode"
  // "Enable" check box: sends the state `fields.holdLastRange` now has.
  SetResult SetHoldLastRange(const KRV04Fields& fields);
  SetResult SetMaxDropouts(const KRV04Fields& fields);  // "Max # dropouts"

 protected:
  bool ReadExtras() override;
  void AddExtras(KRV04Fields& fields, SummaryRows& rows) const override;
  std::vector<std::string> ExtraNames() const override;
  bool TakesWord(const std::string& name) const override;
  SetResult ChangeExtraByName(const std::string& name, const std::string& value,
                              KRV04Fields& fields) override;
  std::string ExtraRangeHint(const std::string& name) const override;
  std::string TypedText(const std::string& name) const override;
};

