#include "tarkon/document/live_panels.h"

#include <cstdint>
#include <cstdio>

#include "tarkon/document/krv02_doc.h"

namespace {

std::string Unsigned(uint16_t value) { return std::to_string(value); }
std::string Signed(uint16_t value) { return std::to_string(static_cast<int16_t>(value)); }

uint16_t W(const uint8_t* area, size_t word) { return SensorCommands::Word(area, word * 2); }

const char* const kKRV02Names[] = {"Base pix.", "Sum pix.",    "Num pix.", "Sub pix.", "Scan count",
                                   "Scanning",  "Laser power", "Peak",     "",         "Range"};
const char* const kKRV04Names[] = {"Base pix.",   "Sum pix.", "Num pix.", "Sub pix.",
                                   "Laser power", "Peak",     "",         "Range"};
const char* const kErrorNames[] = {"PowerUp count",     "Callibration status", "Reset count",
                                   "Illegal opertions", "Command errors",      "Checksum/CRC errors"};
const char* const kStatisticsNames[] = {"Scans count",    " High scan number", "High scan value",
                                        "Low scan number", "Low scan value",    "Average scan value"};

template <size_t N>
PanelRows Named(const char* const (&names)[N]) {
  PanelRows rows;
  for (const char* name : names) rows.push_back({name, ""});
  return rows;
}

}  // namespace

LivePanel LivePanelOfModel(int model) {
  switch (model) {
    case kModelKRV04: return LivePanel::kKRV04;
    case kModelQmtShort: return LivePanel::kQmtShort;
    case kModelKRV04BoardFlipper: return LivePanel::kKRV04BoardFlipper;
    default: return LivePanel::kKRV02;
  }
}

PanelRows EmptyDiagnosticRows(LivePanel panel) {
  return panel == LivePanel::kKRV02 ? Named(kKRV02Names) : Named(kKRV04Names);
}

PanelRows EmptyErrorRows() { return Named(kErrorNames); }

PanelRows EmptyScanStatisticsRows() { return Named(kStatisticsNames); }

bool PollDiagnostics(CKRV02Doc& doc, LivePanel panel, PanelRows& rows) {
  SensorCommands& c = doc.commands();
  if (rows.empty()) rows = EmptyDiagnosticRows(panel);
  if (panel == LivePanel::kKRV02) {
    if (!c.GetKRV02State() || !c.GetLaserPower() || !c.GetPeak()) return false;
    const uint8_t* s = c.krv02State;
    const std::string values[] = {Unsigned(W(s, 0)), Unsigned(W(s, 1)), Unsigned(W(s, 2)),
                                  Unsigned(W(s, 3)), Signed(W(s, 5)),   W(s, 6) != 0 ? "On" : "Off",
                                  std::to_string(c.laserPower), Signed(c.peak), "",
                                  doc.RangeText(static_cast<int16_t>(W(s, 4)))};
    for (size_t i = 0; i < rows.size() && i < std::size(values); ++i) rows[i].value = values[i];
    return true;
  }
  const bool boardFlipper = panel == LivePanel::kKRV04BoardFlipper;
  if (!(boardFlipper ? c.GetKRV04BFState() : c.GetSensorState())) return false;
  const uint8_t* s = boardFlipper ? c.bfState : c.sensorState;
  const std::string values[] = {Unsigned(W(s, 0)), Unsigned(W(s, 1)), Unsigned(W(s, 2)), Unsigned(W(s, 3)),
                                Unsigned(W(s, 5)), Unsigned(W(s, 6)), "",
                                doc.RangeText(static_cast<int16_t>(W(s, 4)))};
  for (size_t i = 0; i < rows.size() && i < std::size(values); ++i) rows[i].value = values[i];
  return true;
}

bool ReadErrorCounters(CKRV02Doc& doc, PanelRows& rows) {
  SensorCommands& c = doc.commands();
  if (rows.empty()) rows = EmptyErrorRows();
  if (!c.GetErrorState()) return false;
  const uint8_t* e = c.errorState;
  const std::string values[] = {Signed(W(e, 0)),
                                static_cast<int16_t>(W(e, 4)) == kCalibratedStatus ? "Callibration OK"
                                                                                   : "No Callibration",
                                Signed(W(e, 1)), Signed(W(e, 5)), Signed(W(e, 3)), Signed(W(e, 2))};
  for (size_t i = 0; i < rows.size() && i < std::size(values); ++i) rows[i].value = values[i];
  return true;
}

PanelRows ScanStatisticsRows(const CKRV02Doc& doc) {
  const SensorCommands& c = doc.commands();
  const uint8_t* h = c.hlaResult;
  PanelRows rows = EmptyScanStatisticsRows();
  const std::string values[] = {Signed(W(c.krv02State, 5)),
                                Signed(W(h, 1)),
                                doc.RangeText(static_cast<int16_t>(W(h, 0))),
                                Signed(W(h, 3)),
                                doc.RangeText(static_cast<int16_t>(W(h, 2))),
                                doc.RangeText(static_cast<int16_t>(W(h, 4)))};
  for (size_t i = 0; i < rows.size(); ++i) rows[i].value = values[i];
  return rows;
}

bool ApplyFilterAndReadStatistics(CKRV02Doc& doc) {
  doc.commands().ApplyScanFilter();
  return doc.commands().HLAScanResult() != 0;
}

bool PanelTick(CKRV02Doc& doc, LivePanel panel, bool update, PanelRows& rows) {
  if (!doc.connected()) {
    rows.clear();
    return false;
  }
  if (panel == LivePanel::kKRV02) {
    if (!update) return false;
    return PollDiagnostics(doc, panel, rows);
  }
  if (rows.empty()) rows = EmptyDiagnosticRows(panel);
  if (!update) return false;
  return PollDiagnostics(doc, panel, rows);
}

bool GetErrorsClick(CKRV02Doc& doc, PanelRows& rows) {
  if (!doc.connected()) {
    rows.clear();
    return false;
  }
  if (rows.empty()) {
    rows = EmptyErrorRows();
    return false;
  }
  return ReadErrorCounters(doc, rows);
}

void RefreshStatistics(const CKRV02Doc& doc, PanelRows& rows) {
  if (!doc.connected()) {
    rows.clear();
  } else if (rows.empty()) {
    rows = EmptyScanStatisticsRows();
  } else {
    rows = ScanStatisticsRows(doc);
  }
}

void FilterClick(CKRV02Doc& doc, PanelRows& rows) {
  ApplyFilterAndReadStatistics(doc);
  RefreshStatistics(doc, rows);
}

bool StartStopScanClick(CKRV02Doc& doc, ScanPageState& state) {
  SensorCommands& c = doc.commands();
  if (state.scanning) {
    if (!c.StopScan()) return false;
    state = ScanPageState{false, "Not scanning", "Start Scan", true};
    return true;
  }
  if (!c.StartScan()) return false;
  state = ScanPageState{true, "Scanning...", "Stop Scan", false};
  return true;
}

std::optional<double> PolledRange(const CKRV02Doc& doc, LivePanel panel) {
  const SensorCommands& c = doc.commands();
  const uint8_t* s = panel == LivePanel::kKRV02               ? c.krv02State
                     : panel == LivePanel::kKRV04BoardFlipper ? c.bfState
                                                              : c.sensorState;
  return RangeModeTable::RangeValue(doc.CurrentRow(), static_cast<int16_t>(W(s, 4)));
}
