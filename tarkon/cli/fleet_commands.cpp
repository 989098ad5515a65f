#include "tarkon/cli/fleet_commands.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

#include "tarkon/cli/bus_scan_ports.h"
#include "tarkon/cli/progress_bar.h"
#include "tarkon/cli/watch_reconnect.h"
#include "tarkon/fleet/fleet_tools.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/document/port_list.h"
#include "tarkon/document/printable_text.h"
#include "tarkon/document/settings_file.h"
#include "tarkon/document/virtual_sensor_port.h"
#include "tarkon/fleet/bus_scan.h"
#include "tarkon/fleet/fleet_tools.h"
#include "tarkon/fleet/line_appender.h"
#include "tarkon/fleet/range_log.h"
#include "tarkon/fleet/settings_backup.h"
#include "tarkon/fleet/settings_restore.h"

namespace {

using json = CliJson;

// Arguments of the fleet commands, taken from the parsed options.
struct FleetArguments {
  std::string file;
  bool dryRun = false;
  bool force = false;
  bool connection = false;
  bool json = false;
  int from = 1;
  int to = 255;
  std::vector<int> baudRates;
  uint32_t budgetMs = 0;
  std::string csv;
  int64_t durationMs = -1;
};

// What bus-scan scans: --from, --to, each --baud given (else the one
// --baud, else the engine's default).
fleet::BusScanOptions ScanOptions(const CliOptions& o, const FleetArguments& f) {
  fleet::BusScanOptions options;
  options.from = f.from;
  options.to = f.to;
  options.budgetMs = f.budgetMs;
  if (!f.baudRates.empty()) options.baudRates = f.baudRates;
  else if (o.baud) options.baudRates = {*o.baud};
  return options;
}

bool ParseFleet(const CliOptions& o, FleetArguments& f, std::string& error) {
  const std::string& c = o.command;
  f.json = o.json;
  if ((c == "backup" || c == "restore" || c == "diff") && !o.arguments.empty()) f.file = o.arguments[0];
  f.dryRun = o.dryRun;
  f.force = o.force;
  f.connection = o.connection;
  f.from = o.from.value_or(1);
  f.to = o.to.value_or(255);
  f.baudRates = o.bauds;
  f.budgetMs = o.budgetMs.value_or(0);
  f.csv = o.csvPath.value_or("");
  f.durationMs = o.durationMs.value_or(-1);
  if ((c == "backup" || c == "restore" || c == "diff") && f.file.empty()) {
    error = c + ": name the backup FILE";
    return false;
  }
  if (c == "bus-scan") {
    const std::string why = fleet::CheckScanOptions(ScanOptions(o, f));
    if (!why.empty()) {
      error = "bus-scan: " + why;
      return false;
    }
  }
  if (c == "watch" && f.csv.empty()) {
    error = "watch: --duration goes with --csv FILE";
    return false;
  }
  return true;
}

// A failure: said on standard error, and kept as the session's last error
// for the error object of --json.
int Failed(const std::string& message, int status = kExitFailed, CliSession* session = nullptr) {
  std::fprintf(stderr, "%s\n", message.c_str());
  if (session != nullptr) session->SetLastError(message);
  return status;
}

// --- backup, diff, restore --------------------------------------------------

int Backup(CliSession& s, const FleetArguments& f, json& out) {
  fleet::SensorBackup backup;
  std::string error;
  if (!fleet::CaptureBackup(s.doc(), backup, error)) return Failed("backup: " + error, kExitFailed, &s);
  if (!fleet::WriteBackupFile(f.file, backup, error)) return Failed("backup: " + error, kExitFailed, &s);
  if (f.json) {
    out = json{{"file", f.file},
               {"model", backup.model},
               {"serial_number", backup.serialNumber},
               {"settings", backup.settings.size()}};
  } else {
    std::cout << fleet::SavedBackupText(backup, f.file) << std::endl;
  }
  return s.failuresSinceConnect() == 0 ? kExitOk : kExitFailed;
}

void PrintTable(const std::vector<fleet::RestoreItem>& items, bool differencesOnly) {
  size_t width = 7;
  size_t sensorWidth = 10;
  for (const auto& i : items) {
    width = std::max(width, i.name.size());
    sensorWidth = std::max(sensorWidth, PrintableText(i.sensorText).size());
  }
  auto pad = [](const std::string& t, size_t w) { return t + std::string(w > t.size() ? w - t.size() : 0, ' '); };
  std::cout << pad("Setting", width) << "  " << pad("Sensor now", sensorWidth) << "  File\n";
  for (const auto& i : items) {
    if (differencesOnly && i.status != fleet::RestoreStatus::kDifferent && i.status != fleet::RestoreStatus::kNotShared)
      continue;
    // The file's texts are as untrusted as the sensor's: neither may drive the terminal.
    std::cout << pad(i.name, width) << "  " << pad(PrintableText(i.sensorText), sensorWidth) << "  "
              << PrintableText(i.fileText);
    if (i.status == fleet::RestoreStatus::kNotShared) std::cout << "  (" << PrintableText(i.message) << ")";
    std::cout << "\n";
  }
}

json ItemsJson(const std::vector<fleet::RestoreItem>& items) {
  json list = json::array();
  for (const auto& i : items) {
    json item = {{"name", i.name}, {"sensor", i.sensorText}, {"file", i.fileText}, {"status", fleet::StatusText(i.status)}};
    if (!i.afterText.empty()) item["after"] = i.afterText;
    if (!i.message.empty()) item["message"] = i.message;
    list.push_back(item);
  }
  return list;
}

long Count(const std::vector<fleet::RestoreItem>& items, fleet::RestoreStatus status) {
  return static_cast<long>(std::count_if(items.begin(), items.end(), [&](const auto& i) { return i.status == status; }));
}

int Diff(CliSession& s, const FleetArguments& f, const fleet::SensorBackup& backup, json& out) {
  fleet::RestoreOptions options;
  options.force = true;  // a comparison sends nothing: show what the models share
  const fleet::RestoreReport report = fleet::CompareWithSensor(s.doc(), backup, options);
  if (!report.error.empty()) return Failed("diff: " + report.error, kExitFailed, &s);
  const bool equal = report.Equal();
  if (f.json) {
    out = json{{"equal", equal}, {"settings", ItemsJson(report.settings)}, {"connection", ItemsJson(report.connection)}};
  } else if (equal) {
    std::cout << "The sensor holds the settings of " << f.file << "\n";
  } else {
    if (report.otherModel)
      std::cout << f.file << " holds the settings of a " << backup.model << ", the sensor is a " << s.doc().modelText()
                << "\n";
    std::vector<fleet::RestoreItem> all = report.settings;
    all.insert(all.end(), report.connection.begin(), report.connection.end());
    PrintTable(all, true);
  }
  std::cout.flush();
  if (!equal) s.SetLastError("diff: the sensor differs from " + f.file);
  return equal ? kExitOk : kExitFailed;
}

int Restore(CliSession& s, const FleetArguments& f, const fleet::SensorBackup& backup, json& out) {
  fleet::RestoreOptions options;
  options.dryRun = f.dryRun;
  options.force = f.force;
  options.connection = f.connection;
  // --only names the file's settings in any case.
  for (const std::string& wanted : s.options().only) {
    std::string found;
    for (const fleet::BackupSetting& setting : backup.settings)
      if (setting.name.size() == wanted.size() &&
          std::equal(wanted.begin(), wanted.end(), setting.name.begin(),
                     [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b)); }))
        found = setting.name;
    if (found.empty()) return Failed("restore: " + f.file + " holds no setting named \"" + wanted + "\"", kExitUsage, &s);
    options.only.push_back(found);
  }
  const fleet::RestoreReport report = fleet::RestoreSettings(s.doc(), backup, options);
  if (report.modelRefused) return Failed("restore: " + report.error, kExitUsage, &s);
  if (!report.error.empty()) return Failed("restore: " + report.error, kExitFailed, &s);
  using fleet::RestoreStatus;
  if (f.json) {
    out = json{{"dry_run", f.dryRun},
               {"verified", !f.dryRun && report.AllVerified()},
               {"settings", ItemsJson(report.settings)},
               {"connection", ItemsJson(report.connection)}};
  } else {
    if (report.otherModel)
      std::cout << f.file << " holds the settings of a " << backup.model << ", the sensor is a " << s.doc().modelText()
                << ": only the settings the two share are restored\n";
    std::vector<fleet::RestoreItem> before = report.settings;
    for (auto& i : before)
      if (i.status != RestoreStatus::kMatched && i.status != RestoreStatus::kNotShared) i.status = RestoreStatus::kDifferent;
    before.insert(before.end(), report.connection.begin(), report.connection.end());
    PrintTable(before, true);
    if (!f.dryRun) {
      for (const auto& i : report.settings) {
        if (i.status == RestoreStatus::kChanged) std::cout << "changed: " << i.name << "  " << i.sensorText << " -> " << i.afterText << "\n";
        if (i.status == RestoreStatus::kRefused) std::cout << "refused: " << i.name << "  " << i.message << "\n";
        if (i.status == RestoreStatus::kNotVerified) std::cout << "not verified: " << i.name << "  " << i.message << "\n";
        if (i.status == RestoreStatus::kNotShared) std::cout << "not restored: " << i.name << "  " << i.message << "\n";
      }
      for (const auto& i : report.connection) {
        if (i.status == RestoreStatus::kChanged) std::cout << "changed: " << i.name << "  " << i.sensorText << " -> " << i.afterText << "\n";
        if (i.status == RestoreStatus::kNotVerified) std::cout << "not verified: " << i.name << "  " << i.message << "\n";
        if (i.status == RestoreStatus::kDifferent) std::cout << "not restored: " << i.name << "  (use --connection)\n";
      }
      std::string matched;
      for (const auto& i : report.settings)
        if (i.status == RestoreStatus::kMatched) matched += (matched.empty() ? "" : ", ") + i.name;
      std::cout << "matched: " << Count(report.settings, RestoreStatus::kMatched) << " settings"
                << (matched.empty() ? "" : " (" + matched + ")") << "\n";
    }
  }
  std::cout.flush();
  if (f.dryRun) return kExitOk;
  if (report.AllVerified()) return kExitOk;
  s.SetLastError("restore: not every value verified" + (report.stopped.empty() ? "" : "; stopped: " + report.stopped));
  return kExitFailed;
}

