#pragma once
// The KRV04 family's live panel: eight rows from one state reply
// (GetSensorState for KRV04 and Qmt Short; the board flipper's own state
// command in krv04bf/).

#include "tarkon/models/live_panel_parts.h"

namespace krv04 {

// The panel of KRV04 and Qmt Short.
const LivePanelParts& LivePanel();

// What every panel of the family shows, from its state reply.
const std::vector<const char*>& StateNames();
std::vector<std::string> StateValues(const uint8_t* state, const RangeTextOf& rangeText);
int16_t StateRawRange(const uint8_t* state);

}  // namespace krv04
