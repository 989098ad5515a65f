#pragma once
// Command line of the sensor-sim program.
//
//   sensor-sim [--model M] [--address N] [--check-mode checksum|crc]
//              [--baud 9600|19200|38400|57600] [--throttle] [--burst-ms N] [--link PATH]
//              [--serial TEXT] [--revision LETTER]
//              [--trace] [--trace-file PATH] [--seed N]
//              [--fault KIND=PROBABILITY] [--fault KIND@REPLY] [--fault-delay MS]
//              [--sensor "MODEL,address=N,check-mode=crc,baud=RATE,serial=TEXT,revision=L"]...
//
// --sensor puts one more sensor on the line each time it is given (several
// sensors on one multi-drop line); it stands instead of --model, --address,
// --check-mode, --baud, --serial and --revision. Repeated options, a key
// given twice in one --sensor, two sensors at one address, or --sensor
// mixed with the single-sensor options are refused.
//
// Options take their value as the next argument or after '='.

#include <string>
#include <vector>

#include "sim/sensor_config.h"

namespace sim {

struct SimOptions {
  SensorConfig sensor;
  std::vector<SensorConfig> sensors;  // --sensor, in order; empty: `sensor` alone
  LineConfig line;
  bool traceToStderr = false;
  std::string traceFile;
};

enum class ParseResult { kRun, kHelp, kVersion, kError };

ParseResult ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);
std::string SimUsage();
// One --sensor text into `config` (whose other members stay as they are).
bool ParseSensorSpec(const std::string& description, SensorConfig& config, std::string& error);
// The sensors to put on the line.
std::vector<SensorConfig> LineSensors(const SimOptions& options);

}  // namespace sim
