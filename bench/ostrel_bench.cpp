// Ostrel's link layer: what its waits cost, and how close its firmware
// upload comes to the line time.
//
//   1. Idle: WaitMs(5000), then 10 polls of GetRange with the 500 ms
//      time-out on a line without a sensor (each poll waits out its
//      deadline). CPU time of this process as a share of one core.
//      Target: < 1 % each.
//   2. Upload: Connect to `sensor-sim --throttle` (a board flipper, a
//      process of its own) at 57600 bit/s, then a 65,536-byte DSP image
//      through the upload operation. The transfer is timed from the moment
//      the progress bar appears (just before block 1) to 100 % (EOT
//      acknowledged); its limit is the line time of the bytes that crossed
//      the line meanwhile: 512 blocks of 133 bytes (resent ones again), EOT,
//      and the receiver's answers counted from its trace ("C", ACK, NAK).
//      Target: <= 1.05 x line time.
//
//   3. Unplugged: a line whose far end closes (the master of a
//      pseudo-terminal), then WaitMs(5000) with the port as the hang-up
//      left it. CPU time of this process as a share of one core.
//      Target: < 1 %.
//   4. Polling (--poll): the window, offscreen, polls the Spot page of
//      `sensor-sim --throttle` at 57600 bit/s with the range chart visible
//      for --poll-seconds (default 70). Polls per second and CPU time are
//      taken over the first 5 seconds (chart nearly empty) and over the
//      last 5 (the chart holds a full minute, the most it ever holds, so
//      every later minute costs the same). Targets: < 5 % of one core in
//      both, and the rate with a full chart at least 0.9 x the first.
//
//      It runs twice: with the paced sensor handing over each byte at its
//      own time (a wake-up of the window per byte, the worst case), and
//      with the same pacing but the bytes handed over in bursts every
//      --burst-ms (default 1) ms, as a USB serial adapter delivers them
//      once per USB frame. The targets are judged on the second run; the
//      first is reported beside it.
//
//      --unpaced: instead of both, the sensor without line pacing (replies
//      arrive whole and as fast as the machine allows); for the CPU per
//      poll without a wake-up per byte.
//
//   bench_ostrel [--skip-idle] [--skip-upload] [--skip-unplug] [--poll]
//                [--poll-seconds N] [--unpaced] [--burst-ms N] [--baud RATE]

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "ostrel/operations/operations.h"
#include "ostrel/ui/main_window.h"
#include "serial/port_resolver.h"
#include "support/pty_peer.h"
#include "ui_common/range_chart.h"

