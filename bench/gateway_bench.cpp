// Serial device servers: the same work on the local pseudo-terminal and
// through Debian's ser2net on 127.0.0.1, in one run, against one throttled
// sensor-sim (a process of its own, so the line keeps its own pace):
//
//   1. query round trip: dcs_Query GetModelName, local, then through the
//      RFC 2217 and the raw TCP accepter;
//   2. a 65,536-byte DSP image through XmodemSender (unlock, UploadCode,
//      Reset, every byte, lock), local, then through the RFC 2217 accepter;
//   3. a bus scan of addresses 1 to 255 in both check modes (sensors at 1,
//      17 and 254), local, then through the RFC 2217 accepter.
//
// Each gateway figure is given for ser2net as installed (its default
// gathering of the line's bytes, "chardelay") and with "chardelay: false",
// the configuration the README shows. The targets hold for the latter: the
// upload within 1.10 x its local time, the query's median within 2 ms of
// the local one.
//
//   bench_gateway [--count N] [--size BYTES] [--skip-upload] [--skip-scan]

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "protocol/command_ids.h"
#include "protocol/frame.h"
#include "protocol/packet_link.h"
#include "protocol/sensor_commands.h"
#include "protocol/xmodem_sender.h"
#include "support/ser2net_gateway.h"
#include "tarkon/fleet/bus_scan.h"

