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
  clock_.start();
}

void RangeChart::Add(uint16_t raw, const UnitSet& unit) {
  if (unit_ != &unit) {
    points_.clear();  // another unit: the old points would mislead
    unit_ = &unit;
    range_->setTitleText(QString("Range (%1)").arg(unit.text));
  }
  const double now = static_cast<double>(clock_.elapsed()) / 1000.0;
  if (raw != 0x8000) {
    points_.emplace_back(now, static_cast<double>(static_cast<int16_t>(raw)) / static_cast<double>(unit.scale));
  }
  while (!points_.empty() && points_.front().first < now - kWindowSeconds) points_.pop_front();
  QList<QPointF> list;
  double low = 0;
  double high = 1;
  for (const auto& [t, v] : points_) {
    list.append(QPointF(t - now, v));
    low = list.size() == 1 ? v : std::min(low, v);
    high = list.size() == 1 ? v : std::max(high, v);
  }
  series_->replace(list);
  const double margin = (high - low) * 0.1 + 0.001;
  range_->setRange(low - margin, high + margin);
}

}  // namespace ostrel
