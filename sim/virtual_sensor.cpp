#include "sim/virtual_sensor.h"

#include <utility>

namespace sim {

VirtualSensor::VirtualSensor(const SensorConfig& config, LineConfig line)
    : line_(std::move(line)), node_(line_.Attach(config)) {}

}  // namespace sim
