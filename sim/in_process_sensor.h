#pragma once
// A virtual sensor on a line inside the process (serial/in_process_line.h)
// instead of a pseudo-terminal: the engine opens Device() with its ordinary
// serial calls, on every platform. This is what --simulate and the desktop
// programs' virtual sensors use; VirtualSensor (a pseudo-terminal, Linux
// only) remains for sensor-sim and for tests of the real serial code.
//
//   sim::InProcessSensor sensor(config);
//   if (!sensor.Start()) fail(sensor.LastError());
//   SerialPort port; port.ConnectDevice(sensor.Device(), 57600, ...);
//
// The line applies the line time of the host's baud rate both ways; one
// service thread hands the host's bytes to the sensor as they arrive and
// puts its replies on the line when they are due.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "serial/in_process_line.h"
#include "sim/line_writer.h"
#include "sim/sensor_config.h"
#include "sim/sensor_node.h"
#include "sim/sensor_state.h"
#include "sim/trace.h"

namespace sim {

class InProcessSensor {
 public:
  explicit InProcessSensor(const SensorConfig& config = {}, LineConfig line = {});
  ~InProcessSensor();
  InProcessSensor(const InProcessSensor&) = delete;
  InProcessSensor& operator=(const InProcessSensor&) = delete;

  bool Start();
  void Stop();
  bool Running() const { return running_; }
  // The name to open; the same for the sensor's whole life.
  std::string Device() const { return line_.name(); }
  const std::string& LastError() const { return error_; }

  SensorState Snapshot() { return node_->Snapshot(); }
  void Mutate(const std::function<void(SensorState&)>& change) { node_->Mutate(change); }
  SensorNode& Node() { return *node_; }

  // The host sees the line gone until Replug (an adapter pulled and put
  // back: the host must open the line again).
  void Unplug();
  void Replug();

 private:
  void Serve();

  LineConfig config_;
  InProcessLine line_;
  std::shared_ptr<SensorNode> node_;
  Tracer tracer_;
  LineWriter writer_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_{false};
  std::string error_;
};

}  // namespace sim
