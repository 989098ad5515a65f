#include "sim/sim_options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "sim/model_table.h"

namespace sim {
namespace {

bool ParseNumber(const std::string& text, long long low, long long high, long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && value >= low && value <= high;
}

}  // namespace

std::string SimUsage() {
  return "usage: sensor-sim [options]\n"
         "A virtual laser range sensor on a pseudo-terminal. Prints the slave path\n"
         "on its first line of output and runs until interrupted.\n"
         "\n"
         "  --model M              model string (\"0 M3-9-6BF\") or display name\n"
         "                         (KRV02, KRV04, \"Qmt Long\", \"Qmt Short\",\n"
         "                         \"KRV04 Board Flipper\"); default KRV02\n"
         "  --address N            sensor address 1..255 (default 1)\n"
         "  --check-mode MODE      checksum or crc (default checksum)\n"
         "  --baud RATE            9600, 19200, 38400 or 57600 (default 57600)\n"
         "  --throttle             send and receive no faster than the baud rate\n"
         "                         (10 bits a byte)\n"
         "  --burst-ms N           with --throttle: hand the bytes received by then\n"
         "                         to the host every N ms (1..100), as a USB serial\n"
         "                         adapter does once per USB frame\n"
         "  --link PATH            also make PATH a symbolic link to the slave\n"
         "  --serial TEXT          serial number (1 to 8 characters, as many as the\n"
         "                         sensor's serial number reply carries; \\xNN is\n"
         "                         the byte NN, so a hostile serial such as\n"
         "                         \"\\x1B[2J\" can be given)\n"
         "  --revision LETTER      firmware revision letter\n"
         "  --trace                trace every frame on standard error\n"
         "  --trace-file PATH      trace every frame into PATH\n"
         "  --seed N               seed of the fault generator (default 1)\n"
         "  --fault KIND=P         fault KIND on each reply with probability P (0..1)\n"
         "  --fault KIND@N         fault KIND on reply number N (from 1)\n"
         "                         KIND: noise, drop, corrupt, truncate, delay\n"
         "  --fault BROKEN         short@REPLY, nak-eot, cancel@BLOCK, double-portion,\n"
         "                         defaults-after-upload, silent@REPLY, hangup@FRAME\n"
         "                         (see sensor-sim(1))\n"
         "  --fault-delay MS       delay of the delay fault (default 1500)\n"
         "  --sensor DESCRIPTION   one more sensor on the line (instead of --model,\n"
         "                         --address, --check-mode, --baud, --serial and\n"
         "                         --revision): \"MODEL,address=N,check-mode=crc,\n"
         "                         baud=RATE,serial=TEXT,revision=L,silent-after=N,\n"
         "                         serial-after=N:TEXT\", e.g.\n"
         "                         --sensor \"KRV04,address=3\" --sensor \"KRV02,address=5\"\n"
         "                         silent-after=N: no reply after the N-th;\n"
         "                         serial-after=N:TEXT: another serial number from\n"
         "                         reply N on (a sensor put in its place)\n"
         "  --help                 this text\n"
         "  --version              the program's version\n";
}

namespace {

// "\xNN" (two hexadecimal digits) as the byte NN, so that a serial number
// holding control characters can be typed on any command line.
std::string DecodeByteEscapes(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool escape = text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
                        std::isxdigit(static_cast<unsigned char>(text[i + 2])) != 0 &&
                        std::isxdigit(static_cast<unsigned char>(text[i + 3])) != 0;
    if (escape) {
      out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The sensor's serial number reply is 16 bytes, of which only the first 8
// are the serial number proper (what the address change sends and what the
// programs name the sensor by): a longer serial would be shown cut, so it is
// refused with the limit.
constexpr size_t kSerialNumberLength = 8;

bool TakeSerialNumber(const std::string& value, SensorConfig& c, std::string& error) {
  const std::string serial = DecodeByteEscapes(value);
  if (serial.empty() || serial.size() > kSerialNumberLength) {
    error = "serial number must have 1 to " + std::to_string(kSerialNumberLength) +
            " characters (the sensor's reply carries " + std::to_string(kSerialNumberLength) + "), not " +
            std::to_string(serial.size());
    return false;
  }
  c.serial = serial;
  return true;
}

bool ApplySensorValue(const std::string& key, const std::string& value, SensorConfig& c, std::string& error) {
  long long n = 0;
  if (key == "model") {
    auto model = ResolveModelString(value);
    if (!model) {
      error = "unknown model '" + value + "'";
      return false;
    }
    c.model = *model;
  } else if (key == "address") {
    if (!ParseNumber(value, 1, 255, n)) {
      error = "address must be 1..255: " + value;
      return false;
    }
    c.address = static_cast<uint8_t>(n);
  } else if (key == "check-mode") {
    if (value != "checksum" && value != "crc") {
      error = "check mode must be checksum or crc: " + value;
      return false;
    }
    c.checkMode = value == "crc" ? 1 : 0;
  } else if (key == "baud") {
    if (!ParseNumber(value, 0, 1000000, n) || (n != 9600 && n != 19200 && n != 38400 && n != 57600)) {
      error = "baud rate must be 9600, 19200, 38400 or 57600: " + value;
      return false;
    }
    c.baudRate = static_cast<int32_t>(n);
  } else if (key == "serial") {
    return TakeSerialNumber(value, c, error);
  } else if (key == "revision") {
    if (value.size() != 1) {
      error = "revision must be one character: " + value;
      return false;
    }
    c.revision = value[0];
  } else if (key == "silent-after") {
    if (!ParseNumber(value, 1, 1000000000, n)) {
      error = "silent-after needs a number of replies: " + value;
      return false;
    }
    c.faults.silentAfterReply = static_cast<uint64_t>(n);
  } else if (key == "serial-after") {
    const size_t colon = value.find(':');
    if (colon == std::string::npos || !ParseNumber(value.substr(0, colon), 1, 1000000000, n)) {
      error = "serial-after needs REPLY:SERIAL, e.g. 40:NEW00001: " + value;
      return false;
    }
    SensorConfig changed;
    if (!TakeSerialNumber(value.substr(colon + 1), changed, error)) return false;
    c.serialChangesAtReply = static_cast<uint64_t>(n);
    c.changedSerial = *changed.serial;
  } else {
    error = "unknown sensor key '" + key +
            "' (model, address, check-mode, baud, serial, revision, silent-after, serial-after)";
    return false;
  }
  return true;
}

}  // namespace

bool ParseSensorSpec(const std::string& description, SensorConfig& config, std::string& error) {
  std::vector<std::string> seen;
  size_t start = 0;
  bool first = true;
  while (start <= description.size()) {
    const size_t comma = description.find(',', start);
    const std::string item = description.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    std::string key = "model";
    std::string value = item;
    if (const size_t eq = item.find('='); eq != std::string::npos) {
      key = item.substr(0, eq);
      value = item.substr(eq + 1);
    } else if (!first) {
      error = "--sensor \"" + description + "\": \"" + item + "\" is no key=value";
      return false;
    }
    for (const std::string& k : seen) {
      if (k == key) {
        error = "--sensor \"" + description + "\": " + key + " given twice";
        return false;
      }
    }
    seen.push_back(key);
    if (!ApplySensorValue(key, value, config, error)) {
      error = "--sensor \"" + description + "\": " + error;
      return false;
    }
    first = false;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

std::vector<SensorConfig> LineSensors(const SimOptions& options) {
  if (options.sensors.empty()) return {options.sensor};
  return options.sensors;
}

ParseResult ParseSimOptions(int argc, const char* const* argv, SimOptions& o, std::string& error) {
  std::vector<std::string> given;  // single-value options seen so far
  bool singleSensorOption = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool hasValue = false;
    if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasValue = true;
    }
    // An option that sets one value may be given once; a second would
    // silently override the first.
    if (arg != "--fault" && arg != "--sensor") {
      for (const std::string& g : given) {
        if (g == arg) {
          error = arg + " given twice";
          return ParseResult::kError;
        }
      }
      given.push_back(arg);
    }
    if (arg == "--model" || arg == "--address" || arg == "--check-mode" || arg == "--baud" || arg == "--serial" ||
        arg == "--revision") {
      singleSensorOption = true;
    }
    if (arg == "--sensor") {
      if (!hasValue) {
        if (i + 1 >= argc) {
          error = "--sensor needs a value";
          return ParseResult::kError;
        }
        value = argv[++i];
      }
      SensorConfig config;  // faults and seed are shared, set below
      if (!ParseSensorSpec(value, config, error)) return ParseResult::kError;
      for (const SensorConfig& other : o.sensors) {
        if (other.address == config.address) {
          error = "--sensor \"" + value + "\": address " + std::to_string(config.address) +
                  " is already taken on this line";
          return ParseResult::kError;
        }
      }
      o.sensors.push_back(config);
      continue;
    }
    auto need = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      value = argv[++i];
      hasValue = true;
      return true;
    };
    auto flag = [&]() -> bool {
      if (!hasValue) return true;
      error = arg + " takes no value";
      return false;
    };
    long long n = 0;
    if (arg == "--help" || arg == "-h") {
      return ParseResult::kHelp;
    } else if (arg == "--version") {
      return ParseResult::kVersion;
    } else if (arg == "--model") {
      if (!need()) return ParseResult::kError;
      auto model = ResolveModelString(value);
      if (!model) {
        error = "unknown model '" + value + "'";
        return ParseResult::kError;
      }
      o.sensor.model = *model;
    } else if (arg == "--address") {
      if (!need()) return ParseResult::kError;
      if (!ParseNumber(value, 1, 255, n)) {
        error = "address must be 1..255: " + value;
        return ParseResult::kError;
      }
      o.sensor.address = static_cast<uint8_t>(n);
    } else if (arg == "--check-mode") {
      if (!need()) return ParseResult::kError;
      if (value == "checksum") {
        o.sensor.checkMode = 0;
      } else if (value == "crc") {
        o.sensor.checkMode = 1;
      } else {
        error = "check mode must be checksum or crc: " + value;
        return ParseResult::kError;
      }
    } else if (arg == "--baud") {
      if (!need()) return ParseResult::kError;
      if (!ParseNumber(value, 0, 1000000, n) || (n != 9600 && n != 19200 && n != 38400 && n != 57600)) {
        error = "baud rate must be 9600, 19200, 38400 or 57600: " + value;
        return ParseResult::kError;
      }
      o.sensor.baudRate = static_cast<int32_t>(n);
    } else if (arg == "--throttle") {
      if (!flag()) return ParseResult::kError;
      o.line.throttle = true;
    } else if (arg == "--burst-ms") {
      if (!need()) return ParseResult::kError;
      if (!ParseNumber(value, 1, 100, n)) {
        error = "burst period must be 1..100 ms: " + value;
        return ParseResult::kError;
      }
      o.line.burst = std::chrono::milliseconds(n);
    } else if (arg == "--link") {
      if (!need()) return ParseResult::kError;
      if (value.empty()) {
        error = "--link needs a path";
        return ParseResult::kError;
      }
      o.line.linkPath = value;
    } else if (arg == "--serial") {
      if (!need()) return ParseResult::kError;
      if (!TakeSerialNumber(value, o.sensor, error)) return ParseResult::kError;
    } else if (arg == "--revision") {
      if (!need()) return ParseResult::kError;
      if (value.size() != 1) {
        error = "revision must be one character: " + value;
        return ParseResult::kError;
      }
      o.sensor.revision = value[0];
    } else if (arg == "--trace") {
      if (!flag()) return ParseResult::kError;
      o.traceToStderr = true;
    } else if (arg == "--trace-file") {
      if (!need()) return ParseResult::kError;
      o.traceFile = value;
    } else if (arg == "--seed") {
      if (!need()) return ParseResult::kError;
      char* end = nullptr;
      errno = 0;
      const unsigned long long seed = std::strtoull(value.c_str(), &end, 10);
      if (value.empty() || value[0] == '-' || errno != 0 || *end != '\0') {
        error = "seed must be a whole number: " + value;
        return ParseResult::kError;
      }
      o.sensor.seed = seed;
    } else if (arg == "--fault") {
      if (!need()) return ParseResult::kError;
      if (!ParseFaultOption(value, o.sensor.faults, error)) return ParseResult::kError;
    } else if (arg == "--fault-delay") {
      if (!need()) return ParseResult::kError;
      if (!ParseNumber(value, 0, 600000, n)) {
        error = "fault delay must be 0..600000 ms: " + value;
        return ParseResult::kError;
      }
      o.sensor.faults.delay = std::chrono::milliseconds(n);
    } else {
      error = "unknown option '" + arg + "'";
      return ParseResult::kError;
    }
  }
  if (o.line.burst.count() > 0 && !o.line.throttle) {
    error = "--burst-ms paces replies in bursts; it needs --throttle";
    return ParseResult::kError;
  }
  if (!o.sensors.empty() && singleSensorOption) {
    error = "--sensor describes each sensor itself; it cannot be mixed with --model, --address, --check-mode, "
            "--baud, --serial or --revision";
    return ParseResult::kError;
  }
  // Faults, seed and the like given after a --sensor apply to every sensor.
  // A sensor's own silent-after stays.
  for (SensorConfig& c : o.sensors) {
    const uint64_t ownSilence = c.faults.silentAfterReply;
    c.faults = o.sensor.faults;
    if (ownSilence != 0) c.faults.silentAfterReply = ownSilence;
    c.seed = o.sensor.seed;
  }
  return ParseResult::kRun;
}

}  // namespace sim
