#pragma once
// Command line of the sensor-sim program.
//
//   sensor-sim [--model M] [--address N] [--check-mode checksum|crc]
//              [--baud 9600|19200|38400|57600] [--throttle] [--link PATH]
//              [--serial TEXT] [--revision LETTER]
//              [--trace] [--trace-file PATH] [--seed N]
//              [--fault KIND=PROBABILITY] [--fault KIND@REPLY] [--fault-delay MS]
//
// Options take their value as the next argument or after '='.

#include <string>

#include "sim/sensor_config.h"

namespace sim {

struct SimOptions {
  SensorConfig sensor;
  LineConfig line;
  bool traceToStderr = false;
  std::string traceFile;
};

enum class ParseResult { kRun, kHelp, kVersion, kError };

ParseResult ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);
std::string SimUsage();

}  // namespace sim
