#include "serial/serial_comm.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <string>

#include "serial/counter.h"
#include "serial/deadline_timer.h"
#include "serial/in_process_host.h"
#include "serial/network_host.h"
#include "serial/network_port_name.h"
#include "serial/port_resolver.h"
#include "serial/win32_comm_calls.h"

namespace {

HANDLE H(SerialHandle handle) { return reinterpret_cast<HANDLE>(handle); }

void Fail(SerialError* err, int32_t code, const char* text, DWORD lastError) {
  SetSerialError(err, code, text);
  AppendWin32ErrorText(err, lastError);
}

// "\\.\COM12" shows as "COM12", the name the user knows; other names as
// they are.
std::string ShownName(const std::string& device) {
  const std::string prefix = "\\\\.\\";
  return device.rfind(prefix, 0) == 0 ? device.substr(prefix.size()) : device;
}

// A bare "COMn" only opens for n < 10 without the device namespace prefix;
// with it every port number opens.
std::string DeviceNamespaceName(const std::string& name) {
  if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
      (name[2] == 'M' || name[2] == 'm') &&
      std::all_of(name.begin() + 3, name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
    return "\\\\.\\" + name;
  }
  return name;
}

SerialHandle OpenPath(const std::string& device, const std::string& shownName, SerialError* err) {
  if (err == nullptr) return kInvalidSerialHandle;
  LARGE_INTEGER frequency{};
  if (!CommCalls().queryFrequency(&frequency) || frequency.QuadPart == 0) {
    SetSerialError(err, kSerialNoCounter, "sc_Open: no high-performance counter available.");
    return kInvalidSerialHandle;
  }
  if (IsInProcessLineName(device)) return InProcessOpen(device, err);
  if (IsNetworkPortName(device)) return NetworkOpen(device, err);
  char text[sizeof(err->text)];
  if (device.empty()) {
    std::snprintf(text, sizeof(text), "sc_Open: could not open %s", shownName.c_str());
    Fail(err, kSerialCannotOpen, text, ERROR_FILE_NOT_FOUND);
    return kInvalidSerialHandle;
  }
  // Exclusive (no sharing), existing device only, no overlapped I/O: every
  // wait is the driver's, bounded by the time-outs sc_SetSettings sets.
  const HANDLE handle = CommCalls().createFile(DeviceNamespaceName(device).c_str(), GENERIC_READ | GENERIC_WRITE,
                                               0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD failure = GetLastError();
    std::snprintf(text, sizeof(text), "sc_Open: could not open %s", ShownName(device).c_str());
    Fail(err, kSerialCannotOpen, text, failure);
    return kInvalidSerialHandle;
  }
  return reinterpret_cast<SerialHandle>(handle);
}

uint32_t LineFlagsOf(DWORD errors) {
  uint32_t flags = 0;
  if ((errors & CE_BREAK) != 0) flags |= kLineBreak;
  if ((errors & CE_FRAME) != 0) flags |= kLineFrame;
  if ((errors & CE_IOE) != 0) flags |= kLineIo;
  if ((errors & CE_MODE) != 0) flags |= kLineMode;
  if ((errors & CE_OVERRUN) != 0) flags |= kLineOverrun;
  if ((errors & CE_RXOVER) != 0) flags |= kLineRxOverflow;
  if ((errors & CE_RXPARITY) != 0) flags |= kLineParity;
  if ((errors & CE_TXFULL) != 0) flags |= kLineTxFull;
  return flags;
}

// After a failed ReadFile or WriteFile: the device's error flags give the
// code and the description; if they cannot be fetched, code 16 and the
// system's text.
void ReportLineError(SerialHandle handle, const char* text, SerialError* err) {
  SetSerialError(err, kSerialUnknownLineError, text);
  DWORD errors = 0;
  COMSTAT status{};
  if (!CommCalls().clearCommError(H(handle), &errors, &status)) {
    const DWORD failure = GetLastError();
    err->code = kSerialPlatformCall;
    AppendWin32ErrorText(err, failure);
    return;
  }
  const char* description = nullptr;
  err->code = LineErrorCode(LineFlagsOf(errors), &description);
  AppendSerialErrorDetail(err, description);
}

bool InvalidArgument(SerialError* err, const char* text) {
  SetSerialError(err, kSerialInvalidArgument, text);
  return false;
}

// The flags the control block takes from the record and the fixed ones of
// raw binary transfer; every other bit keeps what the device reported.
void FillControlBlock(const SerialSettings& s, DCB& dcb) {
  dcb.BaudRate = static_cast<DWORD>(s.baudRate);
  dcb.ByteSize = static_cast<BYTE>(s.dataBits);
  dcb.Parity = static_cast<BYTE>(s.parity);
  dcb.StopBits = static_cast<BYTE>(s.stopBits);
  dcb.fBinary = 1;
  dcb.fParity = 1;
  dcb.fTXContinueOnXoff = 1;
  dcb.fAbortOnError = 1;
  dcb.fErrorChar = 0;
  dcb.fNull = 0;
  dcb.fDsrSensitivity = 0;
  dcb.fOutxCtsFlow = s.ctsOutputFlow != 0 ? 1 : 0;
  dcb.fOutxDsrFlow = s.dsrOutputFlow != 0 ? 1 : 0;
  dcb.fDtrControl = static_cast<DWORD>(s.dtrControl) & 3u;
  dcb.fRtsControl = static_cast<DWORD>(s.rtsControl) & 3u;
  dcb.fOutX = s.xonXoffOutput != 0 ? 1 : 0;
  dcb.fInX = s.xonXoffInput != 0 ? 1 : 0;
  dcb.XonChar = static_cast<char>(s.xonChar);
  dcb.XoffChar = static_cast<char>(s.xoffChar);
  dcb.XonLim = static_cast<WORD>(s.xonLimit);
  dcb.XoffLim = static_cast<WORD>(s.xoffLimit);
  dcb.ErrorChar = 0;
  dcb.EofChar = 0;
  dcb.EvtChar = 0;
}

}  // namespace

