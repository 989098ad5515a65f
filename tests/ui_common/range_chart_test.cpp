// The range chart both programs show: ranges are appended and drawn at
// most a few times a second, an "Out of Range" poll is a gap, and at the
// poll rate of a fast line what it holds stays bounded while a single peak
// is still drawn.

#include <gtest/gtest.h>

#include <QTest>
#include <cmath>
#include <cstdint>
#include <optional>

#include "ui_common/range_chart.h"

namespace {

TEST(RangeChart, AppendsWithoutDrawingThenDrawsOnceWithAGapForOutOfRange) {
  ui_common::RangeChart chart;
  chart.resize(400, 160);
  chart.show();
  const int drawsBefore = chart.draws();
  // Four polls a second, as the desktop program's ticks come; the third
  // read "Out of Range".
  chart.AddAt(1.00, 2.0);
  chart.AddAt(1.25, 3.0);
  chart.AddAt(1.50, std::nullopt);
  chart.AddAt(1.75, 5.0);
  chart.AddAt(2.00, 4.0);
  EXPECT_EQ(chart.points(), 4u) << "the out-of-range poll is no point";
  EXPECT_EQ(chart.latest(), 4.0);
  EXPECT_EQ(chart.draws(), drawsBefore) << "adding draws nothing";
  EXPECT_EQ(chart.drawnPoints(), 0);

  ASSERT_TRUE(QTest::qWaitFor([&] { return chart.draws() > drawsBefore; }));
  EXPECT_EQ(chart.draws(), drawsBefore + 1) << "one draw for all five";
  EXPECT_EQ(chart.drawnPoints(), 4);
  EXPECT_EQ(chart.drawnLines(), 2) << "a gap where the range was out of range, not a line through it";
  EXPECT_EQ(chart.drawnSpan(), QPointF(2.0, 5.0));

  chart.AddAt(2.25, std::nullopt);
  EXPECT_FALSE(chart.latest().has_value());
  // A minute later only the newest range is left.
  chart.AddAt(70.0, 6.0);
  chart.Draw();
  EXPECT_EQ(chart.drawnPoints(), 1);
  EXPECT_EQ(chart.drawnLines(), 1);
  EXPECT_EQ(chart.drawnSpan(), QPointF(6.0, 6.0));

  // Polling broke off: the next range starts a new line, and the last
  // range stays what it was (no "Out of Range" is claimed).
  chart.Break();
  EXPECT_EQ(chart.latest(), 6.0);
  chart.AddAt(75.0, 7.0);
  chart.Draw();
  EXPECT_EQ(chart.drawnPoints(), 2);
  EXPECT_EQ(chart.drawnLines(), 2) << "a line across the time nothing was polled";

  chart.Clear();
  EXPECT_EQ(chart.points(), 0u);
  EXPECT_EQ(chart.drawnPoints(), 0);
  EXPECT_FALSE(chart.latest().has_value());
}

TEST(RangeChart, KeepsTheLastMinuteWithGaps) {
  ui_common::RangeChart chart;
  for (int i = 0; i <= 300; ++i) chart.AddAt(i * 0.25, i % 10 == 0 ? std::nullopt : std::optional<double>(i * 0.01));
  chart.Draw();
  // 60 s at 4 ticks per second, both ends included (i = 60 to 300), less
  // the 25 ticks that read "Out of Range".
  EXPECT_EQ(chart.drawnPoints(), 241 - 25);
  EXPECT_EQ(chart.drawnLines(), 24) << "each out-of-range tick breaks the line";
  EXPECT_FALSE(chart.latest().has_value());  // i = 300: a gap
  EXPECT_DOUBLE_EQ(chart.drawnSpan().x(), 0.61);
  EXPECT_DOUBLE_EQ(chart.drawnSpan().y(), 2.99);
  ui_common::RangeChart gaps;
  gaps.AddAt(0, std::nullopt);
  gaps.Draw();
  EXPECT_EQ(gaps.drawnPoints(), 0);
}

// Polls at 400 a second (faster than 57600 bit/s allows) for `seconds`,
// drawing four times a second as the chart's timer does. Ranges in
// thousandths of an inch, 0x8000 "Out of Range".
void Poll(ui_common::RangeChart& chart, double from, double seconds, uint16_t spikeAt30s) {
  constexpr double kStep = 1.0 / 400.0;
  double nextDraw = from;
  for (double t = from; t < from + seconds; t += kStep) {
    auto raw = static_cast<uint16_t>(4000 + 1000 * std::sin(t));
    if (std::fabs(t - 30.0) < kStep / 2) raw = spikeAt30s;
    if (std::fmod(t, 7.0) < kStep) raw = 0x8000;  // out of range now and then
    std::optional<double> range;
    if (raw != 0x8000) range = static_cast<double>(static_cast<int16_t>(raw)) / 1000.0;
    chart.AddAt(t, range);
    if (t >= nextDraw) {
      chart.Draw();
      nextDraw += 0.25;
    }
  }
  chart.Draw();
}

TEST(RangeChart, AFullMinuteStaysSmallAndKeepsItsPeaks) {
  ui_common::RangeChart chart;
  Poll(chart, 0.0, 61.0, 7999);  // 24,400 ranges
  // At most a lowest and a highest per fifth of a second.
  EXPECT_LE(chart.drawnPoints(), 2 * 301);
  EXPECT_GT(chart.drawnPoints(), 300);
  EXPECT_DOUBLE_EQ(chart.drawnSpan().y(), 7.999) << "the one peak at 30 s is drawn";
  EXPECT_NEAR(chart.drawnSpan().x(), 3.0, 0.002);

  Poll(chart, 61.0, 60.0, 4000);
  EXPECT_LE(chart.drawnPoints(), 2 * 301);
  EXPECT_LT(chart.drawnSpan().y(), 5.001) << "the peak left with its minute";
}

// A screen reader hears what the drawing shows: the last range, then the
// lowest and highest of the minute, in the chart's value texts.
TEST(RangeChart, DescriptionSaysTheLastRangeAndTheSpan) {
  ui_common::RangeChart chart;
  EXPECT_EQ(chart.accessibleDescription(), "No ranges yet");
  chart.SetValueText([](double v) { return QStringLiteral("%1 mm").arg(v, 0, 'f', 1); });
  chart.AddAt(1.0, 12.5);
  chart.AddAt(1.5, 30.0);
  chart.AddAt(2.0, 20.0);
  chart.Draw();
  EXPECT_EQ(chart.accessibleDescription(), "Last range: 20.0 mm; lowest 12.5 mm, highest 30.0 mm in the last 60 seconds");
  chart.AddAt(2.5, std::nullopt);
  chart.Draw();
  EXPECT_EQ(chart.accessibleDescription(),
            "Last range: Out of Range; lowest 12.5 mm, highest 30.0 mm in the last 60 seconds");
  chart.Clear();
  EXPECT_EQ(chart.accessibleDescription(), "No ranges yet");
}

}  // namespace
