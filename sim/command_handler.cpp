#include "sim/command_handler.h"

namespace sim {

bool CommandContext::Expect(size_t n) {
  if (length == n) return true;
  CommandError();
  return false;
}

bool CommandContext::ExpectBetween(size_t least, size_t most) {
  if (length >= least && length <= most) return true;
  CommandError();
  return false;
}

void CommandContext::ReplyAs(uint8_t id, const std::vector<uint8_t>& replyData, std::chrono::milliseconds delay) {
  ReplyFrame r;
  r.bytes = frame::Build(state.address, state.checkMode, id, replyData);
  r.baudRate = state.baudRate;
  r.delay = delay;
  replies.push_back(std::move(r));
}

void CommandContext::Reply(const std::vector<uint8_t>& replyData) {
  ReplyAs(command, replyData, std::chrono::milliseconds(0));
}

void CommandContext::ReplyWord(uint16_t value) {
  std::vector<uint8_t> d(2);
  frame::PutWord(d.data(), state.checkMode, value);
  Reply(d);
}

void CommandContext::Ack() {
  if (mode != frame::kCrc) return;
  ReplyFrame r;
  r.bytes = frame::Build(state.address, frame::kCrc, command);
  r.baudRate = state.baudRate;
  r.ack = true;
  replies.push_back(std::move(r));
}

void Dispatch(CommandContext& c) {
  if (HandleIdentityCommand(c)) return;
  if (HandleMeasurementCommand(c)) return;
  if (HandleSettingsCommand(c)) return;
  if (HandleFirmwareCommand(c)) return;
  c.CommandError();
}

bool RangeModeAllowed(int model, unsigned mode) {
  if (IsKrv02Family(model)) return mode <= 15;
  if (model == kQmtShort) return mode == 0;
  return mode <= 1;
}

}  // namespace sim
