#include "tarkon/document/virtual_sensor_port.h"

#include "sim/in_process_sensor.h"

namespace {

constexpr uint8_t kFactoryAddress = kVirtualSensorAddress;
constexpr int32_t kFactoryBaudRate = kVirtualSensorBaudRate;

// Why the request cannot be served; empty when it can.
std::string Refusal(const VirtualSensorRequest& request) {
  if (request.address && (*request.address < 0 || *request.address > 255))
    return "address " + std::to_string(*request.address) + " is not 1 to 255 (or 0, the global address)";
  if (request.baudRate && !IsSensorBaudRate(*request.baudRate))
    return std::to_string(*request.baudRate) + " bit/s is not 9600, 19200, 38400 or 57600";
  if (request.checkMode != 0 && request.checkMode != 1)
    return "check mode " + std::to_string(request.checkMode) + " is not 0 (checksum) or 1 (CRC)";
  return std::string();
}

}  // namespace

VirtualSensorRequest VirtualSensorOfDialog(const std::string& model, const ConnectValues& chosen) {
  VirtualSensorRequest request;
  request.model = model;
  request.address = chosen.globalAddress ? 0 : chosen.address;
  request.baudRate = BaudRateOfChoice(chosen.baudChoice);
  return request;
}

std::string VirtualSensorFailureText(const std::string& reason) {
  return "The virtual sensor did not start: " + reason;
}

VirtualSensorPort::VirtualSensorPort() = default;
VirtualSensorPort::~VirtualSensorPort() = default;

bool VirtualSensorPort::Start(const VirtualSensorRequest& request, ConnectValues& values) {
  Stop();
  failure_.clear();
  if (const std::string refusal = Refusal(request); !refusal.empty()) {
    failure_ = VirtualSensorFailureText(refusal);
    return false;
  }
  sim::SensorConfig config;
  config.model = request.model;
  config.checkMode = request.checkMode;
  config.address = request.address.value_or(0) != 0 ? static_cast<uint8_t>(*request.address) : kFactoryAddress;
  config.baudRate = request.baudRate.value_or(kFactoryBaudRate);
  auto sensor = std::make_unique<sim::InProcessSensor>(config);
  if (!sensor->Start()) {
    failure_ = VirtualSensorFailureText(sensor->LastError());
    return false;
  }
  sensor_ = std::move(sensor);
  values.portText = sensor_->Device();
  values.lineEndsWithProgram = true;
  values.globalAddress = request.address == 0;
  values.address = values.globalAddress ? 0 : config.address;
  values.baudChoice = ConnectBaudChoice(config.baudRate);
  return true;
}

void VirtualSensorPort::Stop() { sensor_.reset(); }

bool VirtualSensorPort::Unplug() {
  if (!sensor_) return false;
  sensor_->Unplug();
  return true;
}

bool VirtualSensorPort::running() const { return sensor_ != nullptr; }

std::string VirtualSensorPort::device() const { return sensor_ ? sensor_->Device() : std::string(); }
