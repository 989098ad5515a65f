#include "tarkon/cli/cli_options.h"

#include <cerrno>
#include <cctype>
#include <climits>
#include <cstdlib>

#include "tarkon/cli/cli_command_table.h"
#include "tarkon/document/connect_values.h"
#include "tarkon/document/start_connect.h"
#include "tarkon/document/watch_limits.h"
#include "tarkon/fleet/bus_scan.h"
#include "tarkon/fleet/range_log.h"

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

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string SetPort(CliOptions& o, const std::string& v) {
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
std::string SetCheckMode(CliOptions& o, const std::string& v) {
  const std::string word = Lower(v);
  if (word != "checksum" && word != "crc") return "--check-mode takes checksum or crc, not \"" + v + "\"";
  o.checkMode = word == "crc" ? 1 : 0;
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
  const std::string word = Lower(v);
  if (word != "checksum" && word != "crc") return "--simulate-check-mode takes checksum or crc, not \"" + v + "\"";
  o.simulateCheckMode = word;
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

const CliOptionSpec* FindOption(const std::string& name) {
  for (const CliOptionSpec& row : CliOptionTable())
    if (name == row.name) return &row;
  return nullptr;
}

}  // namespace

const std::vector<CliOptionSpec>& CliOptionTable() {
  static const std::string baudHelp = BaudRatesPhrase() + " (bus-scan: each one given)";
  static const std::vector<CliOptionSpec> table = {
      {"--port", "PORT",
       "COMn (port map of tarkon.ini), a device path, rfc2217://HOST:PORT or tcp://HOST:PORT (bus-scan and "
       "restore --bus: several, swept at once)",
       nullptr, SetPort},
      {"--baud", "RATE", baudHelp.c_str(), nullptr, SetBaud},
      {"--address", "N", "sensor address, 1 to 255 (0: the global address)", nullptr, SetAddress},
      {"--check-mode", "MODE", "checksum or crc: the error checking tried first", nullptr, SetCheckMode},
      {"--read-timeout", "MS", "read time-out of the port", nullptr, SetReadTimeout},
      {"--write-timeout", "MS", "write time-out of the port", nullptr, SetWriteTimeout},
      {"--rs485", nullptr, "the driver's RS-485 direction control (RTS drives the transmitter)", nullptr,
       SetRs485},
      {"--settings", "FILE", "the settings file to use instead of tarkon.ini", nullptr, SetSettings},
      {"--simulate", "MODEL", "connect to an in-process virtual sensor of this model", nullptr, SetSimulate},
      {"--simulate-check-mode", "MODE", "checksum or crc: the virtual sensor's error checking", nullptr,
       SetSimulateCheckMode},
      {"--manufacturing", nullptr, "manufacturing mode (reset, serial-number, model-name, upload)", nullptr,
       SetManufacturing},
      {"--json", nullptr, "one JSON object on standard output (watch: one per poll)", nullptr, SetJson},
      {"--yes", nullptr, "confirm questions (defaults, an upload of unusual size)", nullptr, SetYes},
      {"--restore-settings", nullptr, "upload: put back the settings the update changed, from the backup it saved first",
       "upload", SetRestoreSettings},
      {"--quiet", nullptr, "no ok: and note: lines on standard error", nullptr, SetQuiet},
      {"--count", "N", "watch: stop after N polls", "watch", SetCount},
      {"--interval", "MS", "watch: one poll every MS ms (250 or more)", "watch", SetInterval},
      {"--append", "FILE", "scan-buffer: append the ranges to FILE", "scan-buffer", SetAppend},
      {"--trace", "FILE", "write every frame and XMODEM byte group to FILE (- for standard error)", nullptr,
       SetTrace},
      {"--csv", "FILE", "watch: append one line per poll to FILE", "watch", SetCsv},
      {"--duration", "D", "watch: stop after D (90, 90s, 15m, 2h)", "watch", SetDuration},
      {"--reconnect", nullptr, "watch: wait for a port that went away and go on when it is back", "watch",
       SetReconnect},
      {"--dry-run", nullptr, "restore: show the differences, send nothing", "restore", SetDryRun},
      {"--force", nullptr, "restore: a file of another model, the shared settings only", "restore", SetForce},
      {"--connection", nullptr, "restore: also address, check mode and baud rate, last", "restore", SetConnection},
      {"--from", "N", "bus-scan, restore --bus: first address (1 by default)", "bus-scan restore", SetFrom},
      {"--to", "M", "bus-scan, restore --bus: last address (255 by default)", "bus-scan restore", SetTo},
      {"--bus", nullptr, "restore: apply FILE to every sensor of its model on the bus", "restore", SetBus},
      {"--serial", "SN", "history: the changes of this serial number only", "history", SetSerial},
      {"--since", "DATE", "history: changes from DATE on (2026-12-08 or 2026-12-08T10:30, UTC)", "history",
       SetSince},
      {"--technician", "NAME", "report: the technician's name (kept for the next report)", "report",
       SetTechnician},
      {"--notes", "TEXT", "report: notes for the report", "report", SetNotes},
      {"--only", "NAMES", "restore: only these settings (display names, comma-separated)", "restore", SetOnly},
      {"--budget", "MS", "bus-scan, restore --bus: wait per probe instead of the one derived from the baud rate",
       "bus-scan restore",
       SetBudget},
      {"--help", nullptr, "this text, or the command's help after a command (also -h)", nullptr, SetHelp},
      {"--version", nullptr, "the program's version", nullptr, SetVersion},
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
    const CliOptionSpec* row = FindOption(name);
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
  // The command's name in any case.
  if (const CliCommandSpec* command = FindCliCommand(out.command)) out.command = command->name;
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

std::string CliUsage() {
  std::string text =
      "usage: tarkon-cli [OPTIONS] COMMAND [ARGUMENTS] [OPTIONS]\n"
      "\n"
      "commands:\n";
  for (const CliCommandSpec& c : CliCommandTable()) {
    std::string left = std::string("  ") + c.name + (*c.arguments ? std::string(" ") + c.arguments : "");
    if (left.size() < 30) left += std::string(30 - left.size(), ' ');
    else left += "  ";
    text += left + c.summary + (c.manufacturing ? " (--manufacturing)" : "") + "\n";
  }
  text += "\noptions (before or after the command; --opt VALUE or --opt=VALUE):\n";
  for (const CliOptionSpec& o : CliOptionTable()) {
    std::string left = std::string("  ") + o.name + (o.valueName ? std::string(" ") + o.valueName : "");
    if (left.size() < 30) left += std::string(30 - left.size(), ' ');
    else left += "  ";
    text += left + o.help + "\n";
  }
  text +=
      "\n"
      "PORT is COMn (through the port map of tarkon.ini), a device path, or a serial\n"
      "device server on the network: rfc2217://HOST:PORT (telnet com port control: the\n"
      "line settings travel to the gateway) or tcp://HOST:PORT (socket://; raw bytes, the\n"
      "gateway keeps its own line settings); an IPv6 host goes in brackets. Neither\n"
      "carries authentication: over untrusted networks use an ssh tunnel.\n"
      "MODEL is a display name (KRV02, KRV04, \"Qmt Long\", \"Qmt Short\",\n"
      "\"KRV04 Board Flipper\") or a model string.\n"
      "Options not given take the values stored in tarkon.ini by the last connection whose\n"
      "port opened (`tarkon-cli ports` names the file).\n"
      "\n"
      "exit status:\n"
      "  0  success\n"
      "  1  no connection, or a command failed\n"
      "  2  bad usage, or a value refused by a check (nothing was sent)\n"
      "\n"
      "`tarkon-cli help COMMAND` or `tarkon-cli COMMAND --help` shows one command's help.\n";
  return text;
}

const char* CliVersion() { return "tarkon-cli " LRS_VERSION; }
