#include "cli/cli_commands.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <set>
#include <vector>

#include "cli/json_writer.h"
#include "serial/port_discovery.h"
#include "cli/progress_bar.h"
#include "serial/port_resolver.h"
#include "tarkon/document/firmware_upload.h"
#include "tarkon/document/live_panels.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/document/scan_buffer.h"
#include "tarkon/document/serial_and_model.h"
#include "tarkon/document/settings_file.h"

namespace {

struct CommandRule {
  int minArgs;
  int maxArgs;
  bool manufacturing;
};

const std::map<std::string, CommandRule>& Commands() {
  static const std::map<std::string, CommandRule> commands = {
      {"info", {0, 0, false}},         {"settings", {0, 0, false}},     {"set", {2, 2, false}},
      {"state", {0, 0, false}},        {"watch", {0, 2, false}},        {"errors", {0, 0, false}},
      {"scan", {1, 1, false}},         {"laser", {1, 1, false}},        {"scan-buffer", {0, 3, false}},
      {"address", {1, 1, false}},      {"baud", {1, 1, false}},         {"check-mode", {1, 1, false}},
      {"defaults", {0, 0, false}},     {"ports", {0, 0, false}},        {"reset", {0, 0, true}},
      {"serial-number", {1, 1, true}}, {"model-name", {1, 1, true}},    {"upload", {2, 2, true}},
  };
  return commands;
}

bool OneOf(const std::string& value, std::initializer_list<const char*> choices) {
  for (const char* c : choices)
    if (value == c) return true;
  return false;
}

// "watch [--count N]" and "scan-buffer [COUNT] [--append FILE]".
struct ExtraArguments {
  long count = -1;
  std::string countText;
  std::string appendPath;
};

bool ParseExtra(const CliOptions& o, ExtraArguments& extra, std::string& error) {
  // Only these two take options after the command; the others' arguments
  // are checked by their own rules.
  if (o.command != "watch" && o.command != "scan-buffer") return true;
  const auto& a = o.arguments;
  for (size_t i = 0; i < a.size(); ++i) {
    if (o.command == "watch" && a[i] == "--count" && i + 1 < a.size()) {
      int64_t n = 0;
      if (!IsWholeNumber(a[i + 1], &n) || n < 1) {
        error = "watch: --count needs a positive whole number";
        return false;
      }
      extra.count = static_cast<long>(n);
      ++i;
    } else if (o.command == "scan-buffer" && a[i] == "--append" && i + 1 < a.size()) {
      extra.appendPath = a[++i];
    } else if (o.command == "scan-buffer" && extra.countText.empty() && a[i].rfind("--", 0) != 0) {
      extra.countText = a[i];
    } else {
      error = o.command + ": unexpected argument \"" + a[i] + "\"";
      return false;
    }
  }
  return true;
}

void PrintRows(const CliOptions& o, const PanelRows& rows, JsonValue* json = nullptr) {
  if (o.json) {
    JsonValue list = JsonValue::Array();
    for (const PanelRow& r : rows)
      list.Push(JsonValue::Object().Set("name", JsonValue::String(r.name)).Set("value", JsonValue::String(r.value)));
    JsonValue out = json ? *json : JsonValue::Object();
    out.Set("rows", list);
    std::cout << out.Dump() << std::endl;
    return;
  }
  size_t width = 0;
  for (const PanelRow& r : rows) width = std::max(width, r.name.size());
  for (const PanelRow& r : rows) {
    if (r.name.empty() && r.value.empty()) {
      std::cout << "\n";
      continue;
    }
    std::cout << r.name << std::string(width - r.name.size() + 2, ' ') << r.value << "\n";
  }
  std::cout.flush();
}

int Status(CliSession& s, bool ok = true) {
  return ok && s.failuresSinceConnect() == 0 ? kExitOk : kExitFailed;
}

int Refused(const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  return kExitUsage;
}

bool KRV02Family(int model) { return model == kModelKRV02 || model == kModelQmtLong; }

// --- the commands ---------------------------------------------------------

int Info(CliSession& s) {
  CKRV02Doc& d = s.doc();
  const CliOptions& o = s.options();
  const std::string checkMode = d.checkMode() == frame::kCrc ? "crc" : "checksum";
  if (o.json) {
    JsonValue j = JsonValue::Object();
    j.Set("port", JsonValue::String(s.portName()))
        .Set("baud", JsonValue::Number(d.baudRate()))
        .Set("address", JsonValue::Number(d.address()))
        .Set("check_mode", JsonValue::String(checkMode))
        .Set("model", JsonValue::String(d.modelText()))
        .Set("model_index", JsonValue::Number(d.modelIndex()))
        .Set("model_string", JsonValue::String(d.modelString()))
        .Set("serial_number", JsonValue::String(d.serialNumberText()))
        .Set("firmware", JsonValue::String(d.firmwareText()))
        .Set("fpga", JsonValue::String(d.fpgaText()));
    std::cout << j.Dump() << std::endl;
    return Status(s);
  }
  // The setup pane's "Sensor" rows, with the port and model first.
  PanelRows rows = {{"Port", s.portName()},
                    {"Model", d.modelText()},
                    {"Serial number", d.serialNumberText()},
                    {"Model String:", d.modelString()},
                    {"Firmware:", d.firmwareText()},
                    {"FPGA version", d.fpgaText()},
                    {"Address", std::to_string(d.address())},
                    {"Sensor baudrate", std::to_string(d.baudRate())},
                    {"Error checking mode", d.checkMode() == frame::kCrc ? "CRC" : "Checksum"}};
  PrintRows(o, rows);
  return Status(s);
}

int Settings(CliSession& s) {
  ModelSettings* m = s.doc().currentSettings();
  PanelRows rows = {{"Serial Number", s.doc().serialNumberText()}};
  if (m) {
    std::vector<std::string> names, values;
    m->Summary(names, values);
    for (size_t i = 0; i < names.size() && i < values.size(); ++i) rows.push_back({names[i], values[i]});
  }
  PrintRows(s.options(), rows);
  return Status(s, m && m->HasValues());
}

int Set(CliSession& s) {
  ModelSettings* m = s.doc().currentSettings();
  if (!m) return kExitFailed;
  const std::string& name = s.options().arguments[0];
  const SetResult r = m->ChangeSetting(name, s.options().arguments[1]);
  if (r.Refused()) return Refused(r.message);
  if (s.options().json) {
    std::cout << JsonValue::Object().Set("name", JsonValue::String(name)).Set("value", JsonValue::String(r.value)).Dump()
              << std::endl;
  } else {
    std::cout << name << "  " << r.value << std::endl;
  }
  return Status(s, r.reread);
}

int State(CliSession& s) {
  PanelRows rows;
  const bool ok = PollDiagnostics(s.doc(), LivePanelOfModel(s.doc().modelIndex()), rows);
  if (ok) PrintRows(s.options(), rows);
  return Status(s, ok);
}

int Watch(CliSession& s, long count) {
  CKRV02Doc& d = s.doc();
  PanelRows rows;
  long polls = 0;
  while (!g_interrupted && (count < 0 || polls < count)) {
    // The document disconnects when the port's device goes away.
    if (!d.connected()) return kExitFailed;
    if (!d.WaitPollTick(100)) continue;
    if (d.PollAllowed()) {
      if (PollDiagnostics(d, LivePanelOfModel(d.modelIndex()), rows)) {
        if (!s.options().json) std::cout << "-- poll " << polls + 1 << "\n";
        PrintRows(s.options(), rows);
      }
      ++polls;
    }
    d.PollTickHandled();
  }
  return Status(s);
}

int Errors(CliSession& s) {
  if (!KRV02Family(s.doc().modelIndex()))
    return Refused("errors: the error counters are read from sensors of the KRV02 family only");
  PanelRows rows;
  const bool ok = ReadErrorCounters(s.doc(), rows);
  if (ok) PrintRows(s.options(), rows);
  return Status(s, ok);
}

int Scan(CliSession& s) {
  const std::string& what = s.options().arguments[0];
  SensorCommands& c = s.doc().commands();
  if (what == "start") return Status(s, c.StartScan() != 0);
  if (what == "stop") return Status(s, c.StopScan() != 0);
  const bool ok = ApplyFilterAndReadStatistics(s.doc());
  c.GetKRV02State();  // the scan count row shows the last state read
  PrintRows(s.options(), ScanStatisticsRows(s.doc()));
  return Status(s, ok);
}

int Laser(CliSession& s) {
  SensorCommands& c = s.doc().commands();
  return Status(s, (s.options().arguments[0] == "on" ? c.SetLaserOn() : c.SetLaserOff()) != 0);
}

int ScanBuffer(CliSession& s, const ExtraArguments& extra) {
  CKRV02Doc& d = s.doc();
  const int model = d.modelIndex();
  ScanBufferReader reader(d.commands(), &d);
  if (KRV02Family(model)) {
    if (!d.commands().GetKRV02State()) return kExitFailed;
    reader.SetRangesAvailable(KRV02RangesAvailable(d.commands().krv02State));
  } else if (model == kModelKRV04BoardFlipper) {
    reader.SetRangesAvailable(kBoardFlipperRangesAvailable);
  } else {
    return Refused("scan-buffer: only the KRV02 family and the board flipper offer their scan buffer");
  }
  int toRead = reader.rangesAvailable();
  const std::string countText = extra.countText.empty() ? std::to_string(toRead) : extra.countText;
  const std::string prompt = reader.CheckFields(countText, 0, &toRead);
  if (!prompt.empty()) return Refused(prompt);

  ProgressBar bar("Reading scan buffer");
  ScanReadCallbacks callbacks;
  callbacks.progress = [&](int position, int total) { bar.Update(position, total); };
  callbacks.betweenPortions = [&] {
    if (g_interrupted) reader.RequestStop();
  };
  const ScanReadOutcome outcome =
      reader.Read(toRead, 0, [&](int16_t raw) { return d.RangeText(raw); }, callbacks);
  bar.Finish();
  if (outcome != ScanReadOutcome::kCompleted) {
    if (outcome == ScanReadOutcome::kStopped) std::fprintf(stderr, "scan-buffer: stopped\n");
    return kExitFailed;
  }
  const auto& rows = reader.rows();
  const auto& raw = reader.buffer();
  if (s.options().json) {
    JsonValue ranges = JsonValue::Array();
    for (size_t i = 0; i < rows.size(); ++i)
      ranges.Push(JsonValue::Object()
                      .Set("index", JsonValue::Number(static_cast<int64_t>(i + 1)))
                      .Set("raw", JsonValue::Number(i < raw.size() ? raw[i] : 0))
                      .Set("text", JsonValue::String(rows[i].value)));
    std::cout << JsonValue::Object().Set("count", JsonValue::Number(static_cast<int64_t>(rows.size()))).Set("ranges", ranges).Dump()
              << std::endl;
  } else {
    std::cout << "Range #\tRange value\n";
    for (const ScanListRow& r : rows) std::cout << r.number << "\t" << r.value << "\n";
    std::cout.flush();
  }
  if (!extra.appendPath.empty()) {
    std::string error;
    if (!AppendScanExport(extra.appendPath, d.serialNumberText(), d.address(), rows, &error)) {
      std::fprintf(stderr, "scan-buffer: %s\n", error.c_str());
      return kExitFailed;
    }
  }
  return Status(s);
}

int Address(CliSession& s) {
  uint8_t address = 0;
  const std::string message = CheckAddressText(s.options().arguments[0], &address);
  if (!message.empty()) return Refused(message);
  CKRV02Doc& d = s.doc();
  d.ChangeAddress(true, d.AddressDialogSerialText(), address);
  std::cout << "Address  " << d.address() << std::endl;
  return Status(s, d.address() == address);
}

int Baud(CliSession& s) {
  int64_t rate = 0;
  if (!IsWholeNumber(s.options().arguments[0], &rate) || !OneOf(s.options().arguments[0], {"9600", "19200", "38400", "57600"}))
    return Refused("baud: the sensor runs at 9600, 19200, 38400 or 57600 bit/s");
  CKRV02Doc& d = s.doc();
  int choice = 0;
  for (int c = 0; c < 4; ++c)
    if (BaudDialogRate(c) == rate) choice = c;
  d.ChangeBaudRate(choice);
  std::cout << "Sensor baudrate  " << d.baudRate() << std::endl;
  return Status(s);
}

int CheckMode(CliSession& s) {
  const int mode = s.options().arguments[0] == "crc" ? frame::kCrc : frame::kChecksum;
  s.doc().ChangeCheckMode(mode);
  std::cout << "Error checking mode  " << (mode == frame::kCrc ? "CRC" : "Checksum") << std::endl;
  return Status(s);
}

bool AskOnTerminal(const std::string& question) {
  if (isatty(STDIN_FILENO) != 1) return false;
  std::fprintf(stderr, "%s [y/N] ", question.c_str());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes";
}

int Defaults(CliSession& s) {
  const bool yes = s.options().yes;
  bool asked = false;
  const bool sent = s.doc().SetFactoryDefaults([&](const std::string& q) {
    asked = true;
    return yes || AskOnTerminal(q);
  });
  if (!sent) return Refused(asked ? "defaults: not confirmed (use --yes)" : "defaults: not sent");
  return Status(s);
}

int Reset(CliSession& s) { return Status(s, s.doc().commands().ResetSensor() != 0); }

int SerialNumber(CliSession& s) {
  SerialAndModel dialog(s.doc().commands());
  dialog.SetSerialText(s.options().arguments[0]);
  const bool ok = dialog.SetSerialNumber();
  std::cout << "Serial number  " << dialog.serialText() << std::endl;
  return Status(s, ok);
}

int ModelName(CliSession& s) {
  SerialAndModel dialog(s.doc().commands());
  int index = -1;
  for (size_t i = 0; i < dialog.entries().size(); ++i)
    if (dialog.entries()[i].value == s.options().arguments[0]) index = static_cast<int>(i);
  if (index < 0) {
    std::string known;
    for (const auto& e : dialog.entries()) known += "\n  " + e.text;
    return Refused("model-name: not a model string of the table:" + known);
  }
  dialog.Select(index);
  const bool ok = dialog.SetModelName();
  const int chosen = dialog.selection();
  std::cout << "Model String:  " << (chosen >= 0 ? dialog.entries()[static_cast<size_t>(chosen)].value : "")
            << std::endl;
  return Status(s, ok);
}

int Upload(CliSession& s) {
  const std::string& kindText = s.options().arguments[0];
  const int kind = kindText == "fpga" ? kUploadFPGA : kindText == "dsp" ? kUploadDSP : kUploadCalibration;
  CKRV02Doc& d = s.doc();
  FirmwareUpload upload(d.commands(), d.xmodem(), d.transfer());
  ProgressBar bar("Uploading " + kindText);
  std::string status;
  size_t bytes = 0;
  UploadCallbacks callbacks;
  callbacks.askYesNo = [&](const std::string& question) {
    std::fprintf(stderr, "%s%s\n", question.c_str(), s.options().yes ? "(yes)" : "(no: use --yes)");
    return s.options().yes;
  };
  callbacks.progress = [&](int percent) { bar.Update(percent, 100); };
  callbacks.status = [&](const std::string& text) { status = text; };
  std::vector<uint8_t> image;
  if (FirmwareUpload::ReadImage(s.options().arguments[1], &image)) bytes = image.size();
  const UploadOutcome outcome = upload.Upload(kind, s.options().arguments[1], callbacks);
  bar.Finish();
  if (s.options().json) {
    std::cout << JsonValue::Object().Set("status", JsonValue::String(status)).Set("bytes", JsonValue::Number(static_cast<int64_t>(bytes))).Dump()
              << std::endl;
  } else if (!status.empty()) {
    std::cout << status << std::endl;
  }
  switch (outcome) {
    case UploadOutcome::kCompleted: return Status(s);
    case UploadOutcome::kDeclined:
    case UploadOutcome::kNoKind: return kExitUsage;
    case UploadOutcome::kFileError: return Refused("upload: " + status + ": " + s.options().arguments[1]);
    default: return kExitFailed;
  }
}

}  // namespace

