#include "tarkon/cli/cli_command_table.h"

#include <cctype>

#include "tarkon/document/connect_values.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

const std::vector<CliCommandSpec>& CliCommandTable() {
  static const std::string baudWords = [] {
    std::string words;
    for (const std::string& rate : BaudRateTexts()) words += (words.empty() ? "" : " ") + rate;
    return words;
  }();
  static const std::vector<CliCommandSpec> table = {
      {"info", "", 0, 0, false, nullptr, "connection and identity",
       "Shows the port (a COMn with the device it resolved to), baud rate, address, check mode,\n"
       "model, model string, serial number and versions."},
      {"settings", "", 0, 0, false, nullptr, "the model's settings as the setup pane lists them",
       "Lists the connected model's settings by display name, in display units."},
      {"set", "NAME VALUE", 2, 2, false, nullptr, "change one setting (display name, display units)",
       "Changes one setting. NAME is a display name of `settings` (any case); VALUE is one number in\n"
       "display units (Mode takes the mode number; Laser On/Off; Hold Last Valid Range\n"
       "Enabled/Disabled). The setting's own check applies, and a value that does not fit the\n"
       "sensor's field is refused with its range; nothing is sent then (exit 2)."},
      {"state", "", 0, 0, false, nullptr, "one poll of the live diagnostics", "Polls the live diagnostics once."},
      {"watch", "", 0, 0, false, nullptr, "live diagnostics every poll (250 ms) until Ctrl+C",
       "Polls the live diagnostics until Ctrl+C, each poll with its time (UTC, ISO 8601).\n"
       "  --count N        stop after N polls\n"
       "  --interval MS    one poll every MS milliseconds (not below 250)\n"
       "  --csv FILE       append one flushed line per poll (ISO time, raw range, range, the other\n"
       "                   live values); Ctrl+C or --duration ends with polls, failures, min/mean/max\n"
       "  --duration D     stop after D (90, 90s, 15m, 2h)\n"
       "  --quiet          no ok: and note: lines"},
      {"errors", "", 0, 0, false, nullptr, "error counters (KRV02 family)", "Reads the error counters."},
      {"scan", "start|stop|filter", 1, 1, false, "start stop filter", "scanning",
       "Starts or stops scanning, or applies the filter and shows the scan statistics."},
      {"laser", "on|off", 1, 1, false, "on off", "laser", "Switches the laser on or off."},
      {"scan-buffer", "[COUNT]", 0, 1, false, nullptr, "read the scan buffer",
       "Reads COUNT ranges of the scan buffer (all by default).\n"
       "  --append FILE    append them to FILE as an annotated text export"},
      {"address", "NEW", 1, 1, false, nullptr, "give the sensor a new address (0 to 255)",
       "Sends the new address to the sensor with this serial number (through the global address)\n"
       "and stores it for the next connection. 0 is the global address, which every sensor on the\n"
       "line answers, as the window's address dialog takes it."},
      {"baud", "RATE", 1, 1, false, baudWords.c_str(), "switch the sensor's baud rate",
       "Switches the sensor and the port to RATE and stores it for the next connection."},
      {"check-mode", "checksum|crc", 1, 1, false, "checksum crc", "switch the error checking method",
       "Switches the sensor's error checking method."},
      {"defaults", "", 0, 0, false, nullptr, "restore the factory defaults (asks, or --yes)",
       "Restores the sensor's factory defaults after a [y/N] question on a terminal, or with --yes."},
      {"ports", "", 0, 0, false, nullptr, "serial ports of this machine and the port map",
       "Lists the serial ports found and the port map of the settings file; connects to nothing."},
      {"backup", "FILE", 1, 1, false, nullptr, "save the sensor's identity and settings to FILE (JSON)",
       "Saves the format version, the time, model, model string, serial number, versions, the\n"
       "connection and every setting of the model (display name, displayed value and the raw\n"
       "reply bytes) to FILE as one JSON document."},
      {"restore", "FILE", 1, 1, false, nullptr, "bring the sensor's settings back to those of FILE",
       "Compares the sensor with FILE and lists the differences (name, sensor now, file), then\n"
       "applies each through the settings' own checks and commands, re-reads and verifies.\n"
       "Exit 0 only when every value verified. The serial number is never written. A damaged\n"
       "file ends the run before anything is sent.\n"
       "  --dry-run        list the differences only\n"
       "  --force          a file of another model: apply the settings the two models share\n"
       "  --connection     also address, check mode and baud rate, last, then reconnect\n"
       "  --bus            every sensor of the file's model on the bus (the bus scan, --from N\n"
       "                   --to M): each gets the file's settings, never its address, baud rate or\n"
       "                   check mode; a table of sensor, serial number, settings changed,\n"
       "                   verified, failed. Exit 1 if any sensor failed.\n"
       "  --budget MS      with --bus: wait per probe (default: derived from the baud rate)\n"
       "  --only NAMES     only these settings (display names, comma-separated, any case)"},
      {"params", "", 0, 0, false, nullptr, "every setting with its value, unit, range and group",
       "Lists the connected sensor's settings as the Parameters pane does: name (as the setup pane\n"
       "names it), value in the sensor's unit, the number the setting takes, unit, the range its\n"
       "check accepts, and the settings dialog group that writes it."},
      {"edit", "FILE NAME VALUE", 3, 3, false, nullptr, "change one setting in a backup FILE, no sensor needed",
       "Changes one setting of a settings backup (the file of `backup`) with no sensor attached.\n"
       "VALUE is typed as for `set`; the model's own check and conversion apply (on a private\n"
       "virtual sensor of the file's model). A refused value leaves FILE untouched (exit 2);\n"
       "otherwise FILE is replaced as a whole. Apply it later with `restore FILE`."},
      {"diff", "FILE", 1, 1, false, nullptr, "compare the sensor's settings with FILE",
       "Lists the settings in which the sensor and FILE differ (exit 0 equal, 1 different)."},
      {"bus-scan", "", 0, 0, false, nullptr, "find the sensors on the line",
       "Probes every address of the range with the model-name query in both check modes and\n"
       "lists each sensor that answers: address, check mode, baud rate, model, serial number.\n"
       "Opens --port (or the stored port) itself; connects to no sensor.\n"
       "  --from N         first address (default 1)\n"
       "  --to M           last address (default 255)\n"
       "  --baud R         a baud rate to scan; repeat for more (default: the stored one)\n"
       "  --budget MS      wait per probe (default: derived from the baud rate, 17 ms at 57600)"},
      {"reset", "", 0, 0, true, nullptr, "reset the sensor", "Resets the sensor (manufacturing mode)."},
      {"serial-number", "TEXT", 1, 1, true, nullptr, "write the serial number",
       "Writes the serial number (at most 15 characters; manufacturing mode)."},
      {"model-name", "MODELSTRING", 1, 1, true, nullptr, "write the model string",
       "Writes one of the known model strings (manufacturing mode)."},
      {"upload", "fpga|dsp|cal FILE", 2, 2, true, "fpga dsp cal", "upload firmware",
       "Uploads an FPGA image, DSP code or a calibration table (manufacturing mode). Shows the\n"
       "sensor, the file (size, CRC-16), the kind and the line time, and asks before the first\n"
       "byte ([y/N] on a terminal, or --yes); a file of unusual size is asked about first. The\n"
       "sensor's settings are saved to ~/.local/share/tarkon/backups before the transfer; when\n"
       "they cannot be saved nothing is sent (exit 1), unless --without-backup says to go on\n"
       "(--yes does not). Ctrl+C twice stops it after the block in flight (CAN, flash locked\n"
       "again). The lock commands count as locked only when the sensor answers after them.\n"
       "Afterwards the sensor is read again and its settings compared with the backup;\n"
       "--restore-settings puts back what the update changed. With --json: one line per\n"
       "progress step, then the result, also when the upload failed.\n"
       "  --without-backup   upload even when the settings cannot be saved first"},
      {"history", "", 0, 0, false, nullptr, "the change history of every write to a sensor",
       "Lists the change history (every write of Tarkon, tarkon-cli and Ostrel to a sensor: time,\n"
       "serial number, model, setting, old and new value, outcome, program, user), newest first.\n"
       "Reads ~/.local/share/tarkon/history.jsonl; connects to nothing.\n"
       "  --serial SN      the changes of this serial number only\n"
       "  --since DATE     changes from DATE on (2026-12-08 or 2026-12-08T10:30, UTC)"},
      {"report", "FILE.pdf|FILE.html", 1, 1, false, nullptr, "write the commissioning report",
       "Writes the commissioning report of the connected sensor: identity and connection, every\n"
       "setting with its unit, its last changes from the change history, the date, the\n"
       "technician and notes. FILE.pdf through Qt's PDF writer, FILE.html for an intranet.\n"
       "The whole change history is read; a serial number that reads empty lists no change.\n"
       "  --technician NAME  the technician (asked once on a terminal, then kept)\n"
       "  --notes TEXT       notes for the report (control characters are dropped)\n"
       "  --paper SIZE       a4 (the default) or letter"},
      {"help", "[COMMAND]", 0, 1, false, nullptr, "this text, or one command's help", "Shows help."},
  };
  return table;
}

const CliCommandSpec* FindCliCommand(const std::string& name) {
  const std::string wanted = Lower(name);
  for (const CliCommandSpec& command : CliCommandTable())
    if (wanted == command.name) return &command;
  return nullptr;
}

std::string CliCommandHelp(const CliCommandSpec& command) {
  std::string text = std::string("usage: tarkon-cli [OPTIONS] ") + command.name;
  if (*command.arguments) text += std::string(" ") + command.arguments;
  text += "\n\n" + std::string(command.help) + "\n";
  if (command.manufacturing) text += "Needs --manufacturing.\n";
  text += "\nConnection and output options: tarkon-cli --help\n";
  return text;
}
