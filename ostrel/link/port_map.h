#pragma once
// COM port numbers to devices for Ostrel: section "Port Map" of
// "Ostrel.ini", written as in tarkon.ini, one "COM2=/dev/ttyUSB0" line per
// port (key "COMn" in any case, blanks around key and value ignored, an
// absolute device path; an empty path keeps the port's default). A port
// without an entry is /dev/ttyS(n-1).

#include <string>

#include "serial/port_resolver.h"

namespace ostrel {

constexpr const char* kPortMapSection = "Port Map";

// The map of an ini file's text.
PortResolver::PortMap ParsePortMap(const std::string& iniText);
// The map of the file at `path`; empty when it cannot be read.
PortResolver::PortMap ReadPortMapFile(const std::string& path);

}  // namespace ostrel
