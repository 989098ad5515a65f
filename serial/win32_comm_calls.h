#pragma once
// The Win32 calls the Windows serial backend makes, gathered in one table
// so that a test can put a fake of them in place: the line-error mapping,
// the control block's fields and the error texts are then checked on calls
// whose outcome the test decides (a real port cannot be made to report a
// framing error on demand, and Wine does not pass every call on to the
// pseudo-terminal behind its COM port). Windows only.

#include <windows.h>

#include <string>

struct Win32CommCalls {
  decltype(&::CreateFileA) createFile;
  decltype(&::CloseHandle) closeHandle;
  decltype(&::GetCommState) getCommState;
  decltype(&::SetCommState) setCommState;
  decltype(&::SetupComm) setupComm;
  decltype(&::SetCommTimeouts) setCommTimeouts;
  decltype(&::PurgeComm) purgeComm;
  decltype(&::ClearCommError) clearCommError;
  decltype(&::ReadFile) readFile;
  decltype(&::WriteFile) writeFile;
  decltype(&::FlushFileBuffers) flushFileBuffers;
  decltype(&::QueryPerformanceFrequency) queryFrequency;
};

// The calls in use: the system's, unless a test installed others.
const Win32CommCalls& CommCalls();
// The system's own calls.
const Win32CommCalls& SystemCommCalls();
// Installs `calls` (nullptr: back to the system's). For tests; not
// thread-safe against calls in flight.
void SetCommCallsForTest(const Win32CommCalls* calls);

// The errno value that stands for a Win32 error code, so that callers
// explain a failure the same way on every platform (no such device,
// in use, ...): SerialError::osError holds it.
int ErrnoOfWin32Error(DWORD code);
// The system's text for a Win32 error code (FormatMessage, default
// language), without the trailing line break.
std::string Win32ErrorText(DWORD code);
// Appends the system's text for `code` as a detail and records its errno
// equivalent as osError.
struct SerialError;
void AppendWin32ErrorText(SerialError* err, DWORD code);
