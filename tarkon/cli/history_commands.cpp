#include "tarkon/cli/history_commands.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>

#include "files/console.h"
#include "history/change_history.h"
#include "tarkon/cli/cli_run.h"
#include "tarkon/cli/progress_bar.h"
#include "tarkon/cli/unwritten_history.h"
#include "tarkon/document/port_list.h"
#include "tarkon/document/printable_text.h"
#include "tarkon/document/settings_file.h"
#include "tarkon/document/virtual_sensor_port.h"
#include "tarkon/fleet/commissioning_report.h"
#include "tarkon/fleet/fleet_apply.h"
#include "tarkon/fleet/settings_backup.h"
#include "tarkon/fleet/several_lines.h"
#ifdef LRS_HAVE_REPORT_PDF
#include "files/atomic_file_writer.h"
#include "report_pdf/html_to_pdf.h"
#endif

namespace {

// A failure of the run: said on standard error and kept for --json.
int Failed(const std::string& message, int status, CliRun& run) {
  std::fprintf(stderr, "%s\n", message.c_str());
  return run.Fail(status, message);
}

void PrintTable(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& row : rows)
    for (size_t i = 0; i < row.size(); ++i) {
      if (widths.size() <= i) widths.push_back(0);
      widths[i] = std::max(widths[i], row[i].size());
    }
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    std::cout << line << "\n";
  }
}

// The technician: --technician (then kept), else the one kept, else asked
// once when a person is there to answer (then kept). A run without a person
// (standard input or standard error not a terminal, or --json) is not
// asked: it is told how to name one.
std::string Technician(CliSession& s) {
  SettingsFile& settings = s.doc().settingsFile();
  std::string name = s.options().technician.value_or(fleet::StoredTechnician(settings));
  if (name.empty()) {
    if (files::StandardInputIsTerminal() && files::IsTerminal(stderr) && !s.options().json) {
      std::fprintf(stderr, "Technician's name: ");
      std::getline(std::cin, name);
    } else if (!s.options().quiet) {
      std::fprintf(stderr, "note: the report names no technician; give --technician NAME (it is kept for the next "
                           "report)\n");
    }
  }
  name = TrimmedText(name);
  if (!name.empty()) fleet::StoreTechnician(settings, name);
  return name;
}

}  // namespace

int RunHistory(CliRun& run) {
  const CliOptions& o = run.options();
  CliJson& out = run.json();
  history::Filter filter;
  filter.serialNumber = o.serial.value_or("");
  if (o.since && !history::NormalizeSince(*o.since, filter.since))
    return Failed("history: --since takes a date (2026-12-08) or a UTC time (2026-12-08T10:30), not \"" + *o.since +
                      "\"",
                  kExitUsage, run);
  const std::string path = history::DefaultPath();
  // The whole file, however long; what is kept to be shown is bounded, and
  // what was left out is said.
  const history::Selection read =
      history::ReadSelected(path, filter, SIZE_MAX, [] { return g_interrupted.load(); });
  if (read.stopped) return Failed("history: stopped", kExitFailed, run);
  if (!read.ok) return Failed("history: cannot read " + path + ": " + read.error, kExitFailed, run);
  const std::vector<history::Entry>& entries = read.entries;
  if (read.damagedLines > 0 && !o.quiet)
    std::fprintf(stderr, "note: %zu damaged %s of %s skipped\n", read.damagedLines,
                 read.damagedLines == 1 ? "line" : "lines", path.c_str());
  const std::string leftOut =
      read.notKept() == 0 ? std::string()
                          : std::to_string(read.notKept()) + " older of " + std::to_string(read.matched) +
                                " changes not shown (more than " + std::to_string(history::kMaxReadBytes >> 20) +
                                " MiB of them)";
  if (o.json) {
    CliJson list = CliJson::array();
    for (const history::Entry& e : entries)
      list.push_back({{"time", e.time}, {"program", e.program}, {"user", e.user}, {"port", e.port},
                      {"model", e.model}, {"serial_number", e.serialNumber}, {"setting", e.setting},
                      {"old_value", e.oldValue}, {"new_value", e.newValue}, {"outcome", e.outcome}});
    out = CliJson{{"file", path},
                  {"entries", std::move(list)},
                  {"damaged_lines", read.damagedLines},
                  {"matched", read.matched},
                  {"not_shown", read.notKept()}};
    return kExitOk;
  }
  std::vector<std::vector<std::string>> rows = {
      {"Time (UTC)", "Serial number", "Model", "Setting", "Old value", "New value", "Outcome", "Program", "User"}};
  // The file is as untrusted as any: none of its texts may drive the terminal.
  for (const history::Entry& e : entries)
    rows.push_back({PrintableText(e.time), PrintableText(e.serialNumber), PrintableText(e.model),
                    PrintableText(e.setting), PrintableText(e.oldValue), PrintableText(e.newValue),
                    PrintableText(e.outcome), PrintableText(e.program), PrintableText(e.user)});
  PrintTable(rows);
  std::cout << entries.size() << (entries.size() == 1 ? " change" : " changes");
  if (!leftOut.empty()) std::cout << "; " << leftOut;
  std::cout << std::endl;
  return kExitOk;
}

