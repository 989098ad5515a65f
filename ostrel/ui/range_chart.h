#pragma once
// The ranges the Spot page polls, as a scrolling chart of the last 60
// seconds in the unit set's units. It only draws what polling already read.
//
// Polling runs as fast as the line answers (about 150 polls a second at
// 57600 bit/s). Each range is appended to the series and the oldest leave
// it; nothing is rebuilt per poll, and the chart takes the new points at
// most a few times a second, so drawing costs the same whether the minute
// is empty or full.

#include <QElapsedTimer>
#include <QList>
#include <QPointF>
#include <QTimer>
#include <QtCharts/QChartView>
#include <cstdint>
#include <deque>

#include "ostrel/operations/field_values.h"

class QLineSeries;
class QValueAxis;

namespace ostrel {

class RangeChart : public QChartView {
 public:
  static constexpr double kWindowSeconds = 60.0;
  // New points reach the chart at most this often.
  static constexpr int kDrawIntervalMs = 250;

  explicit RangeChart(QWidget* parent);
  // One polled range (raw units; 0x8000 is out of range and left out).
  void Add(uint16_t raw, const UnitSet& unit);
  // Ranges of the last minute, drawn or about to be.
  size_t points() const { return points_.size(); }
  // Points the chart's series holds now.
  int drawnPoints() const;

 private:
  // Hands the pending points to the series, drops those older than the
  // window and moves the axes.
  void Draw();

  QLineSeries* series_ = nullptr;
  QValueAxis* time_ = nullptr;
  QValueAxis* range_ = nullptr;
  QElapsedTimer clock_;
  QTimer drawTimer_;
  std::deque<QPointF> points_;  // seconds since the chart started, range in units
  QList<QPointF> pending_;      // added since the last draw
  const UnitSet* unit_ = nullptr;
};

}  // namespace ostrel
