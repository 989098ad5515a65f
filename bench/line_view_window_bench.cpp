// The line view's window: Tarkon's main window (offscreen) with Tools >
// Line view open on 24 virtual sensors at 57600 bit/s (`sensor-sim
// --throttle`, a process of its own). After a warm-up that fills each
// row's minute, this process's CPU time over the measured seconds is the
// window's with its poller; the window's own thread is reported besides.
//
//   bench_line_view_window [--seconds N] [--burst-ms N]   (30 s, bytes one at a time)

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/line_of_sensors.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/ui/line_view_dialog.h"
#include "tarkon/ui/main_frame.h"

namespace {

constexpr double kTargetCpuPercent = 5.0;
constexpr int32_t kBaud = 57600;

void RunLoopFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 30;
  int burstMs = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--burst-ms") == 0 && i + 1 < argc) {
      burstMs = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: bench_line_view_window [--seconds N] [--burst-ms N]\n");
      return 2;
    }
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  bench::TempDir dir;
  std::vector<std::string> options = {"--throttle"};
  if (burstMs > 0) {
    options.push_back("--burst-ms");
    options.push_back(std::to_string(burstMs));
  }
  std::vector<fleet::PolledSensor> sensors;
  for (int i = 0; i < bench::kLineSensors; ++i) {
    options.push_back("--sensor");
    options.push_back(bench::LineSensorOption(i, kBaud, false));
    sensors.push_back({i + 1, 0, -1, ""});
  }
  bench::SensorSimProcess sim(options);
  std::string error;
  if (!sim.Start(error)) {
    std::fprintf(stderr, "sensor-sim did not start: %s\n", error.c_str());
    return 1;
  }

  CKRV02Doc doc(dir.File("tarkon.ini"));
  doc.options().SetSaveOnClose(false);
  CMainFrame frame(doc);
  frame.show();
  ConnectValues base = doc.BeginConnect();
  base.portText = sim.slavePath();
  auto* view = new CLineViewDialog(frame, base, kBaud, sensors, nullptr, &frame);
  view->resize(1100, 700);  // every row in sight, so that every row paints
  view->show();
  view->StartPolling();
  RunLoopFor(5000);

  const double cpu0 = bench::ProcessCpuSeconds();
  const double thread0 = bench::ThreadCpuSeconds();
  const auto t0 = bench::Clock::now();
  RunLoopFor(seconds * 1000);
  const double wall = bench::Seconds(bench::Clock::now() - t0);
  const double cpu = bench::ProcessCpuSeconds() - cpu0;
  const double windowThread = bench::ThreadCpuSeconds() - thread0;
  const QString rate = view->rateLabel()->text();
  const int rows = view->table()->model()->rowCount();
  view->close();

  const double percent = 100.0 * cpu / wall;
  const bool met = percent < kTargetCpuPercent && rows == bench::kLineSensors;
  std::printf(
      "line view window, %d sensors, %s @%d, offscreen, %.1f s: %.2f %% of a core (target < 5 %%: %s), of which the "
      "window's thread %.2f %%; %d rows; \"%s\"\n",
      bench::kLineSensors, burstMs > 0 ? "bytes in bursts" : "bytes one at a time", kBaud, wall, percent,
      met ? "met" : "missed", 100.0 * windowThread / wall, rows, rate.toStdString().c_str());
  std::printf("  %s\n", bench::LoadText().c_str());
  return met ? 0 : 1;
}