bool CheckCommandUsage(const CliOptions& o, std::string& error) {
  const auto it = Commands().find(o.command);
  if (it == Commands().end()) {
    error = "unknown command \"" + o.command + "\"";
    return false;
  }
  const CommandRule& rule = it->second;
  const int n = static_cast<int>(o.arguments.size());
  if (n < rule.minArgs || n > rule.maxArgs) {
    error = o.command + ": wrong number of arguments";
    return false;
  }
  if (rule.manufacturing && !o.manufacturing) {
    error = o.command + ": available in manufacturing mode only (--manufacturing)";
    return false;
  }
  const std::string first = n > 0 ? o.arguments[0] : "";
  if (o.command == "scan" && !OneOf(first, {"start", "stop", "filter"})) {
    error = "scan takes start, stop or filter";
    return false;
  }
  if (o.command == "laser" && !OneOf(first, {"on", "off"})) {
    error = "laser takes on or off";
    return false;
  }
  if (o.command == "check-mode" && !OneOf(first, {"checksum", "crc"})) {
    error = "check-mode takes checksum or crc";
    return false;
  }
  if (o.command == "upload" && !OneOf(first, {"fpga", "dsp", "cal"})) {
    error = "upload takes fpga, dsp or cal";
    return false;
  }
  ExtraArguments extra;
  return ParseExtra(o, extra, error);
}