// --- watch --csv -------------------------------------------------------------

int WatchCsv(CliSession& s, const FleetArguments& f, json& out) {
  CKRV02Doc& d = s.doc();
  const CliOptions& o = s.options();
  fleet::RangeLog log(d);
  std::string error;
  if (!log.Open(f.csv, error)) return Failed("watch: " + error, kExitFailed, &s);
  const auto start = std::chrono::steady_clock::now();
  auto elapsedMs = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  };
  // --count and --interval as plain watch takes them.
  const long count = o.count.value_or(-1);
  const auto interval = std::chrono::milliseconds(o.intervalMs.value_or(0));
  auto nextPoll = start;
  std::string stopped;  // why the run ended early
  while (!g_interrupted && (f.durationMs < 0 || elapsedMs() < f.durationMs) &&
         (count < 0 || log.summary().polls < count)) {
    // The document disconnects when the port's device goes away (and said
    // so in its log).
    if (!d.connected()) {
      auto over = [&] { return f.durationMs >= 0 && elapsedMs() >= f.durationMs; };
      if (o.reconnect && WaitForReconnect(s, over)) continue;
      if (o.reconnect && over()) break;  // the run's time ended while waiting
      stopped = s.lastError().empty() ? "watch: the sensor's line went away" : s.lastError();
      break;
    }
    // A refused trace line: the run's end says so.
    if (!TraceWriteError().empty()) {
      stopped = TraceWriteError();
      break;
    }
    if (!d.WaitPollTick(100)) continue;
    const auto now = std::chrono::steady_clock::now();
    if (d.PollAllowed() && now >= nextPoll) {
      nextPoll = now + interval;
      log.Poll();
    }
    d.PollTickHandled();
    if (!log.writeError().empty()) {
      stopped = "watch: " + log.writeError() + " (polling stopped; the log ends at the line before)";
      std::fprintf(stderr, "%s\n", stopped.c_str());
      break;
    }
  }
  const auto& sum = log.summary();
  if (f.json) {
    out = json{{"file", f.csv}, {"polls", sum.polls}, {"failures", sum.failures}, {"in_range", sum.inRange},
               {"min", sum.min}, {"mean", sum.Mean()}, {"max", sum.max}, {"unit", log.unit()}};
  } else {
    std::cout << log.SummaryText() << std::endl;
  }
  if (!stopped.empty()) {
    s.SetLastError(stopped);
    return kExitFailed;
  }
  if (sum.failures == 0) return kExitOk;
  s.SetLastError("watch: " + std::to_string(sum.failures) + " polls failed");
  return kExitFailed;
}

