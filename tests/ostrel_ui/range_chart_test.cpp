// The Spot page's range chart at the poll rate of a fast line: what it
// holds stays bounded however fast polling runs, and a single peak is
// still drawn.

#include <gtest/gtest.h>

#include <cmath>

#include "ostrel/ui/range_chart.h"

namespace {

// Polls at 400 a second (faster than 57600 bit/s allows) for `seconds`,
// drawing four times a second as the chart's timer does.
void Poll(ostrel::RangeChart& chart, double from, double seconds, uint16_t spikeAt30s) {
  constexpr double kStep = 1.0 / 400.0;
  double nextDraw = from;
  for (double t = from; t < from + seconds; t += kStep) {
    auto raw = static_cast<uint16_t>(4000 + 1000 * std::sin(t));
    if (std::fabs(t - 30.0) < kStep / 2) raw = spikeAt30s;
    if (std::fmod(t, 7.0) < kStep) raw = 0x8000;  // out of range now and then
    chart.AddAt(t, raw, ostrel::kImperial);
    if (t >= nextDraw) {
      chart.Draw();
      nextDraw += 0.25;
    }
  }
  chart.Draw();
}

TEST(OstrelRangeChart, AFullMinuteStaysSmallAndKeepsItsPeaks) {
  ostrel::RangeChart chart(nullptr);
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

}  // namespace
