#pragma once
// Connecting to an in-process virtual sensor of a model instead of a real
// port, on a line inside the process (no pseudo-terminal, so on every
// platform): the window's "Virtual sensor: MODEL" entries, tarkon-cli's
// --simulate and its bus scan all start one here.
//
// The sensor is a fresh one at its factory settings (address 1,
// 57600 bit/s), in the check mode asked for, except where the connection
// names an address or a baud rate:
//   - an address 1 to 255 becomes the sensor's address; 0, the global
//     address, leaves it at 1 (it answers the global address as well) and
//     the connection then talks to address 0;
//   - a baud rate of 9600, 19200, 38400 or 57600 becomes the sensor's rate;
//   - any other address or rate is refused: nothing starts.
// A stored address or rate of an earlier real sensor is no such name: only
// the caller knows whether the user gave one (a dialog's values, a command
// line's options).
//
//   VirtualSensorPort sensor;
//   ConnectValues values = doc.BeginConnect();
//   if (!sensor.Start({.model = "KRV04"}, values)) fail(sensor.failure());
//   doc.Connect(values);

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "tarkon/document/connect_values.h"

namespace sim {
class InProcessSensor;
}

// Where a virtual sensor answers unless the user names another address or
// rate: its factory address and baud rate.
constexpr uint8_t kVirtualSensorAddress = 1;
constexpr int32_t kVirtualSensorBaudRate = 57600;

struct VirtualSensorRequest {
  std::string model;  // a display name ("KRV04") or a model string
  int32_t checkMode = 0;  // 0 checksum, 1 CRC
  std::optional<int> address;        // named by the user, else the factory address
  std::optional<int32_t> baudRate;   // named by the user, else the factory rate
};

// The request a connect dialog's values make: the dialog names both the
// address (0 when the global address is in use) and the baud rate.
VirtualSensorRequest VirtualSensorOfDialog(const std::string& model, const ConnectValues& chosen);

// "The virtual sensor did not start: REASON", the one text of every refusal
// and start failure.
std::string VirtualSensorFailureText(const std::string& reason);

class VirtualSensorPort {
 public:
  VirtualSensorPort();
  ~VirtualSensorPort();
  VirtualSensorPort(const VirtualSensorPort&) = delete;
  VirtualSensorPort& operator=(const VirtualSensorPort&) = delete;

  // Stops any sensor started before, then starts one for `request` and
  // fits `values` to it: the port text names its line, the address and
  // baud rate are the sensor's (the global address when 0 was named).
  // False, with failure() and `values` untouched, when refused or not
  // started.
  bool Start(const VirtualSensorRequest& request, ConnectValues& values);
  void Stop();
  bool running() const;
  // Pulls the sensor's line as an adapter is pulled: the host sees the
  // port hang up and gone (the window's lost-link bar, documentation
  // pictures). False when no sensor runs.
  bool Unplug();
  // The line to open; empty while no sensor runs.
  std::string device() const;
  const std::string& failure() const { return failure_; }

 private:
  std::unique_ptr<sim::InProcessSensor> sensor_;
  std::string failure_;
};
