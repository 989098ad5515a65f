#pragma once
// The host's side of an in-process line (in_process_line.h): what each sc_
// function does when its handle or device name is one. Used by the
// platform implementations of serial_comm.h only. Handles of in-process
// lines are -2, -3, ... (above the network lines' handles): never a
// descriptor, never a Win32 handle value.

#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/serial_error.h"
#include "serial/serial_settings.h"

// Declared in serial_comm.h, which this header does not include: the
// sc_ functions include this one.
struct LineStatus;
enum class InputWait;
#ifdef _WIN32
using InProcessHandle = intptr_t;  // InProcessHandle (checked in in_process_line.cpp)
#else
using InProcessHandle = int;
#endif

// True for a name of an in-process line (InProcessLine::IsName).
bool IsInProcessLineName(const std::string& device);

bool IsInProcessHandle(InProcessHandle handle);
InProcessHandle InProcessOpen(const std::string& name, SerialError* err);
bool InProcessClose(InProcessHandle handle);
bool InProcessSetSettings(InProcessHandle handle, const SerialSettings& settings, SerialError* err);
// Clears the host's input, and with `both` the bytes still on their way
// to the far end.
bool InProcessPurge(InProcessHandle handle, bool both);
bool InProcessRead(InProcessHandle handle, void* buffer, size_t count, size_t* done, uint32_t budgetMs,
                   SerialError* err);
bool InProcessWrite(InProcessHandle handle, const void* buffer, size_t count, size_t* done, uint32_t budgetMs,
                    SerialError* err);
bool InProcessClearError(InProcessHandle handle, uint32_t* errors, LineStatus* status);
InputWait InProcessWaitInput(InProcessHandle handle, uint32_t ms);
bool InProcessLineGone(InProcessHandle handle);
