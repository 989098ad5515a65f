#include "tarkon/cli/cli_options.h"

#include <cerrno>
#include <cctype>
#include <climits>
#include <cstdlib>

#include "tarkon/document/check_mode_text.h"
#include "tarkon/document/connect_values.h"
#include "tarkon/document/poll_worker.h"
#include "tarkon/document/port_text.h"
#include "tarkon/document/start_connect.h"
#include "tarkon/document/virtual_sensor_port.h"
#include "tarkon/document/watch_limits.h"
#include "tarkon/fleet/bus_scan.h"
#include "tarkon/fleet/line_poller.h"
#include "tarkon/fleet/range_log.h"
#include "tarkon/models/model_table.h"

namespace {

bool ParseInt(const std::string& text, long lo, long hi, long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || v < lo || v > hi) return false;
  value = v;
  return true;
}

std::string SetPort(CliOptions& o, const std::string& v) {
  if (const PortText port = ParsePortText(v); !port.ok()) return "--port: " + port.refusal;
  o.port = v;
  o.ports.push_back(v);
  return "";
}
std::string SetBaud(CliOptions& o, const std::string& v) {
  int32_t rate = 0;
  if (std::string refusal = CheckBaudOption(v, &rate); !refusal.empty()) return refusal;
  o.baud = rate;
  o.bauds.push_back(rate);
  return "";
}
std::string SetAddress(CliOptions& o, const std::string& v) {
  uint8_t address = 0;
  if (std::string refusal = CheckAddressOption(v, &address); !refusal.empty()) return refusal;
  o.address = address;
  return "";
}
std::string SetTimeout(std::optional<unsigned>& slot, const char* name, const std::string& v) {
  uint32_t ms = 0;
  if (!CheckTimeoutText(v, &ms).empty())
    return std::string(name) + " needs a whole number of milliseconds, not \"" + v + "\"";
  slot = ms;
  return "";
}
std::string SetReadTimeout(CliOptions& o, const std::string& v) { return SetTimeout(o.readTimeoutMs, "--read-timeout", v); }
std::string SetWriteTimeout(CliOptions& o, const std::string& v) { return SetTimeout(o.writeTimeoutMs, "--write-timeout", v); }
std::string CheckModeWordsPhrase() {
  const std::vector<std::string> words = CheckModeWords();
  std::string phrase;
  for (size_t i = 0; i < words.size(); ++i) phrase += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
  return phrase;
}
std::string SetCheckMode(CliOptions& o, const std::string& v) {
  const std::optional<int32_t> mode = CheckModeOfWord(v);
  if (!mode) return "--check-mode takes " + CheckModeWordsPhrase() + ", not \"" + v + "\"";
  o.checkMode = *mode;
  return "";
}
std::string SetRs485(CliOptions& o, const std::string&) {
  o.rs485 = true;
  return "";
}
std::string SetSettings(CliOptions& o, const std::string& v) {
  o.settingsPath = v;
  return "";
}
std::string SetSimulate(CliOptions& o, const std::string& v) {
  o.simulate = v;
  return "";
}
std::string SetSimulateCheckMode(CliOptions& o, const std::string& v) {
  const std::optional<int32_t> mode = CheckModeOfWord(v);
  if (!mode) return "--simulate-check-mode takes " + CheckModeWordsPhrase() + ", not \"" + v + "\"";
  o.simulateCheckMode = *mode;
  return "";
}
std::string SetManufacturing(CliOptions& o, const std::string&) {
  o.manufacturing = true;
  return "";
}
std::string SetJson(CliOptions& o, const std::string&) {
  o.json = true;
  return "";
}
std::string SetYes(CliOptions& o, const std::string&) {
  o.yes = true;
  return "";
}
std::string SetRestoreSettings(CliOptions& o, const std::string&) {
  o.restoreSettings = true;
  return "";
}
std::string SetWithoutBackup(CliOptions& o, const std::string&) {
  o.withoutBackup = true;
  return "";
}
std::string SetQuiet(CliOptions& o, const std::string&) {
  o.quiet = true;
  return "";
}
std::string SetCount(CliOptions& o, const std::string& v) {
  int64_t n = 0;
  if (std::string refusal = CheckWatchCountText(v, &n); !refusal.empty()) return refusal;
  o.count = static_cast<long>(n);
  return "";
}
std::string SetInterval(CliOptions& o, const std::string& v) {
  int64_t n = 0;
  if (std::string refusal = CheckWatchIntervalText(v, &n); !refusal.empty()) return refusal;
  o.intervalMs = static_cast<long>(n);
  return "";
}
std::string SetAppend(CliOptions& o, const std::string& v) {
  o.appendPath = v;
  return "";
}
std::string SetTrace(CliOptions& o, const std::string& v) {
  if (v.empty()) return "--trace needs a FILE, or - for standard error";
  o.trace = v;
  return "";
}
std::string SetCsv(CliOptions& o, const std::string& v) {
  if (v.empty()) return "--csv needs a FILE";
  o.csvPath = v;
  return "";
}
std::string SetDuration(CliOptions& o, const std::string& v) {
  const std::optional<int64_t> ms = fleet::ParseDuration(v);
  if (!ms || *ms <= 0) return "--duration takes a time such as 90, 90s, 15m or 2h, not \"" + v + "\"";
  o.durationMs = static_cast<long>(*ms);
  return "";
}
std::string SetReconnect(CliOptions& o, const std::string&) {
  o.reconnect = true;
  return "";
}
std::string SetDryRun(CliOptions& o, const std::string&) {
  o.dryRun = true;
  return "";
}
std::string SetForce(CliOptions& o, const std::string&) {
  o.force = true;
  return "";
}
std::string SetConnection(CliOptions& o, const std::string&) {
  o.connection = true;
  return "";
}
std::string SetScanAddress(std::optional<int>& slot, const char* name, const std::string& v) {
  long n = 0;
  // The address range is the bus scan's own rule (checked with the rest of the options).
  if (!ParseInt(v, INT_MIN, INT_MAX, n)) return std::string(name) + " needs a whole number, not \"" + v + "\"";
  slot = static_cast<int>(n);
  return "";
}
std::string SetFrom(CliOptions& o, const std::string& v) { return SetScanAddress(o.from, "--from", v); }
std::string SetTo(CliOptions& o, const std::string& v) { return SetScanAddress(o.to, "--to", v); }
std::string SetAddresses(CliOptions& o, const std::string& v) { return fleet::ParseAddressList(v, o.addresses); }
std::string SetBudget(CliOptions& o, const std::string& v) {
  uint32_t ms = 0;
  if (std::string refusal = fleet::CheckProbeBudgetText(v, &ms); !refusal.empty()) return refusal;
  o.budgetMs = ms;
  return "";
}
std::string SetBus(CliOptions& o, const std::string&) {
  o.bus = true;
  return "";
}
std::string SetSerial(CliOptions& o, const std::string& v) {
  o.serial = v;
  return "";
}
std::string SetSince(CliOptions& o, const std::string& v) {
  o.since = v;
  return "";
}
std::string SetTechnician(CliOptions& o, const std::string& v) {
  o.technician = v;
  return "";
}
std::string SetPaper(CliOptions& o, const std::string& v) {
  o.paper = v;
  return "";
}
std::string SetNotes(CliOptions& o, const std::string& v) {
  o.notes = v;
  return "";
}
std::string SetOnly(CliOptions& o, const std::string& v) {
  // Display names hold blanks and dots, never a comma.
  size_t start = 0;
  while (start <= v.size()) {
    const size_t comma = v.find(',', start);
    const std::string name = v.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (name.empty()) return "--only: an empty setting name in \"" + v + "\"";
    o.only.push_back(name);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return "";
}
std::string SetHelp(CliOptions& o, const std::string&) {
  o.help = true;
  return "";
}
std::string SetVersion(CliOptions& o, const std::string&) {
  o.version = true;
  return "";
}

std::vector<std::string> ModelNames() {
  std::vector<std::string> names;
  for (const ModelEntry& model : ModelTable()) names.emplace_back(model.displayName);
  return names;
}

}  // namespace

