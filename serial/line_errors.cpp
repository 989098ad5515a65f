#include "serial/serial_comm.h"

// The line errors a failed read or write is classified by, on every
// platform: the first flag set, in this order, gives the code and the text.
namespace {

struct LineErrorText {
  uint32_t flag;
  int32_t code;
  const char* description;
};

constexpr LineErrorText kLineErrors[] = {
    {kLineBreak, kSerialBreak, "The hardware detected a break condition."},
    {kLineFrame, kSerialFrameError, "The hardware detected a framing error."},
    {kLineIo, kSerialIoError, "An I/O error occurred during communications with the device."},
    {kLineMode, kSerialModeOrHandle, "The requested mode is not supported, or the comm handle is invalid."},
    {kLineOverrun, kSerialOverrun, "A character-buffer overrun has occurred. The next character is lost."},
    {kLineRxOverflow, kSerialRxOverflow, "An input buffer overflow has occurred, or a character was received after EOF."},
    {kLineParity, kSerialParityError, "The hardware detected a parity error."},
    {kLineTxFull, kSerialTxFull, "The application tried to transmit a character, but the output buffer was full."},
};

}  // namespace

int32_t LineErrorCode(uint32_t flags, const char** description) {
  for (const LineErrorText& entry : kLineErrors) {
    if ((flags & entry.flag) != 0) {
      if (description != nullptr) *description = entry.description;
      return entry.code;
    }
  }
  if (description != nullptr) *description = "An unknown error code was returned by ClearComError";
  return kSerialUnknownLineError;
}
