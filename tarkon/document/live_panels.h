#pragma once
// The operations of the sensor views: live diagnostics of each model (the
// rows each model folder describes), the error counters and the scan
// statistics of the KRV02 family. The desktop panels and the command-line
// tool show exactly these names and texts.

#include <optional>
#include <string>
#include <vector>

#include "tarkon/models/krv02/krv02_panel.h"
#include "tarkon/models/live_panel_parts.h"
#include "tarkon/models/model_index.h"

class CKRV02Doc;

// Which live panel a model shows: the view panel of its row in the model
// table (KRV02 for an index outside the table).
using LivePanel = ViewPanelKind;
LivePanel LivePanelOfModel(int model);
// The rows and commands of a panel, from the model folder that shows it.
const LivePanelParts& PartsOfPanel(LivePanel panel);

// The panel's rows with empty values (what a panel shows before its first
// successful poll).
PanelRows EmptyDiagnosticRows(LivePanel panel);
PanelRows EmptyErrorRows();
PanelRows EmptyScanStatisticsRows();

// The sensor operations below send nothing while the line is busy or the
// sensor not connected (CKRV02Doc::LineFree); a press then is dropped.
//
// One poll of the panel's commands. KRV02 family: GetKRV02State, then
// GetLaserPower, then GetPeak, each only after the previous one succeeded;
// the others: their state command. Only when all succeed are the rows
// rewritten; otherwise they keep what they showed (each failed command has
// logged its line).
bool PollDiagnostics(CKRV02Doc& doc, LivePanel panel, PanelRows& rows);
// The raw range of the last poll, from the connected model's state reply.
int16_t LastRawRange(const CKRV02Doc& doc);
// Whether the KRV02 family's diagnostics say the sensor scans: nothing
// while the "Scanning" row is empty (no poll yet) or the rows are another
// panel's.
std::optional<bool> ScanningShown(const PanelRows& rows);
// Why a model offers no error counters, or no scan buffer: empty when it
// does (a front end that offers the action to every model says this).
std::string ErrorCountersRefusal(int model);
std::string ScanBufferRefusal(int model);
// GetErrorState; on success the six counter rows.
bool ReadErrorCounters(CKRV02Doc& doc, PanelRows& rows);
// The statistics rows from the last HLAScanResult and GetKRV02State replies.
PanelRows ScanStatisticsRows(const CKRV02Doc& doc);
// "Filter": ApplyScanFilter, then HLAScanResult whatever the first returned.
bool ApplyFilterAndReadStatistics(CKRV02Doc& doc);

constexpr int kCalibratedStatus = krv02::kCalibratedStatus;

// One poll tick of a panel with an update switch, as the panel runs it.
// Not connected: the list is emptied. KRV02 family: with the switch off
// nothing happens (the list keeps what it shows); else an empty list gets
// its ten rows and the command chain runs. The others: an empty list gets
// its eight rows whatever the switch (the first tick after a connect builds
// them), then with the switch on the state command runs. True when the
// commands succeeded and the rows were rewritten.
bool PanelTick(CKRV02Doc& doc, LivePanel panel, bool update, PanelRows& rows);

// "Get Errors": not connected empties the list; an empty list gets its six
// rows and nothing is sent on this click; otherwise GetErrorState, whose
// success rewrites the values. True when the counters were read.
bool GetErrorsClick(CKRV02Doc& doc, PanelRows& rows);

// The statistics list after "Filter": emptied when not connected, rows
// built when empty, otherwise the six values written.
void RefreshStatistics(const CKRV02Doc& doc, PanelRows& rows);
// "Filter": ApplyScanFilter, HLAScanResult, then the statistics refresh.
void FilterClick(CKRV02Doc& doc, PanelRows& rows);

// The scan page's own scanning state: it follows only its button, never
// the sensor's "Scanning" row.
struct ScanPageState {
  bool scanning = false;
  std::string status;                     // the "Status" box
  std::string startCaption = "Start scan";  // the start/stop button
  bool readAndFilterEnabled = true;       // "Read Scan Buffer" and "Filter"
};
// "Start scan" / "Stop Scan": StopScan when scanning, else StartScan; on
// success the state flips, on failure nothing changes. True on success.
bool StartStopScanClick(CKRV02Doc& doc, ScanPageState& state);

// The range of the last successful poll of the panel's state command, in
// the display units of the sensor's current mode; nothing for "Out of
// Range". Reads only the stored reply: no traffic.
std::optional<double> PolledRange(const CKRV02Doc& doc, LivePanel panel);
