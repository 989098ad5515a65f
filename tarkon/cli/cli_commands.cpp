#include "tarkon/cli/cli_commands.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "tarkon/cli/cli_command_table.h"
#include "tarkon/cli/fleet_commands.h"
#include "tarkon/cli/history_commands.h"
#include "tarkon/cli/params_commands.h"
#include "tarkon/cli/progress_bar.h"
#include "tarkon/cli/upload_command.h"
#include "tarkon/cli/watch_reconnect.h"
#include "files/file_target.h"
#include "tarkon/document/firmware_upload.h"
#include "tarkon/document/iso_time.h"
#include "tarkon/document/live_panels.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/document/port_list.h"
#include "tarkon/document/printable_text.h"
#include "tarkon/document/scan_buffer.h"
#include "tarkon/document/serial_and_model.h"
#include "tarkon/document/settings_file.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> Words(const char* list) {
  std::vector<std::string> words;
  std::istringstream in(list != nullptr ? list : "");
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// Rows for the terminal, or as {"rows": [...]} (with `extra` first).
void EmitRows(CliSession& s, const PanelRows& rows, CliJson& json) {
  if (s.options().json) {
    json["rows"] = RowsJson(rows);
    return;
  }
  PrintRowsText(rows);
}

int Status(CliSession& s, bool ok = true) {
  if (ok && s.failuresSinceConnect() == 0) return kExitOk;
  if (s.lastError().empty()) s.SetLastError("the sensor did not answer as expected");
  return kExitFailed;
}

// A value refused by a check: nothing was sent.
int Refused(CliSession& s, const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  s.SetLastError(message);
  return kExitUsage;
}

std::string CheckModeWord(int32_t mode) { return mode == frame::kCrc ? "crc" : "checksum"; }

// --- the commands ---------------------------------------------------------

int Info(CliSession& s, CliJson& json) {
  CKRV02Doc& d = s.doc();
  const std::string port = s.portName();
  const std::string device = s.deviceName();
  if (s.options().json) {
    json = {{"port", port},
            {"device", device},
            {"baud", d.baudRate()},
            {"address", d.address()},
            {"check_mode", CheckModeWord(d.checkMode())},
            {"model", d.modelText()},
            {"model_index", d.modelIndex()},
            {"model_string", d.modelString()},
            {"serial_number", d.serialNumberText()},
            {"firmware", d.firmwareText()},
            {"fpga", d.fpgaText()}};
    return Status(s);
  }
  // The setup pane's "Sensor" rows, with the port and model first; a COMn
  // shows the device it resolved to.
  const std::string portText = port != device && !device.empty() ? port + " (" + device + ")" : port;
  PrintRowsText({{"Port", portText},
                 {"Model", d.modelText()},
                 {"Serial number", d.serialNumberText()},
                 {"Model String:", d.modelString()},
                 {"Firmware:", d.firmwareText()},
                 {"FPGA version", d.fpgaText()},
                 {"Address", std::to_string(d.address())},
                 {"Sensor baudrate", std::to_string(d.baudRate())},
                 {"Error checking mode", d.checkMode() == frame::kCrc ? "CRC" : "Checksum"}});
  return Status(s);
}

int Settings(CliSession& s, CliJson& json) {
  ModelSettings* m = s.doc().currentSettings();
  PanelRows rows = {{"Serial Number", s.doc().serialNumberText()}};
  if (m) {
    std::vector<std::string> names, values;
    m->Summary(names, values);
    for (size_t i = 0; i < names.size() && i < values.size(); ++i) rows.push_back({names[i], values[i]});
  }
  const int status = Status(s, m && m->HasValues());
  if (status == kExitOk) EmitRows(s, rows, json);
  // A value's unit is its setting's (as `params` gives it), whether or not
  // its text prints one ("6.410" of a range in inch).
  if (status == kExitOk && s.options().json) {
    for (CliJson& row : json["rows"])
      if (const std::string unit = m->ValueUnit(row["name"].get<std::string>()); !unit.empty()) row["unit"] = unit;
  }
  return status;
}

