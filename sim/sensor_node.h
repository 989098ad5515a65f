#pragma once
// One virtual sensor on a line: its state and its receiver.
//
// The line's service thread hands it every received byte and asks it what
// to send; tests read and change its state from any thread with Snapshot()
// and Mutate(). A node is attached to a VirtualLine (several may share
// one, as on an RS-485 bus); VirtualSensor wraps a line with one node.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/command_handler.h"
#include "sim/fault_injector.h"
#include "sim/frame_assembler.h"
#include "sim/line_writer.h"
#include "sim/sensor_config.h"
#include "sim/sensor_state.h"
#include "sim/trace.h"
#include "sim/xmodem_receiver.h"

namespace sim {

class SensorNode {
 public:
  explicit SensorNode(const SensorConfig& config);
  SensorNode(const SensorNode&) = delete;
  SensorNode& operator=(const SensorNode&) = delete;

  // A copy of the whole state, live values and scan brought up to now.
  SensorState Snapshot();
  // Changes the state under the sensor's lock; takes effect from the next
  // byte the sensor handles.
  void Mutate(const std::function<void(SensorState&)>& change);
  const SensorConfig& config() const { return config_; }

  // --- Used by the line's service thread. ---

  // Received bytes. `hostBaudRate` is the rate the host's port is set to
  // (0 when unknown, which is taken as matching).
  void Receive(const uint8_t* bytes, size_t count, int32_t hostBaudRate, TimePoint now,
               std::vector<OutgoingItem>& out);
  // Time-driven work: incomplete frames, XMODEM requests and time-outs.
  void Tick(TimePoint now, std::vector<OutgoingItem>& out);
  // When Tick next has something to do.
  std::optional<TimePoint> Deadline();
  int32_t BaudRate();
  // The line went away: a transfer in progress ends, a partial frame is lost.
  void LineLost(TimePoint now);
  // True once after the fault "hangup@N" fired: the line is to hang up.
  bool TakeHangUp();

  void SetTracer(Tracer* tracer, std::string tag);

 private:
  void HandleByte(uint8_t byte, TimePoint now, std::vector<OutgoingItem>& out);
  void HandleAssembled(FrameAssembler::Result& r, TimePoint now, std::vector<OutgoingItem>& out);
  void HandleFrame(const std::vector<uint8_t>& frame, TimePoint now, std::vector<OutgoingItem>& out);
  void Send(ReplyFrame reply, TimePoint now, std::vector<OutgoingItem>& out);
  void SendXmodem(const std::vector<uint8_t>& bytes, TimePoint now, std::vector<OutgoingItem>& out);
  void XmodemStep(TimePoint now, std::vector<OutgoingItem>& out, const std::vector<uint8_t>& answer);

  std::mutex mutex_;
  const SensorConfig config_;
  SensorState state_;
  FrameAssembler assembler_;
  XmodemReceiver xmodem_;
  FaultInjector faults_;
  std::deque<uint8_t> input_;
  TimePoint silentUntil_{};
  bool hangUp_ = false;
  Tracer* tracer_ = nullptr;
  Tracer noTrace_;
  std::string tag_;
};

}  // namespace sim
