#include "serial/port_access.h"

// Windows keeps no owner, group or lock file for a COM port, and names no
// holder of a port in use: every answer is "not known".

std::string DeviceGroupName(const std::string&) { return std::string(); }

DeviceAccess ExamineDeviceAccess(const std::string&) { return DeviceAccess{}; }

std::string DeviceHolder(const std::string&) { return std::string(); }
