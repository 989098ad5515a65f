#include "serial/port_discovery.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Number of the trailing digits of a device name, for sorting ttyS2 before
// ttyS10.
long TrailingNumber(const std::string& name) {
  size_t i = name.size();
  while (i > 0 && name[i - 1] >= '0' && name[i - 1] <= '9') --i;
  return i == name.size() ? -1 : std::stol(name.substr(i));
}

// Legacy UART slots are registered whether or not a chip answers there; the
// driver reports the type of an empty slot as unknown.
bool UartPresent(const std::string& device) {
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  serial_struct info{};
  const bool present = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  close(fd);
  return present;
}

}  // namespace

std::vector<FoundPort> FindSerialPorts() {
  std::vector<FoundPort> ports;
  std::error_code ec;
  const fs::path classDir("/sys/class/tty");
  if (!fs::is_directory(classDir, ec)) return ports;
  for (const auto& entry : fs::directory_iterator(classDir, ec)) {
    const std::string name = entry.path().filename().string();
    const bool uart = name.rfind("ttyS", 0) == 0;
    const bool usb = name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
    if (!uart && !usb) continue;
    // Virtual terminals and the like have no device behind them.
    std::error_code linkError;
    if (!fs::exists(entry.path() / "device" / "driver", linkError)) continue;
    FoundPort port;
    port.device = "/dev/" + name;
    if (uart && !UartPresent(port.device)) continue;
    port.name = uart ? "COM" + std::to_string(TrailingNumber(name) + 1) : name;
    ports.push_back(port);
  }
  std::sort(ports.begin(), ports.end(), [](const FoundPort& a, const FoundPort& b) {
    const std::string pa = a.device.substr(0, a.device.find_last_not_of("0123456789") + 1);
    const std::string pb = b.device.substr(0, b.device.find_last_not_of("0123456789") + 1);
    if (pa != pb) return pa < pb;
    return TrailingNumber(a.device) < TrailingNumber(b.device);
  });
  return ports;
}
