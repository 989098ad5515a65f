#pragma once
// The virtual sensor behind the port list's last entry: one KRV04 Board
// Flipper at its factory settings (address 1, 57600 bit/s, checksum mode).
// It starts at the first connect to it and lives for the rest of the run,
// so what an operation changed in it is still there after a reconnect. Its
// bytes are paced at the line's speed as a real sensor's are: unpaced, a
// long scan export would arrive faster than the window takes it in.

#include <memory>
#include <string>

namespace sim {
class VirtualSensor;
}

namespace ostrel {

class VirtualSensorLine {
 public:
  VirtualSensorLine();
  ~VirtualSensorLine();
  VirtualSensorLine(const VirtualSensorLine&) = delete;
  VirtualSensorLine& operator=(const VirtualSensorLine&) = delete;

  // The line to open, the sensor started first when it is not running;
  // empty, with failure(), when it does not start.
  std::string Open();
  // "The virtual sensor did not start: REASON", or empty.
  const std::string& failure() const { return failure_; }

 private:
  std::unique_ptr<sim::VirtualSensor> sensor_;
  std::string failure_;
};

}  // namespace ostrel
