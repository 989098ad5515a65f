// Firmware upload: a 65,536-byte DSP image at 57600 bit/s to the virtual
// sensor, run as a program of its own with line-rate pacing in both
// directions (so the CPU time measured here is the host's alone).
//
//   1. XmodemSender, exactly as the upload procedure drives it: unlock the
//      flash, announce with UploadCode, Reset, Put every byte (the last one
//      marked), lock the flash again. Wall time and this process's CPU time
//      of the transfer (first Put to the return of the last).
//   2. The same image, through the same receiver, with lrzsz's sx as the
//      reference peer: the flash is unlocked and the upload announced the
//      same way, then sx owns the line (standard input and output on the
//      pseudo-terminal); its wall and CPU time come from wait4.
//
// The limit is the line time of every byte that crossed the line: the
// receiver's "C", 512 blocks of 133 bytes, an ACK for each, EOT and its ACK
// (the receiver's answers are counted from its trace; a NAK would add a
// resent block).
//
//   bench_firmware_upload [--baud RATE] [--size BYTES] [--skip-sx]

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "protocol/frame.h"
#include "protocol/packet_link.h"
#include "protocol/sensor_commands.h"
#include "protocol/xmodem_sender.h"

namespace {

constexpr size_t kBlockBytes = 3 + 128 + 2;  // SOH, number, complement, data, CRC
// What the sender must reach beside sx: the line's pace, a sleeping thread.
constexpr double kTargetRatio = 1.05;
constexpr double kTargetCorePercent = 5.0;

// One transfer as the receiver's trace shows it.
struct ReceiverView {
  bool found = false;
  std::string outcome;  // "completed, 512 blocks, 65536 bytes"
  uint64_t answers = 0;  // bytes the receiver sent: "C", ACK, NAK, CAN
  uint64_t naks = 0;
  uint64_t requests = 0;  // "C"
};

// The `index`-th transfer (from 0) in the trace of the sensor program: from
// its "receiver started" note to the next one (the ACK of EOT is traced
// just after the note that ends the transfer).
ReceiverView ReadTransfer(const std::string& tracePath, int index) {
  ReceiverView v;
  std::ifstream file(tracePath);
  std::string line;
  int seen = -1;
  while (std::getline(file, line)) {
    std::istringstream in(line);
    std::string time, label;
    in >> time >> label;
    if (label == "xmodem") {
      std::string rest;
      std::getline(in, rest);
      if (rest.find("receiver started") != std::string::npos) {
        if (++seen > index) break;
      } else if (seen == index && !v.found) {
        // " (completed, 512 blocks, 65536 bytes)"
        v.found = true;
        const size_t open = rest.find('(');
        const size_t close = rest.rfind(')');
        v.outcome = open != std::string::npos && close != std::string::npos && close > open
                        ? rest.substr(open + 1, close - open - 1)
                        : rest;
      }
      continue;
    }
    if (seen != index || label != "tx") continue;
    std::vector<std::string> bytes;
    std::string token;
    while (in >> token && token.size() == 2) bytes.push_back(token);
    if (bytes.empty() || bytes[0] == "02") continue;  // a reply frame, not an XMODEM answer
    v.answers += bytes.size();
    for (const std::string& b : bytes) {
      if (b == "15") ++v.naks;
      if (b == "43") ++v.requests;
    }
  }
  return v;
}

struct Run {
  double seconds = 0;
  double cpu = 0;
  ReceiverView receiver;
  uint64_t bytes = 0;
  double lineSeconds = 0;
};

void Account(Run& r, size_t imageSize, int32_t baud) {
  const uint64_t blocks = (imageSize + 127) / 128;
  // Host to sensor: every block (a NAKed one twice) and EOT.
  r.bytes = (blocks + r.receiver.naks) * kBlockBytes + 1 + r.receiver.answers;
  r.lineSeconds = bench::LineSeconds(r.bytes, baud);
}

bool Announce(SensorCommands& commands) {
  return commands.WriteFlashProtect1(0x3C) && commands.WriteFlashProtect2(0xC3) && commands.UploadCode();
}

void Lock(SensorCommands& commands) {
  if (commands.WriteFlashProtect1(0)) commands.WriteFlashProtect2(0);
}

void PrintRun(const char* who, const Run& r, size_t size, int32_t baud, const char* cpuWhose) {
  char text[640];
  std::snprintf(text, sizeof text,
                "firmware upload %zu bytes @%d (%s): %.3f s, line time %.3f s, ratio %.3f; CPU %.3f s (%.1f %% of "
                "one core, %s)",
                size, static_cast<int>(baud), who, r.seconds, r.lineSeconds, r.seconds / r.lineSeconds, r.cpu,
                100.0 * r.cpu / r.seconds, cpuWhose);
  bench::PrintLine(text);
  std::snprintf(text, sizeof text, "  receiver: %s; %llu bytes on the line, %llu NAK", r.receiver.outcome.c_str(),
                static_cast<unsigned long long>(r.bytes), static_cast<unsigned long long>(r.receiver.naks));
  bench::PrintLine(text);
}

}  // namespace

