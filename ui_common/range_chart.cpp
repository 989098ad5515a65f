#include "ui_common/range_chart.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace ui_common {

RangeChart::RangeChart(QWidget* parent) : QWidget(parent) {
  clock_.start();
  setMinimumSize(300, 120);
  setAccessibleName(QStringLiteral("Range of the last 60 seconds"));
  setAccessibleDescription(Description());
  setAttribute(Qt::WA_OpaquePaintEvent);
  drawTimer_.setSingleShot(true);
  drawTimer_.setInterval(kDrawIntervalMs);
  connect(&drawTimer_, &QTimer::timeout, this, [this] { Draw(); });
}

void RangeChart::Add(std::optional<double> value) { AddAt(Now(), value); }

void RangeChart::AddAt(double seconds, std::optional<double> value) {
  anyAdded_ = true;
  latestTime_ = seconds;
  latestValue_ = value;
  if (!value) {
    // A gap, not a line through the value the sensor could not measure.
    CloseBucket();
    gapBefore_ = true;
  } else {
    const QPointF point(seconds, *value);
    const auto bucket = static_cast<long long>(std::floor(seconds / kBucketSeconds));
    if (bucketOpen_ && bucket != bucket_) CloseBucket();
    if (!bucketOpen_) {
      bucketOpen_ = true;
      bucket_ = bucket;
      bucketStartsLine_ = gapBefore_;
      gapBefore_ = false;
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

void RangeChart::AppendBucket(std::vector<Point>& to) const {
  if (!bucketOpen_) return;
  const bool lowFirst = low_.x() <= high_.x();
  const QPointF first = lowFirst ? low_ : high_;
  const QPointF second = lowFirst ? high_ : low_;
  to.push_back({first.x(), first.y(), bucketStartsLine_});
  if (second != first) to.push_back({second.x(), second.y(), false});
}

void RangeChart::CloseBucket() {
  if (!bucketOpen_) return;
  std::vector<Point> closed;
  AppendBucket(closed);
  points_.insert(points_.end(), closed.begin(), closed.end());
  bucketOpen_ = false;
}

void RangeChart::Break() {
  CloseBucket();
  gapBefore_ = true;
}

void RangeChart::Clear() {
  anyAdded_ = false;
  latestValue_.reset();
  points_.clear();
  bucketOpen_ = false;
  gapBefore_ = false;
  drawTimer_.stop();
  Draw();
}

void RangeChart::Draw() {
  drawTimer_.stop();
  const double start = latestTime_ - kWindowSeconds;
  while (!points_.empty() && points_.front().time < start) points_.pop_front();
  drawn_.assign(points_.begin(), points_.end());
  AppendBucket(drawn_);  // the newest ranges show before their fifth of a second ends
  drawnEnd_ = latestTime_;
  span_ = QPointF();
  if (!drawn_.empty()) {
    const auto [low, high] =
        std::minmax_element(drawn_.begin(), drawn_.end(), [](const Point& a, const Point& b) { return a.value < b.value; });
    span_ = QPointF(low->value, high->value);
  }
  ++draws_;
  setAccessibleDescription(Description());
  update();
}

QString RangeChart::Description() const {
  if (!anyAdded_) return QStringLiteral("No ranges yet");
  QString text = QStringLiteral("Last range: ") + (latestValue_ ? ValueText(*latestValue_) : QStringLiteral("Out of Range"));
  if (!drawn_.empty()) {
    text += QStringLiteral("; lowest %1, highest %2 in the last %3 seconds")
                .arg(ValueText(span_.x()), ValueText(span_.y()))
                .arg(static_cast<int>(kWindowSeconds));
  }
  return text;
}

int RangeChart::drawnLines() const {
  int lines = 0;
  for (size_t i = 0; i < drawn_.size(); ++i)
    if (i == 0 || drawn_[i].startsLine) ++lines;
  return lines;
}

void RangeChart::SetValueText(std::function<QString(double)> text) {
  valueText_ = std::move(text);
  setAccessibleDescription(Description());
  update();
}

void RangeChart::SetValueTitle(const QString& title) {
  valueTitle_ = title;
  update();
}

void RangeChart::SetTimeLabels(TimeLabels labels) {
  timeLabels_ = labels;
  update();
}

QString RangeChart::ValueText(double value) const {
  return valueText_ ? valueText_(value).trimmed() : QString::number(value, 'f', 3);
}

void RangeChart::paintEvent(QPaintEvent* /*event*/) {
  QPainter p(this);
  p.fillRect(rect(), palette().base());
  const QFontMetrics fm = p.fontMetrics();
  const int top = valueTitle_.isEmpty() ? 6 : fm.height() + 6;
  const int left = fm.horizontalAdvance(QStringLiteral("-0000.000 inch")) + 6;
  const QRect plot = rect().adjusted(left, top, -8, -fm.height() - 6);
  if (plot.width() < 10 || plot.height() < 10) return;
  p.setPen(palette().color(QPalette::Mid));
  p.drawRect(plot);
  p.setPen(palette().color(QPalette::Text));
  if (!valueTitle_.isEmpty()) p.drawText(QRect(0, 2, width(), fm.height()), Qt::AlignLeft, valueTitle_);
  if (drawn_.empty()) {
    p.drawText(plot, Qt::AlignCenter, anyAdded_ ? QStringLiteral("Out of Range") : QStringLiteral("No ranges yet"));
    return;
  }
  double low = span_.x();
  double high = span_.y();
  if (high - low < 1e-9) {
    low -= 1;
    high += 1;
  }
  const double start = drawnEnd_ - kWindowSeconds;
  auto x = [&](double t) { return plot.left() + (t - start) / kWindowSeconds * plot.width(); };
  auto y = [&](double v) { return plot.bottom() - (v - low) / (high - low) * plot.height(); };

  p.drawText(QRect(0, plot.top() - fm.height() / 2, left - 4, fm.height()), Qt::AlignRight, ValueText(high));
  p.drawText(QRect(0, plot.bottom() - fm.height() / 2, left - 4, fm.height()), Qt::AlignRight, ValueText(low));
  const QRect timeRow(plot.left(), plot.bottom() + 2, plot.width(), fm.height());
  if (timeLabels_ == TimeLabels::kAgo) {
    p.drawText(timeRow, Qt::AlignLeft, QStringLiteral("-60 s"));
    p.drawText(timeRow, Qt::AlignRight, QStringLiteral("now"));
  } else {
    p.drawText(timeRow, Qt::AlignLeft, QStringLiteral("%1 s").arg(start, 0, 'f', 1));
    p.drawText(timeRow, Qt::AlignRight, QStringLiteral("%1 s").arg(drawnEnd_, 0, 'f', 1));
  }

  // One path, broken at every "Out of Range".
  QPainterPath path;
  for (size_t i = 0; i < drawn_.size(); ++i) {
    const QPointF point(x(drawn_[i].time), y(drawn_[i].value));
    if (i == 0 || drawn_[i].startsLine) {
      path.moveTo(point);
      path.lineTo(point);  // a lone range still shows as a dot
    } else {
      path.lineTo(point);
    }
  }
  p.setClipRect(plot);
  p.setPen(QPen(palette().color(QPalette::Highlight), 2));
  p.drawPath(path);
}

}  // namespace ui_common
