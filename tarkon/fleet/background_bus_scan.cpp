#include "tarkon/fleet/background_bus_scan.h"

namespace fleet {

BackgroundBusScan::~BackgroundBusScan() {
  Stop();
  Join();
}

bool BackgroundBusScan::Start(const std::string& device, const BusScanOptions& options, ProtocolTrace* trace,
                              Progress progress, Finished finished, Sighting sighting) {
  if (running_) return false;
  Join();
  stop_ = false;
  running_ = true;
  found_.clear();
  error_.clear();
  thread_ = std::thread([this, device, options, trace, progress = std::move(progress), finished = std::move(finished),
                         sighting = std::move(sighting)] {
    std::string error;
    std::vector<FoundSensor> found;
    const bool ok = ScanBusOnDevice(
        device, options, trace,
        [&](long done, long total) {
          if (progress) progress(done, total);
          return !stop_.load();
        },
        found, error, sighting);
    found_ = std::move(found);
    error_ = ok ? std::string() : error;
    running_ = false;
    if (finished) finished();
  });
  return true;
}

void BackgroundBusScan::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace fleet
