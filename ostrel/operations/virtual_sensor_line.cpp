#include "ostrel/operations/virtual_sensor_line.h"

#include "sim/virtual_sensor.h"

namespace ostrel {

VirtualSensorLine::VirtualSensorLine() = default;
VirtualSensorLine::~VirtualSensorLine() = default;

std::string VirtualSensorLine::Open() {
  failure_.clear();
  if (sensor_ == nullptr) {
    sim::SensorConfig config;
    config.model = "KRV04 Board Flipper";
    sim::LineConfig line;
    line.throttle = true;
    auto sensor = std::make_unique<sim::VirtualSensor>(config, line);
    if (!sensor->Start()) {
      failure_ = "The virtual sensor did not start: " + sensor->LastError();
      return std::string();
    }
    sensor_ = std::move(sensor);
  }
  return sensor_->SlavePath();
}

}  // namespace ostrel
