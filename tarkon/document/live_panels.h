#pragma once
// The rows of the sensor views: live diagnostics of each model, the error
// counters and the scan statistics of the KRV02 family. The desktop panels
// and the command-line tool show exactly these names and texts.

#include <string>
#include <vector>

class CKRV02Doc;

struct PanelRow {
  std::string name;
  std::string value;
};
using PanelRows = std::vector<PanelRow>;

// Which live panel a model shows.
enum class LivePanel { kKRV02, kKRV04, kQmtShort, kKRV04BoardFlipper };
LivePanel LivePanelOfModel(int model);

// The panel's rows with empty values (what a panel shows before its first
// successful poll).
PanelRows EmptyDiagnosticRows(LivePanel panel);
PanelRows EmptyErrorRows();
PanelRows EmptyScanStatisticsRows();

// One poll of the panel's commands. KRV02 family: GetKRV02State, then
// GetLaserPower, then GetPeak, each only after the previous one succeeded;
// the others: their state command. Only when all succeed are the rows
// rewritten; otherwise they keep what they showed (each failed command has
// logged its line).
bool PollDiagnostics(CKRV02Doc& doc, LivePanel panel, PanelRows& rows);
// GetErrorState; on success the six counter rows.
bool ReadErrorCounters(CKRV02Doc& doc, PanelRows& rows);
// The statistics rows from the last HLAScanResult and GetKRV02State replies.
PanelRows ScanStatisticsRows(const CKRV02Doc& doc);
// "Filter": ApplyScanFilter, then HLAScanResult whatever the first returned.
bool ApplyFilterAndReadStatistics(CKRV02Doc& doc);

constexpr int kCalibratedStatus = 21845;
