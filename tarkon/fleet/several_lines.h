#pragma once
// The bus scan and the fleet apply on several lines at once: buses behind
// serial device servers (one gateway a line), or several local adapters.
// Each line gets a thread of its own and its own port, document and
// change-history writer, so a slow or silent gateway costs only its own
// line's time; the result is one entry per line, in the order the lines
// were given, each with its own error.
//
// The callbacks are called from the lines' threads, one at a time (a lock
// is held around each call), so a front end needs no lock of its own; they
// must not wait for another line. A trace gets every line's frames, each
// line prefixed with its port.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tarkon/document/connect_values.h"
#include "tarkon/fleet/bus_scan.h"
#include "tarkon/fleet/fleet_apply.h"
#include "tarkon/fleet/settings_backup.h"

class CKRV02Doc;
class ProtocolTrace;

namespace fleet {

struct LineTarget {
  std::string portText;  // as the technician named it: COMn, a device path, rfc2217://...
  std::string device;    // what opens it (the port map applied)
};

struct LineScan {
  std::string portText;
  std::vector<FoundSensor> found;
  bool ok = false;
  std::string error;  // why the line failed (it could not be opened, the port failed)
};

struct LineApply {
  std::string portText;
  FleetApplyReport report;
};

// Done and total are the sums over all lines. Once a call returns false,
// every line stops at its next probe.
using LinesProgress = BusScanner::Progress;
// A sensor found on line `line` (its index in the lines given), as
// BusScanner's sighting tells it.
using LineSighting = std::function<void(size_t line, size_t index, const FoundSensor& sensor)>;

// Scans every line with `options` at the same time. An empty list, or
// options a scan does not take, give no result and `error`.
std::vector<LineScan> ScanLines(const std::vector<LineTarget>& lines, const BusScanOptions& options,
                                ProtocolTrace* trace, const LinesProgress& progress, const LineSighting& sighting,
                                std::string& error);

// ApplyToBus on every line at the same time, each with a document of its
// own from `makeDocument` (called on the line's thread; closed there when
// the line is done). `keepGoing` is asked before each sensor of any line.
std::vector<LineApply> ApplyToLines(const std::function<std::unique_ptr<CKRV02Doc>()>& makeDocument,
                                    const SensorBackup& backup, const std::vector<LineTarget>& lines,
                                    const ConnectValues& base, const BusScanOptions& options,
                                    const LinesProgress& progress, const std::function<bool()>& keepGoing,
                                    ProtocolTrace* trace = nullptr);

}  // namespace fleet
