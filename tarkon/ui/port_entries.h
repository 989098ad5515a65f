#pragma once
// The port list of the connect dialog, as the engine gives it: "COM1" to
// "COM4" (through the port map, as typed), then the serial devices of this
// machine with their adapter's description and by-id name, then one
// in-process virtual sensor per model.

#include <QString>
#include <string>
#include <vector>

#include "tarkon/document/port_list.h"

struct PortEntry {
  QString text;              // what the list shows
  std::string portText;      // what the document connects to; empty for a virtual sensor
  std::string virtualModel;  // display name of the virtual sensor's model, else empty
  QString toolTip = QString();  // a device's full by-id path, else empty
};

std::vector<PortEntry> ConnectPortEntries();
// The same list with the devices a PortWatch last saw, and the serial
// device servers among the ports connected through last.
std::vector<PortEntry> ConnectPortEntries(const std::vector<ListedPort>& found,
                                          const std::vector<std::string>& recent = {});
