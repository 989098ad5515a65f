#pragma once
// What the port list offers after "COM1" to "COM4": the serial devices of
// this machine and the virtual sensor, and the port map that the settings
// file gives "COMn".

#include <map>
#include <string>
#include <vector>

namespace ostrel {

// The list device of the virtual sensor (virtual_sensor_line.h): what the
// window fields hold while it is chosen. Never stored as the next start's
// port.
constexpr const char* kVirtualSensorDevice = "virtual:KRV04BF";
constexpr const char* kVirtualSensorEntry = "Virtual sensor (KRV04 Board Flipper)";

struct PortChoice {
  std::string text;    // what the list shows
  std::string device;  // a device path, or kVirtualSensorDevice
};

// The devices present that are not COM1 to COM4 (those are the list's
// first entries already), as "device - adapter description" (the device
// alone without a description), then the virtual sensor.
std::vector<PortChoice> PortChoicesAfterCom4();

// Whether the settings file keeps `device` as the next start's port and a
// stored one is chosen again: not the virtual sensor, which lives only in
// this run (the next start must talk to the real port).
bool KeptAsNextPort(const std::string& device);

// Whether a stored port the list has no entry for is shown again at the
// next start, typed into the port box: a serial device server's line
// (rfc2217://HOST:PORT, tcp://HOST:PORT), stored once it was connected to.
bool ShownWithoutEntry(const std::string& device);

// Installs the settings file's port map: "COMn" opens the mapped device.
void InstallPortMap(const std::map<unsigned, std::string>& map);

}  // namespace ostrel
