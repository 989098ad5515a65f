#include "tarkon/fleet/fleet_tools.h"

#include <algorithm>

#include "protocol/frame.h"
#include "protocol/protocol_trace.h"
#include "serial/port_resolver.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/printable_text.h"

namespace fleet {

bool IsToolAvailable(const CKRV02Doc& doc, FleetTool tool) {
  if (tool == FleetTool::kProtocolTrace || tool == FleetTool::kChangeHistory) return true;
  if (doc.LineBusy()) return false;
  if (tool == FleetTool::kBusScan) return !doc.connected();
  return doc.connected();
}

void AttachProtocolTrace(CKRV02Doc& doc, ProtocolTrace* trace) { doc.options().SetTrace(trace); }

void ProtocolTraceDeleter::operator()(ProtocolTrace* trace) const { delete trace; }

OwnedProtocolTrace NewLineTrace(std::function<void(const std::string&)> write) {
  return OwnedProtocolTrace(new ProtocolTrace(std::move(write)));
}

std::string ProposedBackupFileName(const std::string& model, const std::string& serialNumber) {
  std::string name = model + "-" + serialNumber;
  for (char& c : name) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                      c == '_' || c == '-';
    if (!kept) c = '_';
  }
  // A name that starts with a dot would be hidden (or be ".." itself).
  if (!name.empty() && name[0] == '.') name[0] = '_';
  return name + ".json";
}

std::string SavedBackupText(const SensorBackup& backup, const std::string& path) {
  return "Saved " + std::to_string(backup.settings.size()) + " settings of the " + PrintableText(backup.model) +
         " (serial number " + PrintableText(backup.serialNumber) + ") to " + path;
}

bool SaveBackup(CKRV02Doc& doc, const std::string& path, std::string& message) {
  SensorBackup backup;
  std::string error;
  if (!CaptureBackup(doc, backup, error) || !WriteBackupFile(path, backup, error)) {
    message = "The settings were not saved: " + error;
    return false;
  }
  message = SavedBackupText(backup, path);
  return true;
}

std::vector<RestoreItem> DifferenceRows(const RestoreReport& comparison) {
  std::vector<RestoreItem> rows;
  for (const auto* list : {&comparison.settings, &comparison.connection})
    for (const RestoreItem& i : *list)
      if (i.status != RestoreStatus::kMatched) rows.push_back(i);
  return rows;
}

std::string RestoreQuestion(const RestoreReport& comparison, const SensorBackup& backup, const std::string& sensorModel,
                            const std::string& path) {
  std::string text;
  if (comparison.otherModel)
    text = path + " holds the settings of a " + PrintableText(backup.model) + ", the sensor is a " + PrintableText(sensorModel) +
           ": only the settings the two share are restored.\n";
  const auto settings = std::count_if(comparison.settings.begin(), comparison.settings.end(),
                                      [](const RestoreItem& i) { return i.status == RestoreStatus::kDifferent; });
  const auto connection = std::count_if(comparison.connection.begin(), comparison.connection.end(),
                                        [](const RestoreItem& i) { return i.status == RestoreStatus::kDifferent; });
  text += std::to_string(settings) + (settings == 1 ? " setting differs" : " settings differ") + " from " + path + ".";
  if (connection > 0)
    text += " The connection (" + std::to_string(connection) +
            (connection == 1 ? " value" : " values") + ") is restored only when asked, last, with a reconnect.";
  text += "\nApply the file's values to the sensor?";
  return text;
}

std::string RestoreOutcomeText(const RestoreReport& report) {
  if (!report.error.empty()) return "The restore failed: " + report.error;
  long changed = 0, matched = 0, refused = 0, failed = 0, left = 0;
  // Each setting of the file once. A connection value counts only when it
  // was not already as the file says: one that matched is no setting of
  // the file that "already matched".
  for (const auto* list : {&report.settings, &report.connection}) {
    for (const RestoreItem& i : *list) {
      changed += i.status == RestoreStatus::kChanged;
      matched += i.status == RestoreStatus::kMatched && list == &report.settings;
      refused += i.status == RestoreStatus::kRefused;
      failed += i.status == RestoreStatus::kNotVerified;
      left += i.status == RestoreStatus::kDifferent || i.status == RestoreStatus::kNotShared;
    }
  }
  std::string text = "Changed " + std::to_string(changed) + ", already matched " + std::to_string(matched);
  if (refused > 0) text += ", refused " + std::to_string(refused);
  if (failed > 0) text += ", not verified " + std::to_string(failed);
  if (left > 0) text += ", not restored " + std::to_string(left);
  text += report.AllVerified() ? ". Every change verified." : ". Not every change verified.";
  if (!report.reconnected) text += " The sensor did not answer after the connection change.";
  if (!report.stopped.empty()) text += " Stopped: " + report.stopped + ".";
  return text;
}

std::vector<RestoreItem> OutcomeRows(const RestoreReport& report) { return DifferenceRows(report); }

std::vector<std::string> FoundSensorColumnTitles() {
  return {"Address", "Check mode", "Baud rate", "Model", "Serial number"};
}

std::vector<std::string> FoundSensorCells(const FoundSensor& s) {
  return {std::to_string(s.address), s.checkMode == frame::kCrc ? "CRC" : "Checksum", std::to_string(s.baudRate),
          s.model.empty() ? "\"" + s.modelString + "\"" : s.model, s.serialNumber};
}

FoundConnection ConnectionOfFound(const FoundSensor& sensor, const std::string& portText, ConnectValues base) {
  FoundConnection c;
  c.values = std::move(base);
  c.values.portText = portText;
  c.values.baudChoice = ConnectBaudChoice(sensor.baudRate);
  c.values.address = static_cast<uint8_t>(sensor.address);
  c.values.globalAddress = false;
  c.firstCheckMode = sensor.checkMode == frame::kCrc ? frame::kCrc : frame::kChecksum;
  return c;
}

std::string ScanDeviceOfPortText(const std::string& portText, std::string& error) {
  const std::string path = DevicePathOfText(portText);
  if (!path.empty()) return path;
  if (PortNumberOfText(portText) <= 0) {
    error = "\"" + portText + "\" names no port (COMn or a device path)";
    return "";
  }
  const std::string device = PortResolver::ResolveName(portText);
  if (device.empty()) error = "no device for port " + portText;
  return device;
}

}  // namespace fleet
