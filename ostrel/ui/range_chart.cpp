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
  if (unit_ != &unit) {
    // Another unit: the old points would mislead.
    points_.clear();
    pending_.clear();
    series_->clear();
    unit_ = &unit;
    range_->setTitleText(QString("Range (%1)").arg(unit.text));
  }
  if (raw != 0x8000) {
    const QPointF point(static_cast<double>(clock_.elapsed()) / 1000.0,
                        static_cast<double>(static_cast<int16_t>(raw)) / static_cast<double>(unit.scale));
    points_.push_back(point);
    pending_.append(point);
  }
  if (!drawTimer_.isActive()) drawTimer_.start();
}

void RangeChart::Draw() {
  const double now = static_cast<double>(clock_.elapsed()) / 1000.0;
  if (!pending_.isEmpty()) {
    series_->append(pending_);
    pending_.clear();
  }
  int expired = 0;
  while (!points_.empty() && points_.front().x() < now - kWindowSeconds) {
    points_.pop_front();
    ++expired;
  }
  // The series holds what points_ holds, minus nothing pending now.
  if (expired > 0) series_->removePoints(0, std::min(expired, static_cast<int>(series_->count())));
  time_->setRange(now - kWindowSeconds, now);
  if (points_.empty()) return;
  const auto [low, high] = std::minmax_element(points_.begin(), points_.end(),
                                               [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
  const double margin = (high->y() - low->y()) * 0.1 + 0.001;
  range_->setRange(low->y() - margin, high->y() + margin);
}

}  // namespace ostrel
