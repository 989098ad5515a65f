#pragma once
// The port list of the connect dialog, as the engine gives it: "COM1" to
// "COM4" (through the port map, as typed), then the serial devices of this
// machine with their adapter's description, then one in-process virtual
// sensor per model.

#include <QString>
#include <string>
#include <vector>

struct PortEntry {
  QString text;              // what the list shows
  std::string portText;      // what the document connects to; empty for a virtual sensor
  std::string virtualModel;  // display name of the virtual sensor's model, else empty
};

std::vector<PortEntry> ConnectPortEntries();
