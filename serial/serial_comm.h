#pragma once
// The serial layer's free functions. Each reports failure through the error
// record passed last; with a null record it fails at once and reports nothing.
//
// Platform mapping on Windows (serial_comm_win32.cpp): the Win32
// communications calls themselves: CreateFile on \\.\COMn (or the device
// name given), GetCommState/SetCommState, SetupComm, SetCommTimeouts,
// PurgeComm, ClearCommError, ReadFile, WriteFile, FlushFileBuffers, with
// FormatMessage's system text.
//
// Platform mapping elsewhere: open(2) with O_RDWR|O_NOCTTY plus TIOCEXCL and an
// advisory flock(2) for exclusive access; termios in raw mode for the line
// settings; poll(2) bounds each platform read/write by the port's time-outs;
// tcflush for purge; the flush after a write watches the output queue
// (TIOCOUTQ) and the UART's transmitter (TIOCSERGETLSR, where the driver
// has it) within the write's budget instead of an unbounded tcdrain;
// TIOCGICOUNT for line errors.

#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/serial_error.h"
#include "serial/serial_settings.h"

#ifdef _WIN32
// The Win32 HANDLE's value; -1 is INVALID_HANDLE_VALUE. Kept as an integer
// so that no caller needs the system's headers.
using SerialHandle = intptr_t;
#else
using SerialHandle = int;
#endif
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
// Drops what waits in the input queue only; bytes still leaving are kept.
bool sc_PurgeInput(SerialHandle handle, SerialError* err);
bool sc_Read(SerialHandle handle, void* buffer, size_t count, size_t* done, uint32_t budgetMs,
             SerialError* err);
bool sc_Write(SerialHandle handle, const void* buffer, size_t count, size_t* done, uint32_t budgetMs,
              SerialError* err);
// The clear-error call: line errors since the last call, and queue counts.
// Fails (errno EBADF) only for a handle that is not open; a device that
// keeps no error counters (a pseudo-terminal) reports none.
bool sc_ClearError(SerialHandle handle, uint32_t* errors, LineStatus* status);

// What a wait for received bytes ended with.
enum class InputWait { kInput, kTimeout, kGone };
// Blocks until the driver holds at least one received byte, the line hangs
// up or goes away (adapter pulled, far end of a pseudo-terminal closed), or
// `ms` milliseconds have passed. Never spins: one poll(2) does the waiting.
InputWait sc_WaitInput(SerialHandle handle, uint32_t ms);
// True when the device behind the handle has gone: the line hung up, the
// adapter was pulled, or the handle is no longer usable. Does not wait.
bool sc_LineGone(SerialHandle handle);
// Switches the driver's RS-485 mode: the driver raises RTS (which drives
// the transmitter of the bus) while it sends and lowers it afterwards.
// Turning it on fails with code 16 "sc_SetRs485: the driver has no RS-485
// mode" plus the system text when the driver does not offer it (most
// RS-232 ports, pseudo-terminals); turning it off where it never existed
// succeeds.
bool sc_SetRs485(SerialHandle handle, bool on, SerialError* err);

// The error code and description that line-error flags stand for after a
// failed read or write: the first flag set, in the order break, framing,
// I/O, mode, overrun, input overflow, parity, output full; code 1 with the
// "unknown" description when none is set.
int32_t LineErrorCode(uint32_t flags, const char** description);
