#include "ostrel/operations/port_choices.h"

#include "serial/network_port_name.h"
#include "serial/port_discovery.h"
#include "serial/port_resolver.h"

namespace ostrel {

std::vector<PortChoice> PortChoicesAfterCom4() {
  std::vector<PortChoice> choices;
  for (const FoundPort& port : FindSerialPorts()) {
    if (port.name.rfind("COM", 0) == 0 && port.name.size() == 4 && port.name[3] >= '1' && port.name[3] <= '4')
      continue;
    choices.push_back({port.description.empty() ? port.device : port.device + " - " + port.description, port.device});
  }
  choices.push_back({kVirtualSensorEntry, kVirtualSensorDevice});
  return choices;
}

bool KeptAsNextPort(const std::string& device) { return device != kVirtualSensorDevice; }

bool ShownWithoutEntry(const std::string& device) { return IsNetworkPortName(device); }

void InstallPortMap(const std::map<unsigned, std::string>& map) { PortResolver::SetPortMap(map); }

}  // namespace ostrel
