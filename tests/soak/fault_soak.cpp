// fault-soak: many exchanges of mixed commands against virtual sensors that
// spoil a share of their replies (noise before the start byte, a dropped
// reply, a wrong check, a cut-off reply, a reply later than the budget).
//
//   fault-soak [--exchanges N] [--links K] [--seed S] [--fault-rate P]
//              [--delay-ms D] [--slack-ms X]
//
// Each of the K links runs on its own thread with its own virtual sensor,
// packet link and command object; the N exchanges are shared among them.
// A run passes only if
//   - no successful command returned data other than what its sensor holds,
//     and every setting sent was taken by the sensor;
//   - every failed command wrote its failure line ("Command X failed. ...")
//     and left its reply area as it was;
//   - no command failed whose own replies were not spoiled (so in
//     particular the command after a failure succeeds: the recovery pause
//     and purge left the line clean);
//   - no command took longer than its bound (see soak::TimeRules) plus
//     the slack allowed for a loaded machine.
// It prints the counts and exits 0 on a pass, 1 on a failure, 2 on a
// setup problem.

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "protocol/log_sink.h"
#include "protocol/packet_link.h"
#include "protocol/sensor_commands.h"
#include "sim/virtual_sensor.h"
#include "soak/soak_mix.h"

namespace {

struct Options {
  uint64_t exchanges = 10000;
  unsigned links = 16;
  uint64_t seed = 1;
  double faultRate = 0.05;
  // Past the budget and the port time-out it may run over by, but within
  // the recovery pause: the late reply is purged with the rest.
  unsigned delayMs = 1100;
  unsigned slackMs = 0;
};

void Usage() {
  std::fprintf(stderr,
               "usage: fault-soak [--exchanges N] [--links K] [--seed S] [--fault-rate P]\n"
               "                  [--delay-ms D] [--slack-ms X]\n");
}

bool ParseNumber(const char* text, uint64_t* out) {
  if (text == nullptr || *text == '\0' || *text == '-') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *out = v;
  return true;
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    uint64_t n = 0;
    if (arg == "--fault-rate") {
      char* end = nullptr;
      const double p = value ? std::strtod(value, &end) : -1;
      if (value == nullptr || *end != '\0' || !(p >= 0.0 && p <= 1.0)) return false;
      o.faultRate = p;
    } else if (!ParseNumber(value, &n)) {
      return false;
    } else if (arg == "--exchanges") {
      o.exchanges = n;
    } else if (arg == "--links" && n >= 1 && n <= 256) {
      o.links = static_cast<unsigned>(n);
    } else if (arg == "--seed") {
      o.seed = n;
    } else if (arg == "--delay-ms" && n <= 60000) {
      o.delayMs = static_cast<unsigned>(n);
    } else if (arg == "--slack-ms" && n <= 60000) {
      o.slackMs = static_cast<unsigned>(n);
    } else {
      return false;
    }
    ++i;
  }
  return true;
}

// Log lines of the command under way.
class StepSink : public LogSink {
 public:
  void LogLine(int kind, const std::string& text) override { lines.emplace_back(kind, text); }
  std::vector<std::pair<int, std::string>> lines;
};

// Counts of one link, summed at the end.
struct Totals {
  uint64_t exchanges = 0;
  uint64_t succeeded = 0;
  uint64_t failed = 0;
  uint64_t failuresLogged = 0;
  uint64_t quietFailures = 0;             // commands that write no line by design
  uint64_t failuresWithCode = 0;
  uint64_t failuresWithoutFreshCode = 0;  // reply of the wrong length: no error record by design
  uint64_t checkedSuccesses = 0;
  uint64_t faultedExchanges = 0;          // a reply of theirs was spoiled (noise aside)
  uint64_t noiseOnlyExchanges = 0;
  uint64_t faultedButSucceeded = 0;      // a query or scan read that still got its reply
  uint64_t acknowledgementFaults = 0;    // a setting whose acknowledgement was spoiled: success by design
  uint64_t afterFailure = 0;
  uint64_t afterFailureSucceeded = 0;
  uint64_t afterFailureFaulted = 0;
  uint64_t repliesSent = 0;
  std::array<uint64_t, sim::kFaultKindCount> injected{};
  std::map<int32_t, uint64_t> codes;

