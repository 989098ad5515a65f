#pragma once
// The serial layer's free functions. Each reports failure through the error
// record passed last; with a null record it fails at once and reports nothing.
//
// Platform mapping: open(2) with O_RDWR|O_NOCTTY plus TIOCEXCL and an
// advisory flock(2) for exclusive access; termios in raw mode for the line
// settings; poll(2) bounds each platform read/write by the port's time-outs;
// tcflush/tcdrain for purge and flush; TIOCGICOUNT for line errors.

#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/serial_error.h"
#include "serial/serial_settings.h"

using SerialHandle = int;
constexpr SerialHandle kInvalidSerialHandle = -1;

// Line errors and queue counts, as the clear-error call reports them.
enum LineErrorFlags : uint32_t {
  kLineBreak = 1u << 0,
  kLineFrame = 1u << 1,
  kLineIo = 1u << 2,
  kLineMode = 1u << 3,
  kLineOverrun = 1u << 4,
  kLineRxOverflow = 1u << 5,
  kLineParity = 1u << 6,
  kLineTxFull = 1u << 7,
};
struct LineStatus {
  uint32_t inQueue = 0;   // bytes received and not yet read
  uint32_t outQueue = 0;  // bytes written and not yet sent
};

// Opens port `port` through PortResolver.
SerialHandle sc_Open(unsigned port, SerialError* err);
// Opens an explicit device path.
SerialHandle sc_OpenDevice(const std::string& device, SerialError* err);
bool sc_Close(SerialHandle handle, SerialError* err);
bool sc_SetSettings(SerialHandle handle, const SerialSettings& settings, SerialError* err);
bool sc_PurgeBuffers(SerialHandle handle, SerialError* err);
bool sc_Read(SerialHandle handle, void* buffer, size_t count, size_t* done, uint32_t budgetMs,
             SerialError* err);
bool sc_Write(SerialHandle handle, const void* buffer, size_t count, size_t* done, uint32_t budgetMs,
              SerialError* err);
// The clear-error call: line errors since the last call, and queue counts.
// Fails (errno EBADF) only for a handle that is not open; a device that
// keeps no error counters (a pseudo-terminal) reports none.
bool sc_ClearError(SerialHandle handle, uint32_t* errors, LineStatus* status);

// The error code and description that line-error flags stand for after a
// failed read or write: the first flag set, in the order break, framing,
// I/O, mode, overrun, input overflow, parity, output full; code 1 with the
// "unknown" description when none is set.
int32_t LineErrorCode(uint32_t flags, const char** description);
