// Scan buffer: all 8192 ranges through the engine's portion loop
// (ScanBufferReader::Read, 126 ranges a portion) from the virtual sensor
// with line-rate pacing in both directions, at 57600 and at 9600 bit/s. The
// limit is the line time of every byte that crossed the line (requests and
// replies), counted from the sensor's own frame trace.
//
//   bench_scan_buffer [--baud RATE]... [--crc]    (default: 57600 and 9600)

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "protocol/frame.h"
#include "protocol/packet_link.h"
#include "protocol/sensor_commands.h"
#include "sim/virtual_sensor.h"
#include "tarkon/document/scan_buffer.h"

namespace {

constexpr int kRanges = 8192;
constexpr double kTargetRatio = 1.10;

// Counts the bytes of every frame the sensor's trace shows crossing the
// line: "t rx 02 01 ..." (host to sensor) and "t tx ..." (sensor to host).
class ByteCounter {
 public:
  void Line(const std::string& line) {
    std::istringstream in(line);
    std::string time, label, token;
    in >> time >> label;
    if (!label.empty() && label[0] == '#') in >> label;  // a sensor tag
    const bool toSensor = label == "rx" || label == "rx-bad" || label == "rx-garbled";
    const bool toHost = label == "tx";
    if (!toSensor && !toHost) return;
    uint64_t n = 0;
    while (in >> token) {
      if (token.size() != 2 || !std::isxdigit(static_cast<unsigned char>(token[0])) ||
          !std::isxdigit(static_cast<unsigned char>(token[1])))
        break;  // the note in parentheses
      ++n;
    }
    (toSensor ? toSensor_ : toHost_) += n;
  }
  uint64_t toSensor() const { return toSensor_; }
  uint64_t toHost() const { return toHost_; }

 private:
  std::atomic<uint64_t> toSensor_{0};
  std::atomic<uint64_t> toHost_{0};
};

struct Figures {
  double seconds = 0;
  double hostCpu = 0;
  uint64_t toSensor = 0;
  uint64_t toHost = 0;
  bool dataRight = false;
};

uint16_t Sample(size_t i) { return static_cast<uint16_t>(1000 + (i * 37) % 20000); }

bool Run(int32_t baud, int32_t mode, Figures& f, std::string& error) {
  ByteCounter counter;
  sim::SensorConfig config;
  config.model = "KRV02";
  config.checkMode = mode;
  config.baudRate = baud;
  sim::LineConfig line;
  line.throttle = true;
  line.traceSink = [&counter](const std::string& l) { counter.Line(l); };
  sim::VirtualSensor sensor(config, line);
  if (!sensor.Start()) {
    error = sensor.LastError();
    return false;
  }
  sensor.Mutate([](sim::SensorState& s) {
    for (size_t i = 0; i < s.scanBuffer.size(); ++i) s.scanBuffer[i] = Sample(i);
    s.scanFill = s.scanBuffer.size();
  });

  PacketLink link;
  if (!link.ConnectDevice(sensor.SlavePath(), baud, 0, 0, 8, 100, 100)) {
    error = link.errorText();
    return false;
  }
  SensorCommands commands;
  commands.AttachLink(&link);
  commands.UseAddress(1);
  commands.UseCheckMode(mode);
  ScanBufferReader reader(commands);
  reader.SetRangesAvailable(kRanges);

  const uint64_t sensorBefore = counter.toSensor();
  const uint64_t hostBefore = counter.toHost();
  const double cpuBefore = bench::ThreadCpuSeconds();
  const auto start = bench::Clock::now();
  const ScanReadOutcome outcome =
      reader.Read(kRanges, 0, [](int16_t v) { return std::to_string(v); });
  f.seconds = bench::Seconds(bench::Clock::now() - start);
  f.hostCpu = bench::ThreadCpuSeconds() - cpuBefore;
  link.Disconnect();
  sensor.Stop();  // the trace is complete once the line has stopped
  f.toSensor = counter.toSensor() - sensorBefore;
  f.toHost = counter.toHost() - hostBefore;
  if (outcome != ScanReadOutcome::kCompleted) {
    error = "the read did not complete";
    return false;
  }
  f.dataRight = reader.buffer().size() == static_cast<size_t>(kRanges);
  for (size_t i = 0; f.dataRight && i < reader.buffer().size(); ++i)
    f.dataRight = static_cast<uint16_t>(reader.buffer()[i]) == Sample(i);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int32_t> bauds;
  int32_t mode = frame::kChecksum;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--baud") == 0 && i + 1 < argc) {
      bauds.push_back(static_cast<int32_t>(std::atoi(argv[++i])));
    } else if (std::strcmp(argv[i], "--crc") == 0) {
      mode = frame::kCrc;
    } else {
      std::fprintf(stderr, "usage: bench_scan_buffer [--baud RATE]... [--crc]\n");
      return 2;
    }
  }
  if (bauds.empty()) bauds = {57600, 9600};

  const char* modeName = mode == frame::kCrc ? "CRC" : "checksum";
  bench::PrintLine(std::string("== Scan buffer: ") + std::to_string(kRanges) +
                   " ranges through ScanBufferReader, throttled virtual sensor, " + modeName + " mode; " +
                   bench::LoadText());
  bool allMet = true;
  for (const int32_t baud : bauds) {
    Figures f;
    std::string error;
    if (!Run(baud, mode, f, error)) {
      bench::PrintLine("scan buffer @" + std::to_string(baud) + ": could not run: " + error);
      return 1;
    }
    const double line = bench::LineSeconds(f.toSensor + f.toHost, baud);
    const double ratio = f.seconds / line;
    const bool met = ratio <= kTargetRatio && f.dataRight;
    allMet = allMet && met;
    char text[512];
    std::snprintf(text, sizeof text, "scan buffer %d ranges @%d: %.3f s, line time %.3f s, ratio %.3f %s", kRanges,
                  static_cast<int>(baud), f.seconds, line, ratio, bench::TargetText("<= 1.10", met).c_str());
    bench::PrintLine(text);
    std::snprintf(text, sizeof text,
                  "  bytes on the line: %llu to the sensor + %llu to the host; ranges %s; host thread CPU %.3f s "
                  "(%.1f %% of the time)",
                  static_cast<unsigned long long>(f.toSensor), static_cast<unsigned long long>(f.toHost),
                  f.dataRight ? "as the sensor holds them" : "WRONG", f.hostCpu, 100.0 * f.hostCpu / f.seconds);
    bench::PrintLine(text);
  }
  return allMet ? 0 : 3;
}