int RunReport(CliSession& s, CliJson& out) {
  const std::string& path = s.options().arguments[0];
  fleet::ReportFormat format = fleet::ReportFormat::kHtml;
  if (!fleet::ReportFormatOfPath(path, format)) {
    const std::string failure = "report: FILE ends in .pdf or .html, not \"" + path + "\"";
    std::fprintf(stderr, "%s\n", failure.c_str());
    s.SetLastError(failure);
    return kExitUsage;
  }
  fleet::CommissioningReport report;
  std::string error;
  const auto stop = [] { return g_interrupted.load(); };
  if (!fleet::GatherReport(s.doc(), s.doc().changeHistory().path(), report, error, stop)) {
    s.SetLastError("report: " + error);
    std::fprintf(stderr, "report: %s\n", error.c_str());
    return kExitFailed;
  }
  if (!report.changesNote.empty()) std::fprintf(stderr, "report: %s\n", PrintableText(report.changesNote).c_str());
  report.technician = Technician(s);
  report.notes = s.options().notes.value_or("");
  const std::string html = fleet::ReportHtml(report);
  int pages = 1;
  bool written = false;
  if (format == fleet::ReportFormat::kHtml) {
    written = fleet::WriteReportFile(path, html, error);
  } else {
#ifdef LRS_HAVE_REPORT_PDF
    report_pdf::Paper paper = report_pdf::Paper::kA4;
    if (s.options().paper && !report_pdf::PaperOfName(*s.options().paper, paper)) {
      const std::string failure = "report: --paper takes a4 or letter, not \"" + *s.options().paper + "\"";
      std::fprintf(stderr, "%s\n", failure.c_str());
      s.SetLastError(failure);
      return kExitUsage;
    }
    const report_pdf::PdfResult pdf =
        report_pdf::HtmlToPdf(html, "Commissioning report " + report.serialNumber, paper, stop);
    pages = pdf.pages;
    // The toolkit's own remarks are notes like any other: --quiet hides them.
    if (!s.options().quiet)
      for (const std::string& message : pdf.messages) std::fprintf(stderr, "note: %s\n", PrintableText(message).c_str());
    std::string reason;
    if (!pdf.ok)
      error = "report: " + pdf.error;
    else if (!(written = files::WriteFileAtomically(path, pdf.bytes, &reason)))
      error = "cannot write " + path + ": " + reason;
#else
    error = "this tarkon-cli was built without Qt, so it writes no PDF; name a FILE.html";
#endif
  }
  if (!written) {
    std::fprintf(stderr, "report: %s\n", error.c_str());
    s.SetLastError("report: " + error);
    return kExitFailed;
  }
  if (s.options().json) {
    out = CliJson{{"file", path},
                  {"format", format == fleet::ReportFormat::kPdf ? "pdf" : "html"},
                  {"pages", pages},
                  {"settings", report.settings.size()},
                  {"changes", report.changes.size()},
                  {"older_changes", report.olderChanges},
                  {"changes_note", report.changesNote}};
  } else {
    std::cout << "Wrote the commissioning report of " << PrintableText(report.serialNumber) << " to " << path << "\n";
  }
  return s.failuresSinceConnect() == 0 ? kExitOk : kExitFailed;
}

