#include "tarkon/document/live_panels.h"

#include <cstdint>
#include <cstdio>

#include "tarkon/document/doc_internals.h"
#include "tarkon/models/model_table.h"

LivePanel LivePanelOfModel(int model) {
  const ModelEntry* entry = ModelEntryOf(model);
  return entry != nullptr ? entry->panel : LivePanel::kKRV02;
}

const LivePanelParts& PartsOfPanel(LivePanel panel) {
  for (const ModelEntry& row : ModelTable())
    if (row.panel == panel) return row.parts().livePanel();
  return ModelTable()[kModelKRV02].parts().livePanel();
}

PanelRows EmptyDiagnosticRows(LivePanel panel) { return live_panel_text::Named(PartsOfPanel(panel).names); }

PanelRows EmptyErrorRows() { return live_panel_text::Named(krv02::ErrorNames()); }

PanelRows EmptyScanStatisticsRows() { return live_panel_text::Named(krv02::StatisticsNames()); }

namespace {

// The KRV02 panel's "Scanning" row and the text it shows while scanning.
constexpr size_t kScanningRow = 5;
constexpr const char* kScanningOn = "On";

// Writes the values in order over the rows' values.
void WriteValues(PanelRows& rows, const std::vector<std::string>& values) {
  for (size_t i = 0; i < rows.size() && i < values.size(); ++i) rows[i].value = values[i];
}

RangeTextOf RangeTextOfDoc(const CKRV02Doc& doc) {
  return [&doc](int16_t raw) { return doc.sensor().RangeText(raw); };
}

}  // namespace

bool PollDiagnostics(CKRV02Doc& doc, LivePanel panel, PanelRows& rows) {
  SensorCommands& c = DocInternals::Commands(doc);
  const LivePanelParts& parts = PartsOfPanel(panel);
  if (rows.empty()) rows = EmptyDiagnosticRows(panel);
  if (!doc.LineFree()) return false;
  if (!parts.poll(c)) return false;
  WriteValues(rows, parts.values(c, RangeTextOfDoc(doc)));
  return true;
}

std::string ErrorCountersRefusal(int model) {
  return HasErrorCounters(model) ? std::string() : "the error counters are read from sensors of the KRV02 family only";
}

std::string ScanBufferRefusal(int model) {
  return HasScanBuffer(model) ? std::string() : "only the KRV02 family and the board flipper offer their scan buffer";
}

int16_t LastRawRange(const CKRV02Doc& doc) {
  return PartsOfPanel(LivePanelOfModel(doc.sensor().modelIndex())).rawRange(DocInternals::Commands(doc));
}

bool ReadErrorCounters(CKRV02Doc& doc, PanelRows& rows) {
  SensorCommands& c = DocInternals::Commands(doc);
  if (rows.empty()) rows = EmptyErrorRows();
  if (!doc.LineFree() || !c.GetErrorState()) return false;
  WriteValues(rows, krv02::ErrorValues(c));
  return true;
}

std::optional<bool> ScanningShown(const PanelRows& rows) {
  if (rows.size() <= kScanningRow || rows[kScanningRow].value.empty()) return std::nullopt;
  return rows[kScanningRow].value == kScanningOn;
}

PanelRows ScanStatisticsRows(const CKRV02Doc& doc) {
  PanelRows rows = EmptyScanStatisticsRows();
  WriteValues(rows, krv02::StatisticsValues(DocInternals::Commands(doc), RangeTextOfDoc(doc)));
  return rows;
}

bool ApplyFilterAndReadStatistics(CKRV02Doc& doc) {
  if (!doc.LineFree()) return false;
  DocInternals::Commands(doc).ApplyScanFilter();
  return DocInternals::Commands(doc).HLAScanResult() != 0;
}

bool PanelTick(CKRV02Doc& doc, LivePanel panel, bool update, PanelRows& rows) {
  if (!doc.connected()) {
    rows.clear();
    return false;
  }
  DocInternals::NotePolling(doc, update);
  if (PartsOfPanel(panel).idleWhenSwitchedOff) {
    if (!update) return false;
    return PollDiagnostics(doc, panel, rows);
  }
  if (rows.empty()) rows = EmptyDiagnosticRows(panel);
  if (!update) return false;
  return PollDiagnostics(doc, panel, rows);
}

bool GetErrorsClick(CKRV02Doc& doc, PanelRows& rows) {
  if (doc.LineBusy()) return false;  // dropped, not run later
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
  if (doc.LineBusy()) return;  // dropped, not run later
  ApplyFilterAndReadStatistics(doc);
  RefreshStatistics(doc, rows);
}

bool StartStopScanClick(CKRV02Doc& doc, ScanPageState& state) {
  if (doc.LineBusy()) return false;  // dropped, not run later
  if (state.scanning) {
    if (!doc.operations().StopScan()) return false;
    state = ScanPageState{false, "Not scanning", "Start Scan", true};
    return true;
  }
  if (!doc.operations().StartScan()) return false;
  state = ScanPageState{true, "Scanning...", "Stop Scan", false};
  return true;
}

std::optional<double> PolledRange(const CKRV02Doc& doc, LivePanel panel) {
  return RangeModeTable::RangeValue(doc.sensor().CurrentRow(),
                                    PartsOfPanel(panel).rawRange(DocInternals::Commands(doc)));
}
