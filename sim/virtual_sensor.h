#pragma once
// The virtual sensor: one sensor alone on its own line. This is what tests,
// the command-line tool's simulation and `sensor-sim` use.
//
//   sim::SensorConfig config;
//   config.model = "KRV04 Board Flipper";   // or a model string
//   config.checkMode = 1;                   // CRC
//   sim::VirtualSensor sensor(config);
//   if (!sensor.Start()) fail(sensor.LastError());
//   SerialPort port; port.ConnectDevice(sensor.SlavePath(), 57600, ...);
//   ...
//   sensor.Mutate([](sim::SensorState& s) { s.settings.threshold = 99; });
//   EXPECT_EQ(sensor.Snapshot().errors.checkErrors, 0);
//
// What it does, in short (see the headers named for the details):
//   - answers frames to its address and to 0, ignores others
//     (sensor_node.h), in checksum or CRC mode; frames that fail the check
//     of its current mode are ignored and counted (frame_assembler.h);
//   - every query and setting of the command set, with the reply sizes of
//     its model (command_handler.h, reply_records.h, model_table.h);
//   - live values that follow the clock and a scan that fills the scan
//     buffer (live_data.h);
//   - flash protection and XMODEM-CRC uploads (xmodem_receiver.h);
//   - faults on purpose (fault_plan.h), line pacing (line_writer.h) and a
//     frame trace (trace.h);
//   - Unplug()/Replug() for tests of a lost line (virtual_line.h).
// Stop() and the destructor end the service thread.

#include <functional>
#include <memory>
#include <string>

#include "sim/sensor_config.h"
#include "sim/sensor_node.h"
#include "sim/sensor_state.h"
#include "sim/virtual_line.h"

namespace sim {

class VirtualSensor {
 public:
  explicit VirtualSensor(const SensorConfig& config = {}, LineConfig line = {});
  ~VirtualSensor() = default;

  bool Start() { return line_.Start(); }
  void Stop() { line_.Stop(); }
  bool Running() const { return line_.Running(); }
  std::string SlavePath() const { return line_.SlavePath(); }
  const std::string& LastError() const { return line_.LastError(); }

  SensorState Snapshot() { return node_->Snapshot(); }
  void Mutate(const std::function<void(SensorState&)>& change) { node_->Mutate(change); }

  bool Unplug() { return line_.Unplug(); }
  bool Replug() { return line_.Replug(); }

  SensorNode& Node() { return *node_; }
  VirtualLine& Line() { return line_; }

 private:
  VirtualLine line_;
  std::shared_ptr<SensorNode> node_;
};

}  // namespace sim
