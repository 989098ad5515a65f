#pragma once
// What a model's live panel shows: its rows, the commands one poll runs and
// where the values sit in their replies. Each model folder describes its
// panel here; the document's panel operations (tarkon/document/
// live_panels.h) run them the same way for every model.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/sensor_commands.h"

struct PanelRow {
  std::string name;
  std::string value;
};
using PanelRows = std::vector<PanelRow>;

// The text of a raw range in the sensor's current range mode.
using RangeTextOf = std::function<std::string(int16_t raw)>;

struct LivePanelParts {
  std::vector<const char*> names;  // the rows, in order
  // One poll: the panel's commands, each only after the previous one
  // succeeded; false when one failed (it logged its line).
  bool (*poll)(SensorCommands& commands);
  // The row values after a successful poll, in the order of `names`.
  std::vector<std::string> (*values)(const SensorCommands& commands, const RangeTextOf& rangeText);
  // The raw range of the last successful poll.
  int16_t (*rawRange)(const SensorCommands& commands);
  // With its update switch off the panel's tick does nothing at all (it
  // does not even build its empty rows).
  bool idleWhenSwitchedOff;
  // The same poll in two halves, for a poller that reads many sensors: the
  // state command alone (the range), and the rest of `poll` (null when the
  // state command is all of it), read less often.
  bool (*pollState)(SensorCommands& commands);
  bool (*pollExtras)(SensorCommands& commands);
};

namespace live_panel_text {
std::string Unsigned(uint16_t value);
std::string Signed(uint16_t value);
// Builds a list of rows with empty values.
PanelRows Named(const std::vector<const char*>& names);
}  // namespace live_panel_text