int Set(CliSession& s, CliJson& json) {
  ModelSettings* m = s.doc().currentSettings();
  if (!m) return Status(s, false);
  const std::string& name = s.options().arguments[0];
  if (const std::string why = m->SettingNameRefusal(name); !why.empty()) return Refused(s, "set: " + why);
  const std::string known = m->KnownSettingName(name);
  const SetResult r = m->ChangeSetting(known, s.options().arguments[1]);
  if (r.Refused()) {
    // The numeric field's messages end in a line break of their own.
    std::string message = r.message;
    while (!message.empty() && message.back() == '\n') message.pop_back();
    return Refused(s, message);
  }
  const int status = Status(s, r.reread);
  if (status != kExitOk) return status;
  if (s.options().json) {
    json = {{"name", known}, {"value", TrimmedText(r.value)}};
    if (const auto n = ReadNumberWithUnit(r.value)) {
      json["number"] = NumberJson(*n);
      json["unit"] = n->unit;
    }
    if (const std::string unit = m->ValueUnit(known); !unit.empty()) json["unit"] = unit;
  } else {
    std::cout << name << "  " << r.value << std::endl;
  }
  return status;
}

int State(CliSession& s, CliJson& json) {
  PanelRows rows;
  const bool ok = PollDiagnostics(s.doc(), LivePanelOfModel(s.doc().modelIndex()), rows);
  const int status = Status(s, ok);
  if (status == kExitOk) EmitRows(s, rows, json);
  return status;
}

int Watch(CliSession& s) {
  CKRV02Doc& d = s.doc();
  const CliOptions& o = s.options();
  const long count = o.count.value_or(-1);
  const auto interval = std::chrono::milliseconds(o.intervalMs.value_or(0));
  auto nextPoll = std::chrono::steady_clock::now();
  PanelRows rows;
  long polls = 0;
  while (!g_interrupted && (count < 0 || polls < count)) {
    // The document disconnects when the port's device goes away; with
    // --reconnect the run waits for it to come back.
    if (!d.connected() && !(o.reconnect && WaitForReconnect(s, [] { return false; }))) return kExitFailed;
    // A trace the disk no longer takes ends the run (said at its end).
    if (!TraceWriteError().empty()) break;
    if (!d.WaitPollTick(100)) continue;
    // Ticks come every 250 ms; a longer interval lets the ticks between
    // polls pass.
    const auto now = std::chrono::steady_clock::now();
    if (d.PollAllowed() && now >= nextPoll) {
      nextPoll = now + interval;
      const std::string stamp = IsoUtcTime(std::chrono::system_clock::now());
      if (PollDiagnostics(d, LivePanelOfModel(d.modelIndex()), rows)) {
        if (o.json) {
          PrintJson({{"poll", polls + 1}, {"time", stamp}, {"rows", RowsJson(rows)}});
        } else {
          std::cout << "-- poll " << polls + 1 << "  " << stamp << "\n";
          PrintRowsText(rows);
        }
      }
      ++polls;
    }
    d.PollTickHandled();
  }
  return Status(s);
}

int Errors(CliSession& s, CliJson& json) {
  if (const std::string why = ErrorCountersRefusal(s.doc().modelIndex()); !why.empty())
    return Refused(s, "errors: " + why);
  PanelRows rows;
  const bool ok = ReadErrorCounters(s.doc(), rows);
  const int status = Status(s, ok);
  if (status == kExitOk) EmitRows(s, rows, json);
  return status;
}

int Scan(CliSession& s, CliJson& json) {
  const std::string& what = s.options().arguments[0];
  CKRV02Doc& d = s.doc();
  if (what == "start" || what == "stop") {
    const int status = Status(s, what == "start" ? d.StartScan() : d.StopScan());
    json = {{"scan", what}};
    return status;
  }
  // The scan count row shows the state as last polled: the window's ticks
  // keep it fresh, this run reads it once before the window's "Filter".
  const bool ok = d.RefreshPolledState() && ApplyFilterAndReadStatistics(d);
  const int status = Status(s, ok);
  if (status == kExitOk) EmitRows(s, ScanStatisticsRows(s.doc()), json);
  return status;
}

