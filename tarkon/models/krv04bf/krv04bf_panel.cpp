#include "tarkon/models/krv04bf/krv04bf_panel.h"

#include "tarkon/models/krv04_family/krv04_family_panel.h"

namespace krv04bf {
namespace {

bool Poll(SensorCommands& c) { return c.GetKRV04BFState() != 0; }

std::vector<std::string> Values(const SensorCommands& c, const RangeTextOf& rangeText) {
  return krv04::StateValues(c.bfState, rangeText);
}

int16_t RawRange(const SensorCommands& c) { return krv04::StateRawRange(c.bfState); }

}  // namespace

const LivePanelParts& LivePanel() {
  static const LivePanelParts parts = {krv04::StateNames(), Poll, Values, RawRange, false, Poll, nullptr};
  return parts;
}

}  // namespace krv04bf