namespace {

// Says yes to everything and notes when the progress bar moves.
struct BenchView : ostrel::OstrelView {
  std::string file;
  std::string status;
  bench::Clock::time_point transferStart{};
  bench::Clock::time_point transferEnd{};
  void SetStatus(const std::string& text) override { status = text; }
  void SetComErrors(unsigned long long) override {}
  void ShowInputError(const std::string& text, ostrel::Field) override { status = text; }
  void ShowInformation(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return true; }
  std::string ChooseFile(const std::string&, int, const std::string&) override { return file; }
  std::string ChoosePort(const std::vector<FoundPort>&) override { return std::string(); }
  void SetProgress(bool visible, int percent) override {
    if (visible && percent == 0) transferStart = bench::Clock::now();
    if (visible && percent == 100) transferEnd = bench::Clock::now();
  }
  void SetConnected(bool) override {}
  void FieldsChanged() override {}
  void StoreConnection(int, int, const std::string&) override {}
};

bool IdleCost() {
  PtyPeer line;  // nobody answers on it
  ostrel::OstrelLink link;
  std::string reason;
  if (!line.ok() || !link.port().Open(line.path(), 57600, &reason)) {
    bench::PrintLine("ostrel idle: could not open a line: " + reason);
    return false;
  }
  bool met = true;
  const auto report = [&met](const char* what, double cpu, double wall, const std::string& detail) {
    const double share = 100.0 * cpu / wall;
    met = met && share < 1.0;
    char text[256];
    std::snprintf(text, sizeof text, "ostrel %s: CPU %.4f s in %.3f s = %.3f %% of one core %s", what, cpu, wall,
                  share, bench::TargetText("< 1 %", share < 1.0).c_str());
    bench::PrintLine(text);
    if (!detail.empty()) bench::PrintLine("  " + detail);
  };

  double cpu = bench::ProcessCpuSeconds();
  auto start = bench::Clock::now();
  link.WaitMs(5000);
  report("idle wait (WaitMs 5000)", bench::ProcessCpuSeconds() - cpu, bench::Seconds(bench::Clock::now() - start),
         "");

  constexpr int kPolls = 10;
  int noResponse = 0;
  cpu = bench::ProcessCpuSeconds();
  start = bench::Clock::now();
  for (int i = 0; i < kPolls; ++i) {
    link.SendFrame(12, 1, {}, false);
    ostrel::Reply reply;
    if (!link.ReceiveFrame(false, 500, reply) && link.receiveStatus() == ostrel::kNoResponse) ++noResponse;
  }
  const double wall = bench::Seconds(bench::Clock::now() - start);
  report("poll without a sensor (GetRange, 500 ms time-out)", bench::ProcessCpuSeconds() - cpu, wall,
         std::to_string(kPolls) + " polls, " + std::to_string(noResponse) + " ended by the deadline, " +
             std::to_string(wall / kPolls * 1000.0).substr(0, 5) + " ms each");
  return met;
}

// Bytes the receiver sent during the transfer ("C", ACK, NAK), from its
// trace: every "tx" line that is not a reply frame, after "receiver started".
void ReceiverAnswers(const std::string& tracePath, uint64_t& answers, uint64_t& naks) {
  std::ifstream file(tracePath);
  std::string line;
  bool started = false;
  while (std::getline(file, line)) {
    std::istringstream in(line);
    std::string time, label, token;
    in >> time >> label;
    if (label == "xmodem") {
      started = started || line.find("receiver started") != std::string::npos;
      continue;
    }
    if (!started || label != "tx") continue;
    std::vector<std::string> bytes;
    while (in >> token && token.size() == 2) bytes.push_back(token);
    if (bytes.empty() || bytes[0] == "02") continue;
    answers += bytes.size();
    for (const std::string& b : bytes) naks += b == "15" ? 1 : 0;
  }
}

bool UploadTime(int32_t baud) {
  constexpr size_t kSize = 65536;
  bench::TempDir dir;
  std::vector<uint8_t> image(kSize);
  uint32_t seed = 4242;
  for (uint8_t& b : image) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  BenchView view;
  view.file = dir.File("dsp.bin");
  std::ofstream(view.file, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  const std::string tracePath = dir.File("trace.txt");

  bench::PrintLine("== Ostrel upload: 65536-byte DSP image @" + std::to_string(baud) +
                   ", sensor-sim --throttle as a separate process; " + bench::LoadText());
  bench::SensorSimProcess sim(
      {"--model", "krv04bf", "--baud", std::to_string(baud), "--throttle", "--trace-file", tracePath});
  std::string error;
  if (!sim.Start(error)) {
    bench::PrintLine("ostrel upload: could not run: " + error);
    return false;
  }
  PortResolver::SetPortMap({{1, sim.slavePath()}});
  ostrel::OstrelLink link;
  ostrel::WindowFields fields;
  fields.port = 0;
  for (int i = 0; i < 4; ++i)
    if (ostrel::kBaudRates[i] == baud) fields.hostBaud = i;
  ostrel::Operations operations(link, fields, view);
  operations.Connect();
  if (!operations.connected()) {
    bench::PrintLine("ostrel upload: could not connect: " + view.status);
    return false;
  }
  const double cpu = bench::ProcessCpuSeconds();
  const auto start = bench::Clock::now();
  operations.Upload();
  const double whole = bench::Seconds(bench::Clock::now() - start);
  const double cpuUsed = bench::ProcessCpuSeconds() - cpu;
  if (view.status != "Success!") {
    bench::PrintLine("ostrel upload: ended with \"" + view.status + "\"");
    return false;
  }
  sim.Stop();
  uint64_t answers = 0;
  uint64_t naks = 0;
  ReceiverAnswers(tracePath, answers, naks);
  const uint64_t blocks = kSize / 128;
  const uint64_t bytes = (blocks + naks) * 133 + 1 + answers;
  const double line = bench::LineSeconds(bytes, baud);
  const double transfer = bench::Seconds(view.transferEnd - view.transferStart);
  const double ratio = transfer / line;
  char text[512];
  std::snprintf(text, sizeof text,
                "ostrel upload 65536 bytes @%d: transfer %.3f s, line time %.3f s, ratio %.3f %s", static_cast<int>(baud),
                transfer, line, ratio, bench::TargetText("<= 1.05", ratio <= 1.05).c_str());
  bench::PrintLine(text);
  std::snprintf(text, sizeof text,
                "  %llu bytes on the line (%llu NAK); whole operation %.3f s (fixed waits 0.200 s: unlock 2 x 50 ms, "
                "100 ms at the end); CPU %.3f s (%.1f %% of one core)",
                static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(naks), whole, cpuUsed,
                100.0 * cpuUsed / whole);
  bench::PrintLine(text);
  return ratio <= 1.05;
}

// The far end of the line goes away while the port is open and idle.
bool UnpluggedCost() {
  PtyPeer line;
  ostrel::OstrelLink link;
  std::string reason;
  if (!line.ok() || !link.port().Open(line.path(), 57600, &reason)) {
    bench::PrintLine("ostrel unplugged: could not open a line: " + reason);
    return false;
  }
  line.CloseMaster();  // what pulling the adapter looks like to the port
  const double cpu = bench::ProcessCpuSeconds();
  const auto start = bench::Clock::now();
  link.WaitMs(5000);
  const double used = bench::ProcessCpuSeconds() - cpu;
  const double wall = bench::Seconds(bench::Clock::now() - start);
  const double share = 100.0 * used / wall;
  const bool met = share < 1.0 && link.port().HungUp();
  char text[256];
  std::snprintf(text, sizeof text, "ostrel unplugged (far end closed, WaitMs 5000): CPU %.4f s in %.3f s = %.3f %% of one core %s",
                used, wall, share, bench::TargetText("< 1 %", share < 1.0).c_str());
  bench::PrintLine(text);
  bench::PrintLine(std::string("  port ") + (link.port().HungUp() ? "closed as hung up" : "still open"));
  return met;
}

// Requests of `command` the sensor received so far, from its trace file.
uint64_t RequestsSoFar(const std::string& tracePath, int command) {
  std::ifstream file(tracePath);
  std::string line;
  uint64_t n = 0;
  char id[4];
  std::snprintf(id, sizeof id, "%02X", command);
  while (std::getline(file, line)) {
    std::istringstream in(line);
    std::string time, label, stx, address, length, cmd;
    in >> time >> label >> stx >> address >> length >> cmd;
    if (label == "rx" && cmd == id) ++n;
  }
  return n;
}

// burstMs: 0 for each byte at its own time, else the period of the bursts
// the paced sensor's bytes are handed over in. `judged`: whether its
// figures are held against the targets or only reported.
bool PollingCost(int32_t baud, int seconds, bool paced, int burstMs, bool judged) {
  bench::TempDir dir;
  const std::string tracePath = dir.File("trace.txt");
  const std::string burst = burstMs > 0 ? " --burst-ms " + std::to_string(burstMs) : std::string();
  const std::string delivery =
      !paced ? "unpaced" : burstMs > 0 ? "in " + std::to_string(burstMs) + " ms bursts" : "byte by byte";
  bench::PrintLine(std::string("== Ostrel polling with the range chart: sensor-sim") + (paced ? " --throttle" : "") +
                   burst + " @" + std::to_string(baud) + ", " + std::to_string(seconds) + " s; " + bench::LoadText());
  std::vector<std::string> options = {"--model", "krv04bf", "--baud", std::to_string(baud), "--trace-file", tracePath};
  if (paced) options.push_back("--throttle");
  if (paced && burstMs > 0) {
    options.push_back("--burst-ms");
    options.push_back(std::to_string(burstMs));
  }
  bench::SensorSimProcess sim(options);
  std::string error;
  if (!sim.Start(error)) {
    bench::PrintLine("ostrel polling: could not run: " + error);
    return false;
  }
  const std::string ini = dir.File("Ostrel.ini");
  std::ofstream(ini, std::ios::binary) << "[CommPort]\r\nPort=1\r\n[BaudRate]\r\nBaud=" << baud
                                       << "\r\n[Port Map]\r\nCOM1=" << sim.slavePath() << "\r\n";
  ostrel::MainWindow window(ini, "");
  window.show();
  window.findChild<QPushButton*>("btnConnect")->click();
  if (!window.operations().connected()) {
    bench::PrintLine("ostrel polling: could not connect");
    return false;
  }
  window.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(2);
  QApplication::processEvents();

  struct Sample {
    double cpu;
    bench::Clock::time_point at;
    uint64_t polls;
  };
  std::vector<Sample> samples;
  const auto take = [&] {
    const double cpu = bench::ProcessCpuSeconds();
    const auto at = bench::Clock::now();
    samples.push_back({cpu, at, RequestsSoFar(tracePath, 12)});
  };
  // Samples at 1 s (the first poll has gone out), 6 s, seconds - 5 and
  // seconds; then Stop.
  const int times[] = {1000, 6000, (seconds - 5) * 1000, seconds * 1000};
  for (const int ms : times) QTimer::singleShot(ms, &window, take);
  QTimer::singleShot(seconds * 1000 + 10, &window, [&] { window.findChild<QPushButton*>("btnStop")->click(); });
  window.findChild<QPushButton*>("btnStart")->click();  // returns when stopped
  if (samples.size() != 4) {
    bench::PrintLine("ostrel polling: samples missing");
    return false;
  }
  const auto window5 = [&](const Sample& a, const Sample& b, double& rate, double& share) {
    const double wall = bench::Seconds(b.at - a.at);
    rate = static_cast<double>(b.polls - a.polls) / wall;
    share = 100.0 * (b.cpu - a.cpu) / wall;
  };
  double rateStart = 0, shareStart = 0, rateFull = 0, shareFull = 0;
  window5(samples[0], samples[1], rateStart, shareStart);
  window5(samples[2], samples[3], rateFull, shareFull);
  const bool cpuMet = shareStart < 5.0 && shareFull < 5.0;
  const bool flat = rateFull >= 0.9 * rateStart;
  char text[512];
  const auto target = [judged](const char* limit, bool met) {
    return judged ? bench::TargetText(limit, met) : std::string("(reference, not judged)");
  };
  std::snprintf(text, sizeof text,
                "ostrel polling @%d %s, chart visible: first 5 s %.1f polls/s, CPU %.2f %% of one core; last 5 s "
                "(chart full, %zu points) %.1f polls/s, CPU %.2f %% %s; rate ratio %.2f %s",
                static_cast<int>(baud), delivery.c_str(), rateStart, shareStart,
                window.findChild<ui_common::RangeChart*>("rangeChart")->points(), rateFull, shareFull,
                target("< 5 %", cpuMet).c_str(), rateFull / rateStart, target(">= 0.90", flat).c_str());
  bench::PrintLine(text);
  // CPU per poll does not depend on how fast the loaded machine let the
  // sensor answer.
  std::snprintf(text, sizeof text, "  CPU per poll: %.3f ms first, %.3f ms with the chart full",
                10.0 * shareStart / rateStart, 10.0 * shareFull / rateFull);
  bench::PrintLine(text);
  return !judged || (cpuMet && flat);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  bool idle = true;
  bool upload = true;
  bool unplug = true;
  bool poll = false;
  int pollSeconds = 70;
  bool paced = true;
  int burstMs = 1;
  int32_t baud = 57600;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--skip-idle") == 0) {
      idle = false;
    } else if (std::strcmp(argv[i], "--skip-upload") == 0) {
      upload = false;
    } else if (std::strcmp(argv[i], "--skip-unplug") == 0) {
      unplug = false;
    } else if (std::strcmp(argv[i], "--poll") == 0) {
      poll = true;
    } else if (std::strcmp(argv[i], "--unpaced") == 0) {
      paced = false;
    } else if (std::strcmp(argv[i], "--burst-ms") == 0 && i + 1 < argc) {
      burstMs = std::clamp(std::atoi(argv[++i]), 1, 100);
    } else if (std::strcmp(argv[i], "--poll-seconds") == 0 && i + 1 < argc) {
      pollSeconds = std::max(15, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--baud") == 0 && i + 1 < argc) {
      baud = static_cast<int32_t>(std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr,
                   "usage: bench_ostrel [--skip-idle] [--skip-upload] [--skip-unplug] [--poll] [--poll-seconds N] "
                   "[--unpaced] [--burst-ms N] [--baud RATE]\n");
      return 2;
    }
  }
  bool met = true;
  if (idle) met = IdleCost() && met;
  if (upload) met = UploadTime(baud) && met;
  if (unplug) met = UnpluggedCost() && met;
  if (poll && !paced) met = PollingCost(baud, pollSeconds, false, 0, false) && met;
  if (poll && paced) {
    met = PollingCost(baud, pollSeconds, true, 0, false) && met;
    met = PollingCost(baud, pollSeconds, true, burstMs, true) && met;
  }
  return met ? 0 : 1;
}
