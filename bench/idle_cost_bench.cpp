// Idle cost: CPU time of `tarkon-cli watch` polling the live diagnostics
// every 250 ms for about 10 seconds, as a share of one core. The sensor is
// the virtual sensor program with line-rate pacing, a process of its own,
// so wait4 reports the tool's CPU time alone. The same with the tool's own
// in-process simulation (--simulate) is shown for comparison; there the
// sensor's thread is counted too.
//
//   bench_idle_cost [--count N]     (polls, default 40: about 10 s)

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace {

constexpr double kTargetShare = 0.02;

struct Figures {
  bench::ChildResult result;
  int polls = 0;
};

int CountPolls(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  int polls = 0;
  while (std::getline(in, line))
    if (line.rfind("-- poll ", 0) == 0) ++polls;
  return polls;
}

std::string Tail(const std::string& path) {
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return text.size() > 600 ? text.substr(text.size() - 600) : text;
}

bool RunWatch(const std::vector<std::string>& portArgs, int count, const bench::TempDir& dir, const std::string& tag,
              Figures& f, std::string& error) {
  std::vector<std::string> argv = {bench::ToolPath("LRS_TARKON_CLI", TARKON_CLI_PATH, "tarkon-cli"), "--settings",
                                   dir.File(tag + ".ini")};
  argv.insert(argv.end(), portArgs.begin(), portArgs.end());
  argv.insert(argv.end(), {"watch", "--count", std::to_string(count)});
  bench::ChildProcess child;
  bench::ChildProcess::Streams streams;
  streams.out = dir.File(tag + ".out");
  streams.err = dir.File(tag + ".err");
  if (!child.Start(argv, streams)) {
    error = "cannot start " + argv[0];
    return false;
  }
  f.result = child.Wait(std::chrono::seconds(120));
  f.polls = CountPolls(streams.out);
  if (!f.result.exitedOk() || f.polls != count) {
    error = "tarkon-cli watch ended with status " + std::to_string(f.result.status) + " after " +
            std::to_string(f.polls) + " polls: " + Tail(streams.err);
    return false;
  }
  return true;
}

bool Print(const std::string& what, const Figures& f, bool withTarget) {
  const double share = f.result.cpuSeconds / f.result.wallSeconds;
  const bool met = share < kTargetShare;
  char text[512];
  std::snprintf(text, sizeof text, "idle cost (%s): CPU %.3f s (user %.3f, system %.3f) in %.3f s = %.2f %% of one core%s%s",
                what.c_str(), f.result.cpuSeconds, f.result.userSeconds, f.result.systemSeconds, f.result.wallSeconds,
                100.0 * share, withTarget ? " " : "", withTarget ? bench::TargetText("< 2 %", met).c_str() : "");
  bench::PrintLine(text);
  std::snprintf(text, sizeof text, "  %d polls, %.2f ms CPU per poll (connect and identification included)", f.polls,
                1000.0 * f.result.cpuSeconds / f.polls);
  bench::PrintLine(text);
  return met || !withTarget;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 40;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc) {
      count = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: bench_idle_cost [--count N]\n");
      return 2;
    }
  }
  if (count < 1) count = 1;
  bench::TempDir dir;
  bench::PrintLine("== Idle cost: tarkon-cli watch --count " + std::to_string(count) + " (poll every 250 ms); " +
                   bench::LoadText());

  bench::SensorSimProcess sim({"--model", "KRV04", "--throttle"});
  std::string error;
  if (!sim.Start(error)) {
    bench::PrintLine("idle cost: could not run: " + error);
    return 1;
  }
  Figures separate;
  if (!RunWatch({"--port", sim.slavePath()}, count, dir, "port", separate, error)) {
    bench::PrintLine("idle cost: could not run: " + error);
    return 1;
  }
  sim.Stop();
  const bool met = Print("--port, sensor-sim --throttle separate", separate, true);

  Figures simulated;
  if (RunWatch({"--simulate", "KRV04"}, count, dir, "simulate", simulated, error)) {
    Print("--simulate KRV04, sensor thread included", simulated, false);
  } else {
    bench::PrintLine("idle cost (--simulate): could not run: " + error);
  }
  return met ? 0 : 3;
}