// The settings dialog's laser button, with its sequence on the wire.
int Laser(CliSession& s, CliJson& json) {
  const std::string& what = s.options().arguments[0];
  ModelSettings* m = s.doc().currentSettings();
  if (!m) return Status(s, false);
  const SetResult r = m->SwitchLaser(what == "on");
  if (r.Refused()) return Refused(s, "laser: " + r.message);
  const int status = Status(s, r.sent);
  if (s.options().json) {
    json = {{"laser", what}};
  } else if (const std::string report = m->ReadBackReport(r); !report.empty()) {
    std::cout << report << std::endl;
  }
  return status;
}

int ScanBuffer(CliSession& s, CliJson& json) {
  CKRV02Doc& d = s.doc();
  const CliOptions& o = s.options();
  if (const std::string why = ScanBufferRefusal(d.modelIndex()); !why.empty()) return Refused(s, "scan-buffer: " + why);
  // The KRV02 family offers what its last state reply counted.
  if (!d.RefreshPolledState()) return Status(s, false);
  const std::unique_ptr<ScanBufferReader> owned = d.NewScanBufferReader();
  ScanBufferReader& reader = *owned;
  reader.SetRangesAvailable(d.ScanRangesAvailable());
  int toRead = reader.rangesAvailable();
  const std::string countText = o.arguments.empty() ? std::to_string(toRead) : o.arguments[0];
  const std::string prompt = reader.CheckFields(countText, 0, &toRead);
  if (!prompt.empty()) return Refused(s, prompt);

  ProgressBar bar("Reading scan buffer");
  ScanReadCallbacks callbacks;
  callbacks.progress = [&](int position, int total) { bar.Update(position, total); };
  callbacks.betweenPortions = [&] {
    if (g_interrupted) reader.RequestStop();
  };
  const ScanReadOutcome outcome = d.ReadScanBuffer(reader, toRead, 0, callbacks);
  bar.Finish();
  if (outcome != ScanReadOutcome::kCompleted) {
    if (outcome == ScanReadOutcome::kStopped) {
      std::fprintf(stderr, "scan-buffer: stopped\n");
      s.SetLastError("scan-buffer: stopped");
    }
    return Status(s, false);
  }
  const auto& rows = reader.rows();
  const auto& raw = reader.buffer();
  if (o.appendPath) {
    std::string error;
    if (!AppendScanExport(*o.appendPath, d.serialNumberText(), d.address(), rows, &error)) {
      std::fprintf(stderr, "scan-buffer: %s\n", error.c_str());
      s.SetLastError("scan-buffer: " + error);
      return kExitFailed;
    }
  }
  if (o.json) {
    CliJson ranges = CliJson::array();
    for (size_t i = 0; i < rows.size(); ++i) {
      CliJson range = {{"index", i + 1}, {"raw", i < raw.size() ? raw[i] : 0}, {"text", TrimmedText(rows[i].value)}};
      if (const auto n = ReadNumberWithUnit(rows[i].value)) {
        range["number"] = NumberJson(*n);
        range["unit"] = n->unit;
      }
      ranges.push_back(std::move(range));
    }
    json = {{"count", rows.size()}, {"ranges", std::move(ranges)}};
    if (o.appendPath) json["appended_to"] = *o.appendPath;
  } else {
    std::cout << "Range #\tRange value\n";
    for (const ScanListRow& r : rows) std::cout << r.number << "\t" << r.value << "\n";
    std::cout.flush();
  }
  return Status(s);
}

