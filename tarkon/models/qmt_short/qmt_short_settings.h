#pragma once
// Settings of the Qmt Short.

#include <vector>

#include "tarkon/models/krv04_family/krv04_family_settings.h"

// Qmt Short: no mode selection (its ranges always use the single row of
// set C) and no checks: the bytes sent are the low 8 bits of what is typed.
class QmtShortSettings : public KRV04FamilySettings {
 public:
  QmtShortSettings(SensorCommands& commands, const RangeModeTable& modes, StateChanged changed);

  std::vector<std::string> ModeTexts() const override { return {}; }

 protected:
  bool HasModeSelection() const override { return false; }
  bool ChecksFields() const override { return false; }
  const RangeModeRow& ShownRow(int modeByte) const override;
  const RangeModeRow& EditRow(const KRV04Fields& fields) const override;
};
