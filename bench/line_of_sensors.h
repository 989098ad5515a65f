#pragma once
// The line both line-view benchmarks poll: 24 sensors of five models on
// one `sensor-sim --throttle` line, addresses 1 to 24.

#include <cstdint>
#include <string>

namespace bench {

constexpr int kLineSensors = 24;

struct LineModel {
  const char* name;
  uint8_t stateCommand;
};
// Eight of the KRV02 family's kind (laser power and peak read besides),
// four of each other; on a mixed bus every other one in CRC mode.
inline constexpr LineModel kLineModels[] = {{"KRV02", 21},     {"KRV02", 21},
                                            {"Qmt Long", 21},  {"KRV04", 41},
                                            {"Qmt Short", 41}, {"KRV04 Board Flipper", 41}};

inline int LineCheckMode(int index, bool mixed) { return mixed ? index % 2 : 0; }

// The --sensor option of sensor-sim for the sensor at `index` (address index + 1).
inline std::string LineSensorOption(int index, int32_t baud, bool mixed) {
  const LineModel& m = kLineModels[index % 6];
  return std::string(m.name) + ",address=" + std::to_string(index + 1) + ",baud=" + std::to_string(baud) +
         (LineCheckMode(index, mixed) == 1 ? ",check-mode=crc" : "");
}

}  // namespace bench
