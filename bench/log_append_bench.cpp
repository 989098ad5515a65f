// Appending to the command log: 100,000 lines through the main window's log
// line path (as the document reports them), then the event loop's first
// pass (the scroll to the newest line and the repaint). The window must
// stay responsive: the whole burst and the pass well under a second.
//
//   bench_log_append [--count N]      (offscreen)

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/bench_support.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/ui/command_log.h"
#include "tarkon/ui/main_frame.h"

int main(int argc, char** argv) {
  long count = 100000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--count") == 0) count = std::strtol(argv[++i], nullptr, 10);
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  bench::TempDir dir;
  CKRV02Doc doc(dir.File("tarkon.ini"));
  doc.options().SetSaveOnClose(false);
  CMainFrame frame(doc);
  frame.show();
  QApplication::processEvents();

  std::vector<std::string> texts;
  texts.reserve(static_cast<size_t>(count));
  for (long i = 0; i < count; ++i) {
    texts.push_back("Command GetKRV02State failed. Timeout while waiting for the reply, line " + std::to_string(i));
  }

  QElapsedTimer clock;
  clock.start();
  for (long i = 0; i < count; ++i) frame.OnLogLine(static_cast<int>(i % 3), texts[static_cast<size_t>(i)]);
  const double appendSeconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
  clock.restart();
  QApplication::processEvents();
  const double passSeconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;

  const int rows = frame.log()->model().rowCount();
  const double total = appendSeconds + passSeconds;
  const bool met = rows == count && total < 1.0;
  std::printf("command log %ld lines: append %.3f s, first event pass %.3f s, total %.3f s, %d lines kept "
              "(target < 1 s and every line kept: %s); %s\n",
              count, appendSeconds, passSeconds, total, rows, met ? "met" : "missed", bench::LoadText().c_str());

  clock.restart();
  frame.clearLogAction()->trigger();
  QApplication::processEvents();
  std::printf("clear log: %.3f s\n", static_cast<double>(clock.nsecsElapsed()) * 1e-9);
  return met ? 0 : 1;
}