int RunPortsCommand(const CliOptions& o) {
  const std::vector<FoundPort> ports = FindSerialPorts();
  SettingsFile settings(o.settingsPath.value_or(SettingsFile::DefaultPath()));
  settings.Load();
  const PortResolver::PortMap map = settings.ReadPortMap();
  if (o.json) {
    JsonValue found = JsonValue::Array();
    for (const FoundPort& p : ports)
      found.Push(JsonValue::Object()
                     .Set("name", JsonValue::String(p.name))
                     .Set("device", JsonValue::String(p.device))
                     .Set("description", JsonValue::String(p.description))
                     .Set("by_id", JsonValue::String(p.byId)));
    JsonValue mapped = JsonValue::Array();
    for (const auto& [number, device] : map)
      mapped.Push(JsonValue::Object()
                      .Set("name", JsonValue::String(PortResolver::PortName(number)))
                      .Set("device", JsonValue::String(device)));
    std::cout << JsonValue::Object().Set("ports", found).Set("port_map", mapped).Set("settings_file", JsonValue::String(settings.path())).Dump()
              << std::endl;
    return kExitOk;
  }
  std::cout << "Serial ports:\n";
  if (ports.empty()) std::cout << "  (none found)\n";
  for (const FoundPort& p : ports) {
    std::cout << "  " << p.name << "  " << p.device;
    if (!p.description.empty()) std::cout << "  " << p.description;
    if (!p.byId.empty()) std::cout << "  " << p.byId;
    std::cout << "\n";
  }
  std::cout << "Port map (" << settings.path() << "):\n";
  if (map.empty()) std::cout << "  (empty)\n";
  for (const auto& [number, device] : map) std::cout << "  " << PortResolver::PortName(number) << "  " << device << "\n";
  std::cout.flush();
  return kExitOk;
}

int RunSensorCommand(CliSession& s) {
  const CliOptions& o = s.options();
  ExtraArguments extra;
  std::string error;
  ParseExtra(o, extra, error);
  const std::string& c = o.command;
  if (c == "info") return Info(s);
  if (c == "settings") return Settings(s);
  if (c == "set") return Set(s);
  if (c == "state") return State(s);
  if (c == "watch") return Watch(s, extra.count);
  if (c == "errors") return Errors(s);
  if (c == "scan") return Scan(s);
  if (c == "laser") return Laser(s);
  if (c == "scan-buffer") return ScanBuffer(s, extra);
  if (c == "address") return Address(s);
  if (c == "baud") return Baud(s);
  if (c == "check-mode") return CheckMode(s);
  if (c == "defaults") return Defaults(s);
  if (c == "reset") return Reset(s);
  if (c == "serial-number") return SerialNumber(s);
  if (c == "model-name") return ModelName(s);
  if (c == "upload") return Upload(s);
  return Refused("unknown command \"" + c + "\"");
}
