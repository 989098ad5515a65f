#pragma once
// Finding the sensors on an RS-485 bus: every address of a range is asked
// for its model name, in each check mode and at each baud rate asked for,
// with a short budget derived from the baud rate; each sensor that answers
// is then asked for its serial number.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class PacketLink;
class ProtocolTrace;

namespace fleet {

struct FoundSensor {
  int address = 0;
  int checkMode = 0;  // 0 checksum, 1 CRC
  int baudRate = 0;
  std::string modelString;
  std::string model;  // display name; empty when the model string is unknown
  std::string serialNumber;
};

struct BusScanOptions {
  int from = 1;
  int to = 255;
  std::vector<int> baudRates = {57600};
  std::vector<int> checkModes = {0, 1};
  uint32_t budgetMs = 0;  // 0: derived from each baud rate
};

// Whether a scan takes these options: addresses from 1 to 255, the first
// not above the last, at least one baud rate, each one a sensor runs at.
// Empty when taken, else why not (the same text for every front end).
std::string CheckScanOptions(const BusScanOptions& options);

// The text of a wait per probe given instead of the derived one: 1 to
// 10000 ms. Empty and `ms` set, or the refusal.
std::string CheckProbeBudgetText(const std::string& text, uint32_t* ms);

// The wait for one reply at a baud rate: the line time of the longest
// request and model-name reply (28 bytes of 10 bits) and a quarter more,
// plus 10 ms for the sensor to turn round: 17 ms at 57600 bit/s, 47 ms at
// 9600. A reply that comes later still is not lost: the next probe's read
// takes it (BusProbe hands back replies from other addresses).
uint32_t ProbeBudgetMs(int baudRate);

// A receiver that took stray bytes for the start of a frame (a frame of
// the other check mode) waits for the rest until the line has been quiet
// for a while; before a sensor is addressed in another check mode than the
// frame before, the line stays quiet this long.
constexpr uint32_t kQuietLineMs = 100;

// Number of probes a scan makes at most (progress total).
long ProbeCount(const BusScanOptions& options);

// The time a scan still takes, for a window or terminal to show while it
// runs: from the probe budgets at first, then from the pace of the probes
// made so far. Started at construction.
class ScanClock {
 public:
  explicit ScanClock(const BusScanOptions& options);
  // Whole seconds left after `done` of `total` probes.
  long SecondsLeft(long done, long total) const;
  // "about 1 min 5 s left", "about 12 s left", "less than a second left".
  std::string LeftText(long done, long total) const;

 private:
  std::chrono::steady_clock::time_point start_;
  double plannedMsPerProbe_;
};

class BusScanner {
 public:
  // done out of total probes; return false to stop the scan.
  using Progress = std::function<bool(long done, long total)>;
  // A sensor as soon as it answered (`index` is its place in the list of
  // those found, new at its end), and again when its serial number came
  // in (the same index). Called on the scanning thread.
  using Sighting = std::function<void(size_t index, const FoundSensor& sensor)>;

  // `link` is open on the bus; the scan changes its baud rate.
  explicit BusScanner(PacketLink& link) : link_(link) {}
  void OnSighting(Sighting sighting) { sighting_ = std::move(sighting); }

  // The sensors found, in the order found, each once. False with `error`
  // when the port failed (what was found until then is kept).
  bool Scan(const BusScanOptions& options, const Progress& progress, std::vector<FoundSensor>& found,
            std::string& error);

 private:
  PacketLink& link_;
  Sighting sighting_;
};

// Opens `device` (a device path), scans and closes it again; frames go to
// `trace` when one is given; `sighting` (may be empty) hears of each sensor
// as it is found. False with `error` when the port cannot be opened or
// fails.
bool ScanBusOnDevice(const std::string& device, const BusScanOptions& options, ProtocolTrace* trace,
                     const BusScanner::Progress& progress, std::vector<FoundSensor>& found, std::string& error,
                     const BusScanner::Sighting& sighting = {});

}  // namespace fleet
