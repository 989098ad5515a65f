#include "tarkon/cli/watch_bus_command.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>

#include "tarkon/cli/cli_run.h"
#include "tarkon/cli/progress_bar.h"
#include "tarkon/document/port_list.h"
#include "tarkon/document/settings_file.h"
#include "tarkon/document/virtual_sensor_port.h"
#include "tarkon/fleet/line_appender.h"
#include "tarkon/fleet/line_poller.h"
#include "tarkon/fleet/line_readings_text.h"
#include "tarkon/fleet/range_log.h"

namespace {

bool Given(const CliOptions& o, const char* option) {
  return std::find(o.given.begin(), o.given.end(), option) != o.given.end();
}

CliJson ReadingJson(long round, const std::string& time, const fleet::LineSensorReading& r) {
  CliJson range = nullptr;
  if (r.range) range = *r.range;
  return {{"round", round},
          {"time", time},
          {"address", r.sensor.address},
          {"model", r.model},
          {"serial_number", r.sensor.serialNumber},
          {"state", fleet::LineSensorStateWord(r.state)},
          {"state_text", r.StateText()},
          {"range", range},
          {"range_text", r.rangeText},
          {"unit", r.unit},
          {"laser_power", r.laserPower},
          {"peak", r.peak},
          {"good", r.good},
          {"failed", r.failed}};
}

}  // namespace

bool CheckWatchUsage(const CliOptions& o, std::string& error) {
  if (!o.bus) {
    for (const char* busOnly : {"--addresses", "--from", "--to", "--budget"})
      if (Given(o, busOnly)) {
        error = std::string("watch: ") + busOnly + " goes with --bus";
        return false;
      }
    return true;
  }
  for (const char* oneSensorOnly : {"--interval", "--reconnect"})
    if (Given(o, oneSensorOnly)) {
      error = std::string("watch --bus: ") + oneSensorOnly + " watches one sensor; the bus is polled round after round";
      return false;
    }
  if (!o.addresses.empty() && (Given(o, "--from") || Given(o, "--to"))) {
    error = "watch --bus: --addresses names the sensors; --from and --to go with a bus scan";
    return false;
  }
  if (o.ports.size() > 1 || o.bauds.size() > 1) {
    error = "watch --bus watches one line at one baud rate: give one --port and one --baud";
    return false;
  }
  const std::string why = fleet::CheckScanOptions(BusScanOptionsOf(o));
  if (!why.empty()) {
    error = "watch --bus: " + why;
    return false;
  }
  return true;
}

int RunWatchBus(CliRun& run) {
  const CliOptions& o = run.options();
  auto fail = [&](const std::string& message, int status) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return run.Fail(status, message);
  };

  fleet::LineWatch::Setup setup;
  setup.scan = BusScanOptionsOf(o);
  setup.baudRate = setup.scan.baudRates.front();
  for (int address : o.addresses) {
    fleet::PolledSensor s;
    s.address = address;
    s.checkMode = o.checkMode.value_or(0);
    setup.sensors.push_back(s);
  }
  // The line: the simulated sensor's, the named port, or the settings file's.
  VirtualSensorPort simulated;
  if (o.simulate) {
    ConnectValues values;
    if (!simulated.Start(SimulatedSensor(o), values)) return fail("watch: " + simulated.failure(), kExitFailed);
    setup.device = simulated.device();
  } else {
    SettingsFile settings(o.settingsPath.value_or(SettingsFile::DefaultPath()));
    settings.Load();
    const std::string name = o.port.value_or("").empty() ? StoredPortName(settings) : *o.port;
    setup.device = DeviceOfPortName(settings, name);
    if (setup.device.empty()) return fail("watch: no device for port " + name, kExitUsage);
  }

  fleet::LineAppender csv;
  if (o.csvPath) {
    std::string error;
    if (!csv.Open(*o.csvPath, error) || (csv.startedEmpty() && !csv.WriteLine(fleet::LineCsvHeader())))
      return fail("watch: " + (error.empty() ? csv.error() : error), kExitFailed);
  }
  ProtocolTrace* trace = run.Trace();
  if (run.traceFailed()) return run.status();

  // Each round is written on the watch's thread as it ends; this thread
  // shows the scan's progress and ends the run.
  std::mutex mutex;
  std::condition_variable wake;
  bool changed = false;
  long rounds = 0;
  std::string stopped;
  setup.roundDone = [&](long round, const std::vector<fleet::LineSensorReading>& readings) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!stopped.empty() || (o.count && rounds >= *o.count)) return;
    const std::string time = fleet::IsoTimeNow();
    for (const fleet::LineSensorReading& r : readings) {
      if (o.csvPath) {
        if (!csv.WriteLine(fleet::LineCsvLine(time, round, r))) {
          stopped = "watch: " + csv.error() + " (polling stopped; the log ends at the line before)";
          break;
        }
      } else if (o.json) {
        PrintJson(ReadingJson(round, time, r));
      } else {
        std::cout << time << "  round " << round << "  " << fleet::LineTextLine(r) << "\n";
      }
    }
    std::cout.flush();
    if (stopped.empty() && !TraceWriteError().empty()) stopped = TraceWriteError();
    ++rounds;
    changed = true;
    wake.notify_one();
  };
  fleet::LineWatch watch;
  std::string error;
  if (!watch.Start(
          setup, trace,
          [&] {
            {
              std::lock_guard<std::mutex> lock(mutex);
              changed = true;
            }
            wake.notify_one();
          },
          error))
    return fail("watch: " + error, kExitUsage);

  const auto start = std::chrono::steady_clock::now();
  auto over = [&] {
    return o.durationMs && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(*o.durationMs);
  };
  ProgressBar bar("Finding the sensors");
  bool barShown = false;
  while (!g_interrupted && !over() && watch.running()) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      wake.wait_for(lock, std::chrono::milliseconds(100), [&] { return changed; });
      changed = false;
      if (!stopped.empty() || (o.count && rounds >= *o.count)) break;
    }
    if (watch.scanning()) {
      const long total = watch.scanTotal();
      bar.UpdateText(total > 0 ? static_cast<int>(watch.scanDone() * 100 / total) : 0, "");
      barShown = true;
    } else if (barShown) {
      bar.Finish();
      barShown = false;
    }
  }
  if (barShown) bar.Finish();
  watch.Stop();
  std::lock_guard<std::mutex> lock(mutex);
  if (stopped.empty() && !watch.error().empty()) stopped = "watch: " + watch.error();
  const std::vector<fleet::LineSensorReading> last = watch.Snapshot();
  long failedPolls = 0;
  long notAnswering = 0;
  for (const fleet::LineSensorReading& r : last) {
    failedPolls += r.failed;
    if (r.state != fleet::LineSensorState::kAnswering) ++notAnswering;
  }
  if (!o.json) std::cout << watch.RateText() << std::endl;
  if (!stopped.empty()) return fail(stopped, kExitFailed);
  if (failedPolls > 0 || notAnswering > 0)
    return fail("watch --bus: " + std::to_string(notAnswering) + " of " +
                                     std::to_string(last.size()) + " sensors not answering at the end, " +
                                     std::to_string(failedPolls) + " polls failed",
                kExitFailed);
  return kExitOk;
}
