#pragma once
// SensorCommands on a real PacketLink whose far end is the test itself:
// replies are queued on the master side before a command runs, requests
// are read back from it afterwards.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "support/pty_peer.h"
#include "commands/recording_log_sink.h"
#include "protocol/frame.h"
#include "protocol/packet_link.h"
#include "protocol/sensor_commands.h"

class PtyCommandTest : public ::testing::Test {
 public:
  static constexpr uint8_t kAddress = 7;
  static constexpr uint8_t kMarker = 0x7E;  // an id no command uses

 protected:
  using Bytes = std::vector<uint8_t>;
  using Clock = std::chrono::steady_clock;

  void Open(int32_t mode) {
    mode_ = mode;
    ASSERT_TRUE(pty_.ok());
    ASSERT_TRUE(link_.ConnectDevice(pty_.path(), 57600, 0, 0, 8, 100, 100)) << link_.errorText();
    commands_.AttachLink(&link_);
    commands_.UseAddress(kAddress);
    commands_.UseCheckMode(mode);
    commands_.SetLogSink(&log_);
  }

  // A frame from the sensor, in the current mode.
  Bytes Frame(uint8_t command, const Bytes& data) const {
    return frame::Build(kAddress, mode_, command, data);
  }
  // Queues a reply and waits until the line has delivered it.
  void Queue(uint8_t command, const Bytes& data) { Queue(Frame(command, data)); }
  void Queue(const Bytes& bytes) {
    ASSERT_TRUE(pty_.Write(bytes));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }

  // One request frame as written by the host.
  Bytes ReadRequest(int timeoutMs = 2000) {
    Bytes header = pty_.Read(4, timeoutMs);
    if (header.size() < 4) return header;
    const Bytes body = pty_.Read(frame::BodySize(mode_, header[2]), timeoutMs);
    header.insert(header.end(), body.begin(), body.end());
    return header;
  }
  Bytes Request(uint8_t command, const Bytes& data, uint8_t address = kAddress) const {
    return frame::Build(address, mode_, command, data);
  }
  // What the host wrote in the next `quietMs` (and nothing more).
  Bytes Rest(int quietMs = 200) { return pty_.ReadUntilQuiet(quietMs); }

  // True when the next frame on the line is one with `command` (and, if
  // given, the data `data`): that is, nothing before it was left unread.
  bool NextFrameIs(uint8_t command, const Bytes* data = nullptr) {
    uint8_t buffer[256] = {};
    size_t length = 0;
    if (!link_.dcs_Receive(kAddress, mode_, command, buffer, &length)) return false;
    if (data != nullptr) return Bytes(buffer, buffer + length) == *data;
    return true;
  }
  // True when whatever was queued before has been taken off the line.
  bool LineWasEmptied() {
    Queue(kMarker, {0x4D});
    return NextFrameIs(kMarker);
  }

  static long Ms(Clock::duration d) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
  }

  PtyPeer pty_;
  PacketLink link_;
  SensorCommands commands_;
  RecordingLogSink log_;
  int32_t mode_ = frame::kChecksum;
};
