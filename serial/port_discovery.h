#pragma once
// Serial ports of this machine: the one listing that tarkon-cli's `ports`,
// the connect dialogs and the port lists of both desktop programs show.

#include <string>
#include <vector>

struct FoundPort {
  std::string name;    // "COMn" for /dev/ttyS(n-1), else the device's own name
  std::string device;  // device path
  std::string description;  // adapter's vendor and model where the system knows them, else empty
};

// /dev/ttyS* with a driver behind them, /dev/ttyUSB*, /dev/ttyACM*, sorted.
std::vector<FoundPort> FindSerialPorts();