  // Defects.
  uint64_t wrongData = 0;
  uint64_t notApplied = 0;
  uint64_t areaChanged = 0;
  uint64_t unlogged = 0;
  uint64_t linesOnSuccess = 0;
  uint64_t unexplainedFailures = 0;
  uint64_t afterFailureFailed = 0;
  uint64_t overBound = 0;

  double worstMs = 0;
  uint32_t worstBoundMs = 0;
  std::string worstName;
  double worstExcessMs = -1e9;  // elapsed - bound, largest
  std::string worstExcessName;

  std::vector<std::string> examples;  // first defects, for the report
};

void Note(Totals& t, const std::string& text) {
  if (t.examples.size() < 8) t.examples.push_back(text);
}

bool RunLink(const Options& o, unsigned index, uint64_t exchanges, Totals& t, std::string& error) {
  const bool krv02Family = index % 2 == 0;
  const bool crc = (index / 2) % 2 == 1;

  sim::SensorConfig config;
  config.model = krv02Family ? "0 M7-30-6" : "0 M3-9-6";
  config.checkMode = crc ? 1 : 0;
  config.seed = o.seed * 1000003u + index;
  for (int k = 0; k < sim::kFaultKindCount; ++k) {
    config.faults.rules[static_cast<size_t>(k)].probability = o.faultRate / sim::kFaultKindCount;
  }
  config.faults.delay = std::chrono::milliseconds(o.delayMs);
  sim::VirtualSensor sensor(config);
  if (!sensor.Start()) {
    error = "link " + std::to_string(index) + ": virtual sensor: " + sensor.LastError();
    return false;
  }
  // Fixed live values and a full scan buffer, so every reply can be judged.
  sensor.Mutate([&](sim::SensorState& s) {
    s.live.animate = false;
    s.live.basePix = 100;
    s.live.sumPix = static_cast<uint16_t>(5000 + index);
    s.live.numPix = 12;
    s.live.subPix = 7;
    s.live.range = static_cast<uint16_t>(12345 + index);
    s.live.laserPower = 77;
    s.live.peak = 900;
    for (size_t i = 0; i < s.scanBuffer.size(); ++i) {
      s.scanBuffer[i] = static_cast<uint16_t>((i * 37 + index * 1009) & 0xFFFF);
    }
    s.scanFill = s.scanBuffer.size();
  });

  PacketLink link;
  if (!link.ConnectDevice(sensor.SlavePath(), 57600, 0, 0, 8, 100, 100)) {
    error = "link " + std::to_string(index) + ": " + link.errorText();
    return false;
  }
  StepSink sink;
  SensorCommands commands;
  commands.AttachLink(&link);
  commands.UseAddress(1);
  commands.UseCheckMode(crc ? 1 : 0);
  commands.SetLogSink(&sink);

  soak::TimeRules rules;
  rules.budgetMs = PacketLink::kBudgetMs;
  rules.recoveryMs = PacketLink::kRecoverPauseMs;
  rules.portTimeoutMs = 100;
  soak::CommandMix mix(commands, sensor, krv02Family, config.seed ^ 0x5eed, rules);

  bool previousFailed = false;
  sim::FaultCounts before = sensor.Snapshot().injected;
  for (uint64_t n = 0; n < exchanges; ++n) {
    sink.lines.clear();
    // A fresh record, so a failure shows whether it wrote one.
    link.error().code = 0;
    link.error().text[0] = '\0';

    const soak::StepResult r = mix.Step();
    const sim::FaultCounts after = sensor.Snapshot().injected;
    uint64_t spoiled = 0;
    for (int k = 0; k < sim::kFaultKindCount; ++k) {
      if (k == static_cast<int>(sim::FaultKind::kNoise)) continue;
      spoiled += after.count[static_cast<size_t>(k)] - before.count[static_cast<size_t>(k)];
    }
    const bool noise = after.of(sim::FaultKind::kNoise) != before.of(sim::FaultKind::kNoise);
    before = after;

    ++t.exchanges;
    if (spoiled > 0) ++t.faultedExchanges;
    if (spoiled == 0 && noise) ++t.noiseOnlyExchanges;
    const std::string where = "link " + std::to_string(index) + " #" + std::to_string(n) + " " + r.name;

    if (r.ok) {
      ++t.succeeded;
      if (spoiled > 0) ++(r.setting ? t.acknowledgementFaults : t.faultedButSucceeded);
      if (r.checked) ++t.checkedSuccesses;
      if (!sink.lines.empty()) {
        ++t.linesOnSuccess;
        Note(t, where + ": success wrote \"" + sink.lines.front().second + "\"");
      }
      if (!r.wrongData.empty()) {
        ++t.wrongData;
        Note(t, where + ": wrong data accepted: " + r.wrongData);
      }
    } else {
      ++t.failed;
      const std::string prefix = "Command " + r.name + " failed. ";
      const bool logged = sink.lines.size() == 1 && sink.lines[0].first == kLogError &&
                          sink.lines[0].second.rfind(prefix, 0) == 0;
      if (r.quiet && sink.lines.empty()) {
        ++t.quietFailures;
      } else if (logged) {
        ++t.failuresLogged;
      } else {
        ++t.unlogged;
        Note(t, where + ": failure without its line (" + std::to_string(sink.lines.size()) + " lines)");
      }
      if (link.errorCode() != 0) {
        ++t.failuresWithCode;
        ++t.codes[link.errorCode()];
      } else {
        ++t.failuresWithoutFreshCode;
      }
      if (r.areaChangedOnFailure) {
        ++t.areaChanged;
        Note(t, where + ": failed but changed its reply area");
      }
      if (spoiled == 0) {
        ++t.unexplainedFailures;
        Note(t, where + ": failed though none of its replies was spoiled: " + link.errorText());
      }
    }
    if (!r.notApplied.empty()) {
      ++t.notApplied;
      Note(t, where + ": setting not taken: " + r.notApplied);
    }
    if (previousFailed) {
      ++t.afterFailure;
      if (r.ok) {
        ++t.afterFailureSucceeded;
      } else if (spoiled > 0) {
        ++t.afterFailureFaulted;
      } else {
        ++t.afterFailureFailed;
      }
    }
    previousFailed = !r.ok;

    if (r.elapsedMs > t.worstMs) {
      t.worstMs = r.elapsedMs;
      t.worstBoundMs = r.boundMs;
      t.worstName = r.name;
    }
    const double excess = r.elapsedMs - r.boundMs;
    if (excess > t.worstExcessMs) {
      t.worstExcessMs = excess;
      t.worstExcessName = r.name;
    }
    if (excess > o.slackMs) {
      ++t.overBound;
      char text[160];
      std::snprintf(text, sizeof text, ": took %.1f ms, bound %u ms", r.elapsedMs, r.boundMs);
      Note(t, where + text);
    }
  }
  const sim::SensorState end = sensor.Snapshot();
  t.repliesSent = end.activity.repliesSent;
  for (size_t k = 0; k < t.injected.size(); ++k) t.injected[k] = end.injected.count[k];
  link.Disconnect();
  sensor.Stop();
  return true;
}

