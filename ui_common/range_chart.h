#pragma once
// The live range chart of both programs: the ranges of the last minute,
// newest at the right, with a gap wherever a poll read "Out of Range" or
// polling broke off (Break), drawn with QPainter in the palette's colours
// (dark ones included). Its accessible description says in words what it
// shows.
//
// Polling may run far faster than anyone reads a chart (hundreds of polls
// a second on a fast line), so adding a range costs a few comparisons and
// nothing is drawn then. The ranges of each fifth of a second are kept as
// their lowest and highest (a fifth of a second is about one pixel of the
// minute: the line looks the same and every peak stays), and the chart
// takes the new points and repaints at most four times a second. A full
// minute is about 600 points whatever the poll rate, so drawing costs the
// same whether the minute is empty or full.

#include <QElapsedTimer>
#include <QPointF>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace ui_common {

class RangeChart : public QWidget {
  Q_OBJECT
 public:
  static constexpr double kWindowSeconds = 60.0;
  // Ranges within this time become one lowest and one highest point.
  static constexpr double kBucketSeconds = 0.2;
  // New points are drawn at most this often.
  static constexpr int kDrawIntervalMs = 250;

  // How the time axis is labelled: "-60 s" to "now", or the seconds of the
  // chart's own clock at both ends.
  enum class TimeLabels { kAgo, kClock };

  explicit RangeChart(QWidget* parent = nullptr);

  // One polled range in display units (nothing for "Out of Range"), at the
  // chart's clock now.
  void Add(std::optional<double> value);
  // The same at `seconds` of the chart's clock (tests and benchmarks).
  void AddAt(double seconds, std::optional<double> value);
  // Forgets every range (another sensor, or a change of unit: the old ones
  // would mislead).
  void Clear();
  // The next range starts a new line: polling stopped for a while or a poll
  // failed, so nothing is known of the time between (unlike "Out of
  // Range", the last range shown stays what it was).
  void Break();
  // Takes the points added since the last draw, forgets those older than
  // the minute and repaints. The draw timer calls it after an addition.
  void Draw();

  // How a value of the range axis is written; plain numbers when unset.
  void SetValueText(std::function<QString(double)> text);
  // Written above the range axis (empty: nothing).
  void SetValueTitle(const QString& title);
  void SetTimeLabels(TimeLabels labels);

  double Now() const { return static_cast<double>(clock_.elapsed()) / 1000.0; }
  // The last range added; nothing when it was "Out of Range" or none came.
  std::optional<double> latest() const { return latestValue_; }
  // Points of the last minute, drawn or about to be.
  size_t points() const { return points_.size() + (bucketOpen_ ? (low_ == high_ ? 1 : 2) : 0); }
  // What the last draw shows: points, unbroken lines (a gap splits one
  // line in two), and the lowest (x) and highest (y) range among them.
  int drawnPoints() const { return static_cast<int>(drawn_.size()); }
  int drawnLines() const;
  QPointF drawnSpan() const { return span_; }
  // Draws since the chart was made (each one repaint).
  int draws() const { return draws_; }

  QSize sizeHint() const override { return {400, 160}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Point {
    double time;
    double value;
    bool startsLine;  // a gap lies before it
  };
  // The lowest and highest range of the fifth of a second that ends, in
  // the order they came, become points.
  void CloseBucket();
  void AppendBucket(std::vector<Point>& to) const;
  QString ValueText(double value) const;
  // The text equivalent of the drawing (its accessible description): the
  // last range, then the lowest and highest of the minute.
  QString Description() const;

  QElapsedTimer clock_;
  QTimer drawTimer_;
  std::function<QString(double)> valueText_;
  QString valueTitle_;
  TimeLabels timeLabels_ = TimeLabels::kAgo;

  bool anyAdded_ = false;
  double latestTime_ = 0;  // the chart stands still while nothing is polled
  std::optional<double> latestValue_;
  std::deque<Point> points_;
  bool gapBefore_ = false;  // an "Out of Range" since the last point
  bool bucketOpen_ = false;
  long long bucket_ = 0;    // its number on the chart's clock
  bool bucketStartsLine_ = false;
  QPointF low_;             // (time, range) of the bucket's lowest
  QPointF high_;            // ... and of its highest

  std::vector<Point> drawn_;  // what paintEvent draws
  double drawnEnd_ = 0;       // the newest time, at the right edge
  QPointF span_;
  int draws_ = 0;
};

}  // namespace ui_common
