#include "tarkon/cli/watch_command.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

#include "tarkon/cli/cli_commands.h"
#include "tarkon/cli/cli_run.h"
#include "tarkon/cli/watch_bus_command.h"
#include "tarkon/cli/watch_reconnect.h"
#include "tarkon/document/iso_time.h"
#include "tarkon/document/live_panels.h"
#include "tarkon/document/watch_pacer.h"
#include "tarkon/fleet/range_log.h"

namespace {

// One poll printed: "-- poll N  TIME" and the rows, or one JSON object.
void PrintPoll(const CliOptions& o, long number, const std::string& stamp, const PanelRows& rows) {
  if (o.json) {
    PrintJson({{"poll", number}, {"time", stamp}, {"rows", RowsJson(rows)}});
    return;
  }
  std::cout << "-- poll " << number << "  " << stamp << "\n";
  PrintRowsText(rows);
}

}  // namespace

int RunWatch(CliRun& run) {
  if (run.options().bus) return RunWatchBus(run);
  CliSession* session = run.Connect();
  if (session == nullptr) return run.status();
  CliSession& s = *session;
  CKRV02Doc& d = s.doc();
  const CliOptions& o = s.options();

  std::unique_ptr<fleet::RangeLog> log;
  if (o.csvPath) {
    log = std::make_unique<fleet::RangeLog>(d);
    std::string error;
    if (!log->Open(*o.csvPath, error)) {
      std::fprintf(stderr, "watch: %s\n", error.c_str());
      s.SetLastError("watch: " + error);
      return kExitFailed;
    }
  }
  const auto start = std::chrono::steady_clock::now();
  auto over = [&] {
    return o.durationMs && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(*o.durationMs);
  };
  const long count = o.count.value_or(-1);
  WatchPacer pacer(d, o.intervalMs.value_or(0));
  PanelRows rows;
  long polls = 0;
  long failures = 0;
  std::string stopped;  // why the run ended early
  while (!g_interrupted && !over() && (count < 0 || polls < count)) {
    // The document disconnects when the port's device goes away (and says
    // so in its log); with --reconnect the run waits for it to come back.
    if (!d.connected()) {
      if (o.reconnect && WaitForReconnect(s, over)) continue;
      if (o.reconnect && over()) break;  // the run's time ended while waiting
      stopped = s.lastError().empty() ? "watch: the sensor's line went away" : s.lastError();
      break;
    }
    // A trace the disk no longer takes ends the run (said at its end).
    if (!TraceWriteError().empty()) {
      stopped = TraceWriteError();
      break;
    }
    if (!pacer.WaitForPoll()) continue;
    ++polls;
    bool ok = false;
    if (log) {
      ok = log->Poll();
    } else {
      const std::string stamp = IsoUtcTime(std::chrono::system_clock::now());
      ok = PollDiagnostics(d, LivePanelOfModel(d.sensor().modelIndex()), rows);
      if (ok) PrintPoll(o, polls, stamp, rows);
    }
    pacer.PollDone();
    if (!ok) ++failures;
    if (log && !log->writeError().empty()) {
      stopped = "watch: " + log->writeError() + " (polling stopped; the log ends at the line before)";
      std::fprintf(stderr, "%s\n", stopped.c_str());
      break;
    }
  }
  if (log) {
    const fleet::RangeLogSummary& sum = log->summary();
    if (o.json) {
      run.json() = {{"file", *o.csvPath}, {"polls", sum.polls}, {"failures", sum.failures},
                     {"in_range", sum.inRange}, {"min", sum.min}, {"mean", sum.Mean()},
                     {"max", sum.max}, {"unit", log->unit()}};
    } else {
      std::cout << log->SummaryText() << std::endl;
    }
    failures = sum.failures;
  }
  std::cout.flush();
  if (!stopped.empty()) {
    s.SetLastError(stopped);
    return kExitFailed;
  }
  if (failures > 0) {
    if (log || s.lastError().empty()) s.SetLastError("watch: " + std::to_string(failures) + " polls failed");
    return kExitFailed;
  }
  return SessionStatus(s);
}
