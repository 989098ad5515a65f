#include "tarkon/fleet/commissioning_report.h"

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

// Line breaks of the notes kept in the page.
std::string EscapeLines(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("<br>") : Escape(std::string(1, c));
  return out;
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

void Row(std::string& html, const std::vector<std::string>& cells, const char* tag = "td") {
  html += "<tr>";
  for (const std::string& cell : cells) html += std::string("<") + tag + ">" + Escape(cell) + "</" + tag + ">";
  html += "</tr>\n";
}

}  // namespace

bool GatherReport(CKRV02Doc& doc, const std::string& historyPath, CommissioningReport& report, std::string& error) {
  ModelSettings* settings = doc.currentSettings();
  if (!doc.connected() || settings == nullptr) {
    error = "not connected to a sensor";
    return false;
  }
  if (!doc.RereadSettings()) {
    error = "the sensor's settings could not be read";
    return false;
  }
  if (!RequireCompleteIdentity(doc, error)) return false;
  report.date = Today();
  report.serialNumber = doc.serialNumberText();
  report.identity = {{"Model", doc.modelText()},
                     {"Model string", doc.modelString()},
                     {"Serial number", report.serialNumber},
                     {"Firmware", doc.firmwareText()},
                     {"FPGA version", doc.fpgaText()},
                     {"Port", doc.device()},
                     {"Baud rate", std::to_string(doc.baudRate())},
                     {"Address", std::to_string(doc.address())},
                     {"Error checking mode", doc.checkMode() == frame::kCrc ? "CRC" : "Checksum"}};
  report.settings.clear();
  std::vector<std::string> names, values;
  settings->Summary(names, values);
  for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
    if (names[i].empty()) continue;  // the pane's spacer row
    report.settings.push_back({names[i], values[i], settings->UnitText(names[i], doc.CurrentMode())});
  }
  const history::ReadResult read = history::Read(historyPath);
  history::Filter filter;
  filter.serialNumber = report.serialNumber;
  report.changes = history::Select(read.entries, filter);
  if (report.changes.size() > kReportChanges) report.changes.resize(kReportChanges);
  report.damagedHistoryLines = read.damagedLines;
  return true;
}

std::string ReportHtml(const CommissioningReport& r) {
  std::string html =
      "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>Commissioning report " +
      Escape(r.serialNumber) +
      "</title>\n<style>\nbody { font-family: sans-serif; font-size: 10pt; }\n"
      "table { border-collapse: collapse; margin-bottom: 12pt; }\n"
      "th, td { border: 1px solid #888; padding: 3px 6px; text-align: left; }\n"
      "th { background-color: #e8e8e8; }\n</style>\n</head>\n<body>\n";
  html += "<h1>Commissioning report</h1>\n";
  html += "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n";
  Row(html, {"Date", r.date});
  Row(html, {"Technician", r.technician});
  html += "</table>\n<h2>Sensor and connection</h2>\n<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n";
  for (const auto& [caption, value] : r.identity) Row(html, {caption, value});
  html += "</table>\n<h2>Settings</h2>\n<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n";
  Row(html, {"Setting", "Value", "Unit"}, "th");
  for (const ReportSetting& s : r.settings) Row(html, {s.name, s.value, s.unit});
  html += "</table>\n<h2>Last changes</h2>\n";
  if (r.changes.empty()) {
    html += "<p>No change of this sensor is in the change history.</p>\n";
  } else {
    html += "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n";
    Row(html, {"Time (UTC)", "Setting", "Old value", "New value", "Outcome", "Program", "User"}, "th");
    for (const history::Entry& e : r.changes)
      Row(html, {e.time, e.setting, e.oldValue, e.newValue, e.outcome, e.program, e.user});
    html += "</table>\n";
  }
  html += "<h2>Notes</h2>\n<p>" + (r.notes.empty() ? std::string("&nbsp;") : EscapeLines(r.notes)) + "</p>\n";
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
