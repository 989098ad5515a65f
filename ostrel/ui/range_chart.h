#pragma once
// The ranges the Spot page polls, as a scrolling chart of the last 60
// seconds in the unit set's units. It only draws what polling already read.

#include <QElapsedTimer>
#include <QtCharts/QChartView>
#include <cstdint>
#include <deque>
#include <utility>

#include "ostrel/operations/field_values.h"

class QLineSeries;
class QValueAxis;

namespace ostrel {

class RangeChart : public QChartView {
 public:
  static constexpr double kWindowSeconds = 60.0;

  explicit RangeChart(QWidget* parent);
  // One polled range (raw units; 0x8000 is out of range and left out).
  void Add(uint16_t raw, const UnitSet& unit);
  size_t points() const { return points_.size(); }

 private:
  QLineSeries* series_ = nullptr;
  QValueAxis* time_ = nullptr;
  QValueAxis* range_ = nullptr;
  QElapsedTimer clock_;
  std::deque<std::pair<double, double>> points_;  // seconds, range in units
  const UnitSet* unit_ = nullptr;
};

}  // namespace ostrel