bool ReadBackup(const CliOptions& o, const FleetArguments& f, fleet::SensorBackup& backup, std::string& error) {
  if (o.command != "restore" && o.command != "diff") return true;
  if (!fleet::ReadBackupFile(f.file, backup, error)) {
    error = o.command + ": " + error + " (nothing was sent)";
    return false;
  }
  return true;
}

}  // namespace

bool IsFleetCommand(const CliOptions& o) {
  const std::string& c = o.command;
  return c == "backup" || c == "restore" || c == "diff" || c == "bus-scan" ||
         (c == "watch" && (o.csvPath || o.durationMs));
}

bool CheckFleetUsage(const CliOptions& o, std::string& error) {
  FleetArguments f;
  if (!ParseFleet(o, f, error)) return false;
  fleet::SensorBackup backup;
  return ReadBackup(o, f, backup, error);
}

int RunFleetCommand(CliSession& s, CliJson& out) {
  const CliOptions& o = s.options();
  FleetArguments f;
  std::string error;
  if (!ParseFleet(o, f, error)) return Failed(error, kExitUsage, &s);
  fleet::SensorBackup backup;
  if (!ReadBackup(o, f, backup, error)) return Failed(error, kExitUsage, &s);
  if (o.command == "backup") return Backup(s, f, out);
  if (o.command == "diff") return Diff(s, f, backup, out);
  if (o.command == "restore") return Restore(s, f, backup, out);
  if (o.command == "watch") return WatchCsv(s, f, out);
  return Failed("unknown command \"" + o.command + "\"", kExitUsage, &s);
}