// ---------------------------------------------------------------- public

SerialHandle sc_Open(unsigned port, SerialError* err) {
  return OpenPath(PortResolver::Resolve(port), PortResolver::PortName(port), err);
}

SerialHandle sc_OpenDevice(const std::string& device, SerialError* err) { return OpenPath(device, device, err); }

bool sc_Close(SerialHandle handle, SerialError* err) {
  if (err == nullptr) return false;
  if (handle == kInvalidSerialHandle) return true;
  if (IsInProcessHandle(handle)) return InProcessClose(handle);
  if (IsNetworkHandle(handle)) return NetworkClose(handle);
  if (!CommCalls().closeHandle(H(handle))) {
    Fail(err, kSerialPlatformCall, "sc_Close: could not close port handle", GetLastError());
    return false;
  }
  return true;
}

bool sc_SetSettings(SerialHandle handle, const SerialSettings& settings, SerialError* err) {
  if (err == nullptr) return false;
  if (handle == kInvalidSerialHandle) return InvalidArgument(err, "sc_SetSettings: an invalid argument was passed.");
  if (IsInProcessHandle(handle)) return InProcessSetSettings(handle, settings, err);
  if (IsNetworkHandle(handle)) return NetworkSetSettings(handle, settings, err);
  DCB dcb{};
  dcb.DCBlength = sizeof(dcb);
  if (!CommCalls().getCommState(H(handle), &dcb)) {
    Fail(err, kSerialPlatformCall, "sc_SetSettings: GetCommState failed", GetLastError());
    return false;
  }
  FillControlBlock(settings, dcb);
  if (!CommCalls().setCommState(H(handle), &dcb)) {
    Fail(err, kSerialPlatformCall, "sc_SetSettings: SetCommState failed", GetLastError());
    return false;
  }
  if (!CommCalls().setupComm(H(handle), static_cast<DWORD>(settings.inputQueueSize),
                             static_cast<DWORD>(settings.outputQueueSize))) {
    Fail(err, kSerialPlatformCall, "sc_SetSettings: SetupComm failed", GetLastError());
    return false;
  }
  if (settings.readTimeoutMs < 0 || settings.writeTimeoutMs < 0) {
    Fail(err, kSerialPlatformCall, "sc_SetSettings: SetCommTimeouts failed", ERROR_INVALID_PARAMETER);
    return false;
  }
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(settings.readTimeoutMs);
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(settings.writeTimeoutMs);
  if (!CommCalls().setCommTimeouts(H(handle), &timeouts)) {
    Fail(err, kSerialPlatformCall, "sc_SetSettings: SetCommTimeouts failed", GetLastError());
    return false;
  }
  return true;
}