const CliOptionSpec* FindCliOption(const std::string& name) {
  for (const CliOptionSpec& row : CliOptionTable())
    if (name == row.name) return &row;
  return nullptr;
}

const std::vector<CliOptionSpec>& CliOptionTable() {
  using Kind = CliValueCompletion::Kind;
  const fleet::BusScanOptions scan;
  const std::string address = std::to_string(kFirstSensorAddress) + " to " + std::to_string(kLastSensorAddress);
  static const std::vector<CliOptionSpec> table = {
      {"--port", "PORT", "COMn (port map of tarkon.ini), a device path, rfc2217://HOST:PORT or tcp://HOST:PORT (bus-scan and "
       "restore --bus: several, swept at once)",
       SetPort, {Kind::kPort},
       "COMn is /dev/ttyS(n-1) unless the port map of the settings file names another device; a device\n"
       "path is such as /dev/ttyUSB0 or /dev/serial/by-id/... A text that names no port (COM1x, COM0)\n"
       "is refused with the reason. rfc2217://HOST:PORT reaches a serial device server that takes\n"
       "the line settings (telnet com port control, each acknowledgement checked); tcp://HOST:PORT\n"
       "(also socket://) passes raw bytes and the gateway keeps its own line settings, so baud and\n"
       "check-mode ask first. An IPv6 host goes in brackets. Every reply deadline on such a line\n"
       "gets an allowance timed at the connect. Neither carries authentication: over untrusted\n"
       "networks use an ssh tunnel. bus-scan and restore --bus take --port more than once: each bus\n"
       "(behind its own gateway, say) is swept at the same time on a line of its own, and the result\n"
       "is given port by port; any other command takes one port."},
      {"--baud", "RATE", BaudRatesPhrase() + " (a bus scan takes each one given)", SetBaud,
       {Kind::kWords, BaudRateTexts()}},
      {"--address", "N", "sensor address, " + address + " (" + std::to_string(kGlobalAddress) + ": the global address)",
       SetAddress},
      {"--check-mode", "MODE", CheckModeWordsPhrase() + ": the error checking tried first", SetCheckMode,
       {Kind::kWords, CheckModeWords()}, "The other one is tried only when that brings no answer."},
      {"--read-timeout", "MS", "read time-out of the port", SetReadTimeout},
      {"--write-timeout", "MS", "write time-out of the port", SetWriteTimeout},
      {"--rs485", nullptr, "the driver's RS-485 direction control (RTS drives the transmitter)", SetRs485, {},
       "Only for adapters that need it; the connect fails with a clear line when the driver has no\n"
       "RS-485 mode."},
      {"--settings", "FILE", "the settings file to use instead of tarkon.ini", SetSettings, {Kind::kFile, {}, "ini"}},
      {"--simulate", "MODEL", "connect to an in-process virtual sensor of this model", SetSimulate,
       {Kind::kWords, ModelNames()},
       "It answers at address " + std::to_string(kVirtualSensorAddress) + " and " +
           std::to_string(kVirtualSensorBaudRate) +
           " bit/s unless --address or --baud name others (with --address 0\n"
           "it stays at its address and is asked at the global address)."},
      {"--simulate-check-mode", "MODE", CheckModeWordsPhrase() + ": the virtual sensor's error checking",
       SetSimulateCheckMode, {Kind::kWords, CheckModeWords()}},
      {"--manufacturing", nullptr, "manufacturing mode (the commands marked --manufacturing)", SetManufacturing},
      {"--json", nullptr, "one JSON object on standard output (watch: one per poll)", SetJson},
      {"--yes", nullptr, "confirm questions (defaults, an upload of unusual size)", SetYes},
      {"--quiet", nullptr, "no ok: and note: lines on standard error", SetQuiet},
      {"--trace", "FILE", "write every frame and XMODEM byte group to FILE (- for standard error)", SetTrace,
       {Kind::kFile}},
      {"--help", nullptr, "this text, or the command's help after a command (also -h)", SetHelp},
      {"--version", nullptr, "the program's version", SetVersion},
      // The options of single commands (the command table says whose).
      {"--restore-settings", nullptr, "put back the settings the update changed, from the backup it saved first",
       SetRestoreSettings},
      {"--without-backup", nullptr, "go on when the settings cannot be saved first (--yes never does)",
       SetWithoutBackup},
      {"--count", "N", "stop after N polls", SetCount},
      {"--interval", "MS", "one poll every MS milliseconds (" + std::to_string(PollWorker::kIntervalMs) +
                               ", the poll period, or more)",
       SetInterval},
      {"--csv", "FILE", "append one flushed line per poll to FILE (time, raw range, range, the other live values)",
       SetCsv, {Kind::kFile}},
      {"--duration", "D", "stop after D (90, 90s, 15m, 2h)", SetDuration},
      {"--reconnect", nullptr, "wait for a port that went away and go on when it is back", SetReconnect},
      {"--append", "FILE", "append the ranges to FILE as an annotated text export", SetAppend, {Kind::kFile}},
      {"--dry-run", nullptr, "show the differences, send nothing", SetDryRun},
      {"--force", nullptr, "a file of another model: the settings the two models share", SetForce},
      {"--connection", nullptr, "also address, check mode and baud rate, last, then reconnect", SetConnection},
      {"--bus", nullptr,
       "the whole bus (the bus scan's --from, --to, --budget): restore every sensor of the file's model, or watch "
       "every sensor",
       SetBus},
      {"--addresses", "LIST", "watch --bus: these addresses (3,5,7-9) instead of a bus scan", SetAddresses},
      {"--only", "NAMES", "only these settings (display names, comma-separated, any case)", SetOnly},
      {"--from", "N", "first address (" + std::to_string(scan.from) + " by default)", SetFrom},
      {"--to", "M", "last address (" + std::to_string(scan.to) + " by default)", SetTo},
      {"--budget", "MS",
       "wait per probe instead of the one derived from the baud rate (" +
           std::to_string(fleet::ProbeBudgetMs(scan.baudRates.front())) + " ms at " + std::to_string(scan.baudRates.front()) +
           " bit/s)",
       SetBudget},
      {"--serial", "SN", "the changes of this serial number only", SetSerial},
      {"--since", "DATE", "changes from DATE on (2026-12-08 or 2026-12-08T10:30, UTC)", SetSince},
      {"--technician", "NAME", "the technician's name (kept for the next report)", SetTechnician},
      {"--notes", "TEXT", "notes for the report (control characters are dropped)", SetNotes},
      {"--paper", "SIZE", "a4 (the default) or letter, for the PDF", SetPaper, {Kind::kWords, {"a4", "letter"}}},
  };
  return table;
}

