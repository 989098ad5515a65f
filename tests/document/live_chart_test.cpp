// What a live chart does with each poll tick: continue its line, break it
// where nothing was polled or the sensor was connected again, and start
// anew for another sensor or another unit.

#include <gtest/gtest.h>

#include <vector>

#include "tarkon/document/live_chart.h"

namespace {

struct Step {
  const char* what;
  ChartSource source;
  bool polled;
  bool clear, add, gap;  // what the chart is told
};

const ChartSource kA{1, "KRV04", "K4000020", "inch"};
ChartSource With(ChartSource s, uint64_t connection, const char* serial = nullptr, const char* unit = nullptr,
                 const char* model = nullptr) {
  s.connection = connection;
  if (serial != nullptr) s.serial = serial;
  if (unit != nullptr) s.unit = unit;
  if (model != nullptr) s.model = model;
  return s;
}

TEST(ChartContinuity, OneChartPerSensorAndUnitAGapWhereNothingWasPolled) {
  const std::vector<Step> steps = {
      {"first range", kA, true, false, true, false},
      {"next range", kA, true, false, true, false},
      {"switch off", kA, false, false, false, false},
      {"after the switch was off", kA, true, false, true, true},
      {"failed poll", kA, false, false, false, false},
      {"after a failed poll", kA, true, false, true, true},
      {"same sensor, connected again", With(kA, 2), true, false, true, true},
      {"another serial number on the bus", With(kA, 3, "K4000003"), true, true, true, false},
      {"a tick before its first range", With(kA, 4), false, true, false, false},
      {"the first sensor again after that", With(kA, 4), true, false, true, false},
      {"the same serial, another model", With(kA, 5, nullptr, nullptr, "KRV02"), true, true, true, false},
      {"another unit", With(kA, 5, nullptr, "mm", "KRV02"), true, true, true, false},
      {"no serial number read", With(kA, 6, "", "mm", "KRV02"), true, true, true, false},
      {"same connection, still no serial", With(kA, 6, "", "mm", "KRV02"), true, false, true, false},
      {"another connection, no serial again", With(kA, 7, "", "mm", "KRV02"), true, true, true, false},
  };
  ChartContinuity continuity;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const ChartTick tick = continuity.Tick(step.source, step.polled);
    EXPECT_EQ(tick.clear, step.clear);
    EXPECT_EQ(tick.add, step.add);
    EXPECT_EQ(tick.gap, step.gap);
  }
}

}  // namespace
