#pragma once
// Command line of tarkon-cli: options may stand before or after the
// command, take "--opt VALUE" or "--opt=VALUE", and "--" ends them. Every
// option is one row of the option table (cli_options.cpp); every command
// one row of the command table (cli_command_table.cpp).
// Values an option checks are checked by the engine's rules as it is read.

#include <optional>
#include <string>
#include <vector>

#include "tarkon/fleet/bus_scan.h"

struct CliOptions {
  // Connection.
  std::optional<std::string> port;  // "COMn" or a device path
  std::vector<std::string> ports;   // every --port given (bus-scan and restore --bus take several)
  std::optional<int> baud;
  std::optional<int> address;
  std::optional<unsigned> readTimeoutMs;
  std::optional<unsigned> writeTimeoutMs;
  std::optional<int> checkMode;             // the check mode tried first (0 checksum, 1 CRC)
  bool rs485 = false;                       // the driver's RS-485 direction control
  std::optional<std::string> settingsPath;  // tarkon.ini to use instead of the default
  std::optional<std::string> trace;         // protocol trace file, "-" for standard error
  std::optional<std::string> simulate;      // model of an in-process virtual sensor
  int simulateCheckMode = 0;                // the virtual sensor's check mode (0 checksum, 1 CRC)
  // Behaviour.
  bool manufacturing = false;
  bool json = false;
  bool yes = false;
  bool quiet = false;  // no "ok:" and "note:" lines
  // Options of single commands.
  std::optional<long> count;            // watch --count
  std::optional<long> intervalMs;       // watch --interval
  std::optional<std::string> appendPath;  // scan-buffer --append
  std::optional<std::string> csvPath;     // watch --csv
  std::optional<long> durationMs;         // watch --duration
  bool reconnect = false;                 // watch --reconnect
  bool dryRun = false;                    // restore --dry-run
  bool force = false;                     // restore --force
  bool connection = false;                // restore --connection
  std::vector<std::string> only;          // restore --only NAME[,NAME...]
  bool restoreSettings = false;           // upload --restore-settings
  bool withoutBackup = false;             // upload --without-backup
  std::optional<int> from;                // bus-scan --from
  std::optional<int> to;                  // bus-scan --to
  std::optional<unsigned> budgetMs;       // bus-scan --budget
  std::vector<int> bauds;                 // every --baud given, in order (bus-scan scans each)
  bool bus = false;                       // restore --bus, watch --bus
  std::vector<int> addresses;             // watch --bus --addresses
  std::optional<std::string> serial;      // history --serial
  std::optional<std::string> since;       // history --since
  std::optional<std::string> technician;  // report --technician
  std::optional<std::string> notes;       // report --notes
  std::optional<std::string> paper;       // report --paper
  // What to do.
  bool help = false;     // -h/--help: the command's help, or the whole usage
  bool version = false;  // --version
  std::string command;
  std::vector<std::string> arguments;
  // Options given, by table name, for the per-command check.
  std::vector<std::string> given;
};

// What the shell completes for an option's value.
struct CliValueCompletion {
  enum class Kind { kNothing, kWords, kFile, kPort };
  Kind kind = Kind::kNothing;
  std::vector<std::string> words = std::vector<std::string>();  // kWords
  std::string pattern = std::string();  // kFile: extension or bash pattern; empty for any file
};

// One option of the table. Which commands an option belongs to is said by
// the command table (cli_command_table.h), not here.
struct CliOptionSpec {
  const char* name;       // "--port"
  const char* valueName;  // "PORT"; null for a switch
  std::string help;       // one line
  // Takes the value (empty for a switch); returns an error text or "".
  std::string (*apply)(CliOptions& options, const std::string& value);
  CliValueCompletion completion = {};
  // What the man page adds to the line of help (may be empty).
  std::string details = std::string();
};
const std::vector<CliOptionSpec>& CliOptionTable();
const CliOptionSpec* FindCliOption(const std::string& name);

// Parses argv. On a usage error returns false with a one-line message.
bool ParseCliOptions(int argc, char** argv, CliOptions& out, std::string& error);

// What a bus scan (bus-scan, restore --bus) scans: --from, --to, --budget
// and each --baud given, the engine's defaults for the others.
fleet::BusScanOptions BusScanOptionsOf(const CliOptions& options);

// Version text (tarkon-cli --version).
const char* CliVersion();
// The line that follows every usage error.
constexpr const char* kUsageHint = "Try 'tarkon-cli --help' for more information.";
