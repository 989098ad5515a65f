#pragma once
// SensorCommands on a real PacketLink talking to the virtual sensor over a
// pseudo-terminal, with the sensor's frame trace at hand.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "commands/recording_log_sink.h"
#include "protocol/frame.h"
#include "protocol/packet_link.h"
#include "protocol/sensor_commands.h"
#include "sim/virtual_sensor.h"

class SimCommandTest : public ::testing::TestWithParam<int32_t> {
 protected:
  using Bytes = std::vector<uint8_t>;
  using Clock = std::chrono::steady_clock;
  static constexpr uint8_t kAddress = 1;

  // Starts a sensor of `model` in the check mode of the test's parameter and
  // connects to it.
  void Start(const std::string& model, int32_t mode) {
    mode_ = mode;
    sim::SensorConfig config;
    config.model = model;
    config.checkMode = mode;
    config.address = kAddress;
    sim::LineConfig line;
    line.traceSink = [this](const std::string& text) {
      std::lock_guard<std::mutex> lock(traceLock_);
      trace_.push_back(text);
    };
    sensor_ = std::make_unique<sim::VirtualSensor>(config, line);
    ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
    ASSERT_TRUE(link_.ConnectDevice(sensor_->SlavePath(), 57600, 0, 0, 8, 100, 100)) << link_.errorText();
    commands_.AttachLink(&link_);
    commands_.UseAddress(kAddress);
    commands_.UseCheckMode(mode);
    commands_.SetLogSink(&log_);
  }
  void Start(const std::string& model) { Start(model, GetParam()); }

  void TearDown() override {
    link_.Disconnect();
    if (sensor_) sensor_->Stop();
  }

  bool crc() const { return mode_ == frame::kCrc; }

  static std::string Hex(const Bytes& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (uint8_t b : bytes) {
      if (!s.empty()) s += ' ';
      s += kHex[b >> 4];
      s += kHex[b & 0xF];
    }
    return s;
  }

  // Frames the sensor took as good, as hex text, in order.
  std::vector<std::string> ReceivedFrames() {
    std::lock_guard<std::mutex> lock(traceLock_);
    std::vector<std::string> frames;
    for (const std::string& line : trace_) {
      const size_t at = line.find(" rx ");
      if (at != std::string::npos) frames.push_back(line.substr(at + 4));
    }
    return frames;
  }

  // Waits (bounded) until the sensor has received exactly this request.
  ::testing::AssertionResult Received(uint8_t command, const Bytes& data, int32_t mode = -1,
                                      uint8_t address = kAddress) {
    const std::string want = Hex(frame::Build(address, mode < 0 ? mode_ : mode, command, data));
    const auto end = Clock::now() + std::chrono::seconds(2);
    std::vector<std::string> seen;
    do {
      seen = ReceivedFrames();
      for (const std::string& f : seen) {
        if (f == want) return ::testing::AssertionSuccess();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < end);
    std::ostringstream why;
    why << "request " << want << " not seen; the sensor received:";
    for (const std::string& f : seen) why << "\n  " << f;
    return ::testing::AssertionFailure() << why.str();
  }

  // Waits (bounded) until the sensor's state satisfies `condition`.
  template <typename Condition>
  bool Eventually(Condition condition) {
    const auto end = Clock::now() + std::chrono::seconds(2);
    do {
      if (condition(sensor_->Snapshot())) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < end);
    return false;
  }

  static Bytes WordsLE(std::initializer_list<uint16_t> words) {
    Bytes b;
    for (uint16_t w : words) {
      b.push_back(static_cast<uint8_t>(w & 0xFF));
      b.push_back(static_cast<uint8_t>(w >> 8));
    }
    return b;
  }
  // A request's data as it travels: words in the mode's order.
  Bytes WireWords(std::initializer_list<uint16_t> words) const {
    Bytes b(words.size() * 2);
    size_t at = 0;
    for (uint16_t w : words) {
      frame::PutWord(b.data() + at, mode_, w);
      at += 2;
    }
    return b;
  }

  std::unique_ptr<sim::VirtualSensor> sensor_;
  PacketLink link_;
  SensorCommands commands_;
  RecordingLogSink log_;
  int32_t mode_ = frame::kChecksum;
  std::mutex traceLock_;
  std::vector<std::string> trace_;
};
