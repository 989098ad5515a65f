#include "serial/port_access.h"

#include <windows.h>

#include "serial/network_port_name.h"

// Windows keeps no owner, group or lock file for a COM port, and names no
// holder of a port in use: every answer is "not known".

std::string DeviceGroupName(const std::string&) { return std::string(); }

DeviceAccess ExamineDeviceAccess(const std::string&) { return DeviceAccess{}; }

std::string DeviceHolder(const std::string&) { return std::string(); }

bool DevicePresent(const std::string& device) {
  if (IsNetworkPortName(device)) return true;  // known only by connecting
  std::string name = device;
  if (name.rfind("\\\\.\\", 0) == 0) name = name.substr(4);
  if (name.empty()) return false;
  char target[512];
  return QueryDosDeviceA(name.c_str(), target, sizeof target) != 0;
}

DeviceNode ExamineDeviceNode(const std::string& device) {
  return DevicePresent(device) ? DeviceNode::kThere : DeviceNode::kMissing;
}
