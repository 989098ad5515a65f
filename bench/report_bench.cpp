// The commissioning report against a hostile change history: one line whose
// value holds 100,000 and then 2,000,000 characters, rendered to PDF the way
// the window and tarkon-cli do (the engine's HTML through Qt's PDF writer);
// then a 200 MB history read whole for the one line of an old sensor at its
// start, as the report reads it and as the history command does. Before
// the cells were cut, the 100,000 characters took 16.8 s and the 2 MB about
// 6 minutes of CPU.
//
//   bench_report [--history-mb N]      (offscreen; N = 0 skips the read)

#include <QGuiApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>

#include "bench/bench_support.h"
#include "history/change_history.h"
#include "report_pdf/html_to_pdf.h"
#include "tarkon/fleet/commissioning_report.h"

namespace {

fleet::CommissioningReport ReportWithValue(size_t valueChars) {
  fleet::CommissioningReport r;
  r.date = "2026-12-08 15:40 UTC";
  r.technician = "Dana Field";
  r.serialNumber = "K2073064";
  r.identity = {{"Model", "KRV04"}, {"Serial number", "K2073064"}};
  for (int i = 0; i < 20; ++i) r.settings.push_back({"Setting " + std::to_string(i), "60", "inch"});
  r.changes.push_back({"2026-12-08T15:40:00.000Z", "Tarkon", "dana", "/dev/ttyUSB0", "KRV04", "K2073064", "Threshold",
                       "60", std::string(valueChars, 'x'), "verified"});
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  long historyMb = 200;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--history-mb") == 0) historyMb = std::strtol(argv[++i], nullptr, 10);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  bool met = true;
  for (size_t chars : {size_t{100000}, size_t{2000000}}) {
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = bench::ProcessCpuSeconds();
    const report_pdf::PdfResult pdf = report_pdf::HtmlToPdf(fleet::ReportHtml(ReportWithValue(chars)), "bench");
    const double seconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
    const bool ok = pdf.ok && seconds < 2.0;
    met = met && ok;
    std::printf("report with a %zu-character history value: %.3f s (%.3f s CPU), %d page(s) (target < 2 s: %s); %s\n",
                chars, seconds, bench::ProcessCpuSeconds() - cpuBefore, pdf.pages, ok ? "met" : "missed",
                bench::LoadText().c_str());
  }

  if (historyMb > 0) {
    bench::TempDir dir;
    const std::string path = dir.File("history.jsonl");
    {
      std::ofstream out(path, std::ios::binary);
      history::Entry own{"2026-01-01T00:00:00.000Z", "Tarkon", "dana", "/dev/ttyUSB0", "KRV04", "OLDSENSOR1",
                         "Threshold", "50", "60", "verified"};
      out << history::ToJsonLine(own) << '\n';
      history::Entry other = own;
      other.serialNumber = "K2073064";
      const std::string line = history::ToJsonLine(other) + "\n";
      for (size_t written = 0; written < static_cast<size_t>(historyMb) << 20; written += line.size()) out << line;
    }
    // The report's read (one sensor: lines without its serial number are
    // passed over), then the history command's (a typed filter: every line
    // parsed).
    history::Filter report;
    report.sensor = history::SensorKey{"OLDSENSOR1", {"KRV04"}};
    history::Filter typed;
    typed.serialNumber = "oldsensor1";
    for (const auto& [what, filter] : {std::pair<const char*, history::Filter>{"the report's read", report},
                                       std::pair<const char*, history::Filter>{"the history command's read", typed}}) {
      QElapsedTimer clock;
      clock.start();
      const history::Selection read = history::ReadSelected(path, filter, fleet::kReportChanges);
      const double seconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
      const bool ok = read.ok && read.entries.size() == 1;
      met = met && ok;
      std::printf("history of %ld MB, %s for OLDSENSOR1 (its one line at the start): %.3f s, %zu lines read "
                  "(target: that line found: %s); %s\n",
                  historyMb, what, seconds, read.total, ok ? "met" : "missed", bench::LoadText().c_str());
    }
  }
  return met ? 0 : 1;
}
