// Start-up: the time from starting `tarkon-cli --simulate KRV04 info` to
// its exit, median of several runs. The limit beside it is what the connect
// procedure waits on purpose (250 ms for the line to settle after opening,
// 100 ms before the port is drained); the simulation's pseudo-terminal
// costs no line time. One more run of the same command against the sensor
// program with line-rate pacing at 57600 bit/s shows the real-line case,
// its limit adding the line time of the bytes its trace shows.
//
//   bench_startup [--runs N]     (default 10)

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace {

constexpr double kFixedWaits = 0.250 + 0.100;  // settle after open, then the drain's pause

uint64_t CountTraceBytes(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  uint64_t n = 0;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string time, label, token;
    words >> time >> label;
    if (label != "rx" && label != "tx" && label != "rx-bad" && label != "rx-garbled") continue;
    while (words >> token && token.size() == 2 && std::isxdigit(static_cast<unsigned char>(token[0])) &&
           std::isxdigit(static_cast<unsigned char>(token[1])))
      ++n;
  }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 10;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: bench_startup [--runs N]\n");
      return 2;
    }
  }
  if (runs < 1) runs = 1;
  bench::TempDir dir;
  const std::string cli = bench::ToolPath("LRS_TARKON_CLI", TARKON_CLI_PATH, "tarkon-cli");
  bench::PrintLine("== Start-up: " + cli + " --settings <tmp> --simulate KRV04 info, " + std::to_string(runs) +
                   " runs; " + bench::LoadText());

  std::vector<double> wall, cpu;
  for (int i = 0; i < runs; ++i) {
    bench::ChildProcess child;
    bench::ChildProcess::Streams streams;
    streams.out = dir.File("info.out");
    streams.err = dir.File("info.err");
    if (!child.Start({cli, "--settings", dir.File("tarkon.ini"), "--simulate", "KRV04", "info"}, streams)) {
      bench::PrintLine("start-up: could not start " + cli);
      return 1;
    }
    const bench::ChildResult r = child.Wait(std::chrono::seconds(30));
    if (!r.exitedOk()) {
      std::ifstream log(streams.err);
      std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
      bench::PrintLine("start-up: run " + std::to_string(i + 1) + " did not end cleanly (wait status " +
                       std::to_string(r.status) + (r.wallSeconds >= 30 ? ", killed after 30 s" : "") + "): " +
                       text.substr(text.size() > 400 ? text.size() - 400 : 0));
      return 1;
    }
    wall.push_back(r.wallSeconds);
    cpu.push_back(r.cpuSeconds);
  }

  // The same command against the sensor program with line-rate pacing,
  // once, with its trace: the bytes that cross the line.
  uint64_t bytes = 0;
  double pacedSeconds = 0;
  {
    const std::string trace = dir.File("trace.txt");
    bench::SensorSimProcess sim({"--model", "KRV04", "--throttle", "--trace-file", trace});
    std::string error;
    if (sim.Start(error)) {
      bench::ChildProcess child;
      bench::ChildProcess::Streams streams;
      if (child.Start({cli, "--settings", dir.File("traced.ini"), "--port", sim.slavePath(), "info"}, streams)) {
        const bench::ChildResult r = child.Wait(std::chrono::seconds(30));
        if (r.exitedOk()) {
          pacedSeconds = r.wallSeconds;
          sim.Stop();
          bytes = CountTraceBytes(trace);
        }
      }
    }
  }
  const double line = bench::LineSeconds(bytes, 57600);
  char text[512];
  std::snprintf(text, sizeof text,
                "start-up (--simulate KRV04 info): median %.3f s (min %.3f, max %.3f), CPU median %.3f s; "
                "limit %.3f s (fixed waits; the simulation's line costs no time)",
                bench::Median(wall), bench::Percentile(wall, 0.001), bench::Percentile(wall, 100), bench::Median(cpu),
                kFixedWaits);
  bench::PrintLine(text);
  std::snprintf(text, sizeof text,
                "start-up (--port, sensor-sim --throttle @57600, one run): %.3f s; limit %.3f s = fixed waits %.3f s + "
                "line time of %llu bytes %.3f s",
                pacedSeconds, kFixedWaits + line, kFixedWaits, static_cast<unsigned long long>(bytes), line);
  bench::PrintLine(text);
  return bytes > 0 ? 0 : 1;
}
