#include "serial/line_hang_up.h"

#include <poll.h>

bool LineHungUp(SerialHandle handle) {
  if (handle == kInvalidSerialHandle) return false;
  pollfd line{handle, POLLIN, 0};
  if (::poll(&line, 1, 0) <= 0) return false;
  return (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}