void Add(Totals& sum, const Totals& t) {
  sum.exchanges += t.exchanges;
  sum.succeeded += t.succeeded;
  sum.failed += t.failed;
  sum.failuresLogged += t.failuresLogged;
  sum.quietFailures += t.quietFailures;
  sum.failuresWithCode += t.failuresWithCode;
  sum.failuresWithoutFreshCode += t.failuresWithoutFreshCode;
  sum.checkedSuccesses += t.checkedSuccesses;
  sum.faultedExchanges += t.faultedExchanges;
  sum.noiseOnlyExchanges += t.noiseOnlyExchanges;
  sum.faultedButSucceeded += t.faultedButSucceeded;
  sum.acknowledgementFaults += t.acknowledgementFaults;
  sum.afterFailure += t.afterFailure;
  sum.afterFailureSucceeded += t.afterFailureSucceeded;
  sum.afterFailureFaulted += t.afterFailureFaulted;
  sum.repliesSent += t.repliesSent;
  for (size_t k = 0; k < sum.injected.size(); ++k) sum.injected[k] += t.injected[k];
  for (const auto& [code, n] : t.codes) sum.codes[code] += n;
  sum.wrongData += t.wrongData;
  sum.notApplied += t.notApplied;
  sum.areaChanged += t.areaChanged;
  sum.unlogged += t.unlogged;
  sum.linesOnSuccess += t.linesOnSuccess;
  sum.unexplainedFailures += t.unexplainedFailures;
  sum.afterFailureFailed += t.afterFailureFailed;
  sum.overBound += t.overBound;
  if (t.worstMs > sum.worstMs) {
    sum.worstMs = t.worstMs;
    sum.worstBoundMs = t.worstBoundMs;
    sum.worstName = t.worstName;
  }
  if (t.worstExcessMs > sum.worstExcessMs) {
    sum.worstExcessMs = t.worstExcessMs;
    sum.worstExcessName = t.worstExcessName;
  }
  for (const std::string& e : t.examples) Note(sum, e);
}