namespace {

CliJson ApplyRowsJson(const fleet::FleetApplyReport& report) {
  CliJson list = CliJson::array();
  for (const fleet::FleetApplyRow& row : report.rows)
    list.push_back({{"address", row.sensor.address}, {"serial_number", row.sensor.serialNumber},
                    {"changed", row.changed}, {"verified", row.verified}, {"failed", row.failed},
                    {"ok", !row.Failed()}, {"error", row.error}});
  return list;
}

// The table of one line's sensors and the line under it.
void PrintApplyReport(const fleet::FleetApplyReport& report, const std::string& model) {
  std::vector<std::vector<std::string>> rows = {fleet::FleetApplyColumnTitles()};
  for (const fleet::FleetApplyRow& row : report.rows) {
    std::vector<std::string> cells = fleet::FleetApplyCells(row);
    for (std::string& cell : cells) cell = PrintableText(cell);
    rows.push_back(cells);
  }
  PrintTable(rows);
  // The file's model text is as untrusted as the rest of it.
  std::cout << report.rows.size() << " " << PrintableText(model) << (report.rows.size() == 1 ? " sensor" : " sensors");
  if (report.otherModels > 0) std::cout << ", " << report.otherModels << " of other models left alone";
  std::cout << (report.stopped ? " (stopped)" : "") << std::endl;
}

// restore --bus over several ports at once (gateways): a document, a scan
// and an apply per port, in parallel; the result port by port.
int RunBusRestoreOnLines(const CliOptions& o, const fleet::SensorBackup& backup, const fleet::BusScanOptions& options,
                         CKRV02Doc& doc, const ConnectValues& base, CliRun& run) {
  std::vector<fleet::LineTarget> lines;
  for (const std::string& port : o.ports) {
    const std::string device = DeviceOfPortName(doc.settingsFile(), port);
    if (device.empty()) return Failed("restore: no device for port " + port, kExitUsage, run);
    lines.push_back({port, device});
  }
  doc.CloseDocument();
  const std::string settingsPath = o.settingsPath.value_or(std::string());
  ProgressBar bar("Scanning the buses");
  const std::vector<fleet::LineApply> results = fleet::ApplyToLines(
      [&] {
        auto line = std::make_unique<CKRV02Doc>(settingsPath);
        line->options().SetSaveOnClose(false);
        line->changeHistory().SetProgram("tarkon-cli");
        return line;
      },
      backup, lines, base, options,
      [&](long done, long total) {
        bar.Update(done, total);
        return !g_interrupted.load();
      },
      [] { return !g_interrupted.load(); });
  bar.Finish();
  size_t sensors = 0;
  std::string failed;  // the ports that did not take the file whole
  CliJson ports = CliJson::array();
  for (const fleet::LineApply& line : results) {
    const fleet::FleetApplyReport& report = line.report;
    sensors += report.rows.size();
    std::string why;
    if (!report.error.empty()) why = report.error;
    else if (report.rows.empty()) why = "no " + PrintableText(backup.model) + " found on the bus";
    else if (report.AnyFailed() || report.stopped) why = "not every sensor took the file's settings";
    if (!why.empty()) failed += (failed.empty() ? "" : "; ") + line.portText + ": " + why;
    if (o.json) {
      ports.push_back({{"port", line.portText}, {"sensors", ApplyRowsJson(report)},
                       {"other_models", report.otherModels}, {"complete", !report.stopped && report.error.empty()},
                       {"error", why}});
      continue;
    }
    std::cout << "Port " << PrintableText(line.portText) << "\n";
    if (report.error.empty()) PrintApplyReport(report, backup.model);
    else std::cout << "failed: " << PrintableText(report.error) << "\n";
    if (&line != &results.back()) std::cout << "\n";
  }
  if (o.json) run.json() = CliJson{{"file", o.arguments[0]}, {"model", backup.model}, {"ports", std::move(ports)}};
  std::cout.flush();
  if (!failed.empty()) return Failed("restore: " + failed, kExitFailed, run);
  return sensors > 0 ? kExitOk : Failed("restore: no " + PrintableText(backup.model) + " found", kExitFailed, run);
}

}  // namespace

