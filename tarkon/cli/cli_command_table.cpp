#include "tarkon/cli/cli_command_table.h"

#include <cstdio>

#include "tarkon/cli/cli_commands.h"
#include "tarkon/cli/cli_help.h"
#include "tarkon/cli/cli_run.h"
#include "tarkon/cli/fleet_commands.h"
#include "tarkon/cli/history_commands.h"
#include "tarkon/cli/params_commands.h"
#include "tarkon/cli/upload_command.h"
#include "tarkon/cli/watch_bus_command.h"
#include "tarkon/cli/watch_command.h"
#include "tarkon/document/check_mode_text.h"
#include "tarkon/document/connect_values.h"
#include "tarkon/document/poll_worker.h"
#include "tarkon/document/serial_and_model.h"
#include "tarkon/models/model_table.h"

namespace {

using Kind = CliArgumentCompletion::Kind;

// help [COMMAND]: the usage, or the named command's help.
bool CheckHelpUsage(const CliOptions& options, std::string& error) {
  if (options.arguments.empty() || FindCliCommand(options.arguments[0]) != nullptr) return true;
  error = "unknown command \"" + options.arguments[0] + "\"";
  return false;
}

int RunHelp(CliRun& run) {
  const CliOptions& o = run.options();
  const CliCommand* named = o.arguments.empty() ? nullptr : FindCliCommand(o.arguments[0]);
  if (named == nullptr || named->run == RunHelp) {
    std::fputs(CliUsage(CliCommandTable()).c_str(), stdout);
  } else {
    std::fputs(CliCommandHelp(*named).c_str(), stdout);
  }
  return kExitOk;
}

// "KRV02 and Qmt Long": the models the engine says offer a thing.
std::string ModelsWith(bool (*offers)(int model)) {
  std::vector<std::string> names;
  for (const ModelEntry& model : ModelTable())
    if (offers(model.index)) names.emplace_back(model.displayName);
  std::string phrase;
  for (size_t i = 0; i < names.size(); ++i) phrase += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  return phrase;
}

std::string Joined(const std::vector<std::string>& words, const char* separator) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : separator) + word;
  return text;
}

CliArgumentCompletion File(const char* pattern = "") { return {Kind::kFile, pattern}; }
CliArgumentCompletion Words() { return {Kind::kWords, {}}; }
CliArgumentCompletion Nothing() { return {}; }

