#include "cli/cli_options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

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

}  // namespace

const char* CliUsage() {
  return "usage: tarkon-cli [--port PORT] [--baud RATE] [--address N] [--read-timeout MS]\n"
         "                  [--write-timeout MS] [--rs485] [--manufacturing] [--json] [--yes]\n"
         "                  [--simulate MODEL] [--simulate-check-mode checksum|crc]\n"
         "                  [--settings FILE] COMMAND [ARGUMENTS]\n"
         "       tarkon-cli --help | --version\n"
         "\n"
         "commands:\n"
         "  info                         connection and identity\n"
         "  settings                     the model's settings as the setup pane lists them\n"
         "  set NAME VALUE               change one setting (display name, display units)\n"
         "  state                        one poll of the live diagnostics\n"
         "  watch [--count N]            live diagnostics every 250 ms\n"
         "  errors                       error counters (KRV02 family)\n"
         "  scan start|stop|filter       scanning\n"
         "  laser on|off                 laser\n"
         "  scan-buffer [COUNT] [--append FILE]   read the scan buffer\n"
         "  address NEW | baud RATE | check-mode checksum|crc | defaults\n"
         "  ports                        serial ports of this machine and the port map\n"
         "manufacturing mode only:\n"
         "  reset | serial-number TEXT | model-name MODELSTRING | upload fpga|dsp|cal FILE\n"
         "\n"
         "PORT is COMn (through the port map of tarkon.ini) or a device path.\n"
         "MODEL is a display name (KRV02, KRV04, \"Qmt Long\", \"Qmt Short\",\n"
         "\"KRV04 Board Flipper\") or a model string.\n";
}

bool ParseCliOptions(int argc, char** argv, CliOptions& out, std::string& error) {
  int i = 1;
  auto needValue = [&](const std::string& name, std::string& value) {
    if (i + 1 >= argc) {
      error = "option " + name + " needs a value";
      return false;
    }
    value = argv[++i];
    return true;
  };
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.size() < 2 || arg[0] != '-' || arg[1] != '-') break;
    std::string value;
    long number = 0;
    if (arg == "--port") {
      if (!needValue(arg, value)) return false;
      out.port = value;
    } else if (arg == "--baud") {
      if (!needValue(arg, value)) return false;
      if (!ParseInt(value, 1, INT_MAX, number)) {
        error = "--baud needs a positive whole number, not \"" + value + "\"";
        return false;
      }
      out.baud = static_cast<int>(number);
    } else if (arg == "--address") {
      if (!needValue(arg, value)) return false;
      if (!ParseInt(value, 0, 255, number)) {
        error = "--address needs a whole number from 0 to 255, not \"" + value + "\"";
        return false;
      }
      out.address = static_cast<int>(number);
    } else if (arg == "--read-timeout" || arg == "--write-timeout") {
      if (!needValue(arg, value)) return false;
      if (!ParseInt(value, 0, INT_MAX, number)) {
        error = arg + " needs a whole number of milliseconds, not \"" + value + "\"";
        return false;
      }
      (arg == "--read-timeout" ? out.readTimeoutMs : out.writeTimeoutMs) = static_cast<unsigned>(number);
    } else if (arg == "--settings") {
      if (!needValue(arg, value)) return false;
      out.settingsPath = value;
    } else if (arg == "--manufacturing") {
      out.manufacturing = true;
    } else if (arg == "--json") {
      out.json = true;
    } else if (arg == "--yes") {
      out.yes = true;
    } else if (arg == "--rs485") {
      out.rs485 = true;
    } else if (arg == "--simulate") {
      if (!needValue(arg, value)) return false;
      out.simulate = value;
    } else if (arg == "--simulate-check-mode") {
      if (!needValue(arg, value)) return false;
      if (value != "checksum" && value != "crc") {
        error = "--simulate-check-mode takes checksum or crc";
        return false;
      }
      out.simulateCheckMode = value;
    } else if (arg == "--help") {
      out.command = "help";
      return true;
    } else if (arg == "--version") {
      out.command = "version";
      return true;
    } else {
      error = "unknown option " + arg;
      return false;
    }
  }
  if (i >= argc) {
    error = "no command given";
    return false;
  }
  out.command = argv[i++];
  for (; i < argc; ++i) out.arguments.emplace_back(argv[i]);
  return true;
}
