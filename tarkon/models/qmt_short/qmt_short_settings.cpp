#include "tarkon/models/qmt_short/qmt_short_settings.h"

QmtShortSettings::QmtShortSettings(SensorCommands& commands, const RangeModeTable& modes,
                                   StateChanged changed)
    : KRV04FamilySettings(commands, modes, kModelQmtShort, std::move(changed)) {}

const RangeModeRow& QmtShortSettings::ShownRow(int /*modeByte*/) const {
  return modes().Lookup(model(), 0);
}

const RangeModeRow& QmtShortSettings::EditRow(const KRV04Fields& /*fields*/) const {
  return modes().Lookup(model(), 0);
}
