#pragma once
// Whether the far end of an open serial line has gone (an unplugged USB
// adapter, a closed pseudo-terminal master), asked without waiting and
// without reading a byte: for a program whose port belongs to another
// library, to tell a hang-up from a passing read error.

#include <type_traits>

#include "serial/serial_comm.h"

// True when the line behind `handle` has hung up or failed for good, as
// sc_LineGone tells it. POSIX: poll(2) reports POLLHUP, POLLERR or
// POLLNVAL. Windows: the communications driver no longer answers
// ClearCommError (a removed device fails every call on its handle). False
// for kInvalidSerialHandle: no line, no hang-up.
bool LineHungUp(SerialHandle handle);

// A port library's native handle (a descriptor, or a pointer on Windows)
// as the serial layer's.
template <typename Native>
SerialHandle ToSerialHandle(Native native) {
  if constexpr (std::is_pointer_v<Native>) {
    return reinterpret_cast<SerialHandle>(native);
  } else {
    return static_cast<SerialHandle>(native);
  }
}
