#pragma once
// The KRV02 family's live panel, its error counters and its scan
// statistics.

#include "tarkon/models/live_panel_parts.h"

namespace krv02 {

const LivePanelParts& LivePanel();

constexpr int kCalibratedStatus = 21845;

// "Get Errors": the six counter rows; their values from GetErrorState.
const std::vector<const char*>& ErrorNames();
std::vector<std::string> ErrorValues(const SensorCommands& commands);
// The statistics rows; their values from the last HLAScanResult and
// GetKRV02State replies.
const std::vector<const char*>& StatisticsNames();
std::vector<std::string> StatisticsValues(const SensorCommands& commands, const RangeTextOf& rangeText);

}  // namespace krv02