bool ParseCliOptions(int argc, char** argv, CliOptions& out, std::string& error) {
  bool optionsEnded = false;
  bool haveCommand = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded && arg == "-h") arg = "--help";
    if (optionsEnded || arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && !std::isalpha(static_cast<unsigned char>(arg[1])))) {
      // A word: the command, then its arguments (a negative number such as
      // "-3" is an argument).
      if (!haveCommand) {
        out.command = arg;
        haveCommand = true;
      } else {
        out.arguments.push_back(arg);
      }
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (const size_t equals = arg.find('='); equals != std::string::npos) {
      name = arg.substr(0, equals);
      inlineValue = arg.substr(equals + 1);
    }
    const CliOptionSpec* row = FindCliOption(name);
    if (row == nullptr) {
      error = "unknown option " + name;
      return false;
    }
    std::string value;
    if (row->valueName != nullptr) {
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        error = "option " + name + " needs a value (" + row->valueName + ")";
        return false;
      }
    } else if (inlineValue) {
      error = "option " + name + " takes no value";
      return false;
    }
    error = row->apply(out, value);
    if (!error.empty()) return false;
    out.given.push_back(row->name);
  }
  if (out.help || out.version) return true;
  if (!haveCommand) {
    error = "no command given";
    return false;
  }
  // Several lines at once (one a gateway) only for the commands that sweep
  // buses; any other command works on one sensor.
  if (out.ports.size() > 1 && out.command != "bus-scan" && !(out.command == "restore" && out.bus)) {
    error = "--port is given " + std::to_string(out.ports.size()) + " times: only bus-scan and restore --bus take several ports";
    return false;
  }
  return true;
}

fleet::BusScanOptions BusScanOptionsOf(const CliOptions& o) {
  fleet::BusScanOptions options;
  if (o.from) options.from = *o.from;
  if (o.to) options.to = *o.to;
  options.budgetMs = o.budgetMs.value_or(0);
  if (!o.bauds.empty()) options.baudRates = o.bauds;
  return options;
}

const char* CliVersion() { return "tarkon-cli " LRS_VERSION; }
