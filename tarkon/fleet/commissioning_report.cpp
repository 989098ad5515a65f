#include "tarkon/fleet/commissioning_report.h"

#include <algorithm>
#include <cctype>

#include "files/atomic_file_writer.h"
#include "tarkon/document/iso_time.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/fleet/settings_backup.h"

namespace fleet {

namespace {

constexpr const char* kReportSection = "Report";
constexpr const char* kTechnicianKey = "Technician";

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

// What a cell shows, escaped.
std::string Cell(const std::string& text) { return Escape(ReportText(text)); }

// Line breaks of the notes kept in the page.
std::string NotesHtml(const std::string& notes) {
  std::string out;
  for (char c : ReportText(notes, kReportNotesChars, true))
    out += c == '\n' ? std::string("<br>") : Escape(std::string(1, c));
  return out;
}

// Bytes of the UTF-8 sequence that `lead` starts (1 for a stray byte).
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

// "2026-12-08 15:40 UTC", from the standard library's calendar (no C
// library time call, the same on every platform).
std::string Today() {
  const std::string iso = IsoUtcTime(std::chrono::system_clock::now());
  return iso.substr(0, 10) + " " + iso.substr(11, 5) + " UTC";
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

constexpr const char* kTable = "<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n";

// One row. `widths`, on a table's first row: the share of the width each
// column keeps, wide enough for its heading's longest word and the usual
// values beneath it, so that only an unusual value has to break in a word.
void Row(std::string& html, const std::vector<std::string>& cells, const std::vector<int>& widths = {},
         const char* tag = "td") {
  html += "<tr>";
  for (size_t i = 0; i < cells.size(); ++i) {
    html += std::string("<") + tag;
    if (i < widths.size()) html += " width=\"" + std::to_string(widths[i]) + "%\"";
    html += ">" + Cell(cells[i]) + "</" + tag + ">";
  }
  html += "</tr>\n";
}

// "2026-12-08T15:40:00.123Z" as "2026-12-08 15:40:00.123Z": a blank where
// the cell may wrap. Anything else as it is.
std::string TimeCell(const std::string& iso) {
  if (iso.size() > 10 && iso[10] == 'T' && iso[4] == '-' && iso[7] == '-') return iso.substr(0, 10) + " " + iso.substr(11);
  return iso;
}

}  // namespace

std::string ReportText(const std::string& text, size_t maxChars, bool keepLineBreaks) {
  std::string out;
  size_t shown = 0;
  size_t total = 0;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = std::min(SequenceLength(lead), text.size() - i);
    const bool c1 = lead == 0xC2 && length == 2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    const bool control = lead < 0x20 || lead == 0x7F || c1;
    if (control && !(lead == '\n' || lead == '\t')) {
      i += length;  // dropped: it would reach the page as a raw byte
      continue;
    }
    ++total;
    if (shown < maxChars) {
      if (lead == '\t' || (lead == '\n' && !keepLineBreaks))
        out += ' ';
      else
        out.append(text, i, length);
      ++shown;
    }
    i += length;
  }
  if (total > shown) out += " [\xE2\x80\xA6 cut: " + std::to_string(total) + " characters in all]";
  return out;
}

bool GatherReport(CKRV02Doc& doc, const std::string& historyPath, CommissioningReport& report, std::string& error,
                  const std::function<bool()>& stop) {
  ModelSettings* settings = doc.currentSettings();
  if (!doc.connected() || settings == nullptr) {
    error = "not connected to a sensor";
    return false;
  }
  if (!doc.operations().RereadSettings()) {
    error = "the sensor's settings could not be read";
    return false;
  }
  // A sensor that reports no serial number still gets its report, which
  // then lists no change (an empty serial number matches nothing).
  if (!RequireCompleteIdentity(doc, error, IdentityNeed::kAnswered)) return false;
  report.date = Today();
  report.serialNumber = doc.sensor().serialNumberText();
  report.identity = {{"Model", doc.sensor().modelText()},
                     {"Model string", doc.sensor().modelString()},
                     {"Serial number", report.serialNumber},
                     {"Firmware", doc.sensor().firmwareText()},
                     {"FPGA version", doc.sensor().fpgaText()},
                     {"Port", doc.sensor().device()},
                     {"Baud rate", std::to_string(doc.sensor().baudRate())},
                     {"Address", std::to_string(doc.sensor().address())},
                     {"Error checking mode", doc.sensor().checkMode() == frame::kCrc ? "CRC" : "Checksum"}};
  report.settings.clear();
  std::vector<std::string> names, values;
  settings->Summary(names, values);
  for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
    if (names[i].empty()) continue;  // the pane's spacer row
    report.settings.push_back({names[i], values[i], settings->UnitText(names[i], doc.sensor().CurrentMode())});
  }
  // This sensor's own changes: the serial number exactly, and its model by
  // either name a program records it under.
  history::Filter filter;
  filter.sensor = history::SensorKey{report.serialNumber, {doc.sensor().modelText(), doc.sensor().modelString()}};
  const history::Selection read = history::ReadSelected(historyPath, filter, kReportChanges, stop);
  if (read.stopped) {
    error = "stopped";
    return false;
  }
  report.changes = read.entries;
  report.olderChanges = read.notKept();
  report.damagedHistoryLines = read.damagedLines;
  report.changesNote.clear();
  if (!read.ok)
    report.changesNote = "The change history " + historyPath + " could not be read (" + read.error + ").";
  else if (report.serialNumber.empty())
    report.changesNote =
        "The sensor's serial number reads empty, so no change in the change history can be told to be this "
        "sensor's; none is listed.";
  return true;
}

