#include "tarkon/ui/port_entries.h"

#include "serial/port_discovery.h"
#include "tarkon/models/model_table.h"

QString VirtualSensorEntryText(const std::string& model) {
  return QStringLiteral("Virtual sensor: ") + QString::fromStdString(model);
}

std::vector<PortEntry> ConnectPortEntries() {
  std::vector<PortEntry> entries;
  for (int n = 1; n <= 4; ++n) {
    const std::string name = "COM" + std::to_string(n);
    entries.push_back({QString::fromStdString(name), name, {}});
  }
  for (const FoundPort& port : FindSerialPorts()) {
    QString text = QString::fromStdString(port.device);
    if (!port.description.empty()) text += QStringLiteral(" (%1)").arg(QString::fromStdString(port.description));
    entries.push_back({text, port.device, {}});
  }
  for (const ModelEntry& model : ModelTable()) {
    entries.push_back({VirtualSensorEntryText(model.displayName), {}, model.displayName});
  }
  return entries;
}
