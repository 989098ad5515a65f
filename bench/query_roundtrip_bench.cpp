// Query round trip: dcs_Query of GetModelName against the virtual sensor on
// an unthrottled pseudo-terminal, so what is measured is the software path
// alone (write, the sensor's answer, the hunt for the start byte, the read
// of header and body, the check). A fixed polling cadence anywhere in the
// read path would show as a median of several milliseconds.
//
//   bench_query_roundtrip [--count N]      (default 5000, after 200 warm-up)

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "protocol/command_ids.h"
#include "protocol/frame.h"
#include "protocol/packet_link.h"
#include "sim/virtual_sensor.h"

namespace {

constexpr int kWarmUp = 200;
constexpr size_t kModelNameLength = 16;
constexpr int32_t kReferenceBaud = 57600;
constexpr double kTargetMedianMs = 1.0;

struct Figures {
  double medianMs = 0;
  double p99Ms = 0;
  double maxMs = 0;
  int failures = 0;
  double hostCpuPerQueryUs = 0;
};

bool Run(int32_t mode, int count, Figures& f, std::string& error) {
  sim::SensorConfig config;
  config.model = "KRV04";
  config.checkMode = mode;
  sim::VirtualSensor sensor(config);
  if (!sensor.Start()) {
    error = sensor.LastError();
    return false;
  }
  PacketLink link;
  if (!link.ConnectDevice(sensor.SlavePath(), kReferenceBaud, 0, 0, 8, 100, 100)) {
    error = link.errorText();
    return false;
  }
  uint8_t reply[kModelNameLength] = {};
  for (int i = 0; i < kWarmUp; ++i) {
    if (!link.dcs_Query(1, mode, cmd::GetModelName, nullptr, 0, reply, sizeof reply)) ++f.failures;
  }
  std::vector<double> ms;
  ms.reserve(static_cast<size_t>(count));
  const double cpuBefore = bench::ThreadCpuSeconds();
  for (int i = 0; i < count; ++i) {
    const auto start = bench::Clock::now();
    const bool ok = link.dcs_Query(1, mode, cmd::GetModelName, nullptr, 0, reply, sizeof reply);
    ms.push_back(bench::Milliseconds(bench::Clock::now() - start));
    if (!ok) ++f.failures;
  }
  f.hostCpuPerQueryUs = (bench::ThreadCpuSeconds() - cpuBefore) / count * 1e6;
  f.medianMs = bench::Median(ms);
  f.p99Ms = bench::Percentile(ms, 99);
  f.maxMs = bench::Percentile(ms, 100);
  link.Disconnect();
  sensor.Stop();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 5000;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc) {
      count = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: bench_query_roundtrip [--count N]\n");
      return 2;
    }
  }
  if (count < 1) count = 1;

  bench::PrintLine("== Query round trip: dcs_Query GetModelName, unthrottled pseudo-terminal, " +
                   std::to_string(count) + " queries after " + std::to_string(kWarmUp) + " warm-up; " +
                   bench::LoadText());
  bool allMet = true;
  for (const int32_t mode : {frame::kChecksum, frame::kCrc}) {
    Figures f;
    std::string error;
    const char* name = mode == frame::kCrc ? "CRC" : "checksum";
    if (!Run(mode, count, f, error)) {
      bench::PrintLine(std::string("query round trip (") + name + "): could not run: " + error);
      return 1;
    }
    // The same bytes on a real line: the request (no data) and the reply
    // with the 16-byte model name.
    const size_t check = mode == frame::kCrc ? 2 : 1;
    const size_t bytes = (frame::kHeaderSize + check) + (frame::kHeaderSize + kModelNameLength + check);
    const double lineMs = bench::LineSeconds(bytes, kReferenceBaud) * 1000;
    const bool met = f.medianMs < kTargetMedianMs && f.failures == 0;
    allMet = allMet && met;
    char text[512];
    std::snprintf(text, sizeof text,
                  "query round trip (%s): median %.3f ms, p99 %.3f ms, max %.3f ms, %d failed; "
                  "line time of the same %zu bytes @%d: %.3f ms %s",
                  name, f.medianMs, f.p99Ms, f.maxMs, f.failures, bytes, static_cast<int>(kReferenceBaud), lineMs,
                  bench::TargetText("median < 1 ms", met).c_str());
    bench::PrintLine(text);
    std::snprintf(text, sizeof text, "  host thread CPU per query: %.1f us", f.hostCpuPerQueryUs);
    bench::PrintLine(text);
  }
  return allMet ? 0 : 3;
}
