#pragma once
// The host's side of an in-process line (in_process_line.h): what each sc_
// function does when its handle or device name is one. Used by the
// platform implementations of serial_comm.h only. Handles of in-process
// lines are -2, -3, ...: never a descriptor, never a Win32 handle value.

#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/serial_comm.h"

bool IsInProcessHandle(SerialHandle handle);
SerialHandle InProcessOpen(const std::string& name, SerialError* err);
bool InProcessClose(SerialHandle handle);
bool InProcessSetSettings(SerialHandle handle, const SerialSettings& settings, SerialError* err);
// Clears the host's input, and with `both` the bytes still on their way
// to the far end.
bool InProcessPurge(SerialHandle handle, bool both);
bool InProcessRead(SerialHandle handle, void* buffer, size_t count, size_t* done, uint32_t budgetMs,
                   SerialError* err);
bool InProcessWrite(SerialHandle handle, const void* buffer, size_t count, size_t* done, uint32_t budgetMs,
                    SerialError* err);
bool InProcessClearError(SerialHandle handle, uint32_t* errors, LineStatus* status);
InputWait InProcessWaitInput(SerialHandle handle, uint32_t ms);
bool InProcessLineGone(SerialHandle handle);
