#pragma once
// Serial ports of this machine: the one listing that tarkon-cli's `ports`,
// the connect dialogs and the port lists of both desktop programs show.
//
// Found through libudev, or by reading sysfs where udev is not available.
// Never opens a port: opening toggles the modem lines of a real UART and
// would ignore another program's lock.

#include <string>
#include <vector>

struct FoundPort {
  std::string name;    // "COMn" for /dev/ttyS(n-1), else the device's own name
  std::string device;  // device path
  std::string description;  // adapter's vendor, model and serial number where the system knows them, else empty
  std::string byId;    // the stable /dev/serial/by-id/ name of the adapter, empty when there is none
  std::string usbSerial = std::string();  // the USB adapter's serial number, empty when it has none (or is no USB device)
};

// USB serial adapters (ttyUSB), USB modems and CDC devices (ttyACM), the
// UARTs of ARM boards (ttyAMA), and ttyS ports with a UART behind them (a
// legacy slot without a chip is left out), sorted by kind and number.
std::vector<FoundPort> FindSerialPorts();

// The same from sysfs alone, under `sysRoot` (normally "/sys") with device
// nodes and their by-id links under `devRoot` (normally "/dev").
std::vector<FoundPort> FindSerialPortsInSysfs(const std::string& sysRoot, const std::string& devRoot);
