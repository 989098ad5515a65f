#include "tarkon/cli/cli_commands.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <utility>
#include <vector>

#include "tarkon/cli/cli_run.h"
#include "tarkon/cli/progress_bar.h"
#include "tarkon/document/check_mode_text.h"
#include "tarkon/document/live_panels.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/document/port_list.h"
#include "tarkon/document/printable_text.h"
#include "tarkon/document/scan_buffer.h"
#include "tarkon/document/serial_and_model.h"
#include "tarkon/document/settings_file.h"

namespace {

// Rows for the terminal, or as {"rows": [...]} (with `extra` first).
void EmitRows(CliSession& s, const PanelRows& rows, CliJson& json) {
  if (s.options().json) {
    json["rows"] = RowsJson(rows);
    return;
  }
  PrintRowsText(rows);
}

int Status(CliSession& s, bool ok = true) { return SessionStatus(s, ok); }

}  // namespace

int SessionStatus(CliSession& s, bool ok) {
  if (ok && s.failuresSinceConnect() == 0) return kExitOk;
  if (s.lastError().empty()) s.SetLastError("the sensor did not answer as expected");
  return kExitFailed;
}

int Refused(CliSession& s, const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  s.SetLastError(message);
  return kExitUsage;
}

// --- the commands ---------------------------------------------------------

int RunInfo(CliSession& s, CliJson& json) {
  CKRV02Doc& d = s.doc();
  const SensorIdentity id = d.sensor().identity();
  const std::string port = s.portName();
  const std::string device = s.deviceName();
  // An identity read that did not complete is a failure that names what
  // is missing: a script must not record a blank serial number.
  auto status = [&] {
    if (id.complete()) return Status(s);
    const std::string why = "info: " + id.MissingText();
    std::fprintf(stderr, "%s\n", why.c_str());
    s.SetLastError(why);
    return kExitFailed;
  };
  if (s.options().json) {
    json = {{"port", port},
            {"device", device},
            {"baud", d.sensor().baudRate()},
            {"address", d.sensor().address()},
            {"check_mode", CheckModeWord(d.sensor().checkMode())},
            {"model", id.model},
            {"model_index", d.sensor().modelIndex()},
            {"model_string", id.modelString},
            {"serial_number", id.serialNumber},
            {"firmware", id.firmware},
            {"fpga", id.fpga}};
    return status();
  }
  // The setup pane's "Sensor" rows, with the port and model first; a COMn
  // shows the device it resolved to.
  const std::string portText = port != device && !device.empty() ? port + " (" + device + ")" : port;
  const char* notRead = "(not read)";
  PrintRowsText({{"Port", portText},
                 {"Model", id.model},
                 {"Serial number", id.serialKnown() ? id.serialNumber : "(" + id.SerialNote() + ")"},
                 {"Model String:", id.modelString},
                 {"Firmware:", id.firmware.empty() ? notRead : id.firmware},
                 {"FPGA version", id.fpga.empty() ? notRead : id.fpga},
                 {"Address", std::to_string(d.sensor().address())},
                 {"Sensor baudrate", std::to_string(d.sensor().baudRate())},
                 {"Error checking mode", CheckModeCaption(d.sensor().checkMode())}});
  return status();
}

