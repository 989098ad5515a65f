#include "tarkon/document/port_list.h"

#include "serial/port_discovery.h"
#include "serial/port_resolver.h"
#include "tarkon/models/model_table.h"

PortList ListPorts(const SettingsFile* settings) {
  PortList list;
  for (const FoundPort& port : FindSerialPorts())
    list.found.push_back({port.name, port.device, port.description, port.byId});
  if (settings != nullptr) {
    for (const auto& [number, device] : settings->ReadPortMap())
      list.mapped.push_back({PortResolver::PortName(number), device});
  }
  for (const ModelEntry& model : ModelTable()) list.virtualModels.emplace_back(model.displayName);
  return list;
}

std::string VirtualSensorChoiceText(const std::string& model) { return "Virtual sensor: " + model; }

std::vector<PortChoice> ConnectPortChoices() {
  std::vector<PortChoice> choices;
  for (unsigned n = 1; n <= 4; ++n) {
    const std::string name = PortResolver::PortName(n);
    choices.push_back({name, name, {}});
  }
  const PortList ports = ListPorts(nullptr);
  for (const ListedPort& port : ports.found) {
    std::string text = port.device;
    if (!port.description.empty()) text += " (" + port.description + ")";
    choices.push_back({text, port.device, {}});
  }
  for (const std::string& model : ports.virtualModels) choices.push_back({VirtualSensorChoiceText(model), {}, model});
  return choices;
}

std::string StoredPortName(const SettingsFile& settings) {
  int32_t port = 1;
  settings.GetInteger(SettingsFile::kSerialSection, SettingsFile::kPortKey, &port);
  return PortResolver::PortName(static_cast<unsigned>(port));
}

std::string DeviceOfPortName(const SettingsFile& settings, const std::string& name) {
  PortResolver::SetPortMap(settings.ReadPortMap());
  return PortResolver::ResolveName(name);
}
