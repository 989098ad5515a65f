#pragma once
// The host's side of a network line (network_line.h): what each sc_
// function does when its device name or handle is one. Used by the
// platform implementations of serial_comm.h only. Handles of network lines
// count down from kNetworkHandleFirst: never a descriptor, a Win32 handle
// value or an in-process line's handle.

#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/serial_error.h"
#include "serial/serial_settings.h"

// Declared in serial_comm.h, which this header does not include: the
// sc_ functions include this one.
struct LineStatus;
enum class InputWait;
// The same alias as serial_comm.h's (a second, identical declaration of it).
#ifdef _WIN32
using SerialHandle = intptr_t;
#else
using SerialHandle = int;
#endif

constexpr SerialHandle kNetworkHandleFirst = -0x40000000;

bool IsNetworkHandle(SerialHandle handle);
SerialHandle NetworkOpen(const std::string& name, SerialError* err);
bool NetworkClose(SerialHandle handle);
bool NetworkSetSettings(SerialHandle handle, const SerialSettings& settings, SerialError* err);
// Drops what waits to be read, and with `both` what waits at the gateway
// for its device.
bool NetworkPurge(SerialHandle handle, bool both, SerialError* err);
bool NetworkRead(SerialHandle handle, void* buffer, size_t count, size_t* done, uint32_t budgetMs, SerialError* err);
bool NetworkWrite(SerialHandle handle, const void* buffer, size_t count, size_t* done, uint32_t budgetMs,
                  SerialError* err);
bool NetworkClearError(SerialHandle handle, uint32_t* errors, LineStatus* status);
InputWait NetworkWaitInput(SerialHandle handle, uint32_t ms);
bool NetworkLineGone(SerialHandle handle);
bool NetworkSetRs485(SerialHandle handle, bool on, SerialError* err);
