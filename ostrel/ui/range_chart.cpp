#include "ostrel/ui/range_chart.h"

#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>

namespace ostrel {

// The chart is given to the view at construction: a view made without one
// makes its own, which setChart would leave behind.
RangeChart::RangeChart(QWidget* parent) : QChartView(new QChart(), parent) {
  QChart* chart = this->chart();
  chart->legend()->hide();
  series_ = new QLineSeries(chart);
  chart->addSeries(series_);
  time_ = new QValueAxis(chart);
  time_->setTitleText("s");
  time_->setRange(-kWindowSeconds, 0);
  range_ = new QValueAxis(chart);
  range_->setTitleText("Range");
  chart->addAxis(time_, Qt::AlignBottom);
  chart->addAxis(range_, Qt::AlignLeft);
  series_->attachAxis(time_);
  series_->attachAxis(range_);
  setRenderHint(QPainter::Antialiasing);
  setMinimumSize(300, 200);
  setAccessibleName("Range chart");
  drawTimer_.setSingleShot(true);
  drawTimer_.setInterval(kDrawIntervalMs);
  QObject::connect(&drawTimer_, &QTimer::timeout, this, [this] { Draw(); });
  clock_.start();
}

int RangeChart::drawnPoints() const { return static_cast<int>(series_->count()); }

void RangeChart::Add(uint16_t raw, const UnitSet& unit) {
  AddAt(static_cast<double>(clock_.elapsed()) / 1000.0, raw, unit);
}

QPointF RangeChart::drawnSpan() const {
  const QList<QPointF> drawn = series_->points();
  if (drawn.isEmpty()) return QPointF();
  const auto [low, high] = std::minmax_element(drawn.begin(), drawn.end(),
                                               [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
  return QPointF(low->y(), high->y());
}

void RangeChart::AddAt(double seconds, uint16_t raw, const UnitSet& unit) {
  latest_ = seconds;
  if (unit_ != &unit) {
    // Another unit: the old points would mislead.
    points_.clear();
    pending_.clear();
    bucketOpen_ = false;
    series_->clear();
    unit_ = &unit;
    range_->setTitleText(QString("Range (%1)").arg(unit.text));
  }
  if (raw != 0x8000) {
    const QPointF point(seconds, static_cast<double>(static_cast<int16_t>(raw)) / static_cast<double>(unit.scale));
    const auto bucket = static_cast<long long>(point.x() / kBucketSeconds);
    if (bucketOpen_ && bucket != bucket_) CloseBucket();
    if (!bucketOpen_) {
      bucketOpen_ = true;
      bucket_ = bucket;
      low_ = point;
      high_ = point;
    } else if (point.y() < low_.y()) {
      low_ = point;
    } else if (point.y() > high_.y()) {
      high_ = point;
    }
  }
  if (!drawTimer_.isActive()) drawTimer_.start();
}

void RangeChart::CloseBucket() {
  if (!bucketOpen_) return;
  bucketOpen_ = false;
  const bool lowFirst = low_.x() <= high_.x();
  const QPointF first = lowFirst ? low_ : high_;
  const QPointF second = lowFirst ? high_ : low_;
  points_.push_back(first);
  pending_.append(first);
  if (second != first) {
    points_.push_back(second);
    pending_.append(second);
  }
}

void RangeChart::Draw() {
  const double now = latest_;  // the chart stands still while nothing is polled
  bool expired = false;
  while (!points_.empty() && points_.front().x() < now - kWindowSeconds) {
    points_.pop_front();
    expired = true;
  }
  // The series gets the minute in one piece: appending the new points one
  // by one and removing the old ones would each make the chart work out
  // the place of every point again (several times per draw with a full
  // minute).
  if (expired || !pending_.isEmpty()) series_->replace(QList<QPointF>(points_.begin(), points_.end()));
  pending_.clear();
  time_->setRange(now - kWindowSeconds, now);
  if (points_.empty()) return;
  const auto [low, high] = std::minmax_element(points_.begin(), points_.end(),
                                               [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
  const double margin = (high->y() - low->y()) * 0.1 + 0.001;
  range_->setRange(low->y() - margin, high->y() + margin);
}

}  // namespace ostrel
