#pragma once
// What the sensor does with one request addressed to it.
//
// Each command group has one handler; a handler returns false for an id
// that is not of its group. A request with a known id but a wrong number
// of data bytes, or with a value the sensor refuses, counts as a command
// error; so does an unknown id. Every model answers every command; only
// the setup query (19) and the live state query (41) answer with the size
// of the model's kind.
//
// GetScanBufferPortion: a start beyond the buffer is refused (command
// error, no reply); a count running past index 8191 is cut there; a count of
// 0 gets no reply.
//
// Acknowledgements: in CRC mode, every setting command that a host reads an
// acknowledgement for is answered by a frame with the same id and no data
// (even when the value is refused, so the host's timing does not depend
// on it); in checksum mode nothing is sent back for settings.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/frame.h"
#include "sim/sensor_state.h"

namespace sim {

// One frame the sensor will send, complete with its check bytes.
struct ReplyFrame {
  std::vector<uint8_t> bytes;
  int32_t baudRate = 57600;  // the rate it leaves at
  std::chrono::milliseconds delay{0};
  bool ack = false;
};

class CommandContext {
 public:
  CommandContext(SensorState& s, const SensorConfig& c, TimePoint t, uint8_t id, const uint8_t* d, size_t n)
      : state(s), config(c), now(t), command(id), data(d), length(n), mode(s.checkMode) {}

  SensorState& state;
  const SensorConfig& config;
  const TimePoint now;
  const uint8_t command;
  const uint8_t* const data;
  const size_t length;
  const int32_t mode;  // the check mode the request came in

  // 16-bit request field in the request's byte order.
  uint16_t Word(size_t at) const { return frame::GetWord(data + at, mode); }
  // True when the request carries exactly n data bytes; otherwise counts a
  // command error.
  bool Expect(size_t n);
  // True when the request carries from `least` to `most` data bytes.
  bool ExpectBetween(size_t least, size_t most);

  // A reply with the request's id in the current mode and at the current
  // baud rate, from the sensor's current address.
  void Reply(const std::vector<uint8_t>& replyData);
  void ReplyAs(uint8_t id, const std::vector<uint8_t>& replyData, std::chrono::milliseconds delay);
  void ReplyWord(uint16_t value);
  // The CRC-mode acknowledgement; nothing in checksum mode.
  void Ack();
  void CommandError() { ++state.errors.commandErrors; }

  std::vector<ReplyFrame> replies;
  bool reset = false;        // ResetSensor: go silent for a moment
  uint8_t uploadCommand = 0; // an accepted upload: become an XMODEM receiver
};

bool HandleIdentityCommand(CommandContext& c);     // identification and communication
bool HandleMeasurementCommand(CommandContext& c);  // laser, scan, live state, diagnostics
bool HandleSettingsCommand(CommandContext& c);     // stored settings
bool HandleFirmwareCommand(CommandContext& c);     // flash protection and uploads

// Runs the request through the groups; an id no group knows counts as a
// command error and gets no answer.
void Dispatch(CommandContext& c);

// Range modes a model accepts: KRV02 family 0..15, KRV04 and board flipper
// 0..1, Qmt Short only 0.
bool RangeModeAllowed(int model, unsigned mode);

}  // namespace sim
