// The line view's poller: 24 sensors of mixed models and check modes on
// one line paced at its baud rate (`sensor-sim --throttle`, a process of
// its own, so that this process's CPU time is the poller's). After a
// warm-up (each sensor's model, serial number and range mode), full
// rounds are timed: the round time is each sensor's poll period. The
// limit is the line time of one request and reply per sensor, each with
// the size its state command has on the wire (from the sensor's trace).
// The target holds for a bus of one check mode; a bus of both modes is run
// as well and shows what its two quiet pauses per round cost.
//
//   bench_line_view [--baud R]... [--rounds N] [--burst-ms N]   (default 57600 and 9600,
//                                                               bytes one at a time)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/line_of_sensors.h"
#include "tarkon/fleet/line_poller.h"

namespace {

constexpr double kTargetRatio = 1.15;
constexpr double kTargetCpuPercent = 5.0;
constexpr int kSensors = bench::kLineSensors;

// The bytes of each sensor's state request and reply, from the trace:
// "12.345678 #tag rx 02 01 04 15 ..." (STX, address, length, command).
std::map<int, size_t> StateExchangeBytes(const std::string& tracePath) {
  std::map<int, size_t> request;
  std::map<int, size_t> exchange;
  std::ifstream in(tracePath);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string time;
    std::string label;
    words >> time >> label;
    if (!label.empty() && label[0] == '#') words >> label;
    if (label != "rx" && label != "tx") continue;
    std::vector<unsigned> bytes;
    std::string token;
    while (words >> token && token[0] != '(') bytes.push_back(static_cast<unsigned>(std::strtoul(token.c_str(), nullptr, 16)));
    if (bytes.size() < 5) continue;
    const int address = static_cast<int>(bytes[1]);
    const unsigned command = bytes[3];
    if (command != 21 && command != 41) continue;
    if (label == "rx") request[address] = bytes.size();
    if (label == "tx" && request.count(address) != 0 && exchange.count(address) == 0)
      exchange[address] = request[address] + bytes.size();
  }
  return exchange;
}

// Bytes reach the host one at a time at their line time, or, as a USB
// adapter hands them over, together once per `burstMs` (0: one at a time).
int g_burstMs = 0;

bool Run(int32_t baud, long rounds, bool mixed, bool& met) {
  bench::TempDir dir;
  std::vector<std::string> options = {"--throttle", "--trace-file", dir.File("trace")};
  if (g_burstMs > 0) {
    options.push_back("--burst-ms");
    options.push_back(std::to_string(g_burstMs));
  }
  for (int i = 0; i < kSensors; ++i) {
    options.push_back("--sensor");
    options.push_back(bench::LineSensorOption(i, baud, mixed));
  }
  bench::SensorSimProcess sim(options);
  std::string error;
  if (!sim.Start(error)) {
    std::fprintf(stderr, "line view @%d: %s\n", baud, error.c_str());
    return false;
  }
  fleet::LineWatch::Setup setup;
  setup.device = sim.slavePath();
  setup.baudRate = baud;
  for (int i = 0; i < kSensors; ++i) setup.sensors.push_back({i + 1, bench::LineCheckMode(i, mixed), -1, ""});
  fleet::LineWatch watch;
  if (!watch.Start(setup, nullptr, {}, error)) {
    std::fprintf(stderr, "line view @%d: %s\n", baud, error.c_str());
    return false;
  }
  // Looked at 20 times a second: this thread's own wake-ups stay out of
  // the poller's CPU time.
  auto waitForRound = [&](long round) {
    while (watch.running() && watch.rounds() < round) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  };
  waitForRound(3);  // every sensor learnt, the KRV02 extras read once
  const long r0 = watch.rounds();
  const auto t0 = bench::Clock::now();
  const double cpu0 = bench::ProcessCpuSeconds();
  waitForRound(r0 + rounds);
  const long r1 = watch.rounds();
  const double seconds = bench::Seconds(bench::Clock::now() - t0);
  const double cpu = bench::ProcessCpuSeconds() - cpu0;
  const std::vector<fleet::LineSensorReading> readings = watch.Snapshot();
  watch.Stop();
  sim.Stop();
  if (!watch.error().empty() || r1 <= r0) {
    std::fprintf(stderr, "line view @%d: %s\n", baud, watch.error().c_str());
    return false;
  }
  long answering = 0;
  for (const fleet::LineSensorReading& r : readings) {
    if (r.state == fleet::LineSensorState::kAnswering) {
      ++answering;
    } else {
      std::printf("  address %d (%s): %s\n", r.sensor.address, r.model.c_str(), r.StateText().c_str());
    }
  }
  const std::map<int, size_t> exchange = StateExchangeBytes(dir.File("trace"));
  size_t bytes = 0;
  for (const auto& [address, size] : exchange) bytes += size;
  const double lineSeconds = bench::LineSeconds(bytes, baud);
  const double round = seconds / static_cast<double>(r1 - r0);
  const double ratio = round / lineSeconds;
  const double cpuPercent = 100.0 * cpu / seconds;
  const bool ratioMet = mixed || ratio <= kTargetRatio;
  const bool ok = answering == kSensors && exchange.size() == kSensors && ratioMet &&
                  (baud != 57600 || cpuPercent < kTargetCpuPercent);
  met = met && ok;
  const std::string target = mixed ? std::string("no target: two quiet pauses of ") +
                                         std::to_string(fleet::kQuietLineMs) + " ms a round"
                                   : std::string("target <= 1.15: ") + (ratio <= kTargetRatio ? "met" : "missed");
  std::printf(
      "line view, %d sensors, %s, %s @%d: %ld rounds in %.3f s, each sensor every %.4f s; line time of one state request "
      "and reply per sensor %.4f s (%zu bytes), ratio %.3f (%s); poller CPU %.2f %% of a core%s; "
      "%ld of %d answering\n",
      kSensors, mixed ? "checksum and CRC" : "one check mode", g_burstMs > 0 ? "bytes in bursts" : "bytes one at a time",
      baud, r1 - r0, seconds, round, lineSeconds, bytes,
      ratio, target.c_str(), cpuPercent,
      baud == 57600 ? (cpuPercent < kTargetCpuPercent ? " (target < 5 %: met)" : " (target < 5 %: missed)") : "",
      answering, kSensors);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int32_t> rates;
  long rounds = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--baud") == 0 && i + 1 < argc) {
      rates.push_back(std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--burst-ms") == 0 && i + 1 < argc) {
      g_burstMs = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::atol(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: bench_line_view [--baud R]... [--rounds N] [--burst-ms N]\n");
      return 2;
    }
  }
  if (rates.empty()) rates = {57600, 9600};
  bool met = true;
  for (int32_t baud : rates) {
    // About 20 s of polling at each rate.
    const long n = rounds > 0 ? rounds : (baud >= 38400 ? 100 : 20);
    if (!Run(baud, n, false, met) || !Run(baud, n / 2, true, met)) return 1;
  }
  std::printf("  %s\n", bench::LoadText().c_str());
  return met ? 0 : 1;
}
