#pragma once
// Command line of tarkon-cli: options may stand before or after the
// command, take "--opt VALUE" or "--opt=VALUE", and "--" ends them. Every
// option is one row of the option table (cli_options.cpp); every command
// one row of the command table (cli_command_table.cpp).

#include <optional>
#include <string>
#include <vector>

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
  std::string simulateCheckMode = "checksum";  // the virtual sensor's check mode
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
  std::optional<int> from;                // bus-scan --from
  std::optional<int> to;                  // bus-scan --to
  std::optional<unsigned> budgetMs;       // bus-scan --budget
  std::vector<int> bauds;                 // every --baud given, in order (bus-scan scans each)
  bool bus = false;                       // restore --bus
  std::optional<std::string> serial;      // history --serial
  std::optional<std::string> since;       // history --since
  std::optional<std::string> technician;  // report --technician
  std::optional<std::string> notes;       // report --notes
  // What to do.
  bool help = false;     // -h/--help: the command's help, or the whole usage
  bool version = false;  // --version
  std::string command;
  std::vector<std::string> arguments;
  // Options given, by table name, for the per-command check.
  std::vector<std::string> given;
};

// One option of the table.
struct CliOptionSpec {
  const char* name;       // "--port"
  const char* valueName;  // "PORT"; null for a switch
  const char* help;       // one line
  // Commands the option belongs to (blank-separated); null: every command.
  const char* commands;
  // Takes the value (empty for a switch); returns an error text or "".
  std::string (*apply)(CliOptions& options, const std::string& value);
};
const std::vector<CliOptionSpec>& CliOptionTable();

// Parses argv. On a usage error returns false with a one-line message.
bool ParseCliOptions(int argc, char** argv, CliOptions& out, std::string& error);

// Full usage (tarkon-cli --help).
std::string CliUsage();
// Version text (tarkon-cli --version).
const char* CliVersion();
// The line that follows every usage error.
constexpr const char* kUsageHint = "Try 'tarkon-cli --help' for more information.";