// --- bus-scan -----------------------------------------------------------------

int RunBusScanCommand(const CliOptions& o, CliJson& out, std::string& failure) {
  FleetArguments f;
  std::string error;
  auto fail = [&](const std::string& message, int status) {
    failure = message;
    return Failed(message, status);
  };
  if (!ParseFleet(o, f, error)) return fail(error, kExitUsage);
  const fleet::BusScanOptions options = ScanOptions(o, f);

  // The line: the simulated sensor's, the named port, or the port of the
  // settings file.
  VirtualSensorPort sensor;
  std::string device;
  if (o.simulate) {
    ConnectValues values;
    if (!sensor.Start(SimulatedSensor(o), values)) return fail("bus-scan: " + sensor.failure(), kExitFailed);
    device = sensor.device();
  } else {
    SettingsFile settings(o.settingsPath.value_or(SettingsFile::DefaultPath()));
    settings.Load();
    if (o.ports.size() > 1) {
      fleet::OwnedProtocolTrace trace;
      if (!OpenTrace(o, trace, error)) return fail(error, kExitUsage);
      return RunBusScanOnPorts(o, options, settings, trace.get(), out, failure);
    }
    const std::string name = o.port.value_or("").empty() ? StoredPortName(settings) : *o.port;
    device = DeviceOfPortName(settings, name);
    if (device.empty()) return fail("bus-scan: no device for port " + name, kExitUsage);
  }

  fleet::OwnedProtocolTrace trace;
  if (!OpenTrace(o, trace, error)) return fail(error, kExitUsage);
  ProgressBar bar("Scanning the bus");
  const fleet::ScanClock clock(options);
  std::string shown;
  std::vector<fleet::FoundSensor> found;
  // On a terminal: the time left beside the bar, and each sensor on a line
  // of its own above it as soon as it answers (the table follows at the end).
  const bool ok = fleet::ScanBusOnDevice(
      device, options, trace.get(),
      [&](long done, long total) {
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        const std::string text = std::to_string(percent) + "%, " + clock.LeftText(done, total);
        if (text != shown) bar.UpdateText(percent, text);
        shown = text;
        return !g_interrupted.load();
      },
      found, error,
      [&](size_t, const fleet::FoundSensor& s) {
        if (!bar.enabled() || !s.serialNumber.empty()) return;
        std::fprintf(stderr, "\r\033[KFound a sensor at address %d: %s, %s, %d bit/s\n", s.address,
                     (s.model.empty() ? "\"" + PrintableText(s.modelString) + "\"" : s.model).c_str(),
                     s.checkMode == 1 ? "CRC" : "checksum", s.baudRate);
        shown.clear();
      });
  bar.Finish();
  if (f.json) {
    json list = json::array();
    for (const auto& s : found)
      list.push_back({{"address", s.address},
                      {"check_mode", s.checkMode == 1 ? "crc" : "checksum"},
                      {"baud", s.baudRate},
                      {"model", s.model},
                      {"model_string", s.modelString},
                      {"serial_number", s.serialNumber}});
    out = json{{"sensors", list}, {"complete", ok && !g_interrupted}};
  } else {
    std::cout << "Address  Check mode  Baud rate  Model                 Serial number\n";
    for (const auto& s : found) {
      char line[256];  // room for texts shown as \xNN
      std::snprintf(line, sizeof line, "%7d  %-10s  %9d  %-20s  %s\n", s.address, s.checkMode == 1 ? "CRC" : "Checksum",
                    s.baudRate, (s.model.empty() ? "\"" + PrintableText(s.modelString) + "\"" : s.model).c_str(),
                    PrintableText(s.serialNumber).c_str());
      std::cout << line;
    }
    std::cout << found.size() << (found.size() == 1 ? " sensor" : " sensors") << " found"
              << (g_interrupted ? " (stopped)" : "") << std::endl;
  }
  if (!ok) return fail("bus-scan: " + error, kExitFailed);
  if (!g_interrupted) return kExitOk;
  failure = "bus-scan: stopped";
  return kExitFailed;
}

