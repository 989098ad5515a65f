#include "serial/win32_comm_calls.h"

#include <atomic>
#include <cerrno>

#include "serial/serial_error.h"

namespace {

std::atomic<const Win32CommCalls*> g_installed{nullptr};

}  // namespace

const Win32CommCalls& SystemCommCalls() {
  static const Win32CommCalls calls{
      &::CreateFileA,     &::CloseHandle,    &::GetCommState, &::SetCommState,     &::SetupComm,
      &::SetCommTimeouts, &::PurgeComm,      &::ClearCommError, &::ReadFile,       &::WriteFile,
      &::FlushFileBuffers, &::QueryPerformanceFrequency,
  };
  return calls;
}

const Win32CommCalls& CommCalls() {
  const Win32CommCalls* installed = g_installed.load();
  return installed != nullptr ? *installed : SystemCommCalls();
}

void SetCommCallsForTest(const Win32CommCalls* calls) { g_installed.store(calls); }

int ErrnoOfWin32Error(DWORD code) {
  switch (code) {
    case ERROR_SUCCESS: return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_UNIT:
      return ENOENT;
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
      return ENODEV;
    // A COM port that another program has open refuses a second opener
    // with "access denied": on Windows that is the port in use.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return EBUSY;
    case ERROR_INVALID_HANDLE: return EBADF;
    case ERROR_INVALID_PARAMETER: return EINVAL;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
      return EOPNOTSUPP;
    case ERROR_SEM_TIMEOUT: return ETIMEDOUT;
    default: return EIO;
  }
}

std::string Win32ErrorText(DWORD code) {
  char buffer[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                      0, buffer, sizeof(buffer), nullptr);
  std::string text(buffer, length);
  // The system ends its texts with a line break; inside the parentheses of
  // an error text it would split the line the user sees.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  if (text.empty()) text = "Unknown error " + std::to_string(code);
  return text;
}

void AppendWin32ErrorText(SerialError* err, DWORD code) {
  if (err == nullptr) return;
  AppendSerialErrorDetail(err, Win32ErrorText(code).c_str());
  err->osError = ErrnoOfWin32Error(code);
}
