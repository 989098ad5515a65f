#include "tarkon/fleet/fleet_apply.h"

#include "tarkon/document/krv02_doc.h"
#include "tarkon/fleet/fleet_tools.h"
#include "tarkon/fleet/settings_restore.h"

namespace fleet {

bool FleetApplyReport::AnyFailed() const {
  if (!error.empty()) return true;
  for (const FleetApplyRow& row : rows)
    if (row.Failed()) return true;
  return false;
}

namespace {

void ApplyToOne(CKRV02Doc& doc, const SensorBackup& backup, const std::string& portText, const ConnectValues& base,
                FleetApplyRow& row) {
  const FoundConnection connection = ConnectionOfFound(row.sensor, portText, base);
  if (!doc.Connect(connection.values, connection.firstCheckMode)) {
    row.error = "no connection: " + doc.sensor().lastConnectFailure().text;
    return;
  }
  row.connected = true;
  RestoreOptions options;  // never the connection values
  const RestoreReport report = RestoreSettings(doc, backup, options);
  for (const RestoreItem& item : report.settings) {
    if (item.status == RestoreStatus::kMatched || item.status == RestoreStatus::kNotShared) continue;
    ++row.changed;
    if (item.status == RestoreStatus::kChanged)
      ++row.verified;
    else
      ++row.failed;
  }
  if (!report.error.empty()) row.error = report.error;
  if (!report.stopped.empty()) row.error = report.stopped;
  doc.Disconnect();
}

}  // namespace

FleetApplyReport ApplyToBus(CKRV02Doc& doc, const SensorBackup& backup, const std::string& device,
                            const std::string& portText, const ConnectValues& base, const BusScanOptions& options,
                            const BusScanner::Progress& progress, const std::function<bool()>& keepGoing,
                            ProtocolTrace* trace) {
  FleetApplyReport report;
  std::vector<FoundSensor> found;
  bool go = true;
  const bool scanned = ScanBusOnDevice(
      device, options, trace,
      [&](long done, long total) {
        go = !progress || progress(done, total);
        return go;
      },
      found, report.error);
  if (!scanned) return report;
  for (const FoundSensor& sensor : found) {
    if (sensor.model != backup.model) {
      ++report.otherModels;
      continue;
    }
    FleetApplyRow row;
    row.sensor = sensor;
    report.rows.push_back(row);
  }
  if (!go) {
    report.stopped = true;
    return report;
  }
  for (FleetApplyRow& row : report.rows) {
    if (report.stopped || (keepGoing && !keepGoing())) {
      report.stopped = true;
      row.error = "stopped";
      continue;
    }
    ApplyToOne(doc, backup, portText, base, row);
  }
  return report;
}

std::vector<std::string> FleetApplyColumnTitles() {
  return {"Sensor", "Serial number", "Settings changed", "Verified", "Failed"};
}

std::vector<std::string> FleetApplyCells(const FleetApplyRow& row) {
  const std::string failed = row.error.empty() ? std::to_string(row.failed) : std::to_string(row.failed) + " (" + row.error + ")";
  return {"address " + std::to_string(row.sensor.address), row.sensor.serialNumber, std::to_string(row.changed),
          std::to_string(row.verified), failed};
}

}  // namespace fleet
