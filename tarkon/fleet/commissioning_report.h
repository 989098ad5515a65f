#pragma once
// The commissioning report for the job sheet: who the sensor is and how it
// is reached, every setting with its unit, its last changes from the change
// history, the date, the technician and notes. Gathered from the connected
// sensor and written as HTML here, toolkit-free; the desktop program and
// tarkon-cli make the PDF from this same HTML with Qt's own PDF writer
// (report_pdf/), so both forms always say the same.

#include <cstddef>
#include <functional>
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
  size_t olderChanges = 0;   // changes of this sensor in the history beyond those listed
  std::string changesNote;   // why no change can be told to be this sensor's, when that is so
};

// How many of the sensor's last changes a report lists.
inline constexpr size_t kReportChanges = 20;
// Characters a cell of the report shows of a longer text (a hostile history
// line may hold megabytes), followed by a mark that it was cut.
inline constexpr size_t kReportCellChars = 160;
// The same for the notes.
inline constexpr size_t kReportNotesChars = 4000;

// What the report shows of `text`: control characters dropped (a tab, and
// a line break unless `keepLineBreaks`, becomes a blank), at most `maxChars` characters and
// then " [... cut: N characters in all]".
std::string ReportText(const std::string& text, size_t maxChars = kReportCellChars, bool keepLineBreaks = false);

// Re-reads the connected sensor's settings and fills the report from them
// and from the change history at `historyPath`: this sensor's changes only
// (its serial number exactly, with its model; a serial number that reads
// empty matches none, and the report says so), the whole history read.
// False with the reason when not connected, the re-read failed, or `stop`
// (asked between pieces of the history) ended it.
bool GatherReport(CKRV02Doc& doc, const std::string& historyPath, CommissioningReport& report, std::string& error,
                  const std::function<bool()>& stop = {});

// The whole report as one HTML document (UTF-8, no scripts, no outside
// resources), every text escaped and cut to what a cell shows. Tables have
// fixed column shares chosen so that on A4 and Letter no heading and no
// usual value has to break inside a word.
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
