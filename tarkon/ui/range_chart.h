#pragma once
// The live range chart under a panel's diagnostics: the last minute of the
// ranges the poll ticks already read, in the sensor's display units, with a
// gap wherever a tick read "Out of Range". Drawn with QPainter: a few
// hundred points a second need no scene graph, and gaps are plain breaks
// in the polyline.

#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <optional>

#include "tarkon/document/live_panels.h"

class RangeChart : public QWidget {
  Q_OBJECT
 public:
  explicit RangeChart(QWidget* parent = nullptr);

  // One polled range (nothing for "Out of Range"), at the current time.
  void AddRange(std::optional<double> value);
  // At time `seconds` of the chart's own clock (tests and benchmarks).
  void AddRangeAt(double seconds, std::optional<double> value);
  void Clear();
  // How an axis value is written (the sensor's unit format); plain
  // numbers when unset.
  void SetValueText(std::function<QString(double)> text) { valueText_ = std::move(text); }
  const RangeHistory& history() const { return history_; }
  double Now() const { return static_cast<double>(clock_.elapsed()) / 1000.0; }

  QSize sizeHint() const override { return {400, 140}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString ValueText(double value) const;

  RangeHistory history_;
  QElapsedTimer clock_;
  std::function<QString(double)> valueText_;
};
