#pragma once
// Turns a port number ("COMn") into a device path.
//
// Default: COMn -> /dev/ttyS(n-1); on Windows COMn -> \\.\COMn. A map from port numbers to paths can be
// installed (the settings file keeps one, so a technician can name a USB
// adapter, a virtual sensor or a gateway's network line as a COM port). An
// explicit device path or network port name is used as it is.

#include <map>
#include <string>

class PortResolver {
 public:
  using PortMap = std::map<unsigned, std::string>;

  // Installs the process-wide map; entries override the default mapping.
  static void SetPortMap(const PortMap& map);
  static PortMap GetPortMap();

  // Device path of port number `port` ("COM" + port).
  static std::string Resolve(unsigned port);
  // The name the platform would show for the port: "COM%u".
  static std::string PortName(unsigned port);
  // True when `text` names a device itself rather than a port number: a
  // path ("/dev/ttyUSB0"; on Windows "\\.\COM12" or "\\.\CNCA0"), an
  // in-process line ("virtual-line:N") or a network line
  // ("rfc2217://HOST:PORT", "tcp://HOST:PORT"; network_port_name.h).
  static bool IsDeviceName(const std::string& text);
  // A port name as a user types it: "COMn" (any case) resolves like
  // Resolve(n); anything else (a device path) is returned unchanged.
  // Port 0 has no device; its path is empty.
  static std::string ResolveName(const std::string& name);
};
