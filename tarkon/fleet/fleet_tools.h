#pragma once
// What a front end's fleet tools bind to besides the operations themselves:
// when each tool may run, the texts a window shows about a backup, a
// restore and a found sensor, and how a found sensor is connected to.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tarkon/document/connect_values.h"
#include "tarkon/fleet/bus_scan.h"
#include "tarkon/fleet/settings_backup.h"
#include "tarkon/fleet/settings_restore.h"

class CKRV02Doc;
class ProtocolTrace;

namespace fleet {

enum class FleetTool { kSaveSettings, kRestoreSettings, kBusScan, kProtocolTrace, kChangeHistory, kCommissioningReport };

// Save and restore need a connected sensor. The bus scan opens the port
// itself and connects to what it finds, so it needs the line free: not while
// connected. Nothing that talks to a sensor runs while a transfer holds the
// line. The trace only listens and is always available, and so is the
// change history, which only reads its file. The commissioning report re-reads
// the connected sensor.
bool IsToolAvailable(const CKRV02Doc& doc, FleetTool tool);

// Attaches `trace` to the document's packet link and block sender (null
// detaches it).
void AttachProtocolTrace(CKRV02Doc& doc, ProtocolTrace* trace);

// A protocol trace that hands each line to `write` (a command-line run's
// --trace file). Its owner needs no protocol header: the deleter lives here.
struct ProtocolTraceDeleter {
  void operator()(ProtocolTrace* trace) const;
};
using OwnedProtocolTrace = std::unique_ptr<ProtocolTrace, ProtocolTraceDeleter>;
OwnedProtocolTrace NewLineTrace(std::function<void(const std::string&)> write);

// Captures the connected sensor's settings and writes them to `path`. The
// message says what was saved, or why nothing was.
bool SaveBackup(CKRV02Doc& doc, const std::string& path, std::string& message);
// The file name a save proposes: "MODEL-SERIAL.json", every character
// that is not a letter, a digit, '.', '_' or '-' replaced by '_', so that a
// serial number holding '/' or ".." cannot point outside the chosen folder.
std::string ProposedBackupFileName(const std::string& model, const std::string& serialNumber);
// "Saved 19 settings of the KRV02 (serial number K2073064) to FILE"
std::string SavedBackupText(const SensorBackup& backup, const std::string& path);

// The rows a restore shows before it applies: every setting and connection
// value that differs or that the sensor's model lacks.
std::vector<RestoreItem> DifferenceRows(const RestoreReport& comparison);
// What the question before a restore says: a file of another model first,
// then how many values will change.
std::string RestoreQuestion(const RestoreReport& comparison, const SensorBackup& backup, const std::string& sensorModel,
                            const std::string& path);
// After the restore: changed, matched, refused, not verified.
std::string RestoreOutcomeText(const RestoreReport& report);
// The rows after a restore: every value that did not simply match.
std::vector<RestoreItem> OutcomeRows(const RestoreReport& report);

// Columns of a found sensor: address, check mode, baud rate, model, serial
// number.
std::vector<std::string> FoundSensorColumnTitles();
std::vector<std::string> FoundSensorCells(const FoundSensor& sensor);

// The connect values that reach a found sensor through `portText`, starting
// from `base` (the stored values); the sensor is asked in its own check mode
// first.
struct FoundConnection {
  ConnectValues values;
  int32_t firstCheckMode = 0;
};
FoundConnection ConnectionOfFound(const FoundSensor& sensor, const std::string& portText, ConnectValues base);

// The device a port text names ("COMn" through the port map, a path as it
// is); empty with a reason when it names none.
std::string ScanDeviceOfPortText(const std::string& portText, std::string& error);

}  // namespace fleet
