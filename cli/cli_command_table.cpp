#include "cli/cli_command_table.h"

#include <cctype>

#include "cli/cli_options.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

const std::vector<CliCommandSpec>& CliCommandTable() {
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
       "Polls the live diagnostics until Ctrl+C, each poll with a time stamp.\n"
       "  --count N        stop after N polls\n"
       "  --interval MS    one poll every MS milliseconds (not below 250)\n"
       "  --quiet          no ok: and note: lines"},
      {"errors", "", 0, 0, false, nullptr, "error counters (KRV02 family)", "Reads the error counters."},
      {"scan", "start|stop|filter", 1, 1, false, "start stop filter", "scanning",
       "Starts or stops scanning, or applies the filter and shows the scan statistics."},
      {"laser", "on|off", 1, 1, false, "on off", "laser", "Switches the laser on or off."},
      {"scan-buffer", "[COUNT]", 0, 1, false, nullptr, "read the scan buffer",
       "Reads COUNT ranges of the scan buffer (all by default).\n"
       "  --append FILE    append them to FILE as an annotated text export"},
      {"address", "NEW", 1, 1, false, nullptr, "give the sensor a new address (1 to 255)",
       "Sends the new address to the sensor with this serial number (through the global address)\n"
       "and stores it for the next connection."},
      {"baud", "RATE", 1, 1, false, "9600 19200 38400 57600", "switch the sensor's baud rate",
       "Switches the sensor and the port to RATE and stores it for the next connection."},
      {"check-mode", "checksum|crc", 1, 1, false, "checksum crc", "switch the error checking method",
       "Switches the sensor's error checking method."},
      {"defaults", "", 0, 0, false, nullptr, "restore the factory defaults (asks, or --yes)",
       "Restores the sensor's factory defaults after a [y/N] question on a terminal, or with --yes."},
      {"ports", "", 0, 0, false, nullptr, "serial ports of this machine and the port map",
       "Lists the serial ports found and the port map of the settings file; connects to nothing."},
      {"reset", "", 0, 0, true, nullptr, "reset the sensor", "Resets the sensor (manufacturing mode)."},
      {"serial-number", "TEXT", 1, 1, true, nullptr, "write the serial number",
       "Writes the serial number (at most 15 characters; manufacturing mode)."},
      {"model-name", "MODELSTRING", 1, 1, true, nullptr, "write the model string",
       "Writes one of the known model strings (manufacturing mode)."},
      {"upload", "fpga|dsp|cal FILE", 2, 2, true, "fpga dsp cal", "upload firmware",
       "Uploads an FPGA image, DSP code or a calibration table (manufacturing mode). A file of\n"
       "unusual size is refused unless confirmed ([y/N] on a terminal, or --yes). Ctrl+C twice\n"
       "stops the transfer; the sensor is then left without complete firmware."},
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
