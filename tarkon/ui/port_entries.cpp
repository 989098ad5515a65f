#include "tarkon/ui/port_entries.h"

namespace {

std::vector<PortEntry> Entries(const std::vector<PortChoice>& choices) {
  std::vector<PortEntry> entries;
  for (const PortChoice& choice : choices)
    entries.push_back({QString::fromStdString(choice.text), choice.portText, choice.virtualModel,
                       QString::fromStdString(choice.byId)});
  return entries;
}

}  // namespace

std::vector<PortEntry> ConnectPortEntries() { return Entries(ConnectPortChoices()); }

std::vector<PortEntry> ConnectPortEntries(const std::vector<ListedPort>& found, const std::vector<std::string>& recent) {
  return Entries(ConnectPortChoices(found, recent));
}
