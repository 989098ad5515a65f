#include "serial/port_resolver.h"

#include <cctype>
#include <cstdlib>
#include <mutex>

#include "serial/in_process_host.h"
#include "serial/network_port_name.h"

namespace {

std::mutex& MapMutex() {
  static std::mutex mutex;
  return mutex;
}

PortResolver::PortMap& Map() {
  static PortResolver::PortMap map;
  return map;
}

}  // namespace

void PortResolver::SetPortMap(const PortMap& map) {
  const std::lock_guard<std::mutex> guard(MapMutex());
  Map() = map;
}

PortResolver::PortMap PortResolver::GetPortMap() {
  const std::lock_guard<std::mutex> guard(MapMutex());
  return Map();
}

std::string PortResolver::Resolve(unsigned port) {
  {
    const std::lock_guard<std::mutex> guard(MapMutex());
    const auto it = Map().find(port);
    if (it != Map().end()) return it->second;
  }
  // COM1 is the first on-board UART. There is no COM0.
  if (port == 0) return std::string();
#ifdef _WIN32
  // The device namespace name opens every port number, COM10 and up too.
  return "\\\\.\\COM" + std::to_string(port);
#else
  return "/dev/ttyS" + std::to_string(port - 1);
#endif
}

std::string PortResolver::PortName(unsigned port) { return "COM" + std::to_string(port); }

std::string PortResolver::ResolveName(const std::string& name) {
  if (name.size() > 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
      std::toupper(static_cast<unsigned char>(name[2])) == 'M') {
    bool digits = name.size() <= 12;  // at most nine digits: no overflow
    for (size_t i = 3; i < name.size() && digits; ++i) {
      digits = std::isdigit(static_cast<unsigned char>(name[i])) != 0;
    }
    if (digits) return Resolve(static_cast<unsigned>(std::strtoul(name.c_str() + 3, nullptr, 10)));
  }
  return name;
}

bool PortResolver::IsDeviceName(const std::string& text) {
  if (IsInProcessLineName(text) || IsNetworkPortName(text)) return true;
#ifdef _WIN32
  return text.rfind("\\\\.\\", 0) == 0 || text.rfind("\\\\?\\", 0) == 0;
#else
  return !text.empty() && text[0] == '/';
#endif
}
