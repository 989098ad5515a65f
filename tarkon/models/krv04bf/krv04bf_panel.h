#pragma once
// The board flipper's live panel: the KRV04 family's rows from its own
// state command.

#include "tarkon/models/live_panel_parts.h"

namespace krv04bf {
const LivePanelParts& LivePanel();
}  // namespace krv04bf
