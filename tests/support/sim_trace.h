#pragma once
// Collects the frame trace of a virtual sensor so that a test can see what
// reached the sensor: every received frame with its label ("rx" for a good
// frame, "rx-bad" for one that failed the check or stayed incomplete) and
// its bytes.
//
//   testsupport::SimTrace trace;
//   sim::VirtualSensor sensor(config, trace.Line());
//   ...
//   EXPECT_EQ(trace.CountCommand(cmd::GetVersion), 1u);

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "sim/sensor_config.h"

namespace testsupport {

struct TracedFrame {
  std::string label;           // "rx", "rx-bad", "tx", ...
  std::vector<uint8_t> bytes;  // STX, address, length, command, data, check
  std::string note;

  bool received() const { return label == "rx" && note.empty(); }
  uint8_t address() const { return bytes.size() > 1 ? bytes[1] : 0; }
  int command() const { return bytes.size() > 3 ? bytes[3] : -1; }
};

class SimTrace {
 public:
  // A line configuration whose trace lands here.
  sim::LineConfig Line(sim::LineConfig line = {}) {
    line.traceSink = [this](const std::string& text) { Add(text); };
    return line;
  }

  std::vector<TracedFrame> Frames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
  }
  // Good frames the sensor accepted (to its address or the global one).
  std::vector<TracedFrame> Received() const {
    std::vector<TracedFrame> out;
    for (const TracedFrame& f : Frames())
      if (f.received()) out.push_back(f);
    return out;
  }
  // Commands of the good frames, in order.
  std::vector<int> Commands() const {
    std::vector<int> out;
    for (const TracedFrame& f : Received()) out.push_back(f.command());
    return out;
  }
  size_t CountCommand(int command) const {
    size_t n = 0;
    for (const TracedFrame& f : Received())
      if (f.command() == command) ++n;
    return n;
  }
  size_t CountLabel(const std::string& label) const {
    size_t n = 0;
    for (const TracedFrame& f : Frames())
      if (f.label == label) ++n;
    return n;
  }
  size_t size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_.size();
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.clear();
  }

 private:
  // "12.345678 rx 02 01 01 7F 7D (note)".
  void Add(const std::string& text) {
    std::istringstream in(text);
    std::string time;
    TracedFrame f;
    in >> time >> f.label;
    if (!f.label.empty() && f.label[0] == '#') in >> f.label;  // tag of a shared line
    std::string token;
    while (in >> token) {
      if (token[0] == '(') {
        f.note = token.substr(1);
        std::string rest;
        std::getline(in, rest);
        f.note += rest;
        if (!f.note.empty() && f.note.back() == ')') f.note.pop_back();
        break;
      }
      f.bytes.push_back(static_cast<uint8_t>(std::strtoul(token.c_str(), nullptr, 16)));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.push_back(std::move(f));
  }

  mutable std::mutex mutex_;
  std::vector<TracedFrame> frames_;
};

}  // namespace testsupport