std::vector<CliCommand> BuildTable() {
  const std::string poll = std::to_string(PollWorker::kIntervalMs);
  const std::string checkModes = Joined(CheckModeWords(), "|");
  const std::string addresses =
      std::to_string(kGlobalAddress) + " to " + std::to_string(kLastSensorAddress);
  return {
      {"info", "", 0, 0, false, {}, {}, "connection and identity",
       "Shows the port (a COMn with the device it resolved to), baud rate, address, check mode,\n"
       "model, model string, serial number and versions. Exit 1 when the identity is incomplete\n"
       "(a serial number or versions whose reply did not come): the missing parts show as\n"
       "\"(not read)\" and the error names them.",
       {}, false, nullptr, OnSensor<RunInfo>},
      {"settings", "", 0, 0, false, {}, {}, "the model's settings as the setup pane lists them",
       "Lists the connected model's settings by display name, in display units.", {}, false, nullptr,
       OnSensor<RunSettings>},
      {"set", "NAME VALUE", 2, 2, false, {}, {}, "change one setting (display name, display units)",
       "Changes one setting. NAME is a display name of `settings` (any case); VALUE is one number in\n"
       "display units, or the word the setting shows (`params` lists each setting with the range\n"
       "its check accepts). The setting's own check applies, and a value that does not fit the\n"
       "sensor's field is refused with its range; nothing is sent then (exit 2).",
       {Nothing(), Nothing()}, false, nullptr, OnSensor<RunSet>},
      {"state", "", 0, 0, false, {}, {}, "one poll of the live diagnostics", "Polls the live diagnostics once.", {},
       false, nullptr, OnSensor<RunState>},
      {"watch", "", 0, 0, false, {},
       {"--count", "--interval", "--csv", "--duration", "--reconnect", "--bus", "--addresses", "--from", "--to",
        "--budget"},
       "live diagnostics every poll (" + poll + " ms) until Ctrl+C",
       "Polls the live diagnostics until Ctrl+C, each poll with its time (UTC, ISO 8601), or with\n"
       "--csv appends each poll to FILE and ends with polls, failures and range min/mean/max.\n"
       "Ends with exit status 1 when the port's device goes away (adapter unplugged) or a line of\n"
       "the CSV file or of the trace cannot be written (a full disk). With --reconnect a port\n"
       "that goes away does not end the run: it says so (\"-- link lost\"), tries the same device\n"
       "name, baud rate, address and check mode once a second, says \"-- reconnected\" and polls on.\n"
       "With --bus: every sensor of the line in turn (those a bus scan finds, --from N --to M, or\n"
       "--addresses LIST in the --check-mode given), one line per sensor per round with its serial\n"
       "number, state (answering, silent, changed), range, laser power and peak, good and failed\n"
       "polls; --count counts rounds; --json gives an object per sensor per round, --csv a CSV line.\n"
       "A silent sensor is asked again every few seconds without slowing the others; one that\n"
       "answers with another serial number is marked changed and polled no more. Exit 1 when a\n"
       "sensor was silent or changed at the end, a poll failed, or the port or a file failed.",
       {}, true, CheckWatchUsage, RunWatch},
      {"errors", "", 0, 0, false, {}, {}, "error counters (" + ModelsWith(HasErrorCounters) + ")",
       "Reads the error counters (" + ModelsWith(HasErrorCounters) + ").", {}, false, nullptr,
       OnSensor<RunErrors>},
      {"scan", "start|stop|filter", 1, 1, false, {"start", "stop", "filter"}, {}, "scanning",
       "Starts or stops scanning, or applies the filter and shows the scan statistics.", {Words()}, false, nullptr,
       OnSensor<RunScan>},
      {"laser", "on|off", 1, 1, false, {"on", "off"}, {}, "laser", "Switches the laser on or off.", {Words()}, false,
       nullptr, OnSensor<RunLaser>},
      {"scan-buffer", "[COUNT]", 0, 1, false, {}, {"--append"}, "read the scan buffer",
       "Reads COUNT ranges of the scan buffer (all by default; " + ModelsWith(HasScanBuffer) + ").",
       {Nothing()}, false, nullptr, OnSensor<RunScanBuffer>},
      {"address", "NEW", 1, 1, false, {}, {}, "give the sensor a new address (" + addresses + ")",
       "Sends the new address to the sensor with this serial number (through the global address)\n"
       "and stores it for the next connection. " +
           std::to_string(kGlobalAddress) +
           " is the global address, which every sensor on the\n"
           "line answers, as the window's address dialog takes it.",
       {Nothing()}, false, nullptr, OnSensor<RunAddress>},
      {"baud", "RATE", 1, 1, false, BaudRateTexts(), {}, "switch the sensor's baud rate",
       "Switches the sensor and the port to RATE (" + BaudRatesPhrase() +
           ") and stores it for the next connection.",
       {Words()}, false, nullptr, OnSensor<RunBaud>},
      {"check-mode", checkModes, 1, 1, false, CheckModeWords(), {}, "switch the error checking method",
       "Switches the sensor's error checking method.", {Words()}, false, nullptr, OnSensor<RunCheckMode>},
      {"defaults", "", 0, 0, false, {}, {}, "restore the factory defaults (asks, or --yes)",
       "Restores the sensor's factory defaults after a [y/N] question on a terminal, or with --yes.", {}, false,
       nullptr, OnSensor<RunDefaults>},
      {"ports", "", 0, 0, false, {}, {}, "serial ports of this machine and the port map",
       "Lists the serial ports found (USB adapters with vendor, model, serial number and by-id\n"
       "name) and the port map of the settings file; opens no port.",
       {}, false, nullptr, RunPorts},
      {"backup", "FILE", 1, 1, false, {}, {}, "save the sensor's identity and settings to FILE (JSON)",
       "Saves the format version, the time, model, model string, serial number, versions, the\n"
       "connection and every setting of the model (display name, displayed value and the raw\n"
       "reply bytes) to FILE as one JSON document. A sensor whose identity is incomplete is not\n"
       "saved.",
       {File("json")}, true, nullptr, OnSensor<RunBackup>},
      {"restore", "FILE", 1, 1, false, {}, {"--dry-run", "--force", "--connection", "--bus", "--only", "--from", "--to", "--budget"},
       "bring the sensor's settings back to those of FILE",
       "Compares the sensor with FILE and lists the differences (name, sensor now, file), then\n"
       "applies each through the settings' own checks and commands, re-reads and verifies.\n"
       "Exit 0 only when every value verified. The serial number is never written. A damaged\n"
       "file ends the run before anything is sent. With --bus: every sensor of the file's model\n"
       "on the bus (the bus scan, --from N --to M) gets the file's settings, never its address,\n"
       "baud rate or check mode; a table of sensor, serial number, settings changed, verified,\n"
       "failed. Exit 1 if any sensor failed. Every write goes to the change history. With several\n"
       "--port: every bus at once, the result port by port.",
       {File("json")}, true, CheckRestoreUsage, RunRestore},
      {"params", "", 0, 0, false, {}, {}, "every setting with its value, unit, range and group",
       "Lists the connected sensor's settings as the Parameters pane does: name (as the setup pane\n"
       "names it), value in the sensor's unit, the number the setting takes, unit, the range its\n"
       "check accepts, and the settings dialog group that writes it.",
       {}, false, nullptr, OnSensor<RunParams>},
      {"edit", "FILE NAME VALUE", 3, 3, false, {}, {}, "change one setting in a backup FILE, no sensor needed",
       "Changes one setting of a settings backup (the file of `backup`) with no sensor attached.\n"
       "VALUE is typed as for `set`; the model's own check and conversion apply (on a private\n"
       "virtual sensor of the file's model). A refused value leaves FILE untouched (exit 2);\n"
       "otherwise FILE is replaced as a whole. Apply it later with `restore FILE`.",
       {File("json"), Nothing(), Nothing()}, false, nullptr, RunEdit},
      {"diff", "FILE", 1, 1, false, {}, {}, "compare the sensor's settings with FILE",
       "Lists the settings in which the sensor and FILE differ (exit 0 equal, 1 different).", {File("json")}, true,
       CheckDiffUsage, OnSensor<RunDiff>},
      {"bus-scan", "", 0, 0, false, {}, {"--from", "--to", "--budget"}, "find the sensors on the line",
       "Probes every address of the range with the model-name query in both check modes and\n"
       "lists each sensor that answers: address, check mode, baud rate, model, serial number.\n"
       "Opens --port (or the stored port) itself; connects to no sensor. --baud may be given\n"
       "more than once: each rate is scanned (default: the stored one). With several --port:\n"
       "every line at once (behind its own gateway, say), a table per port (with --json:\n"
       "{\"ports\": [{\"port\", \"sensors\", \"complete\", \"error\"}...]}); a port that fails does not\n"
       "stop the others, and the exit status is 1.",
       {}, true, CheckBusScanUsage, RunBusScan},
      {"reset", "", 0, 0, true, {}, {}, "reset the sensor", "Resets the sensor.", {}, false, nullptr,
       OnSensor<RunReset>},
      {"serial-number", "TEXT", 1, 1, true, {}, {}, "write the serial number",
       "Writes the serial number (at most " + std::to_string(SerialAndModel::kMaxSerialChars) + " characters).",
       {Nothing()}, false, nullptr, OnSensor<RunSerialNumber>},
      {"model-name", "MODELSTRING", 1, 1, true, {}, {}, "write the model string",
       "Writes one of the known model strings.", {Nothing()}, false, nullptr, OnSensor<RunModelName>},
      {"upload", "fpga|dsp|cal FILE", 2, 2, true, {"fpga", "dsp", "cal"}, {"--restore-settings", "--without-backup"},
       "upload firmware",
       "Uploads an FPGA image, DSP code or a calibration table. Shows the sensor, the file (size,\n"
       "CRC-16), the kind and the line time, and asks before the first byte ([y/N] on a terminal,\n"
       "or --yes); a file of unusual size is asked about first. The sensor's settings are saved\n"
       "to ~/.local/share/tarkon/backups before the transfer; when they cannot be saved nothing\n"
       "is sent (exit 1), unless --without-backup says to go on (--yes does not). Ctrl+C twice\n"
       "stops it after the block in flight (CAN, flash locked again). The lock commands count as\n"
       "locked only when the sensor answers after them. Afterwards the sensor is read again and\n"
       "its settings compared with the backup; --restore-settings puts back what the update\n"
       "changed. With --json: one line per progress step, then the result; a failed upload's\n"
       "result also carries flash_locked, the meaning, what to do and the blocks sent, beside\n"
       "its error.",
       {Words(), File("@(bin|cal)")}, true, nullptr, OnSensor<UploadCommand>},
      {"history", "", 0, 0, false, {}, {"--serial", "--since"}, "the change history of every write to a sensor",
       "Lists the change history (every write of Tarkon, tarkon-cli and Ostrel to a sensor: time,\n"
       "serial number, model, setting, old and new value, outcome, program, user), newest first.\n"
       "Reads ~/.local/share/tarkon/history.jsonl, the whole file; when the changes that match\n"
       "add up to more than 8 MiB, the older ones are counted and said to be left out. Connects\n"
       "to nothing.",
       {}, false, nullptr, RunHistory},
      {"report", "FILE.pdf|FILE.html", 1, 1, false, {}, {"--technician", "--notes", "--paper"},
       "write the commissioning report",
       "Writes the commissioning report of the connected sensor: identity and connection, every\n"
       "setting with its unit, its last changes from the change history, the date, the\n"
       "technician and notes. FILE.pdf through Qt's PDF writer, FILE.html for an intranet. The\n"
       "whole change history is read for this sensor's own changes (its serial number exactly and\n"
       "its model; a serial number that reads empty lists none and says so); a cell shows at\n"
       "most 160 characters of a longer value, marked as cut. A4, or --paper letter. Ctrl+C ends\n"
       "it with exit status 1. The technician is asked once when standard input and standard\n"
       "error are a terminal, then kept in tarkon.ini; elsewhere give --technician.",
       {File("@(pdf|html)")}, false, nullptr, OnSensor<RunReport>},
      {"help", "[COMMAND]", 0, 1, false, {}, {}, "this text, or one command's help", "Shows help.",
       {{Kind::kCommand, {}}}, false, CheckHelpUsage, RunHelp},
  };
}

}  // namespace

const std::vector<CliCommand>& CliCommandTable() {
  static const std::vector<CliCommand> table = BuildTable();
  return table;
}

const CliCommand* FindCliCommand(const std::string& name) { return FindCommand(CliCommandTable(), name); }

std::vector<const CliCommand*> CommandsOfOption(const std::string& option) {
  return CommandsOfOption(CliCommandTable(), option);
}