int Address(CliSession& s, CliJson& json) {
  const std::string& text = s.options().arguments[0];
  uint8_t address = 0;
  const std::string message = CheckAddressText(text, &address);
  if (!message.empty()) return Refused(s, message);
  CKRV02Doc& d = s.doc();
  d.ChangeAddress(true, d.AddressDialogSerialText(), address);
  const int status = Status(s, d.address() == address);
  if (s.options().json) {
    json = {{"address", d.address()}, {"serial_number", d.serialNumberText()}};
  } else {
    std::cout << "Address  " << d.address() << std::endl;
  }
  return status;
}

int Baud(CliSession& s, CliJson& json) {
  const int64_t rate = std::stoll(s.options().arguments[0]);  // one of the rates' words
  CKRV02Doc& d = s.doc();
  d.ChangeBaudRate(BaudDialogChoice(static_cast<int32_t>(rate)));
  if (s.options().json) {
    json = {{"baud", d.baudRate()}};
  } else {
    std::cout << "Sensor baudrate  " << d.baudRate() << std::endl;
  }
  return Status(s);
}

int CheckMode(CliSession& s, CliJson& json) {
  const int mode = s.options().arguments[0] == "crc" ? frame::kCrc : frame::kChecksum;
  s.doc().ChangeCheckMode(mode);
  if (s.options().json) {
    json = {{"check_mode", CheckModeWord(s.doc().checkMode())}};
  } else {
    std::cout << "Error checking mode  " << (mode == frame::kCrc ? "CRC" : "Checksum") << std::endl;
  }
  return Status(s);
}

int Defaults(CliSession& s, CliJson& json) {
  const bool yes = s.options().yes;
  bool asked = false;
  const bool sent = s.doc().SetFactoryDefaults([&](const std::string& q) {
    asked = true;
    return yes || AskOnTerminal(q);
  });
  if (!sent) return Refused(s, asked ? "defaults: not confirmed (use --yes)" : "defaults: not sent");
  json = {{"defaults", "restored"}};
  return Status(s);
}

int Reset(CliSession& s, CliJson& json) {
  json = {{"reset", "sent"}};
  return Status(s, s.doc().ResetSensor());
}

int SerialNumber(CliSession& s, CliJson& json) {
  SerialAndModel dialog = s.doc().SerialAndModelLogic();
  dialog.SetSerialText(s.options().arguments[0]);
  const bool ok = dialog.SetSerialNumber();
  if (s.options().json) {
    json = {{"serial_number", dialog.serialText()}};
  } else {
    std::cout << "Serial number  " << PrintableText(dialog.serialText()) << std::endl;  // as read back
  }
  return Status(s, ok);
}

int ModelName(CliSession& s, CliJson& json) {
  SerialAndModel dialog = s.doc().SerialAndModelLogic();
  if (const std::string why = dialog.SelectModelString(s.options().arguments[0]); !why.empty())
    return Refused(s, "model-name: " + why);
  const bool ok = dialog.SetModelName();
  const int chosen = dialog.selection();
  const std::string now = chosen >= 0 ? dialog.entries()[static_cast<size_t>(chosen)].value : "";
  if (s.options().json) {
    json = {{"model_string", now}};
  } else {
    std::cout << "Model String:  " << now << std::endl;
  }
  return Status(s, ok);
}

}  // namespace

