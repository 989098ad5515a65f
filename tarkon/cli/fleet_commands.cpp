#include "tarkon/cli/fleet_commands.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

#include "tarkon/cli/bus_scan_ports.h"
#include "tarkon/cli/cli_run.h"
#include "tarkon/cli/history_commands.h"
#include "tarkon/cli/progress_bar.h"
#include "tarkon/document/check_mode_text.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/document/port_list.h"
#include "tarkon/document/printable_text.h"
#include "tarkon/document/settings_file.h"
#include "tarkon/document/virtual_sensor_port.h"
#include "tarkon/fleet/bus_scan.h"
#include "tarkon/fleet/fleet_tools.h"
#include "tarkon/fleet/settings_backup.h"
#include "tarkon/fleet/settings_restore.h"

namespace {

using json = CliJson;

bool ReadBackupArgument(const CliOptions& o, fleet::SensorBackup& backup, std::string& error) {
  if (fleet::ReadBackupFile(o.arguments[0], backup, error)) return true;
  error = o.command + ": " + error + " (nothing was sent)";
  return false;
}

// A failure: said on standard error, and kept as the session's last error
// for the error object of --json.
int Failed(const std::string& message, int status = kExitFailed, CliSession* session = nullptr) {
  std::fprintf(stderr, "%s\n", message.c_str());
  if (session != nullptr) session->SetLastError(message);
  return status;
}

// --- backup, diff, restore --------------------------------------------------

}  // namespace

int RunBackup(CliSession& s, json& out) {
  const std::string& file = s.options().arguments[0];
  fleet::SensorBackup backup;
  std::string error;
  if (!fleet::CaptureBackup(s.doc(), backup, error)) return Failed("backup: " + error, kExitFailed, &s);
  if (!fleet::WriteBackupFile(file, backup, error)) return Failed("backup: " + error, kExitFailed, &s);
  if (s.options().json) {
    out = json{{"file", file},
               {"model", backup.model},
               {"serial_number", backup.serialNumber},
               {"settings", backup.settings.size()}};
  } else {
    std::cout << fleet::SavedBackupText(backup, file) << std::endl;
  }
  return s.failuresSinceConnect() == 0 ? kExitOk : kExitFailed;
}

namespace {

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

// "FILE holds the settings of a KRV02, the sensor is a KRV04"; the file's
// model text is as untrusted as the rest of it.
std::string OtherModelText(CliSession& s, const std::string& file, const fleet::SensorBackup& backup) {
  return file + " holds the settings of a " + PrintableText(backup.model) + ", the sensor is a " +
         s.doc().sensor().modelText();
}

}  // namespace

int RunDiff(CliSession& s, json& out) {
  const std::string& file = s.options().arguments[0];
  fleet::SensorBackup backup;
  std::string error;
  if (!ReadBackupArgument(s.options(), backup, error)) return Failed(error, kExitUsage, &s);
  fleet::RestoreOptions options;
  options.force = true;  // a comparison sends nothing: show what the models share
  const fleet::RestoreReport report = fleet::CompareWithSensor(s.doc(), backup, options);
  if (!report.error.empty()) return Failed("diff: " + report.error, kExitFailed, &s);
  const bool equal = report.Equal();
  if (s.options().json) {
    out = json{{"equal", equal}, {"settings", ItemsJson(report.settings)}, {"connection", ItemsJson(report.connection)}};
  } else if (equal) {
    std::cout << "The sensor holds the settings of " << file << "\n";
  } else {
    if (report.otherModel) std::cout << OtherModelText(s, file, backup) << "\n";
    std::vector<fleet::RestoreItem> all = report.settings;
    all.insert(all.end(), report.connection.begin(), report.connection.end());
    PrintTable(all, true);
  }
  std::cout.flush();
  if (!equal) s.SetLastError("diff: the sensor differs from " + file);
  return equal ? kExitOk : kExitFailed;
}

namespace {

int RestoreOnSensor(CliSession& s, json& out) {
  const CliOptions& o = s.options();
  const std::string& file = o.arguments[0];
  fleet::SensorBackup backup;
  std::string error;
  if (!ReadBackupArgument(o, backup, error)) return Failed(error, kExitUsage, &s);
  fleet::RestoreOptions options;
  options.dryRun = o.dryRun;
  options.force = o.force;
  options.connection = o.connection;
  // --only names the file's settings in any case.
  for (const std::string& wanted : s.options().only) {
    std::string found;
    for (const fleet::BackupSetting& setting : backup.settings)
      if (setting.name.size() == wanted.size() &&
          std::equal(wanted.begin(), wanted.end(), setting.name.begin(),
                     [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b)); }))
        found = setting.name;
    if (found.empty()) return Failed("restore: " + file + " holds no setting named \"" + wanted + "\"", kExitUsage, &s);
    options.only.push_back(found);
  }
  const fleet::RestoreReport report = fleet::RestoreSettings(s.doc(), backup, options);
  if (report.modelRefused) return Failed("restore: " + report.error, kExitUsage, &s);
  if (!report.error.empty()) return Failed("restore: " + report.error, kExitFailed, &s);
  using fleet::RestoreStatus;
  if (o.json) {
    out = json{{"dry_run", o.dryRun},
               {"verified", !o.dryRun && report.AllVerified()},
               {"settings", ItemsJson(report.settings)},
               {"connection", ItemsJson(report.connection)}};
  } else {
    if (report.otherModel)
      std::cout << OtherModelText(s, file, backup) << ": only the settings the two share are restored\n";
    std::vector<fleet::RestoreItem> before = report.settings;
    for (auto& i : before)
      if (i.status != RestoreStatus::kMatched && i.status != RestoreStatus::kNotShared) i.status = RestoreStatus::kDifferent;
    before.insert(before.end(), report.connection.begin(), report.connection.end());
    PrintTable(before, true);
    if (!o.dryRun) {
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
  if (o.dryRun) return kExitOk;
  if (report.AllVerified()) return kExitOk;
  s.SetLastError("restore: not every value verified" + (report.stopped.empty() ? "" : "; stopped: " + report.stopped));
  return kExitFailed;
}

}  // namespace

