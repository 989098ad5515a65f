#include "tarkon/ui/range_chart.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

RangeChart::RangeChart(QWidget* parent) : QWidget(parent) {
  clock_.start();
  setMinimumHeight(90);
  setAccessibleName(QStringLiteral("Range of the last 60 seconds"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void RangeChart::AddRange(std::optional<double> value) { AddRangeAt(Now(), value); }

void RangeChart::AddRangeAt(double seconds, std::optional<double> value) {
  history_.Add(seconds, value);
  update();
}

void RangeChart::Clear() {
  history_.Clear();
  update();
}

QString RangeChart::ValueText(double value) const {
  return valueText_ ? valueText_(value).trimmed() : QString::number(value, 'f', 3);
}

void RangeChart::paintEvent(QPaintEvent* /*event*/) {
  QPainter p(this);
  p.fillRect(rect(), palette().base());
  const QFontMetrics fm = p.fontMetrics();
  const int left = fm.horizontalAdvance(QStringLiteral("-0000.000 inch")) + 6;
  const QRect plot = rect().adjusted(left, 6, -8, -fm.height() - 6);
  if (plot.width() < 10 || plot.height() < 10) return;
  p.setPen(palette().color(QPalette::Mid));
  p.drawRect(plot);

  double low = 0;
  double high = 0;
  const auto& samples = history_.samples();
  if (!history_.Bounds(&low, &high)) {
    p.setPen(palette().color(QPalette::Text));
    p.drawText(plot, Qt::AlignCenter, samples.empty() ? QStringLiteral("No ranges yet") : QStringLiteral("Out of Range"));
    return;
  }
  if (high - low < 1e-9) {
    low -= 1;
    high += 1;
  }
  const double end = samples.back().time;
  const double start = end - RangeHistory::kSpanSeconds;
  auto x = [&](double t) { return plot.left() + (t - start) / RangeHistory::kSpanSeconds * plot.width(); };
  auto y = [&](double v) { return plot.bottom() - (v - low) / (high - low) * plot.height(); };

  p.setPen(palette().color(QPalette::Text));
  p.drawText(QRect(0, plot.top() - fm.height() / 2, left - 4, fm.height()), Qt::AlignRight,
             ValueText(high));
  p.drawText(QRect(0, plot.bottom() - fm.height() / 2, left - 4, fm.height()), Qt::AlignRight,
             ValueText(low));
  p.drawText(QRect(plot.left(), plot.bottom() + 2, plot.width(), fm.height()), Qt::AlignLeft, QStringLiteral("-60 s"));
  p.drawText(QRect(plot.left(), plot.bottom() + 2, plot.width(), fm.height()), Qt::AlignRight, QStringLiteral("now"));

  // One path, broken at every "Out of Range": a gap, not a line to zero.
  QPainterPath path;
  bool open = false;
  for (const RangeHistory::Sample& s : samples) {
    if (!s.value) {
      open = false;
      continue;
    }
    const QPointF point(x(s.time), y(*s.value));
    if (open) {
      path.lineTo(point);
    } else {
      path.moveTo(point);
      path.lineTo(point);  // a lone sample still shows as a dot
      open = true;
    }
  }
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setClipRect(plot);
  p.setPen(QPen(palette().color(QPalette::Highlight), 2));
  p.drawPath(path);
}
