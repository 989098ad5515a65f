#include "tarkon/cli/bus_scan_ports.h"

#include <cstdio>
#include <iostream>

#include "tarkon/cli/cli_run.h"
#include "tarkon/cli/cli_session.h"
#include "tarkon/cli/progress_bar.h"
#include "tarkon/document/check_mode_text.h"
#include "tarkon/document/port_list.h"
#include "tarkon/document/printable_text.h"
#include "tarkon/fleet/several_lines.h"

namespace {

std::string ModelShown(const fleet::FoundSensor& s) {
  return s.model.empty() ? "\"" + PrintableText(s.modelString) + "\"" : s.model;
}

int Fail(const std::string& message, int status, CliRun& run) {
  std::fprintf(stderr, "%s\n", message.c_str());
  return run.Fail(status, message);
}

}  // namespace

int RunBusScanOnPorts(CliRun& run, const fleet::BusScanOptions& scan, const SettingsFile& settings) {
  const CliOptions& o = run.options();
  CliJson& out = run.json();
  std::vector<fleet::LineTarget> lines;
  for (const std::string& port : o.ports) {
    const std::string device = DeviceOfPortName(settings, port);
    if (device.empty()) return Fail("bus-scan: no device for port " + port, kExitUsage, run);
    lines.push_back({port, device});
  }
  ProtocolTrace* trace = run.Trace();
  if (run.traceFailed()) return run.status();
  std::string error;

  ProgressBar bar("Scanning " + std::to_string(lines.size()) + " buses");
  const fleet::ScanClock clock(scan);
  std::string shown;
  const std::vector<fleet::LineScan> results = fleet::ScanLines(
      lines, scan, trace,
      [&](long done, long total) {
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        const std::string text = std::to_string(percent) + "%, " + clock.LeftText(done, total);
        if (text != shown) bar.UpdateText(percent, text);
        shown = text;
        return !g_interrupted.load();
      },
      [&](size_t line, size_t, const fleet::FoundSensor& s) {
        if (!bar.enabled() || !s.serialNumber.empty()) return;
        std::fprintf(stderr, "\r\033[KFound a sensor on %s at address %d: %s, %s, %d bit/s\n",
                     PrintableText(lines[line].portText).c_str(), s.address, ModelShown(s).c_str(),
                     CheckModeWord(s.checkMode).c_str(), s.baudRate);
        shown.clear();
      },
      error);
  bar.Finish();
  if (!error.empty()) return Fail("bus-scan: " + error, kExitUsage, run);

  std::string failed;  // "PORT: why; PORT: why"
  CliJson ports = CliJson::array();
  for (const fleet::LineScan& line : results) {
    if (!line.ok) failed += (failed.empty() ? "" : "; ") + line.portText + ": " + line.error;
    if (o.json) {
      CliJson sensors = CliJson::array();
      for (const fleet::FoundSensor& s : line.found)
        sensors.push_back({{"address", s.address},
                           {"check_mode", CheckModeWord(s.checkMode)},
                           {"baud", s.baudRate},
                           {"model", s.model},
                           {"model_string", s.modelString},
                           {"serial_number", s.serialNumber}});
      ports.push_back({{"port", line.portText},
                       {"sensors", std::move(sensors)},
                       {"complete", line.ok && !g_interrupted},
                       {"error", line.error}});
      continue;
    }
    std::cout << "Port " << PrintableText(line.portText) << "\n";
    if (!line.found.empty()) std::cout << "Address  Check mode  Baud rate  Model                 Serial number\n";
    for (const fleet::FoundSensor& s : line.found) {
      char row[256];  // room for texts shown as \xNN
      std::snprintf(row, sizeof row, "%7d  %-10s  %9d  %-20s  %s\n", s.address, CheckModeCaption(s.checkMode).c_str(),
                    s.baudRate, ModelShown(s).c_str(), PrintableText(s.serialNumber).c_str());
      std::cout << row;
    }
    std::cout << line.found.size() << (line.found.size() == 1 ? " sensor" : " sensors") << " found"
              << (line.ok ? "" : "; failed: " + PrintableText(line.error)) << (g_interrupted ? " (stopped)" : "")
              << "\n";
    if (&line != &results.back()) std::cout << "\n";
  }
  if (o.json) out = CliJson{{"ports", std::move(ports)}, {"complete", failed.empty() && !g_interrupted}};
  std::cout.flush();
  if (!failed.empty()) return Fail("bus-scan: " + failed, kExitFailed, run);
  if (!g_interrupted) return kExitOk;
  return run.Fail(kExitFailed, "bus-scan: stopped");
}
