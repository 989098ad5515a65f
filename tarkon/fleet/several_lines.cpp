#include "tarkon/fleet/several_lines.h"

#include <atomic>
#include <mutex>
#include <numeric>
#include <thread>

#include "protocol/protocol_trace.h"
#include "tarkon/document/krv02_doc.h"

namespace fleet {
namespace {

// What the lines' threads share: the front end's callbacks behind one
// lock, each line's share of the progress, and the stop.
class SharedRun {
 public:
  SharedRun(size_t lines, const LinesProgress& progress, ProtocolTrace* trace)
      : progress_(progress), trace_(trace), done_(lines, 0), total_(lines, 0) {}

  // Line `line`'s progress, summed with the others' for the front end.
  BusScanner::Progress ProgressOf(size_t line) {
    return [this, line](long done, long total) {
      if (stop_) return false;
      const std::lock_guard<std::mutex> guard(mutex_);
      done_[line] = done;
      total_[line] = total;
      if (progress_ && !progress_(Sum(done_), Sum(total_))) stop_ = true;
      return !stop_.load();
    };
  }

  // Calls `call` under the lock, unless a stop was asked (then false).
  bool Ask(const std::function<bool()>& call) {
    if (stop_) return false;
    const std::lock_guard<std::mutex> guard(mutex_);
    if (call && !call()) stop_ = true;
    return !stop_.load();
  }

  void Tell(const std::function<void()>& call) {
    const std::lock_guard<std::mutex> guard(mutex_);
    call();
  }

  // A trace for one line's link: its lines go to the shared trace's sink,
  // each behind the port's name, one at a time. Null without a trace.
  std::unique_ptr<ProtocolTrace> TraceOf(const std::string& portText) {
    if (trace_ == nullptr || !trace_->sink()) return nullptr;
    return std::make_unique<ProtocolTrace>([this, prefix = portText + " "](const std::string& line) {
      const std::lock_guard<std::mutex> guard(mutex_);
      trace_->sink()(prefix + line);
    });
  }

 private:
  static long Sum(const std::vector<long>& values) { return std::accumulate(values.begin(), values.end(), 0L); }

  const LinesProgress& progress_;
  ProtocolTrace* trace_;
  std::mutex mutex_;
  std::vector<long> done_;
  std::vector<long> total_;
  std::atomic<bool> stop_{false};
};

// Runs `work(i)` for every line, each on a thread of its own, and returns
// when all have ended.
void OnEveryLine(size_t lines, const std::function<void(size_t)>& work) {
  std::vector<std::thread> threads;
  threads.reserve(lines);
  for (size_t i = 0; i < lines; ++i) threads.emplace_back(work, i);
  for (std::thread& t : threads) t.join();
}

}  // namespace

std::vector<LineScan> ScanLines(const std::vector<LineTarget>& lines, const BusScanOptions& options,
                                ProtocolTrace* trace, const LinesProgress& progress, const LineSighting& sighting,
                                std::string& error) {
  error = lines.empty() ? "no port to scan" : CheckScanOptions(options);
  if (!error.empty()) return {};
  std::vector<LineScan> results(lines.size());
  SharedRun run(lines.size(), progress, trace);
  OnEveryLine(lines.size(), [&](size_t i) {
    LineScan& result = results[i];
    result.portText = lines[i].portText;
    const std::unique_ptr<ProtocolTrace> lineTrace = run.TraceOf(lines[i].portText);
    BusScanner::Sighting seen;
    if (sighting) {
      seen = [&, i](size_t index, const FoundSensor& sensor) { run.Tell([&] { sighting(i, index, sensor); }); };
    }
    result.ok = ScanBusOnDevice(lines[i].device, options, lineTrace.get(), run.ProgressOf(i), result.found,
                                result.error, seen);
  });
  return results;
}

std::vector<LineApply> ApplyToLines(const std::function<std::unique_ptr<CKRV02Doc>()>& makeDocument,
                                    const SensorBackup& backup, const std::vector<LineTarget>& lines,
                                    const ConnectValues& base, const BusScanOptions& options,
                                    const LinesProgress& progress, const std::function<bool()>& keepGoing,
                                    ProtocolTrace* trace) {
  std::vector<LineApply> results(lines.size());
  SharedRun run(lines.size(), progress, trace);
  OnEveryLine(lines.size(), [&](size_t i) {
    LineApply& result = results[i];
    result.portText = lines[i].portText;
    const std::unique_ptr<ProtocolTrace> lineTrace = run.TraceOf(lines[i].portText);
    const std::unique_ptr<CKRV02Doc> doc = makeDocument();
    result.report = ApplyToBus(*doc, backup, lines[i].device, lines[i].portText, base, options, run.ProgressOf(i),
                               [&] { return run.Ask(keepGoing); }, lineTrace.get());
    doc->CloseDocument();
  });
  return results;
}

}  // namespace fleet
