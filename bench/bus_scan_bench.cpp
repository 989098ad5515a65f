// Bus scan: addresses 1 to 255 in both check modes on an empty line (the
// sensor-less pseudo-terminal of the virtual line, paced at the baud rate),
// then the same scan of a line with sensors at 1, 17 and 254 in mixed check
// modes. Every probe of an empty address waits out the short budget that
// the baud rate gives, so the floor is probes x budget.
//
//   bench_bus_scan [--baud R]...      (default 57600)

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "protocol/packet_link.h"
#include "sim/virtual_line.h"
#include "tarkon/fleet/bus_scan.h"

namespace {

constexpr double kTargetSeconds = 30.0;

bool Scan(int32_t baud, bool withSensors, double& seconds, size_t& found, std::string& error) {
  sim::LineConfig lineConfig;
  lineConfig.throttle = true;
  sim::VirtualLine line(lineConfig);
  if (withSensors) {
    const struct {
      uint8_t address;
      int32_t mode;
      const char* model;
    } sensors[] = {{1, 0, "KRV02"}, {17, 1, "KRV04"}, {254, 1, "KRV04 Board Flipper"}};
    for (const auto& s : sensors) {
      sim::SensorConfig config;
      config.model = s.model;
      config.address = s.address;
      config.checkMode = s.mode;
      config.baudRate = baud;
      line.Attach(config);
    }
  }
  if (!line.Start()) {
    error = line.LastError();
    return false;
  }
  PacketLink link;
  if (!link.ConnectDevice(line.SlavePath(), baud, 0, 0, 8, 100, 2)) {
    error = link.errorText();
    return false;
  }
  fleet::BusScanOptions options;
  options.baudRates = {baud};
  std::vector<fleet::FoundSensor> sensors;
  const auto start = bench::Clock::now();
  const bool ok = fleet::BusScanner(link).Scan(options, {}, sensors, error);
  seconds = bench::Seconds(bench::Clock::now() - start);
  found = sensors.size();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int32_t> rates;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--baud") == 0 && i + 1 < argc) {
      rates.push_back(std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: bench_bus_scan [--baud R]...\n");
      return 2;
    }
  }
  if (rates.empty()) rates = {57600};
  bool met = true;
  for (int32_t baud : rates) {
    const uint32_t budget = fleet::ProbeBudgetMs(baud);
    const long probes = fleet::ProbeCount(fleet::BusScanOptions{});
    double seconds = 0;
    size_t found = 0;
    std::string error;
    if (!Scan(baud, false, seconds, found, error)) {
      std::fprintf(stderr, "bus scan @%d: %s\n", baud, error.c_str());
      return 1;
    }
    const double floor = static_cast<double>(probes) * budget / 1000.0;
    const bool targetMet = seconds < kTargetSeconds;
    met = met && targetMet && found == 0;
    std::printf(
        "bus scan, empty line, addresses 1-255, checksum and CRC @%d: %.3f s, %ld probes of %u ms "
        "(floor %.3f s), %zu found (target < %.0f s: %s)\n",
        baud, seconds, probes, budget, floor, found, kTargetSeconds, targetMet ? "met" : "missed");
    if (!Scan(baud, true, seconds, found, error)) {
      std::fprintf(stderr, "bus scan @%d with sensors: %s\n", baud, error.c_str());
      return 1;
    }
    met = met && found == 3;
    std::printf("bus scan, sensors at 1 (checksum), 17 and 254 (CRC) @%d: %.3f s, %zu of 3 found once each\n", baud,
                seconds, found);
  }
  std::printf("  %s\n", bench::LoadText().c_str());
  return met ? 0 : 1;
}
