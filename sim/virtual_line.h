#pragma once
// A serial line made of a pseudo-terminal pair, with one or more virtual
// sensors on it.
//
// The line owns the master side; clients open SlavePath() with ordinary
// serial code. The line also keeps a descriptor of the slave side open
// itself, so the line does not hang up between clients (they may open and
// close the port as often as they like), and sets the slave to raw mode at
// the first sensor's baud rate.
//
// One service thread waits in poll() on the master and reacts to received
// bytes at once; it hands them to every attached sensor (each assembles
// frames in its own check mode and answers only its own address and the
// global address 0) and writes their replies, paced by LineConfig::throttle.
// Throttled, the received bytes are paced too: a sensor gets each byte no
// sooner than it would have finished arriving at the host's baud rate
// (receive_pacer.h), so requests and XMODEM blocks cost line time as well.
// Bytes received while the host's port is set to another baud rate than a
// sensor are dropped by that sensor (LineConfig::checkHostBaud).
//
//   sim::VirtualLine line;
//   auto a = line.Attach(configA);
//   auto b = line.Attach(configB);
//   if (!line.Start()) fail(line.LastError());
//   open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY);

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/line_writer.h"
#include "sim/receive_pacer.h"
#include "sim/sensor_config.h"
#include "sim/sensor_node.h"
#include "sim/trace.h"

namespace sim {

class VirtualLine {
 public:
  explicit VirtualLine(LineConfig config = {});
  ~VirtualLine();
  VirtualLine(const VirtualLine&) = delete;
  VirtualLine& operator=(const VirtualLine&) = delete;

  // Puts a sensor on the line (before or after Start).
  std::shared_ptr<SensorNode> Attach(const SensorConfig& config);
  void Attach(std::shared_ptr<SensorNode> node);
  std::vector<std::shared_ptr<SensorNode>> Sensors() const;

  // Opens the pseudo-terminal, points the link and starts the service
  // thread. False (see LastError) when any of it fails.
  bool Start();
  // Ends the thread, closes both sides and removes the link if it still
  // points at this line. Safe to call twice.
  void Stop();
  bool Running() const { return running_; }

  // Path of the slave side; empty before Start and while unplugged.
  std::string SlavePath() const;
  const std::string& LastError() const { return error_; }

  // Unplug closes the master (clients see the line hang up) and removes the
  // link; Replug opens a new pseudo-terminal and points the link to its
  // slave again. Both wait for the service thread to carry them out.
  bool Unplug();
  bool Replug();
  bool Plugged() const;

 private:
  enum class Request { kNone, kUnplug, kReplug };

  bool OpenPty(std::string& error);
  void ClosePty();
  bool PointLink(const std::string& target, std::string& error);
  void RemoveLink();
  bool Post(Request request);
  void Serve();
  void ServeRequest();
  int32_t HostBaudRate() const;
  // The rate the host's bytes travel at: its port's rate when the slave
  // reports one, else the first sensor's.
  int32_t ReceiveBaudRate(const std::vector<std::shared_ptr<SensorNode>>& nodes) const;
  void Deliver(const std::vector<std::shared_ptr<SensorNode>>& nodes, const uint8_t* bytes, size_t count,
               int32_t hostRate, TimePoint now);

  LineConfig config_;
  Tracer tracer_;
  LineWriter writer_;
  ReceivePacer reader_;  // used only when throttled

  mutable std::mutex mutex_;  // nodes_, slavePath_, requests
  std::vector<std::shared_ptr<SensorNode>> nodes_;
  std::string slavePath_;
  std::string linkedTo_;  // slave path the link was last pointed at
  Request request_ = Request::kNone;
  uint64_t requestSeq_ = 0;
  uint64_t doneSeq_ = 0;
  bool requestResult_ = false;
  std::condition_variable requestDone_;

  int master_ = -1;
  int slaveHold_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_{false};
  std::string error_;
};

}  // namespace sim
