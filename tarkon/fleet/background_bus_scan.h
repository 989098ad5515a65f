#pragma once
// A bus scan on a thread of its own, for a window that must stay alive and
// be able to stop it: the scan opens its own port (the document is not
// connected meanwhile), reports progress from its thread, and stops after
// the probe in flight when asked.

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tarkon/fleet/bus_scan.h"

class ProtocolTrace;

namespace fleet {

class BackgroundBusScan {
 public:
  // Both are called on the scan's thread: a window only posts from them.
  using Progress = std::function<void(long done, long total)>;
  using Finished = std::function<void()>;
  // Each sensor as it is found, and again with its serial number (see
  // BusScanner::Sighting); also on the scan's thread.
  using Sighting = BusScanner::Sighting;

  BackgroundBusScan() = default;
  // Stops the scan and waits for its thread (at most one probe budget).
  ~BackgroundBusScan();
  BackgroundBusScan(const BackgroundBusScan&) = delete;
  BackgroundBusScan& operator=(const BackgroundBusScan&) = delete;

  // False when a scan still runs. `trace` (may be null) must outlive it.
  bool Start(const std::string& device, const BusScanOptions& options, ProtocolTrace* trace, Progress progress,
             Finished finished, Sighting sighting = {});
  // Asks the scan to end after its probe in flight.
  void Stop() { stop_ = true; }
  // Waits for the thread; after it the results below are complete.
  void Join();
  bool running() const { return running_; }

  // After Join(): what was found, whether the scan ran through, and why the
  // port failed (empty when it did not).
  const std::vector<FoundSensor>& found() const { return found_; }
  bool stopped() const { return stop_; }
  const std::string& error() const { return error_; }

 private:
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::vector<FoundSensor> found_;
  std::string error_;
};

}  // namespace fleet
