#include "tarkon/models/krv04_family/krv04_family_panel.h"

#include "tarkon/models/krv04_family/krv04_replies.h"

namespace krv04 {
namespace {

uint16_t W(const uint8_t* area, size_t offset) { return SensorCommands::Word(area, offset); }

bool Poll(SensorCommands& c) { return c.GetSensorState() != 0; }

std::vector<std::string> Values(const SensorCommands& c, const RangeTextOf& rangeText) {
  return StateValues(c.sensorState, rangeText);
}

int16_t RawRange(const SensorCommands& c) { return StateRawRange(c.sensorState); }

}  // namespace

const std::vector<const char*>& StateNames() {
  static const std::vector<const char*> names = {"Base pix.",   "Sum pix.", "Num pix.", "Sub pix.",
                                                 "Laser power", "Peak",     "",         "Range"};
  return names;
}

std::vector<std::string> StateValues(const uint8_t* s, const RangeTextOf& rangeText) {
  using live_panel_text::Unsigned;
  return {Unsigned(W(s, kStateBasePixel)),  Unsigned(W(s, kStateSumPixel)), Unsigned(W(s, kStateNumPixel)),
          Unsigned(W(s, kStateSubPixel)),   Unsigned(W(s, kStateLaserPower)), Unsigned(W(s, kStatePeak)),
          "",                               rangeText(StateRawRange(s))};
}

int16_t StateRawRange(const uint8_t* s) { return static_cast<int16_t>(W(s, kStateRange)); }

const LivePanelParts& LivePanel() {
  static const LivePanelParts parts = {StateNames(), Poll, Values, RawRange, false, Poll, nullptr};
  return parts;
}

}  // namespace krv04
