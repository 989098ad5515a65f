// The window on a noisy line: the KRV02 panel polls with "Update
// diagnostics" on and the toolbar's "Re-read settings" runs every 2 s,
// against `sensor-sim --fault drop=0.3` (three replies in ten never come, so
// an exchange waits out its 1000 ms budget and the 250 ms recovery). A
// 10 ms timer on the window's thread records the longest gap between its
// turns: the longest time the window could not repaint or answer input.
// The run is made twice from the same program: with the exchanges waiting
// on the session thread (as the window runs), and once more with them
// waiting on the window's thread (as before the session thread), for the
// comparison.
//
//   bench_event_loop_gap [--seconds N] [--seed N] [--skip-before]   (offscreen)

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/bench_support.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/ui/command_log.h"
#include "tarkon/ui/main_frame.h"
#include "tarkon/ui/sensor_panels.h"
#include "tarkon/ui/sensor_view.h"

namespace {

constexpr double kTargetMs = 100.0;

struct GapRun {
  bool connected = false;
  double longestMs = 0;
  double p99Ms = 0;
  int rereads = 0;
  unsigned long moved = 0;
  int failedLines = 0;
};

GapRun Measure(const std::string& device, bool session, int seconds) {
  GapRun run;
  bench::TempDir dir;
  CKRV02Doc doc(dir.File("tarkon.ini"));
  doc.options().SetSaveOnClose(false);
  CMainFrame frame(doc);
  if (!session) doc.options().SetExchangeHost(nullptr);  // every wait on the window's thread
  frame.show();
  QApplication::processEvents();

  // A dropped reply may cost the connect itself: a few attempts.
  for (int attempt = 0; attempt < 5 && !doc.connected(); ++attempt) {
    ConnectValues values = doc.BeginConnect();
    values.portText = device;
    values.baudChoice = 3;  // 57600, the simulator's rate
    values.address = 1;
    frame.ConnectFound(values, 0);
  }
  run.connected = doc.connected();
  if (!run.connected) return run;
  auto* panel = qobject_cast<CKRV02Dlg*>(frame.view()->currentPanel());
  if (panel != nullptr) panel->diagnostics()->updateBox()->setChecked(true);
  const int logBefore = frame.log()->model().rowCount();

  std::vector<double> gaps;
  QElapsedTimer clock;
  QElapsedTimer total;
  QTimer beat;
  beat.setTimerType(Qt::PreciseTimer);
  beat.setInterval(10);
  QObject::connect(&beat, &QTimer::timeout, [&] {
    gaps.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    clock.restart();
  });
  QTimer reread;
  reread.setInterval(2000);
  QObject::connect(&reread, &QTimer::timeout, [&] {
    ++run.rereads;
    frame.RunCommand(DocCommand::kRereadSettings);
  });
  QEventLoop loop;
  QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
  clock.start();
  total.start();
  beat.start();
  reread.start();
  loop.exec();
  beat.stop();
  reread.stop();
  // The loop may end inside a wait; the gap that was running counts too.
  gaps.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);

  run.longestMs = gaps.empty() ? 0 : *std::max_element(gaps.begin(), gaps.end());
  run.p99Ms = bench::Percentile(gaps, 99);
  run.moved = doc.connection().session().moved();
  const LogModel& log = frame.log()->model();
  for (int row = logBefore; row < log.rowCount(); ++row)
    if (log.textAt(row).contains(QStringLiteral(" failed."))) ++run.failedLines;
  frame.RunCommand(DocCommand::kDisconnect);
  return run;
}

void Report(const char* how, const GapRun& run, int seconds, bool withTarget) {
  const bool met = run.longestMs < kTargetMs;
  const std::string target = withTarget ? " " + bench::TargetText("< 100 ms", met) : std::string();
  char line[512];
  std::snprintf(line, sizeof line,
                "event-loop gap, %s, polling + re-read every 2 s, drop=0.3, %d s: longest %.1f ms, p99 %.1f ms "
                "(%d re-reads, %d failed commands, %lu exchanges on the session thread)%s",
                how, seconds, run.longestMs, run.p99Ms, run.rereads, run.failedLines, run.moved,
                target.c_str());
  bench::PrintLine(line);
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 20;
  std::string seed = "7";
  bool before = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) seconds = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) seed = argv[++i];
    else if (std::strcmp(argv[i], "--skip-before") == 0) before = false;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  bench::PrintLine(bench::LoadText());

  bench::SensorSimProcess sim({"--model", "KRV02", "--fault", "drop=0.3", "--seed", seed});
  std::string error;
  if (!sim.Start(error)) {
    std::fprintf(stderr, "sensor-sim did not start: %s\n", error.c_str());
    return 1;
  }
  const GapRun after = Measure(sim.slavePath(), true, seconds);
  if (!after.connected) {
    std::fprintf(stderr, "no connection to sensor-sim after 5 attempts\n");
    return 1;
  }
  Report("exchanges on the session thread", after, seconds, true);
  if (before) {
    const GapRun old = Measure(sim.slavePath(), false, seconds);
    if (old.connected) Report("exchanges waited on the window's thread (before)", old, seconds, false);
  }
  return after.longestMs < kTargetMs ? 0 : 1;
}
