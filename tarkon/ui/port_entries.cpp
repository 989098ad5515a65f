#include "tarkon/ui/port_entries.h"

#include "tarkon/document/port_list.h"

std::vector<PortEntry> ConnectPortEntries() {
  std::vector<PortEntry> entries;
  for (const PortChoice& choice : ConnectPortChoices())
    entries.push_back({QString::fromStdString(choice.text), choice.portText, choice.virtualModel});
  return entries;
}