int main(int argc, char** argv) {
  int32_t baud = 57600;
  size_t size = 65536;
  bool runSx = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--baud") == 0 && i + 1 < argc) {
      baud = static_cast<int32_t>(std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
      size = static_cast<size_t>(std::atol(argv[++i]));
    } else if (std::strcmp(argv[i], "--skip-sx") == 0) {
      runSx = false;
    } else {
      std::fprintf(stderr, "usage: bench_firmware_upload [--baud RATE] [--size BYTES] [--skip-sx]\n");
      return 2;
    }
  }
  if (size == 0) size = 1;

  bench::TempDir dir;
  if (dir.path().empty()) {
    std::fprintf(stderr, "bench_firmware_upload: no temporary directory\n");
    return 1;
  }
  std::vector<uint8_t> image(size);
  uint32_t seed = 12345;
  for (uint8_t& b : image) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  const std::string imagePath = dir.File("dsp.bin");
  {
    std::ofstream out(imagePath, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }
  const std::string tracePath = dir.File("trace.txt");

  bench::PrintLine("== Firmware upload: " + std::to_string(size) + "-byte DSP image @" + std::to_string(baud) +
                   ", sensor-sim --throttle as a separate process; " + bench::LoadText());

  bench::SensorSimProcess sim({"--model", "KRV04", "--baud", std::to_string(baud), "--throttle", "--trace-file",
                               tracePath});
  std::string error;
  if (!sim.Start(error)) {
    bench::PrintLine("firmware upload: could not run: " + error);
    return 1;
  }

  PacketLink link;
  SensorCommands commands;
  commands.AttachLink(&link);
  commands.UseAddress(1);
  commands.UseCheckMode(frame::kChecksum);
  if (!link.ConnectDevice(sim.slavePath(), baud, 0, 0, 8, 100, 100)) {
    bench::PrintLine(std::string("firmware upload: could not open the line: ") + link.errorText());
    return 1;
  }

  // 1. XmodemSender.
  Run own;
  link.Drain();
  if (!Announce(commands)) {
    bench::PrintLine("firmware upload: the sensor refused the announcement: " + commands.lastMessage());
    return 1;
  }
  XmodemSender sender(&link);
  sender.Reset();
  int32_t state = 0;
  const double cpuBefore = bench::ProcessCpuSeconds();
  const auto start = bench::Clock::now();
  for (size_t i = 0; i + 1 < image.size() && state == 0; ++i) state = sender.Put(image[i], false);
  if (state == 0) state = sender.Put(image.back(), true);
  own.seconds = bench::Seconds(bench::Clock::now() - start);
  own.cpu = bench::ProcessCpuSeconds() - cpuBefore;
  Lock(commands);
  if (state != 0) {
    bench::PrintLine("firmware upload (XmodemSender): transfer failed with state " + std::to_string(state));
    return 1;
  }

  // 2. lrzsz sx, through the same receiver.
  Run sx;
  bench::ChildResult sxResult;
  if (runSx) {
    link.Drain();
    if (!Announce(commands)) {
      bench::PrintLine("firmware upload: the sensor refused the second announcement: " + commands.lastMessage());
      return 1;
    }
    link.Disconnect();  // sx owns the line now
    bench::ChildProcess child;
    bench::ChildProcess::Streams streams;
    streams.device = sim.slavePath();
    streams.err = dir.File("sx.log");
    if (!child.Start({bench::ToolPath("LRS_SX", "", "sx"), imagePath}, streams)) {
      bench::PrintLine("firmware upload (sx): could not start sx");
      return 1;
    }
    sxResult = child.Wait(std::chrono::seconds(300));
    sx.seconds = sxResult.wallSeconds;
    sx.cpu = sxResult.cpuSeconds;
    if (link.ConnectDevice(sim.slavePath(), baud, 0, 0, 8, 100, 100)) Lock(commands);
  }
  link.Disconnect();
  sim.Stop();  // the trace file is complete once the program has ended

  own.receiver = ReadTransfer(tracePath, 0);
  Account(own, size, baud);
  const bool ownOk = own.receiver.found && own.receiver.outcome.rfind("completed", 0) == 0;
  PrintRun("XmodemSender", own, size, baud, "this process");

  // The answer wait blocks in the driver until the ACK's byte arrives, and
  // each block goes to the driver in one write: the transfer should run at
  // the line's own pace with the thread asleep nearly all the time.
  const double ratio = own.seconds / own.lineSeconds;
  const double corePercent = 100.0 * own.cpu / own.seconds;
  const bool targetMet = ratio <= kTargetRatio && corePercent < kTargetCorePercent;
  char text[512];
  std::snprintf(text, sizeof text, "  target: at most %.2f x line time and under %.0f %% of one core: %s",
                kTargetRatio, kTargetCorePercent, targetMet ? "met" : "NOT met");
  bench::PrintLine(text);

  bool sxOk = true;
  if (runSx) {
    sx.receiver = ReadTransfer(tracePath, 1);
    Account(sx, size, baud);
    sxOk = sxResult.exitedOk() && sx.receiver.found && sx.receiver.outcome.rfind("completed", 0) == 0;
    PrintRun("lrzsz sx, reference", sx, size, baud, "sx, from wait4");
    if (!sxResult.exitedOk()) {
      std::ifstream log(dir.File("sx.log"));
      std::string logText((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
      bench::PrintLine("  sx did not end cleanly (wait status " + std::to_string(sxResult.status) + "): " +
                       (logText.size() > 400 ? logText.substr(logText.size() - 400) : logText));
    }
    if (sx.receiver.requests > 1)
      bench::PrintLine("  the receiver had to repeat its start request " + std::to_string(sx.receiver.requests - 1) +
                       " time(s) before sx began");
  }
  return ownOk && sxOk && targetMet ? 0 : 1;
}
