#pragma once
// The one lock on a serial device that every program of the suite takes and
// honours: an exclusive flock(2) on the device node. TIOCEXCL alone does not
// stop a privileged opener, and a program's own lock file is not seen by the
// others; the flock is, whoever runs the program. It goes with the open
// file: closing the descriptor (or the process ending) releases it.

#include <string>

// Takes the lock on an open descriptor of the device without waiting. 0
// when held; EBUSY when another open of the device holds it; else errno.
int LockSerialDevice(int fd);

// A lock held on its own descriptor, for a program whose port is opened by
// a library that takes no such lock: acquire it before that library opens
// the device, release it after the library has closed it.
class SerialDeviceLock {
 public:
  SerialDeviceLock() = default;
  ~SerialDeviceLock() { Release(); }
  SerialDeviceLock(const SerialDeviceLock&) = delete;
  SerialDeviceLock& operator=(const SerialDeviceLock&) = delete;

  // 0 when held (see LockSerialDevice); errno of the open when the device
  // cannot be opened at all.
  int Acquire(const std::string& device);
  void Release();
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};
