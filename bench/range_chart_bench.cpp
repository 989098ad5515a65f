// Drawing cost of the live range chart: the chart holds a full minute of
// polled ranges (240 at 4 ticks per second, one in ten "Out of Range"), and
// each tick adds one and repaints, as a panel does. The CPU time of this
// thread per tick, times 4 ticks a second, is the chart's share of a core.
//
//   bench_range_chart [--ticks N] [--width W] [--height H]     (offscreen)

#include <QApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "bench/bench_support.h"
#include "ui_common/range_chart.h"

namespace {

std::optional<double> Range(int tick) {
  if (tick % 10 == 7) return std::nullopt;
  return 4.0 + 3.0 * std::sin(tick * 0.05);
}

}  // namespace

int main(int argc, char** argv) {
  int ticks = 2000;
  int width = 700;
  int height = 200;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--ticks") == 0) ticks = std::atoi(argv[++i]);
    if (std::strcmp(argv[i], "--width") == 0) width = std::atoi(argv[++i]);
    if (std::strcmp(argv[i], "--height") == 0) height = std::atoi(argv[++i]);
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ui_common::RangeChart chart;
  chart.resize(width, height);
  chart.show();
  QApplication::processEvents();

  constexpr double kTickSeconds = 0.25;
  int tick = 0;
  for (; tick < 240; ++tick) chart.AddAt(tick * kTickSeconds, Range(tick));
  chart.Draw();
  chart.repaint();

  const double cpuStart = bench::ThreadCpuSeconds();
  for (int i = 0; i < ticks; ++i, ++tick) {
    chart.AddAt(tick * kTickSeconds, Range(tick));
    chart.Draw();     // what the draw timer does after the tick
    chart.repaint();  // paints now, as the event loop would after the tick
  }
  const double cpu = bench::ThreadCpuSeconds() - cpuStart;
  const double perTick = cpu / ticks;
  const double share = perTick * 4.0 * 100.0;
  const bool met = share < 5.0;
  std::printf("range chart %dx%d, %zu points shown: %.3f ms CPU per tick, %.3f %% of a core at 4 ticks/s "
              "(target < 5 %%: %s); %s\n",
              width, height, chart.points(), perTick * 1000.0, share, met ? "met" : "missed",
              bench::LoadText().c_str());
  return met ? 0 : 1;
}