namespace {

constexpr int32_t kBaud = 57600;
constexpr double kUploadRatioTarget = 1.10;
constexpr double kQueryExtraMsTarget = 2.0;
constexpr size_t kModelNameLength = 16;

struct Line {
  std::string label;  // "local", "rfc2217 (chardelay: false)", ...
  std::string port;   // what PacketLink opens
  bool targeted = false;  // the figures the targets hold for
};

bool Open(PacketLink& link, const Line& line, uint32_t readTimeoutMs) {
  if (link.ConnectDevice(line.port, kBaud, 0, 0, 8, 100, readTimeoutMs)) return true;
  bench::PrintLine(line.label + ": could not open " + line.port + ": " + link.errorText());
  return false;
}

// --- 1. query round trip ------------------------------------------------------

struct QueryFigures {
  double medianMs = 0;
  double p99Ms = 0;
  int failures = 0;
};

bool Query(const Line& line, int count, QueryFigures& f) {
  PacketLink link;
  if (!Open(link, line, 100)) return false;
  link.Drain();
  uint8_t reply[kModelNameLength] = {};
  for (int i = 0; i < 10; ++i) link.dcs_Query(1, frame::kChecksum, cmd::GetModelName, nullptr, 0, reply, sizeof reply);
  std::vector<double> ms;
  for (int i = 0; i < count; ++i) {
    const auto start = bench::Clock::now();
    if (!link.dcs_Query(1, frame::kChecksum, cmd::GetModelName, nullptr, 0, reply, sizeof reply)) ++f.failures;
    ms.push_back(bench::Milliseconds(bench::Clock::now() - start));
  }
  f.medianMs = bench::Median(ms);
  f.p99Ms = bench::Percentile(ms, 99);
  link.Disconnect();
  return true;
}

// --- 2. upload ----------------------------------------------------------------

bool Upload(const Line& line, const std::vector<uint8_t>& image, double& seconds) {
  PacketLink link;
  if (!Open(link, line, 100)) return false;
  SensorCommands commands;
  commands.AttachLink(&link);
  commands.UseAddress(1);
  commands.UseCheckMode(frame::kChecksum);
  link.Drain();
  if (!commands.WriteFlashProtect1(0x3C) || !commands.WriteFlashProtect2(0xC3) || !commands.UploadCode()) {
    bench::PrintLine(line.label + ": the sensor refused the announcement: " + commands.lastMessage());
    return false;
  }
  XmodemSender sender(&link);
  sender.Reset();
  int32_t state = 0;
  const auto start = bench::Clock::now();
  for (size_t i = 0; i + 1 < image.size() && state == 0; ++i) state = sender.Put(image[i], false);
  if (state == 0) state = sender.Put(image.back(), true);
  seconds = bench::Seconds(bench::Clock::now() - start);
  if (commands.WriteFlashProtect1(0)) commands.WriteFlashProtect2(0);
  link.Disconnect();
  if (state != 0) bench::PrintLine(line.label + ": the transfer failed with state " + std::to_string(state));
  return state == 0;
}

// --- 3. bus scan --------------------------------------------------------------

bool Scan(const Line& line, double& seconds, size_t& found, uint32_t& allowanceMs) {
  PacketLink link;
  // A platform read bound of 2 ms, as the scan opens its line.
  if (!Open(link, line, 2)) return false;
  allowanceMs = link.allowanceMs();
  fleet::BusScanOptions options;
  options.baudRates = {kBaud};
  std::vector<fleet::FoundSensor> sensors;
  std::string error;
  const auto start = bench::Clock::now();
  const bool ok = fleet::BusScanner(link).Scan(options, {}, sensors, error);
  seconds = bench::Seconds(bench::Clock::now() - start);
  found = sensors.size();
  link.Disconnect();
  if (!ok) bench::PrintLine(line.label + ": the scan failed: " + error);
  return ok;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 300;
  size_t size = 65536;
  bool runUpload = true;
  bool runScan = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc) {
      count = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
      size = std::max<size_t>(1, static_cast<size_t>(std::atol(argv[++i])));
    } else if (std::strcmp(argv[i], "--skip-upload") == 0) {
      runUpload = false;
    } else if (std::strcmp(argv[i], "--skip-scan") == 0) {
      runScan = false;
    } else {
      std::fprintf(stderr, "usage: bench_gateway [--count N] [--size BYTES] [--skip-upload] [--skip-scan]\n");
      return 2;
    }
  }
  if (!testsupport::Ser2netGateway::Installed()) {
    bench::PrintLine("gateway: could not run: ser2net is not installed (scripts/install-deps.sh installs it)");
    return 1;
  }
  bench::TempDir dir;
  bench::PrintLine("== Serial device server: sensor-sim --throttle @57600 locally and behind ser2net on 127.0.0.1; " +
                   bench::LoadText());
  bench::SensorSimProcess sim({"--throttle", "--sensor", "KRV04,address=1", "--sensor",
                               "KRV02,address=17,check-mode=crc", "--sensor", "KRV04,address=254,check-mode=crc"});
  std::string error;
  if (!sim.Start(error)) {
    bench::PrintLine("gateway: could not run: " + error);
    return 1;
  }
  // Two ser2net instances before the same line: as installed, and with
  // chardelay off. Each opens the line only while a client is connected.
  testsupport::Ser2netGateway asInstalled;
  testsupport::Ser2netGateway immediate;
  immediate.SetOptions({"chardelay: false"});
  for (testsupport::Ser2netGateway* g : {&asInstalled, &immediate}) {
    if (!g->Start(dir.path(), sim.slavePath(), &error)) {
      bench::PrintLine("gateway: could not run: " + error);
      return 1;
    }
  }
  const Line local{"local", sim.slavePath()};
  const Line telnetDefault{"rfc2217 (ser2net default)", asInstalled.Rfc2217Url()};
  const Line telnetImmediate{"rfc2217 (chardelay: false)", immediate.Rfc2217Url(), true};
  const Line rawDefault{"tcp (ser2net default)", asInstalled.TcpUrl()};
  const Line rawImmediate{"tcp (chardelay: false)", immediate.TcpUrl(), true};

  bool met = true;
  bool ran = true;

  // 1. Query round trip.
  QueryFigures localQuery;
  ran = Query(local, count, localQuery) && ran;
  bench::PrintLine("query round trip GetModelName, " + std::to_string(count) + " queries @57600 (line time of the 26 bytes " +
                   Fixed(bench::LineSeconds(26, kBaud) * 1000, 3) + " ms):");
  bench::PrintLine("  local: median " + Fixed(localQuery.medianMs, 3) + " ms, p99 " + Fixed(localQuery.p99Ms, 3) +
                   " ms, " + std::to_string(localQuery.failures) + " failed");
  for (const Line& line : {telnetDefault, telnetImmediate, rawDefault, rawImmediate}) {
    QueryFigures f;
    if (!Query(line, count, f)) {
      ran = false;
      continue;
    }
    const double extra = f.medianMs - localQuery.medianMs;
    std::string verdict;
    if (line.targeted) {
      const bool ok = extra <= kQueryExtraMsTarget && f.failures == 0;
      met = met && ok;
      verdict = " " + bench::TargetText("<= +2 ms", ok);
    }
    bench::PrintLine("  " + line.label + ": median " + Fixed(f.medianMs, 3) + " ms (" + (extra >= 0 ? "+" : "") +
                     Fixed(extra, 3) + " ms), p99 " + Fixed(f.p99Ms, 3) + " ms, " + std::to_string(f.failures) +
                     " failed" + verdict);
  }

  // 2. Upload.
  if (runUpload) {
    std::vector<uint8_t> image(size);
    uint32_t seed = 12345;
    for (uint8_t& b : image) {
      seed = seed * 1103515245u + 12345u;
      b = static_cast<uint8_t>(seed >> 16);
    }
    const uint64_t blocks = (size + 127) / 128;
    bench::PrintLine("firmware upload " + std::to_string(size) + " bytes @57600 (" + std::to_string(blocks) +
                     " blocks; line time of blocks, ACKs and EOT " +
                     bench::FormatSeconds(bench::LineSeconds(blocks * 134 + 2, kBaud)) + "):");
    double localSeconds = 0;
    if (!Upload(local, image, localSeconds)) return 1;
    bench::PrintLine("  local: " + bench::FormatSeconds(localSeconds));
    for (const Line& line : {telnetDefault, telnetImmediate}) {
      double seconds = 0;
      if (!Upload(line, image, seconds)) {
        ran = false;
        continue;
      }
      const double ratio = seconds / localSeconds;
      std::string verdict;
      if (line.targeted) {
        met = met && ratio <= kUploadRatioTarget;
        verdict = " " + bench::TargetText("<= 1.10", ratio <= kUploadRatioTarget);
      }
      bench::PrintLine("  " + line.label + ": " + bench::FormatSeconds(seconds) + ", " + Fixed(ratio, 3) +
                       " x local, " + Fixed((seconds - localSeconds) * 1000.0 / static_cast<double>(blocks), 2) +
                       " ms more a block" + verdict);
    }
  }

  // 3. Bus scan.
  if (runScan) {
    const uint32_t budget = fleet::ProbeBudgetMs(kBaud);
    bench::PrintLine("bus scan, addresses 1-255, checksum and CRC @57600, sensors at 1, 17 and 254 (probe budget " +
                     std::to_string(budget) + " ms, and a gateway's allowance on top):");
    for (const Line& line : {local, telnetDefault, telnetImmediate}) {
      double seconds = 0;
      size_t found = 0;
      uint32_t allowance = 0;
      if (!Scan(line, seconds, found, allowance)) {
        ran = false;
        continue;
      }
      ran = ran && found == 3;
      bench::PrintLine("  " + line.label + ": " + bench::FormatSeconds(seconds) + ", " + std::to_string(found) +
                       " of 3 found; probes of " + std::to_string(budget + allowance) + " ms");
    }
  }
  bench::PrintLine("  " + bench::LoadText());
  return ran && met ? 0 : 1;
}