std::string ReportHtml(const CommissioningReport& r) {
  std::string html =
      "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>Commissioning report " +
      Cell(r.serialNumber) +
      "</title>\n<style>\nbody { font-family: sans-serif; font-size: 9pt; }\n"
      // Qt's rich text takes margins in px only.
      "h1 { font-size: 15pt; }\nh2 { font-size: 11pt; margin-top: 0px; margin-bottom: 4px; }\n"
      "table { border-collapse: collapse; margin-bottom: 12px; }\n"
      "th, td { border: 1px solid #888; padding: 2px 4px; text-align: left; vertical-align: top; }\n"
      "th { background-color: #e8e8e8; }\n</style>\n</head>\n<body>\n";
  html += "<h1>Commissioning report</h1>\n";
  // The notes stand with the date and the technician, so they never fall
  // alone onto a page of their own after the tables.
  html += kTable;
  Row(html, {"Date", r.date}, {18, 82});
  Row(html, {"Technician", r.technician});
  html += "<tr><td>Notes</td><td>" + (r.notes.empty() ? std::string("&nbsp;") : NotesHtml(r.notes)) + "</td></tr>\n";
  html += "</table>\n<h2>Sensor and connection</h2>\n";
  html += kTable;
  for (size_t i = 0; i < r.identity.size(); ++i)
    Row(html, {r.identity[i].first, r.identity[i].second}, i == 0 ? std::vector<int>{30, 70} : std::vector<int>{});
  html += "</table>\n<h2>Settings</h2>\n";
  html += kTable;
  Row(html, {"Setting", "Value", "Unit"}, {45, 35, 20}, "th");
  for (const ReportSetting& s : r.settings) Row(html, {s.name, s.value, s.unit});
  html += "</table>\n<h2>Last changes</h2>\n";
  if (!r.changesNote.empty()) {
    html += "<p>" + Cell(r.changesNote) + "</p>\n";
  } else if (r.changes.empty()) {
    html += "<p>No change of this sensor is in the change history.</p>\n";
  } else {
    html += kTable;
    Row(html, {"Time (UTC)", "Setting", "Old value", "New value", "Outcome", "Program", "User"},
        {16, 21, 14, 14, 11, 12, 12}, "th");
    for (const history::Entry& e : r.changes)
      Row(html, {TimeCell(e.time), e.setting, e.oldValue, e.newValue, e.outcome, e.program, e.user});
    html += "</table>\n";
    if (r.olderChanges > 0)
      html += "<p>The " + std::to_string(r.changes.size()) + " newest of " +
              std::to_string(r.changes.size() + r.olderChanges) + " changes of this sensor are listed.</p>\n";
  }
  if (r.damagedHistoryLines > 0)
    html += "<p>" + std::to_string(r.damagedHistoryLines) +
            " damaged lines of the change history were skipped.</p>\n";
  html += "</body>\n</html>\n";
  return html;
}

bool WriteReportFile(const std::string& path, const std::string& html, std::string& error) {
  std::string reason;
  if (files::WriteFileAtomically(path, html, &reason)) return true;
  error = "cannot write " + path + ": " + reason;
  return false;
}

std::string StoredTechnician(const SettingsFile& settings) {
  std::string name;
  settings.GetText(kReportSection, kTechnicianKey, &name);
  return name;
}

void StoreTechnician(SettingsFile& settings, const std::string& name) {
  if (name == StoredTechnician(settings)) return;
  if (settings.SetText(kReportSection, kTechnicianKey, name)) settings.Save();
}

bool ReportFormatOfPath(const std::string& path, ReportFormat& format) {
  const std::string lower = Lower(path);
  auto endsWith = [&lower](const std::string& tail) {
    return lower.size() > tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
  };
  if (endsWith(".pdf")) {
    format = ReportFormat::kPdf;
    return true;
  }
  if (endsWith(".html") || endsWith(".htm")) {
    format = ReportFormat::kHtml;
    return true;
  }
  return false;
}

}  // namespace fleet
