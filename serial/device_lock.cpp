#include "serial/device_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

int LockSerialDevice(int fd) {
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
  return errno == EWOULDBLOCK ? EBUSY : errno;
}

int SerialDeviceLock::Acquire(const std::string& device) {
  Release();
  // Non-blocking, so that a modem line without carrier cannot hold the open.
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  const int failure = LockSerialDevice(fd);
  if (failure != 0) {
    ::close(fd);
    return failure;
  }
  fd_ = fd;
  return 0;
}

void SerialDeviceLock::Release() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
}
