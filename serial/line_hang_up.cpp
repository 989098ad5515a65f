#include "serial/line_hang_up.h"

// The serial layer's own test of a gone line, on both platforms (poll on
// POSIX; on Windows, the driver no longer answering ClearCommError), with
// no line counting as no hang-up.
bool LineHungUp(SerialHandle handle) { return handle != kInvalidSerialHandle && sc_LineGone(handle); }
