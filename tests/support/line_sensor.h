#pragma once
// One sensor of a virtual line, as the line tests describe them.

#include <cstdint>

#include "sim/sensor_config.h"

namespace testsupport {

inline sim::SensorConfig LineSensor(const char* model, uint8_t address, const char* serial, int32_t checkMode = 0) {
  sim::SensorConfig c;
  c.model = model;
  c.address = address;
  c.serial = serial;
  c.checkMode = checkMode;
  return c;
}

}  // namespace testsupport
