#pragma once
// The command mix of the fault soak: one link's SensorCommands against its
// own virtual sensor. Each step picks a command at random (queries, settings
// and a short scan buffer read), runs it, and judges what came back against
// the sensor's own state, so a success that carries data other than what the
// sensor holds is caught.

#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "protocol/sensor_commands.h"
#include "sim/virtual_sensor.h"

namespace soak {

// Time limits of one command, from the packet layer's rules: every reply
// the command waits for has its own budget, which may run over by one port
// time-out; a failed exchange adds the recovery pause once (a failure ends
// the command); some commands add fixed pauses of their own.
struct TimeRules {
  uint32_t budgetMs = 1000;
  uint32_t portTimeoutMs = 100;
  uint32_t recoveryMs = 250;

  uint32_t BoundMs(uint32_t replyWaits, uint32_t pausesMs) const {
    // A command without a reply still has its write's budget.
    const uint32_t waits = replyWaits == 0 ? 1 : replyWaits;
    return waits * (budgetMs + portTimeoutMs) + recoveryMs + pausesMs;
  }
};

// What one step did.
struct StepResult {
  std::string name;
  bool ok = false;
  bool checked = false;          // a success whose data were compared with the sensor's
  std::string wrongData;         // set: a success returned data the sensor does not hold
  std::string notApplied;        // set: a setting the sensor did not take
  bool areaChangedOnFailure = false;
  bool quiet = false;            // a command that writes no line of its own, by design
  bool setting = false;          // a setting: its acknowledgement (CRC mode) does not decide it
  uint32_t boundMs = 0;
  double elapsedMs = 0;
};

class CommandMix {
 public:
  // `krv02Family`: the sensor answers the 31-byte setup and the KRV02 live
  // state; otherwise the 28-byte setup and the live state of command 41.
  CommandMix(SensorCommands& commands, sim::VirtualSensor& sensor, bool krv02Family, uint64_t seed,
             TimeRules rules);

  // Runs one randomly chosen command and judges it.
  StepResult Step();

 private:
  struct Op {
    std::string name;
    int weight = 1;
    uint32_t replyWaits = 1;  // replies the command waits for (in this link's mode)
    uint32_t pausesMs = 0;
    bool quiet = false;
    std::function<int()> run;
    // Compares the host's reply area with the sensor's state after a
    // success; returns what differs, or "".
    std::function<std::string(const sim::SensorState&)> check;
    // Host bytes that a failed command must leave as they were.
    std::function<std::vector<uint8_t>()> area;
  };

  void AddQueries();
  void AddSettings();
  void AddScanRead();

  SensorCommands& commands_;
  sim::VirtualSensor& sensor_;
  bool krv02Family_;
  bool crc_;
  TimeRules rules_;
  std::mt19937_64 rng_;
  std::vector<Op> ops_;
  int totalWeight_ = 0;
  // Per setting: does the sensor hold the value sent? "" or what differs.
  std::map<std::string, std::function<std::string(uint32_t, const sim::SensorState&)>> settingChecks_;
  // Settings sent and not yet confirmed by a later reply: name, value.
  std::map<std::string, uint32_t> pending_;

  // Arguments chosen for the command under way.
  uint32_t value_ = 0;
  int32_t scanStart_ = 0;
  int32_t scanCount_ = 0;
};

}  // namespace soak
