#pragma once
// One settings file applied to every sensor of its model on a bus: the bus
// scan finds them, then each is connected to in turn, brought to the
// file's settings through the same restore as a single sensor (its checks,
// commands, re-read and verification; every write in the change history)
// and disconnected again. Address, baud rate and check mode stay as each
// sensor has them: they are what tells the sensors on one line apart.

#include <functional>
#include <string>
#include <vector>

#include "tarkon/document/connect_values.h"
#include "tarkon/fleet/bus_scan.h"
#include "tarkon/fleet/settings_backup.h"

class CKRV02Doc;
class ProtocolTrace;

namespace fleet {

struct FleetApplyRow {
  FoundSensor sensor;
  bool connected = false;
  int changed = 0;   // settings that differed from the file
  int verified = 0;  // ... and now hold the file's value
  int failed = 0;    // ... refused, or not verified
  std::string error;  // why the sensor could not be done at all

  bool Failed() const { return !connected || failed > 0 || !error.empty(); }
};

struct FleetApplyReport {
  std::string error;  // the scan itself failed (port, options)
  std::vector<FleetApplyRow> rows;  // the sensors of the file's model, in scan order
  int otherModels = 0;              // sensors found of another model (left alone)
  bool stopped = false;             // the progress callback asked to stop

  bool AnyFailed() const;
};

// Scans `device` with `options`, then applies `backup` to each sensor of
// its model, connecting `doc` through `portText` (the port as the user
// named it) with `base` for the values a scan does not find (time-outs,
// framing). `progress` follows the scan; `keepGoing` is asked before each
// sensor (false: the rest are left alone). The document is left
// disconnected.
FleetApplyReport ApplyToBus(CKRV02Doc& doc, const SensorBackup& backup, const std::string& device,
                            const std::string& portText, const ConnectValues& base, const BusScanOptions& options,
                            const BusScanner::Progress& progress, const std::function<bool()>& keepGoing,
                            ProtocolTrace* trace = nullptr);

// Column titles of the table a front end prints, and one row's cells.
std::vector<std::string> FleetApplyColumnTitles();
std::vector<std::string> FleetApplyCells(const FleetApplyRow& row);

}  // namespace fleet
