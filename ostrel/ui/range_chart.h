#pragma once
// The ranges the Spot page polls, as a scrolling chart of the last 60
// seconds in the unit set's units. It only draws what polling already read.
//
// Polling runs as fast as the line answers (about 150 polls a second at
// 57600 bit/s). The ranges of each fifth of a second go into the series as
// their lowest and highest (a fifth of a second is about one pixel of the
// minute, so the line looks the same and every peak stays), appended while
// the oldest leave; nothing is rebuilt per poll, the chart takes the new
// points at most a few times a second, and a full minute holds about 600
// points at most, so drawing costs little whether the minute is empty or
// full.

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
  // Ranges within this time become one lowest and one highest point.
  static constexpr double kBucketSeconds = 0.2;

  explicit RangeChart(QWidget* parent);
  // One polled range (raw units; 0x8000 is out of range and left out).
  void Add(uint16_t raw, const UnitSet& unit);
  // The same, polled `seconds` after the chart started.
  void AddAt(double seconds, uint16_t raw, const UnitSet& unit);
  // Hands the pending points to the series, drops those older than the
  // window and moves the axes (the draw timer does this by itself).
  void Draw();
  // Lowest and highest range the series holds, in units.
  QPointF drawnSpan() const;
  // Points of the last minute, drawn or about to be.
  size_t points() const { return points_.size() + (bucketOpen_ ? 1 : 0); }
  // Points the chart's series holds now.
  int drawnPoints() const;

 private:
  // The lowest and highest range of the fifth of a second that ends, in
  // the order they came, become points.
  void CloseBucket();

  QLineSeries* series_ = nullptr;
  QValueAxis* time_ = nullptr;
  QValueAxis* range_ = nullptr;
  QElapsedTimer clock_;
  double latest_ = 0;           // time of the latest range, seconds
  QTimer drawTimer_;
  std::deque<QPointF> points_;  // seconds since the chart started, range in units
  QList<QPointF> pending_;      // added since the last draw
  bool bucketOpen_ = false;     // ranges of the current fifth of a second
  long long bucket_ = 0;        // its number since the chart started
  QPointF low_;                 // its lowest range so far, with its time
  QPointF high_;                // its highest
  const UnitSet* unit_ = nullptr;
};

}  // namespace ostrel