int RunSettings(CliSession& s, CliJson& json) {
  ModelSettings* m = s.doc().currentSettings();
  PanelRows rows = {{"Serial Number", s.doc().sensor().serialNumberText()}};
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

int RunSet(CliSession& s, CliJson& json) {
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

int RunState(CliSession& s, CliJson& json) {
  PanelRows rows;
  const bool ok = PollDiagnostics(s.doc(), LivePanelOfModel(s.doc().sensor().modelIndex()), rows);
  const int status = Status(s, ok);
  if (status == kExitOk) EmitRows(s, rows, json);
  return status;
}

int RunErrors(CliSession& s, CliJson& json) {
  if (const std::string why = ErrorCountersRefusal(s.doc().sensor().modelIndex()); !why.empty())
    return Refused(s, "errors: " + why);
  PanelRows rows;
  const bool ok = ReadErrorCounters(s.doc(), rows);
  const int status = Status(s, ok);
  if (status == kExitOk) EmitRows(s, rows, json);
  return status;
}

int RunScan(CliSession& s, CliJson& json) {
  const std::string& what = s.options().arguments[0];
  CKRV02Doc& d = s.doc();
  if (what == "start" || what == "stop") {
    const int status = Status(s, what == "start" ? d.operations().StartScan() : d.operations().StopScan());
    json = {{"scan", what}};
    return status;
  }
  // The scan count row shows the state as last polled: the window's ticks
  // keep it fresh, this run reads it once before the window's "Filter".
  const bool ok = d.polling().RefreshPolledState() && ApplyFilterAndReadStatistics(d);
  const int status = Status(s, ok);
  if (status == kExitOk) EmitRows(s, ScanStatisticsRows(s.doc()), json);
  return status;
}

// The settings dialog's laser button, with its sequence on the wire.
int RunLaser(CliSession& s, CliJson& json) {
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

int RunScanBuffer(CliSession& s, CliJson& json) {
  CKRV02Doc& d = s.doc();
  const CliOptions& o = s.options();
  if (const std::string why = ScanBufferRefusal(d.sensor().modelIndex()); !why.empty())
    return Refused(s, "scan-buffer: " + why);
  // The KRV02 family offers what its last state reply counted.
  if (!d.polling().RefreshPolledState()) return Status(s, false);
  const std::unique_ptr<ScanBufferReader> owned = d.operations().NewScanBufferReader();
  ScanBufferReader& reader = *owned;
  reader.SetRangesAvailable(d.sensor().ScanRangesAvailable());
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
  const ScanReadOutcome outcome = d.operations().ReadScanBuffer(reader, toRead, 0, callbacks);
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
    if (!AppendScanExport(*o.appendPath, d.sensor().serialNumberText(), d.sensor().address(), rows, &error)) {
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

int RunAddress(CliSession& s, CliJson& json) {
  const std::string& text = s.options().arguments[0];
  uint8_t address = 0;
  const std::string message = CheckAddressText(text, &address);
  if (!message.empty()) return Refused(s, message);
  CKRV02Doc& d = s.doc();
  d.operations().SetAddress(d.sensor().serialNumberText(), address);
  const int status = Status(s, d.sensor().address() == address);
  if (s.options().json) {
    json = {{"address", d.sensor().address()}, {"serial_number", d.sensor().serialNumberText()}};
  } else {
    std::cout << "Address  " << d.sensor().address() << std::endl;
  }
  return status;
}

int RunBaud(CliSession& s, CliJson& json) {
  const int64_t rate = std::stoll(s.options().arguments[0]);  // one of the rates' words
  CKRV02Doc& d = s.doc();
  // Over raw TCP the gateway keeps its own rate: asked first (--yes).
  if (!d.operations().ChangeBaudRate(BaudDialogChoice(static_cast<int32_t>(rate)),
                                     [&](const std::string& q) { return s.options().yes || AskOnTerminal(q); }))
    return Refused(s, "baud: not confirmed (use --yes once the gateway's port is changed too)");
  if (s.options().json) {
    json = {{"baud", d.sensor().baudRate()}};
  } else {
    std::cout << "Sensor baudrate  " << d.sensor().baudRate() << std::endl;
  }
  return Status(s);
}

int RunCheckMode(CliSession& s, CliJson& json) {
  const int32_t mode = CheckModeOfWord(s.options().arguments[0]).value_or(0);  // a word the usage check took
  // Over raw TCP a gateway that reads the frames must follow: asked first (--yes).
  if (!s.doc().operations().ChangeCheckMode(mode,
                                            [&](const std::string& q) { return s.options().yes || AskOnTerminal(q); }))
    return Refused(s, "check-mode: not confirmed (use --yes)");
  if (s.options().json) {
    json = {{"check_mode", CheckModeWord(s.doc().sensor().checkMode())}};
  } else {
    std::cout << "Error checking mode  " << CheckModeCaption(mode) << std::endl;
  }
  return Status(s);
}

int RunDefaults(CliSession& s, CliJson& json) {
  const bool yes = s.options().yes;
  bool asked = false;
  const bool sent = s.doc().operations().SetFactoryDefaults([&](const std::string& q) {
    asked = true;
    return yes || AskOnTerminal(q);
  });
  if (!sent) return Refused(s, asked ? "defaults: not confirmed (use --yes)" : "defaults: not sent");
  json = {{"defaults", "restored"}};
  return Status(s);
}

int RunReset(CliSession& s, CliJson& json) {
  json = {{"reset", "sent"}};
  return Status(s, s.doc().operations().ResetSensor());
}

int RunSerialNumber(CliSession& s, CliJson& json) {
  SerialAndModel dialog = s.doc().operations().SerialAndModelLogic();
  dialog.SetSerialText(s.options().arguments[0]);
  const bool ok = dialog.SetSerialNumber();
  if (s.options().json) {
    json = {{"serial_number", dialog.serialText()}};
  } else {
    std::cout << "Serial number  " << PrintableText(dialog.serialText()) << std::endl;  // as read back
  }
  return Status(s, ok);
}

int RunModelName(CliSession& s, CliJson& json) {
  SerialAndModel dialog = s.doc().operations().SerialAndModelLogic();
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

int RunPorts(CliRun& run) {
  const CliOptions& o = run.options();
  CliJson& json = run.json();
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
