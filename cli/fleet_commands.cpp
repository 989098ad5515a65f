#include "cli/fleet_commands.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "cli/progress_bar.h"
#include "protocol/protocol_trace.h"
#include "serial/port_resolver.h"
#include "sim/virtual_sensor.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/document/settings_file.h"
#include "tarkon/fleet/bus_scan.h"
#include "tarkon/fleet/range_log.h"
#include "tarkon/fleet/settings_backup.h"
#include "tarkon/fleet/settings_restore.h"

namespace {

using json = nlohmann::ordered_json;

bool Has(const CliOptions& o, const char* flag) {
  for (const std::string& a : o.arguments)
    if (a == flag) return true;
  return false;
}

// Arguments of the fleet commands, after the command.
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

bool ParseFleet(const CliOptions& o, FleetArguments& f, std::string& error) {
  const auto& a = o.arguments;
  const std::string& c = o.command;
  f.json = o.json;
  auto number = [&](size_t i, int64_t lo, int64_t hi, int64_t& out) {
    if (i + 1 >= a.size() || !IsWholeNumber(a[i + 1], &out) || out < lo || out > hi) {
      error = c + ": " + a[i] + " needs a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
      return false;
    }
    return true;
  };
  for (size_t i = 0; i < a.size(); ++i) {
    int64_t n = 0;
    if (a[i] == "--json") {
      f.json = true;
    } else if (c == "restore" && a[i] == "--dry-run") {
      f.dryRun = true;
    } else if (c == "restore" && a[i] == "--force") {
      f.force = true;
    } else if (c == "restore" && a[i] == "--connection") {
      f.connection = true;
    } else if (c == "bus-scan" && (a[i] == "--from" || a[i] == "--to")) {
      if (!number(i, 1, 255, n)) return false;
      (a[i] == "--from" ? f.from : f.to) = static_cast<int>(n);
      ++i;
    } else if (c == "bus-scan" && a[i] == "--baud") {
      if (!number(i, 9600, 57600, n) || (n != 9600 && n != 19200 && n != 38400 && n != 57600)) {
        error = "bus-scan: --baud takes 9600, 19200, 38400 or 57600";
        return false;
      }
      f.baudRates.push_back(static_cast<int>(n));
      ++i;
    } else if (c == "bus-scan" && a[i] == "--budget") {
      if (!number(i, 1, 10000, n)) return false;
      f.budgetMs = static_cast<uint32_t>(n);
      ++i;
    } else if (c == "watch" && a[i] == "--csv" && i + 1 < a.size()) {
      f.csv = a[++i];
    } else if (c == "watch" && a[i] == "--duration" && i + 1 < a.size()) {
      const auto ms = fleet::ParseDuration(a[i + 1]);
      if (!ms || *ms <= 0) {
        error = "watch: --duration takes a time such as 90, 90s, 15m or 2h";
        return false;
      }
      f.durationMs = *ms;
      ++i;
    } else if ((c == "backup" || c == "restore" || c == "diff") && f.file.empty() && a[i].rfind("--", 0) != 0) {
      f.file = a[i];
    } else {
      error = c + ": unexpected argument \"" + a[i] + "\"";
      return false;
    }
  }
  if ((c == "backup" || c == "restore" || c == "diff") && f.file.empty()) {
    error = c + ": name the backup FILE";
    return false;
  }
  if (c == "bus-scan" && f.from > f.to) {
    error = "bus-scan: --from must not be above --to";
    return false;
  }
  if (c == "watch" && f.csv.empty()) {
    error = "watch: --csv needs a FILE";
    return false;
  }
  return true;
}

int Failed(const std::string& message, int status = kExitFailed) {
  std::fprintf(stderr, "%s\n", message.c_str());
  return status;
}

// --- backup, diff, restore --------------------------------------------------

int Backup(CliSession& s, const FleetArguments& f) {
  fleet::SensorBackup backup;
  std::string error;
  if (!fleet::CaptureBackup(s.doc(), backup, error)) return Failed("backup: " + error);
  if (!fleet::WriteBackupFile(f.file, backup, error)) return Failed("backup: " + error);
  if (f.json) {
    std::cout << json{{"file", f.file},
                      {"model", backup.model},
                      {"serial_number", backup.serialNumber},
                      {"settings", backup.settings.size()}}
                     .dump()
              << std::endl;
  } else {
    std::cout << "Saved " << backup.settings.size() << " settings of the " << backup.model << " (serial number "
              << backup.serialNumber << ") to " << f.file << std::endl;
  }
  return s.failuresSinceConnect() == 0 ? kExitOk : kExitFailed;
}

void PrintTable(const std::vector<fleet::RestoreItem>& items, bool differencesOnly) {
  size_t width = 7;
  size_t sensorWidth = 10;
  for (const auto& i : items) {
    width = std::max(width, i.name.size());
    sensorWidth = std::max(sensorWidth, i.sensorText.size());
  }
  auto pad = [](const std::string& t, size_t w) { return t + std::string(w > t.size() ? w - t.size() : 0, ' '); };
  std::cout << pad("Setting", width) << "  " << pad("Sensor now", sensorWidth) << "  File\n";
  for (const auto& i : items) {
    if (differencesOnly && i.status != fleet::RestoreStatus::kDifferent && i.status != fleet::RestoreStatus::kNotShared)
      continue;
    std::cout << pad(i.name, width) << "  " << pad(i.sensorText, sensorWidth) << "  " << i.fileText;
    if (i.status == fleet::RestoreStatus::kNotShared) std::cout << "  (" << i.message << ")";
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
  return std::count_if(items.begin(), items.end(), [&](const auto& i) { return i.status == status; });
}

int Diff(CliSession& s, const FleetArguments& f, const fleet::SensorBackup& backup) {
  fleet::RestoreOptions options;
  options.force = true;  // a comparison sends nothing: show what the models share
  const fleet::RestoreReport report = fleet::CompareWithSensor(s.doc(), backup, options);
  if (!report.error.empty()) return Failed("diff: " + report.error);
  const bool equal = report.Equal();
  if (f.json) {
    std::cout << json{{"equal", equal}, {"settings", ItemsJson(report.settings)}, {"connection", ItemsJson(report.connection)}}
                     .dump()
              << std::endl;
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
  return equal ? kExitOk : kExitFailed;
}

int Restore(CliSession& s, const FleetArguments& f, const fleet::SensorBackup& backup) {
  fleet::RestoreOptions options;
  options.dryRun = f.dryRun;
  options.force = f.force;
  options.connection = f.connection;
  const fleet::RestoreReport report = fleet::RestoreSettings(s.doc(), backup, options);
  if (report.modelRefused) return Failed("restore: " + report.error, kExitUsage);
  if (!report.error.empty()) return Failed("restore: " + report.error);
  using fleet::RestoreStatus;
  if (f.json) {
    std::cout << json{{"dry_run", f.dryRun},
                      {"verified", !f.dryRun && report.AllVerified()},
                      {"settings", ItemsJson(report.settings)},
                      {"connection", ItemsJson(report.connection)}}
                     .dump()
              << std::endl;
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
  return report.AllVerified() ? kExitOk : kExitFailed;
}

// --- watch --csv -------------------------------------------------------------

int WatchCsv(CliSession& s, const FleetArguments& f) {
  CKRV02Doc& d = s.doc();
  fleet::RangeLog log(d);
  std::string error;
  if (!log.Open(f.csv, error)) return Failed("watch: " + error);
  const auto start = std::chrono::steady_clock::now();
  auto elapsedMs = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  };
  while (!g_interrupted && (f.durationMs < 0 || elapsedMs() < f.durationMs)) {
    if (!d.WaitPollTick(100)) continue;
    if (d.PollAllowed()) log.Poll();
    d.PollTickHandled();
  }
  const auto& sum = log.summary();
  if (f.json) {
    std::cout << json{{"file", f.csv}, {"polls", sum.polls}, {"failures", sum.failures}, {"in_range", sum.inRange},
                      {"min", sum.min}, {"mean", sum.Mean()}, {"max", sum.max}, {"unit", log.unit()}}
                     .dump()
              << std::endl;
  } else {
    std::cout << log.SummaryText() << std::endl;
  }
  return sum.failures == 0 ? kExitOk : kExitFailed;
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
  return c == "backup" || c == "restore" || c == "diff" || c == "bus-scan" || (c == "watch" && Has(o, "--csv"));
}

bool CheckFleetUsage(const CliOptions& o, std::string& error) {
  FleetArguments f;
  if (!ParseFleet(o, f, error)) return false;
  fleet::SensorBackup backup;
  return ReadBackup(o, f, backup, error);
}

int RunFleetCommand(CliSession& s) {
  const CliOptions& o = s.options();
  FleetArguments f;
  std::string error;
  if (!ParseFleet(o, f, error)) return Failed(error, kExitUsage);
  fleet::SensorBackup backup;
  if (!ReadBackup(o, f, backup, error)) return Failed(error, kExitUsage);
  if (o.command == "backup") return Backup(s, f);
  if (o.command == "diff") return Diff(s, f, backup);
  if (o.command == "restore") return Restore(s, f, backup);
  if (o.command == "watch") return WatchCsv(s, f);
  return Failed("unknown command \"" + o.command + "\"", kExitUsage);
}

// --- bus-scan -----------------------------------------------------------------

int RunBusScanCommand(const CliOptions& o) {
  FleetArguments f;
  std::string error;
  if (!ParseFleet(o, f, error)) return Failed(error, kExitUsage);
  fleet::BusScanOptions options;
  options.from = f.from;
  options.to = f.to;
  options.budgetMs = f.budgetMs;
  if (!f.baudRates.empty()) options.baudRates = f.baudRates;
  else if (o.baud) options.baudRates = {*o.baud};

  // The line: the simulated sensor's, the named port, or the port of the
  // settings file.
  std::unique_ptr<sim::VirtualSensor> sensor;
  std::string device;
  if (o.simulate) {
    sim::SensorConfig config;
    config.model = *o.simulate;
    config.checkMode = o.simulateCheckMode == "crc" ? 1 : 0;
    if (o.address && *o.address != 0) config.address = static_cast<uint8_t>(*o.address);
    if (o.baud) config.baudRate = *o.baud;
    sensor = std::make_unique<sim::VirtualSensor>(config);
    if (!sensor->Start()) return Failed("bus-scan: the virtual sensor did not start: " + sensor->LastError());
    device = sensor->SlavePath();
  } else {
    SettingsFile settings(o.settingsPath.value_or(SettingsFile::DefaultPath()));
    settings.Load();
    PortResolver::SetPortMap(settings.ReadPortMap());
    std::string name = o.port.value_or("");
    if (name.empty()) {
      int32_t port = 1;
      settings.GetInteger(SettingsFile::kSerialSection, SettingsFile::kPortKey, &port);
      name = PortResolver::PortName(static_cast<unsigned>(port));
    }
    device = PortResolver::ResolveName(name);
    if (device.empty()) return Failed("bus-scan: no device for port " + name, kExitUsage);
  }

  std::unique_ptr<ProtocolTrace> trace;
  if (!OpenTrace(o, trace, error)) return Failed(error, kExitUsage);
  ProgressBar bar("Scanning the bus");
  std::vector<fleet::FoundSensor> found;
  const bool ok = fleet::ScanBusOnDevice(
      device, options, trace.get(),
      [&](long done, long total) {
        bar.Update(done, total);
        return !g_interrupted.load();
      },
      found, error);
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
    std::cout << json{{"sensors", list}, {"complete", ok && !g_interrupted}}.dump(-1, ' ', false, json::error_handler_t::replace)
              << std::endl;
  } else {
    std::cout << "Address  Check mode  Baud rate  Model                 Serial number\n";
    for (const auto& s : found) {
      char line[160];
      std::snprintf(line, sizeof line, "%7d  %-10s  %9d  %-20s  %s\n", s.address, s.checkMode == 1 ? "CRC" : "Checksum",
                    s.baudRate, (s.model.empty() ? "\"" + s.modelString + "\"" : s.model).c_str(), s.serialNumber.c_str());
      std::cout << line;
    }
    std::cout << found.size() << (found.size() == 1 ? " sensor" : " sensors") << " found"
              << (g_interrupted ? " (stopped)" : "") << std::endl;
  }
  if (!ok) return Failed("bus-scan: " + error);
  return g_interrupted ? kExitFailed : kExitOk;
}

// --- trace ------------------------------------------------------------------------

bool OpenTrace(const CliOptions& o, std::unique_ptr<ProtocolTrace>& trace, std::string& error) {
  if (!o.trace) return true;
  std::shared_ptr<FILE> out(stderr, [](FILE*) {});
  if (*o.trace != "-") {
    FILE* file = std::fopen(o.trace->c_str(), "a");
    if (file == nullptr) {
      error = "--trace: cannot open " + *o.trace + ": " + std::strerror(errno);
      return false;
    }
    out.reset(file, [](FILE* f) { std::fclose(f); });
  }
  // The file is closed with the trace; each line is flushed so a trace of a
  // run that hangs or is killed is complete up to that point.
  trace = std::make_unique<ProtocolTrace>([out](const std::string& line) {
    std::fprintf(out.get(), "%s\n", line.c_str());
    std::fflush(out.get());
  });
  return true;
}

void AttachTrace(CliSession& session, ProtocolTrace* trace) {
  session.doc().link().SetTrace(trace);
  session.doc().xmodem().SetTrace(trace);
}
