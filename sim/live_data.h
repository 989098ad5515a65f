#pragma once
// The values that change by themselves: the measured range, the spot's
// pixel statistics, laser power and peak, and the scan that runs after
// StartScan. All follow the clock, so nothing needs a timer: the sensor
// brings them up to date before it answers.

#include "sim/sensor_state.h"

namespace sim {

// Raw range bounds of a model in a range mode: the KRV02 family's modes
// 0..15 (odd modes count downwards, so their ranges are negative), the
// KRV04 and board flipper's modes 0 (0..8 inch) and 1 (0..200 mm), the
// Qmt Short's fixed 4..24 inch. An unknown mode gives 0..10000.
struct RangeSpan {
  int low;
  int high;
};
RangeSpan SpanOf(int model, int rangeMode);

// The raw range the sensor measures at time t: a slow sine (8 s period)
// across the middle 60 % of the current mode's span with a little ripple;
// 0x8000 while the laser is off. With animation off, the frozen live range.
uint16_t RangeAt(const SensorState& s, TimePoint t);

// Brings live values (when animated) and the running scan up to `now`.
void AdvanceLive(SensorState& s, TimePoint now);

// Starts a scan run at `now`: count and buffer start from empty.
void StartScanning(SensorState& s, TimePoint now);
void StopScanning(SensorState& s, TimePoint now);

}  // namespace sim
