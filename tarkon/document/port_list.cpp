#include "tarkon/document/port_list.h"

#include "serial/network_port_name.h"
#include "serial/port_discovery.h"
#include "serial/port_resolver.h"
#include "tarkon/document/port_text.h"
#include "tarkon/models/model_table.h"

PortList ListPorts(const SettingsFile* settings) {
  std::vector<ListedPort> found;
  for (const FoundPort& port : FindSerialPorts())
    found.push_back({port.name, port.device, port.description, port.byId, port.usbSerial});
  return ListPorts(settings, std::move(found));
}

PortList ListPorts(const SettingsFile* settings, std::vector<ListedPort> found) {
  PortList list;
  list.found = std::move(found);
  if (settings != nullptr) {
    for (const auto& [number, device] : settings->ReadPortMap())
      list.mapped.push_back({PortResolver::PortName(number), device});
  }
  for (const ModelEntry& model : ModelTable()) list.virtualModels.emplace_back(model.displayName);
  return list;
}

std::string VirtualSensorChoiceText(const std::string& model) { return "Virtual sensor: " + model; }

std::string DeviceChoiceText(const ListedPort& port) {
  std::string details = port.description;
  if (!port.byId.empty()) {
    const std::string link = port.byId.substr(port.byId.find_last_of('/') + 1);
    details += (details.empty() ? "by-id " : "; by-id ") + link;
  }
  return details.empty() ? port.device : port.device + " (" + details + ")";
}

std::vector<PortChoice> ConnectPortChoices() { return ConnectPortChoices(ListPorts(nullptr).found); }

std::vector<PortChoice> ConnectPortChoices(const std::vector<ListedPort>& found, const std::vector<std::string>& recent) {
  std::vector<PortChoice> choices;
  for (unsigned n = 1; n <= 4; ++n) {
    const std::string name = PortResolver::PortName(n);
    choices.push_back({name, name, {}, {}});
  }
  for (const std::string& port : recent)
    if (IsNetworkPortName(port)) choices.push_back({port, port, {}, {}});
  const PortList ports = ListPorts(nullptr, found);
  for (const ListedPort& port : ports.found) choices.push_back({DeviceChoiceText(port), port.device, {}, port.byId});
  for (const std::string& model : ports.virtualModels)
    choices.push_back({VirtualSensorChoiceText(model), {}, model, {}});
  return choices;
}

std::string StoredPortName(const SettingsFile& settings) {
  int32_t port = 1;
  settings.GetInteger(SettingsFile::kSerialSection, SettingsFile::kPortKey, &port);
  return PortResolver::PortName(static_cast<unsigned>(port));
}

std::string DeviceOfPortName(const SettingsFile& settings, const std::string& name) {
  const PortText port = ParsePortText(name);
  if (!port.device.empty()) return port.device;
  if (port.number < 0) return std::string();
  PortResolver::SetPortMap(settings.ReadPortMap());
  return PortResolver::Resolve(static_cast<unsigned>(port.number));
}
