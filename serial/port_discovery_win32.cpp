#include "serial/port_discovery.h"

// The ports class of the device manager, through SetupAPI: each present
// device's "PortName" from its device key and its friendly name (or, where
// it has none, its description) as the adapter's description. Nothing is
// opened.

#include <windows.h>
// initguid.h first, so that devguid.h defines the class GUIDs here.
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

std::string RegistryString(HKEY key, const char* name) {
  char value[256] = {};
  DWORD size = sizeof(value) - 1;
  DWORD type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::string();
  }
  return std::string(value, strnlen(value, sizeof(value)));
}

std::string DeviceProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
  char value[512] = {};
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyA(devices, &device, property, &type, reinterpret_cast<BYTE*>(value),
                                         sizeof(value) - 1, nullptr) ||
      type != REG_SZ) {
    return std::string();
  }
  return std::string(value, strnlen(value, sizeof(value)));
}

bool IsComName(const std::string& name) {
  return name.size() > 3 && name.compare(0, 3, "COM") == 0 &&
         std::all_of(name.begin() + 3, name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

}  // namespace

std::vector<FoundPort> FindSerialPorts() {
  std::vector<FoundPort> ports;
  const HDEVINFO devices = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return ports;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!SetupDiEnumDeviceInfo(devices, index, &device)) break;
    const HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    const std::string name = RegistryString(key, "PortName");
    RegCloseKey(key);
    if (!IsComName(name)) continue;  // printer ports (LPTn) share the class
    FoundPort port;
    port.name = name;
    port.device = "\\\\.\\" + name;
    port.description = DeviceProperty(devices, device, SPDRP_FRIENDLYNAME);
    if (port.description.empty()) port.description = DeviceProperty(devices, device, SPDRP_DEVICEDESC);
    ports.push_back(port);
  }
  SetupDiDestroyDeviceInfoList(devices);
  std::sort(ports.begin(), ports.end(), [](const FoundPort& a, const FoundPort& b) {
    return std::strtoul(a.name.c_str() + 3, nullptr, 10) < std::strtoul(b.name.c_str() + 3, nullptr, 10);
  });
  return ports;
}

// Windows has no sysfs: nothing is found there.
std::vector<FoundPort> FindSerialPortsInSysfs(const std::string&, const std::string&) { return {}; }