uint64_t Defects(const Totals& t) {
  return t.wrongData + t.notApplied + t.areaChanged + t.unlogged + t.linesOnSuccess +
         t.unexplainedFailures + t.afterFailureFailed + t.overBound;
}

void Report(const Options& o, const Totals& t, double wallSeconds) {
  std::printf("fault-soak: %llu exchanges on %u links, seed %llu, fault rate %.3f per reply, late replies %u ms\n",
              static_cast<unsigned long long>(t.exchanges), o.links, static_cast<unsigned long long>(o.seed),
              o.faultRate, o.delayMs);
  std::printf("  wall time                       %.1f s\n", wallSeconds);
  std::printf("  replies sent by the sensors     %llu\n", static_cast<unsigned long long>(t.repliesSent));
  uint64_t injected = 0;
  std::printf("  faults injected                ");
  for (int k = 0; k < sim::kFaultKindCount; ++k) {
    injected += t.injected[static_cast<size_t>(k)];
    std::printf(" %s %llu", sim::FaultKindName(static_cast<sim::FaultKind>(k)),
                static_cast<unsigned long long>(t.injected[static_cast<size_t>(k)]));
  }
  std::printf(" (total %llu, %.2f%% of replies)\n", static_cast<unsigned long long>(injected),
              t.repliesSent ? 100.0 * static_cast<double>(injected) / static_cast<double>(t.repliesSent) : 0.0);
  std::printf("  exchanges with a spoiled reply  %llu (and with only noise before a reply: %llu)\n",
              static_cast<unsigned long long>(t.faultedExchanges), static_cast<unsigned long long>(t.noiseOnlyExchanges));
  std::printf("  succeeded                       %llu (data compared with the sensor: %llu)\n",
              static_cast<unsigned long long>(t.succeeded), static_cast<unsigned long long>(t.checkedSuccesses));
  std::printf("    despite a spoiled reply       settings whose acknowledgement was spoiled %llu (sent is done),\n"
              "                                  queries that still got their reply %llu\n",
              static_cast<unsigned long long>(t.acknowledgementFaults),
              static_cast<unsigned long long>(t.faultedButSucceeded));
  std::printf("  failures reported               %llu (with their log line: %llu; with an error code: %llu;\n",
              static_cast<unsigned long long>(t.failed), static_cast<unsigned long long>(t.failuresLogged),
              static_cast<unsigned long long>(t.failuresWithCode));
  std::printf("                                  of GetNumHoldScans, which writes no line by design: %llu;\n",
              static_cast<unsigned long long>(t.quietFailures));
  std::printf("                                  without a fresh code: %llu - a reply of the wrong length keeps the previous text by design)\n",
              static_cast<unsigned long long>(t.failuresWithoutFreshCode));
  std::printf("  failure codes                  ");
  for (const auto& [code, n] : t.codes) std::printf(" %d: %llu", code, static_cast<unsigned long long>(n));
  std::printf("\n");
  std::printf("  exchanges right after a failure %llu (succeeded %llu, own reply spoiled %llu, failed otherwise %llu)\n",
              static_cast<unsigned long long>(t.afterFailure), static_cast<unsigned long long>(t.afterFailureSucceeded),
              static_cast<unsigned long long>(t.afterFailureFaulted),
              static_cast<unsigned long long>(t.afterFailureFailed));
  std::printf("  wrong data accepted             %llu\n", static_cast<unsigned long long>(t.wrongData));
  std::printf("  settings not taken              %llu\n", static_cast<unsigned long long>(t.notApplied));
  std::printf("  reply areas changed by failures %llu\n", static_cast<unsigned long long>(t.areaChanged));
  std::printf("  failures without their line     %llu\n", static_cast<unsigned long long>(t.unlogged));
  std::printf("  failures with no spoiled reply  %llu\n", static_cast<unsigned long long>(t.unexplainedFailures));
  std::printf("  longest call                    %s %.1f ms (its bound %u ms)\n", t.worstName.c_str(), t.worstMs,
              t.worstBoundMs);
  std::printf("  closest to its bound            %s, %.1f ms %s the bound (slack allowed %u ms)\n",
              t.worstExcessName.c_str(), t.worstExcessMs < 0 ? -t.worstExcessMs : t.worstExcessMs,
              t.worstExcessMs < 0 ? "under" : "over", o.slackMs);
  std::printf("  calls over their bound          %llu\n", static_cast<unsigned long long>(t.overBound));
  std::printf("  bound of a command: per reply waited for, budget %u ms + port time-out %u ms;\n"
              "  plus the recovery pause %u ms and the command's own pauses\n",
              PacketLink::kBudgetMs, 100u, PacketLink::kRecoverPauseMs);
  for (const std::string& e : t.examples) std::printf("  ! %s\n", e.c_str());
  std::printf("result: %s\n", Defects(t) == 0 && t.exchanges == o.exchanges ? "PASS" : "FAIL");
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, o)) {
    Usage();
    return 2;
  }
  const unsigned links = static_cast<unsigned>(std::min<uint64_t>(o.links, std::max<uint64_t>(o.exchanges, 1)));
  std::vector<Totals> totals(links);
  std::vector<std::string> errors(links);
  std::vector<std::thread> threads;
  std::atomic<bool> setupFailed{false};
  const auto start = std::chrono::steady_clock::now();
  for (unsigned i = 0; i < links; ++i) {
    const uint64_t share = o.exchanges / links + (i < o.exchanges % links ? 1 : 0);
    threads.emplace_back([&, i, share] {
      if (!RunLink(o, i, share, totals[i], errors[i])) setupFailed = true;
    });
  }
  for (std::thread& t : threads) t.join();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (setupFailed) {
    for (const std::string& e : errors) {
      if (!e.empty()) std::fprintf(stderr, "fault-soak: %s\n", e.c_str());
    }
    return 2;
  }
  Totals sum;
  for (const Totals& t : totals) Add(sum, t);
  o.links = links;
  Report(o, sum, wall);
  return Defects(sum) == 0 && sum.exchanges == o.exchanges ? 0 : 1;
}