bool CheckBusRestoreUsage(const CliOptions& o, std::string& error) {
  if (o.connection || o.dryRun || o.force) {
    error = "restore: --bus applies the settings of the file's model and never the connection; it takes "
            "no --connection, --dry-run or --force";
    return false;
  }
  if (const std::string why = fleet::CheckScanOptions(BusScanOptionsOf(o)); !why.empty()) {
    error = "restore: " + why;
    return false;
  }
  fleet::SensorBackup backup;
  if (fleet::ReadBackupFile(o.arguments[0], backup, error)) return true;
  error = "restore: " + error + " (nothing was sent)";
  return false;
}

int RunBusRestore(CliRun& run) {
  const CliOptions& o = run.options();
  CliJson& out = run.json();
  fleet::SensorBackup backup;
  std::string error;
  if (!fleet::ReadBackupFile(o.arguments[0], backup, error))
    return Failed("restore: " + error + " (nothing was sent)", kExitUsage, run);
  const fleet::BusScanOptions options = BusScanOptionsOf(o);

  CKRV02Doc doc(o.settingsPath.value_or(std::string()));
  // A sweep over a bus is no connection to remember.
  doc.options().SetSaveOnClose(false);
  doc.changeHistory().SetProgram("tarkon-cli");
  VirtualSensorPort sensor;
  std::string device;
  std::string portText;
  ConnectValues base = doc.BeginConnect();
  if (o.readTimeoutMs) base.readTimeout = *o.readTimeoutMs;
  if (o.writeTimeoutMs) base.writeTimeout = *o.writeTimeoutMs;
  if (o.simulate) {
    if (!sensor.Start(SimulatedSensor(o), base)) return Failed("restore: " + sensor.failure(), kExitFailed, run);
    device = sensor.device();
    portText = base.portText;
  } else if (o.ports.size() > 1) {
    return RunBusRestoreOnLines(o, backup, options, doc, base, run);
  } else {
    portText = o.port.value_or("").empty() ? StoredPortName(doc.settingsFile()) : *o.port;
    device = DeviceOfPortName(doc.settingsFile(), portText);
    if (device.empty()) return Failed("restore: no device for port " + portText, kExitUsage, run);
  }

  ProgressBar bar("Scanning the bus");
  const fleet::FleetApplyReport report = fleet::ApplyToBus(
      doc, backup, device, portText, base, options,
      [&](long done, long total) {
        bar.Update(done, total);
        return !g_interrupted.load();
      },
      [] { return !g_interrupted.load(); });
  bar.Finish();
  doc.CloseDocument();
  // This document has no listener: its unwritten history is told here.
  if (doc.changeHistory().failedWrites() > 0)
    std::fprintf(stderr, "warning: %s\n", PrintableText(doc.changeHistory().lastFailureNotice()).c_str());
  if (!report.error.empty()) return Failed("restore: " + report.error, kExitFailed, run);
  if (o.json) {
    out = CliJson{{"file", o.arguments[0]}, {"model", backup.model}, {"sensors", ApplyRowsJson(report)},
                  {"other_models", report.otherModels}, {"complete", !report.stopped}};
  } else {
    PrintApplyReport(report, backup.model);
  }
  if (report.rows.empty())
    return Failed("restore: no " + PrintableText(backup.model) + " found on the bus", kExitFailed, run);
  if (report.AnyFailed() || report.stopped)
    return WithUnwrittenHistory(doc, Failed("restore: not every sensor took the file's settings", kExitFailed, run),
                                out);
  return WithUnwrittenHistory(doc, kExitOk, out);
}