bool sc_PurgeBuffers(SerialHandle handle, SerialError* err) {
  if (err == nullptr) return false;
  if (handle == kInvalidSerialHandle) return InvalidArgument(err, "sc_PurgeBuffers: an invalid argument was passed.");
  if (IsInProcessHandle(handle)) return InProcessPurge(handle, true);
  if (IsNetworkHandle(handle)) return NetworkPurge(handle, true, err);
  if (!CommCalls().purgeComm(H(handle), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) {
    Fail(err, kSerialPlatformCall, "sc_PurgeBuffers: PurgeComm failed", GetLastError());
    return false;
  }
  DWORD errors = 0;
  COMSTAT status{};
  if (!CommCalls().clearCommError(H(handle), &errors, &status)) {
    Fail(err, kSerialPlatformCall, "sc_PurgeBuffers: ClearCommError failed", GetLastError());
    return false;
  }
  return true;
}

bool sc_PurgeInput(SerialHandle handle, SerialError* err) {
  if (err == nullptr) return false;
  if (handle == kInvalidSerialHandle) return InvalidArgument(err, "sc_PurgeInput: an invalid argument was passed.");
  if (IsInProcessHandle(handle)) return InProcessPurge(handle, false);
  if (IsNetworkHandle(handle)) return NetworkPurge(handle, false, err);
  if (!CommCalls().purgeComm(H(handle), PURGE_RXCLEAR)) {
    Fail(err, kSerialPlatformCall, "sc_PurgeInput: PurgeComm failed", GetLastError());
    return false;
  }
  return true;
}

bool sc_Read(SerialHandle handle, void* buffer, size_t count, size_t* done, uint32_t budgetMs, SerialError* err) {
  if (err == nullptr) return false;
  if (handle == kInvalidSerialHandle || buffer == nullptr || done == nullptr) {
    return InvalidArgument(err, "sc_Read: an invalid argument was passed.");
  }
  *done = 0;
  if (count == 0) return true;
  if (IsInProcessHandle(handle)) return InProcessRead(handle, buffer, count, done, budgetMs, err);
  if (IsNetworkHandle(handle)) return NetworkRead(handle, buffer, count, done, budgetMs, err);
  auto* bytes = static_cast<uint8_t*>(buffer);
  DeadlineTimer budget;
  budget.Start(uint64_t{budgetMs} * 1000);
  for (;;) {
    // One ReadFile returns after the read time-out at most (SetCommTimeouts).
    const auto want = static_cast<DWORD>(std::min<size_t>(count - *done, MAXDWORD));
    DWORD got = 0;
    if (!CommCalls().readFile(H(handle), bytes + *done, want, &got, nullptr)) {
      *done += got;
      ReportLineError(handle, "::sc_Read ReadFile failed", err);
      return false;
    }
    *done += got;
    if (*done == count || budget.Remaining() == 0) return true;
  }
}

bool sc_Write(SerialHandle handle, const void* buffer, size_t count, size_t* done, uint32_t budgetMs,
              SerialError* err) {
  if (err == nullptr) return false;
  if (handle == kInvalidSerialHandle || buffer == nullptr || done == nullptr) {
    return InvalidArgument(err, "sc_Write: an invalid argument was passed.");
  }
  *done = 0;
  if (count == 0) return true;
  if (IsInProcessHandle(handle)) return InProcessWrite(handle, buffer, count, done, budgetMs, err);
  if (IsNetworkHandle(handle)) return NetworkWrite(handle, buffer, count, done, budgetMs, err);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  DeadlineTimer budget;
  budget.Start(uint64_t{budgetMs} * 1000);
  for (;;) {
    const auto want = static_cast<DWORD>(std::min<size_t>(count - *done, MAXDWORD));
    DWORD put = 0;
    if (!CommCalls().writeFile(H(handle), bytes + *done, want, &put, nullptr)) {
      *done += put;
      ReportLineError(handle, "::sc_Write WriteFile failed", err);
      return false;
    }
    *done += put;
    if (*done == count || budget.Remaining() == 0) break;
  }
  if (!CommCalls().flushFileBuffers(H(handle))) {
    Fail(err, kSerialPlatformCall, "::sc_Write FlushFileBuffers failed", GetLastError());
    return false;
  }
  return true;
}

bool sc_ClearError(SerialHandle handle, uint32_t* errors, LineStatus* status) {
  if (IsInProcessHandle(handle)) return InProcessClearError(handle, errors, status);
  if (IsNetworkHandle(handle)) return NetworkClearError(handle, errors, status);
  if (handle == kInvalidSerialHandle) {
    errno = EBADF;
    return false;
  }
  DWORD flags = 0;
  COMSTAT stat{};
  if (!CommCalls().clearCommError(H(handle), &flags, &stat)) {
    errno = ErrnoOfWin32Error(GetLastError());
    return false;
  }
  if (errors != nullptr) *errors = LineFlagsOf(flags);
  if (status != nullptr) {
    status->inQueue = stat.cbInQue;
    status->outQueue = stat.cbOutQue;
  }
  return true;
}

InputWait sc_WaitInput(SerialHandle handle, uint32_t ms) {
  if (handle == kInvalidSerialHandle) return InputWait::kGone;
  if (IsInProcessHandle(handle)) return InProcessWaitInput(handle, ms);
  if (IsNetworkHandle(handle)) return NetworkWaitInput(handle, ms);
  // A handle opened without overlapped I/O has no bounded wait for a byte
  // (WaitCommEvent would block until one comes), so the driver's input
  // count is looked at in short sleeps.
  DeadlineTimer timer;
  timer.Start(uint64_t{ms} * 1000);
  for (;;) {
    LineStatus status;
    if (!sc_ClearError(handle, nullptr, &status)) return InputWait::kGone;
    if (status.inQueue > 0) return InputWait::kInput;
    const uint64_t left = timer.RemainingMs();
    if (left == 0) return InputWait::kTimeout;
    SleepMs(static_cast<uint32_t>(std::min<uint64_t>(left, 2)));
  }
}

bool sc_LineGone(SerialHandle handle) {
  if (handle == kInvalidSerialHandle) return true;
  if (IsInProcessHandle(handle)) return InProcessLineGone(handle);
  if (IsNetworkHandle(handle)) return NetworkLineGone(handle);
  DWORD flags = 0;
  COMSTAT stat{};
  if (!CommCalls().clearCommError(H(handle), &flags, &stat)) return true;
  return false;
}

bool sc_SetRs485(SerialHandle handle, bool on, SerialError* err) {
  if (err == nullptr) return false;
  if (handle == kInvalidSerialHandle) return InvalidArgument(err, "sc_SetRs485: an invalid argument was passed.");
  if (IsNetworkHandle(handle)) return NetworkSetRs485(handle, on, err);
  if (IsInProcessHandle(handle)) {
    // A line inside the process has no driver to switch, as a
    // pseudo-terminal has none.
    if (!on) return true;
    SetSerialError(err, kSerialPlatformCall, "sc_SetRs485: the driver has no RS-485 mode");
    AppendSystemErrorText(err, EOPNOTSUPP);
    return false;
  }
  // Windows' RS-485 direction control is the toggle mode of RTS: the
  // driver raises RTS while it sends.
  DCB dcb{};
  dcb.DCBlength = sizeof(dcb);
  if (!CommCalls().getCommState(H(handle), &dcb)) {
    Fail(err, kSerialPlatformCall, "sc_SetRs485: the driver has no RS-485 mode", GetLastError());
    return false;
  }
  dcb.fRtsControl = on ? RTS_CONTROL_TOGGLE : RTS_CONTROL_ENABLE;
  if (!CommCalls().setCommState(H(handle), &dcb)) {
    if (!on) return true;
    Fail(err, kSerialPlatformCall, "sc_SetRs485: the driver has no RS-485 mode", GetLastError());
    return false;
  }
  return true;
}
