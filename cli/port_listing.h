#pragma once
// Serial ports of this machine, as tarkon-cli's `ports` lists them.

#include <string>
#include <vector>

struct FoundPort {
  std::string name;    // "COMn" for /dev/ttyS(n-1), else the device's own name
  std::string device;  // device path
};

// /dev/ttyS* with a driver behind them, /dev/ttyUSB*, /dev/ttyACM*, sorted.
std::vector<FoundPort> FindSerialPorts();