// --- trace ------------------------------------------------------------------------

namespace {

// The file of the run's --trace, kept so that a long command can stop at
// the first line it refused and the run can end by saying so.
std::shared_ptr<fleet::LineAppender> g_traceFile;

}  // namespace

bool OpenTrace(const CliOptions& o, fleet::OwnedProtocolTrace& trace, std::string& error) {
  if (!o.trace) return true;
  auto file = std::make_shared<fleet::LineAppender>();
  if (*o.trace == "-") {
    file->UseStandardError();
  } else if (!file->Open(*o.trace, error)) {
    error = "--trace: " + error;
    return false;
  }
  g_traceFile = file;
  // Each line is written at once, so a trace of a run that hangs or is
  // killed is complete up to that point.
  trace = fleet::NewLineTrace([file](const std::string& line) { file->WriteLine(line); });
  return true;
}

std::string TraceWriteError() {
  if (!g_traceFile || g_traceFile->error().empty()) return std::string();
  const long lost = g_traceFile->linesLost();
  return "--trace: " + g_traceFile->error() + " (" + std::to_string(lost) + (lost == 1 ? " line" : " lines") +
         " not written)";
}

int EndWithTraceChecked(int status, std::string& failure) {
  const std::string error = TraceWriteError();
  if (error.empty()) return status;
  std::fprintf(stderr, "%s\n", error.c_str());
  if (status != kExitOk) return status;  // the command's own failure comes first
  failure = error;
  return kExitFailed;
}

void AttachTrace(CliSession& session, ProtocolTrace* trace) { fleet::AttachProtocolTrace(session.doc(), trace); }