bool CheckDiffUsage(const CliOptions& o, std::string& error) {
  fleet::SensorBackup backup;
  return ReadBackupArgument(o, backup, error);
}

bool CheckRestoreUsage(const CliOptions& o, std::string& error) {
  if (o.bus) return CheckBusRestoreUsage(o, error);
  if (!o.given.empty()) {
    for (const char* scanOnly : {"--from", "--to", "--budget"})
      if (std::find(o.given.begin(), o.given.end(), scanOnly) != o.given.end()) {
        error = std::string("restore: ") + scanOnly + " goes with --bus";
        return false;
      }
  }
  fleet::SensorBackup backup;
  return ReadBackupArgument(o, backup, error);
}

bool CheckBusScanUsage(const CliOptions& o, std::string& error) {
  const std::string why = fleet::CheckScanOptions(BusScanOptionsOf(o));
  if (why.empty()) return true;
  error = "bus-scan: " + why;
  return false;
}

int RunRestore(CliRun& run) {
  if (run.options().bus) return RunBusRestore(run);
  CliSession* session = run.Connect();
  if (session == nullptr) return run.status();
  return RestoreOnSensor(*session, run.json());
}

// --- bus-scan -----------------------------------------------------------------

int RunBusScan(CliRun& run) {
  const CliOptions& o = run.options();
  json& out = run.json();
  std::string error;
  auto fail = [&](const std::string& message, int status) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return run.Fail(status, message);
  };
  const fleet::BusScanOptions options = BusScanOptionsOf(o);

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
    if (o.ports.size() > 1) return RunBusScanOnPorts(run, options, settings);
    const std::string name = o.port.value_or("").empty() ? StoredPortName(settings) : *o.port;
    device = DeviceOfPortName(settings, name);
    if (device.empty()) return fail("bus-scan: no device for port " + name, kExitUsage);
  }

  ProtocolTrace* trace = run.Trace();
  if (run.traceFailed()) return run.status();
  ProgressBar bar("Scanning the bus");
  const fleet::ScanClock clock(options);
  std::string shown;
  std::vector<fleet::FoundSensor> found;
  // On a terminal: the time left beside the bar, and each sensor on a line
  // of its own above it as soon as it answers (the table follows at the end).
  const bool ok = fleet::ScanBusOnDevice(
      device, options, trace,
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
                     CheckModeWord(s.checkMode).c_str(), s.baudRate);
        shown.clear();
      });
  bar.Finish();
  // A scan that failed and found nothing has no table to show: only why it
  // failed (a port that did not open is no "0 sensors found").
  if (!ok && found.empty()) return fail("bus-scan: " + error, kExitFailed);
  if (o.json) {
    json list = json::array();
    for (const auto& s : found)
      list.push_back({{"address", s.address},
                      {"check_mode", CheckModeWord(s.checkMode)},
                      {"baud", s.baudRate},
                      {"model", s.model},
                      {"model_string", s.modelString},
                      {"serial_number", s.serialNumber}});
    out = json{{"sensors", list}, {"complete", ok && !g_interrupted}};
  } else {
    std::cout << "Address  Check mode  Baud rate  Model                 Serial number\n";
    for (const auto& s : found) {
      char line[256];  // room for texts shown as \xNN
      std::snprintf(line, sizeof line, "%7d  %-10s  %9d  %-20s  %s\n", s.address, CheckModeCaption(s.checkMode).c_str(),
                    s.baudRate, (s.model.empty() ? "\"" + PrintableText(s.modelString) + "\"" : s.model).c_str(),
                    PrintableText(s.serialNumber).c_str());
      std::cout << line;
    }
    std::cout << found.size() << (found.size() == 1 ? " sensor" : " sensors") << " found"
              << (g_interrupted ? " (stopped)" : "") << std::endl;
  }
  if (!ok) return fail("bus-scan: " + error, kExitFailed);
  if (!g_interrupted) return kExitOk;
  return run.Fail(kExitFailed, "bus-scan: stopped");
}
