#pragma once
// The commissioning report for the job sheet: who the sensor is and how it
// is reached, every setting with its unit, its last changes from the change
// history, the date, the technician and notes. Gathered from the connected
// sensor and written as HTML here, toolkit-free; the desktop program and
// tarkon-cli make the PDF from this same HTML with Qt's own PDF writer
// (report_pdf/), so both forms always say the same.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "history/change_history.h"

class CKRV02Doc;
class SettingsFile;

namespace fleet {

struct ReportSetting {
  std::string name;   // display name, as the setup pane lists it
  std::string value;  // as the setup pane shows it
  std::string unit;   // empty for a count or a choice
};

struct CommissioningReport {
  std::string date;  // UTC, "2026-12-08 15:40 UTC"
  std::string technician;
  std::string notes;
  std::string serialNumber;
  std::vector<std::pair<std::string, std::string>> identity;  // caption, value
  std::vector<ReportSetting> settings;
  std::vector<history::Entry> changes;  // newest first
  size_t damagedHistoryLines = 0;
};

// How many of the sensor's last changes a report lists.
inline constexpr size_t kReportChanges = 20;

// Re-reads the connected sensor's settings and fills the report from them
// and from the change history at `historyPath` (the changes of this serial
// number only). False with the reason when not connected or the re-read
// failed.
bool GatherReport(CKRV02Doc& doc, const std::string& historyPath, CommissioningReport& report, std::string& error);

// The whole report as one HTML document (UTF-8, no scripts, no outside
// resources), every text escaped.
std::string ReportHtml(const CommissioningReport& report);
// Writes `html` to `path` atomically. False with "cannot write PATH: ...".
bool WriteReportFile(const std::string& path, const std::string& html, std::string& error);

// The technician's name, kept per user in the program's settings file
// (asked once, then offered again).
std::string StoredTechnician(const SettingsFile& settings);
void StoreTechnician(SettingsFile& settings, const std::string& name);

// Whether `path` asks for a PDF (".pdf", any case) or HTML (".html",
// ".htm"); false for any other name.
enum class ReportFormat { kPdf, kHtml };
bool ReportFormatOfPath(const std::string& path, ReportFormat& format);

}  // namespace fleet
