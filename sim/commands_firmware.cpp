// Flash protection and the three upload receivers.

#include "protocol/command_ids.h"
#include "sim/command_handler.h"

namespace sim {
namespace {

void Upload(CommandContext& c) {
  if (!c.Expect(0)) return;
  if (!c.state.FlashUnlocked()) {
    // Refused: a good frame whose command byte is 0, and no transfer.
    ++c.state.errors.illegalOperations;
    c.ReplyAs(0, {}, std::chrono::milliseconds(0));
    return;
  }
  // The answer comes once the flash area is erased; then the receiver runs.
  c.ReplyAs(c.command, {}, c.config.eraseTime);
  c.uploadCommand = c.command;
}

}  // namespace

bool HandleFirmwareCommand(CommandContext& c) {
  switch (c.command) {
    case cmd::WriteFlashProtect1:
      if (c.Expect(1)) c.state.flashProtect1 = c.data[0];
      return true;
    case cmd::WriteFlashProtect2:
      if (c.Expect(1)) c.state.flashProtect2 = c.data[0];
      return true;
    case cmd::UploadCode:
    case cmd::UploadFPGA:
    case cmd::UploadCalibration:
      Upload(c);
      return true;
    default:
      return false;
  }
}

}  // namespace sim