bool CheckCommandUsage(CliOptions& o, std::string& error) {
  const CliCommandSpec* rule = FindCliCommand(o.command);
  if (rule == nullptr) {
    error = "unknown command \"" + o.command + "\"";
    return false;
  }
  const int n = static_cast<int>(o.arguments.size());
  if (n < rule->minArgs || n > rule->maxArgs) {
    error = o.command + " takes " + (*rule->arguments ? rule->arguments : std::string("no arguments")) +
            (n > rule->maxArgs ? ", not \"" + o.arguments.back() + "\"" : "");
    return false;
  }
  if (rule->manufacturing && !o.manufacturing) {
    error = o.command + ": available in manufacturing mode only (--manufacturing)";
    return false;
  }
  if (rule->words != nullptr && n > 0) {
    const std::vector<std::string> words = Words(rule->words);
    const std::string word = Lower(o.arguments[0]);
    if (std::find(words.begin(), words.end(), word) == words.end()) {
      error = o.command + " takes " + rule->arguments + ", not \"" + o.arguments[0] + "\"";
      return false;
    }
    o.arguments[0] = word;
  }
  for (const std::string& given : o.given) {
    for (const CliOptionSpec& row : CliOptionTable()) {
      if (given != row.name || row.commands == nullptr) continue;
      const std::vector<std::string> owners = Words(row.commands);
      if (std::find(owners.begin(), owners.end(), o.command) == owners.end()) {
        error = given + " belongs to " + row.commands + ", not to " + o.command;
        return false;
      }
    }
  }
  // Outputs are appended to: a link, FIFO or device there is refused before
  // the port is opened (a FIFO would block while the line is held).
  for (const auto& [option, path] : {std::pair{"--append", &o.appendPath}, std::pair{"--csv", &o.csvPath}}) {
    std::string reason;
    if (*path && !files::CheckWritableTarget(**path, &reason)) {
      error = std::string(option) + " " + **path + ": " + reason;
      return false;
    }
  }
  if (IsFleetCommand(o)) return CheckFleetUsage(o, error);
  return true;
}

int RunPortsCommand(const CliOptions& o, CliJson& json) {
  SettingsFile settings(o.settingsPath.value_or(SettingsFile::DefaultPath()));
  settings.Load();
  const PortList ports = ListPorts(&settings);
  if (o.json) {
    CliJson found = CliJson::array();
    for (const ListedPort& p : ports.found)
      found.push_back({{"name", p.name}, {"device", p.device}, {"description", p.description}, {"by_id", p.byId},
                       {"usb_serial", p.usbSerial}});
    CliJson mapped = CliJson::array();
    for (const MappedPort& m : ports.mapped) mapped.push_back({{"name", m.name}, {"device", m.device}});
    json = {{"ports", std::move(found)}, {"port_map", std::move(mapped)}, {"settings_file", settings.path()}};
    return kExitOk;
  }
  std::cout << "Serial ports:\n";
  if (ports.found.empty()) std::cout << "  (none found)\n";
  for (const ListedPort& p : ports.found) {
    std::cout << "  " << p.name << "  " << p.device;
    if (!p.description.empty()) std::cout << "  " << p.description;
    if (!p.byId.empty()) std::cout << "  " << p.byId;
    std::cout << "\n";
  }
  std::cout << "Port map (" << settings.path() << "):\n";
  if (ports.mapped.empty()) std::cout << "  (empty)\n";
  for (const MappedPort& m : ports.mapped) std::cout << "  " << m.name << "  " << m.device << "\n";
  std::cout.flush();
  return kExitOk;
}

int RunSensorCommand(CliSession& s, CliJson& json) {
  const std::string& c = s.options().command;
  if (IsFleetCommand(s.options())) return RunFleetCommand(s, json);
  if (c == "info") return Info(s, json);
  if (c == "settings") return Settings(s, json);
  if (c == "params") return RunParamsCommand(s, json);
  if (c == "set") return Set(s, json);
  if (c == "state") return State(s, json);
  if (c == "watch") return Watch(s);
  if (c == "errors") return Errors(s, json);
  if (c == "scan") return Scan(s, json);
  if (c == "laser") return Laser(s, json);
  if (c == "scan-buffer") return ScanBuffer(s, json);
  if (c == "address") return Address(s, json);
  if (c == "baud") return Baud(s, json);
  if (c == "check-mode") return CheckMode(s, json);
  if (c == "defaults") return Defaults(s, json);
  if (c == "reset") return Reset(s, json);
  if (c == "serial-number") return SerialNumber(s, json);
  if (c == "model-name") return ModelName(s, json);
  if (c == "upload") return UploadCommand(s, json);
  if (c == "report") return RunReportCommand(s, json);
  return Refused(s, "unknown command \"" + c + "\"");
}
