#pragma once
// The ports a front end offers and how a port name becomes a device: the
// serial devices of this machine, the settings file's port map and one
// virtual sensor per model, in one listing for the connect dialog, the bus
// scan dialog and tarkon-cli's `ports` and bus scan.

#include <string>
#include <vector>

#include "tarkon/document/settings_file.h"

// A serial device found on this machine. Nothing is opened to find it.
struct ListedPort {
  std::string name;         // "COMn" for /dev/ttyS(n-1), else the device's own name
  std::string device;       // device path
  std::string description;  // the adapter's vendor, model and serial number, or empty
  std::string byId;         // its stable /dev/serial/by-id/ name, or empty
  std::string usbSerial = std::string();  // the USB adapter's serial number, or empty
};

// An entry of the settings file's port map: "COM5" stands for a device.
struct MappedPort {
  std::string name;  // "COMn"
  std::string device;
};

struct PortList {
  std::vector<ListedPort> found;       // sorted by kind and number
  std::vector<MappedPort> mapped;      // by port number
  std::vector<std::string> virtualModels;  // display names, in model order
};

// Every port there is: the devices present, the port map of `settings`
// (none without settings) and a virtual sensor per model.
PortList ListPorts(const SettingsFile* settings);
// The same with the devices as a PortWatch last saw them.
PortList ListPorts(const SettingsFile* settings, std::vector<ListedPort> found);

// An entry of a port list a technician chooses from.
struct PortChoice {
  std::string text;          // what the list shows
  std::string portText;      // what the connect uses; empty for a virtual sensor
  std::string virtualModel;  // display name of the virtual sensor's model, else empty
  std::string byId = std::string();  // a device's full by-id path, else empty
};

// The connect dialog's list: "COM1" to "COM4" (through the port map when
// connecting, as typed), then the devices present with their adapter's
// description and by-id name ("/dev/ttyUSB0 (FTDI FT232R ...; by-id
// usb-FTDI_...-port0)"), then "Virtual sensor: MODEL" per model.
std::vector<PortChoice> ConnectPortChoices();
// The same list with the devices `found` (as a PortWatch last saw them),
// and after "COM4" the serial device servers among `recent` (the ports
// connected through last, newest first): a gateway's URL typed once is
// offered again.
std::vector<PortChoice> ConnectPortChoices(const std::vector<ListedPort>& found,
                                           const std::vector<std::string>& recent = {});

// The list text of a device: its path, then its adapter's description and
// the name of its by-id link, where known.
std::string DeviceChoiceText(const ListedPort& port);

// The list text of a virtual sensor of a model ("Virtual sensor: KRV04").
std::string VirtualSensorChoiceText(const std::string& model);

// The port name of the stored port number: "COMn" ("COM1" when none is
// stored).
std::string StoredPortName(const SettingsFile& settings);

// The device a port name stands for, as a user types it: "COMn" (any case)
// through the port map of `settings` (installed for this process), else
// /dev/ttyS(n-1); a device path is used as it is. Empty for a text that
// names no port (ParsePortText says why).
std::string DeviceOfPortName(const SettingsFile& settings, const std::string& name);
