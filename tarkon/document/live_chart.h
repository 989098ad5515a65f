#pragma once
// Which sensor a live range chart shows, and what each poll tick does to
// it. A chart belongs to one sensor: a connection to another sensor
// (another model or serial number, or one whose serial number did not
// read, which cannot be told from any other) starts a new chart, and so
// does a change of the range unit (inches and millimetres on one axis
// would mislead). The same sensor connected again continues its chart
// after a gap, as does a stretch without a polled range (the update switch
// off, a failed poll, the line busy): a gap is drawn as a gap, never as a
// line across it.

#include <cstdint>
#include <optional>
#include <string>

#include "tarkon/document/live_panels.h"

class CKRV02Doc;

// What the ranges of a chart are of.
struct ChartSource {
  uint64_t connection = 0;  // CKRV02Doc::connectionNumber()
  std::string model;        // model text
  std::string serial;       // serial number reply text; empty when it did not read
  std::string unit;         // unit word of the range mode

  bool SameSensor(const ChartSource& other) const;
};

// What the chart does with a tick.
struct ChartTick {
  bool clear = false;  // empty the chart first: another sensor, or another unit
  bool add = false;    // a range came: add it
  bool gap = false;    // ... as the start of a new line
  std::optional<double> range;  // the range to add; nothing for "Out of Range"
};

class ChartContinuity {
 public:
  // A tick of a panel showing `source`'s sensor; `polled`: its poll
  // brought a range (a number or "Out of Range"). The range itself is the
  // caller's to fill in.
  ChartTick Tick(const ChartSource& source, bool polled);

 private:
  std::optional<ChartSource> shown_;  // whose ranges the chart holds
  bool gap_ = false;                  // no range since the last one added
};

// The chart's part of a panel tick, after PanelTick: `polled` is what it
// returned. Reads only what the connect and the poll stored: no traffic.
ChartTick FollowChart(const CKRV02Doc& doc, LivePanel panel, bool polled, ChartContinuity& continuity);
