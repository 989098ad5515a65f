#include "serial/device_lock.h"

// On Windows a COM port opened without sharing (sc_Open) is already held
// exclusively by the system: a second CreateFile is refused with "access
// denied", whoever asks. There is no separate lock to take; taking one by
// opening the port here would make the library's own open fail.

int LockSerialDevice(int) { return 0; }

int SerialDeviceLock::Acquire(const std::string&) {
  Release();
  return 0;
}

void SerialDeviceLock::Release() { fd_ = -1; }
