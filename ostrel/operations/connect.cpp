// Connect: the port, the check-mode probe and the full read of the sensor.

#include <algorithm>
#include <string>

#include "ostrel/operations/busy.h"
#include "protocol/command_ids.h"
#include "serial/network_port_name.h"
#include "serial/port_discovery.h"
#include "serial/port_resolver.h"

namespace ostrel {

Operations::Operations(OstrelLink& link, WindowFields& fields, OstrelView& view)
    : link_(link), fields_(fields), view_(view) {
  link_.SetErrorDisplay([this](const std::string& text, uint64_t count) {
    view_.SetStatus(text);
    view_.SetComErrors(count);
  });
  link_.SetLineLostHandler([this] { LineLost(); });
}

Operations::~Operations() {
  link_.SetErrorDisplay(nullptr);
  link_.SetLineLostHandler(nullptr);
}

void Operations::LineLost() {
  // Whatever runs ends at its next pass; the window goes back to its
  // not-connected state until Connect opens the port again.
  stop_ = true;
  repeat_ = false;
  connected_ = false;
  view_.SetStatus("Error : Device went away, port closed (" + link_.port().device() + ")");
  view_.Log("Error : Device went away, port closed (" + link_.port().device() + ")");
  view_.Log(LineLostExplanation());
  view_.SetConnected(false);
}

void Operations::Send(uint8_t command, const std::vector<uint8_t>& data) {
  link_.SendFrame(command, link_.address(), data, link_.crc());
}

bool Operations::Receive(Reply& reply, size_t dataNeeded, int timeoutMs) {
  if (!link_.ReceiveFrame(link_.crc(), timeoutMs, reply, dataNeeded)) return false;
  if (reply.DataLength() < dataNeeded) {
    // A well-formed frame too short for the fields read from it (another
    // command's reply, say) is no answer to this request.
    link_.SetReceiveStatus(kInvalidResponse);
    return false;
  }
  return true;
}

bool Operations::Connect() {
  Busy busy(busy_);
  if (!busy.held()) return false;

  if (fields_.connAddr.empty()) fields_.connAddr = std::to_string(link_.address());
  if (fields_.useGlobalAddress) {
    link_.SetAddress(0);
  } else {
    const long address = ParseNumber(fields_.connAddr);
    if (address >= 1 && address <= 255) {
      link_.SetAddress(static_cast<uint8_t>(address));
    } else {
      view_.ShowInputError("Invalid Address Entered!\r\n(Valid values 1-255)", Field::kConnAddr);
    }
  }
  view_.SetStatus("Connecting...");  // also after a hang-up
  connected_ = false;
  // Another sensor, perhaps: nothing read from the last one is known of it.
  known_.clear();
  addressRead_.clear();

  if (fields_.hostBaud >= 0 && fields_.hostBaud < 4) hostBaudInUse_ = kBaudRates[fields_.hostBaud];
  // A gateway's URL is kept only once the gateway took the connection: a
  // mistyped one is no port to start with next time.
  const bool gateway = IsNetworkPortName(fields_.device);
  if (!gateway) view_.StoreConnection(fields_.port + 1, hostBaudInUse_, fields_.device);
  if (!OpenPort()) return true;
  if (gateway) view_.StoreConnection(fields_.port + 1, hostBaudInUse_, fields_.device);

  const bool found = Probe();
  if (!found) {
    link_.ProcessErrorMsg(link_.receiveStatus());
  } else {
    fields_.checkMode = link_.crc() ? 1 : 0;  // "Crc16" / "Chksum"
    connected_ = true;
  }
  view_.FieldsChanged();
  view_.SetConnected(connected_);
  if (connected_) GetSensorData();
  view_.Log(connected_ ? "Connected: " + LinkText() : "Connect failed: " + LinkText() + ": " +
                                                          ReceiveStatusText(link_.receiveStatus()));
  return true;
}

bool Operations::OpenPort() {
  // Port 0 (no entry chosen): the user picks one of the devices present.
  const unsigned number = fields_.port >= 0 ? static_cast<unsigned>(fields_.port + 1) : 0;
  std::string device;
  std::string name;
  if (fields_.device == kVirtualSensorDevice) {
    device = virtualSensor_.Open();
    if (device.empty()) {
      link_.port().Close();
      view_.SetStatus(virtualSensor_.failure());
      return false;
    }
    name = device;
  } else if (!fields_.device.empty()) {
    device = fields_.device;
    name = device;
  } else if (number == 0) {
    device = view_.ChoosePort(FindSerialPorts());
    name = device;
  } else {
    device = PortResolver::Resolve(number);
    name = PortResolver::PortName(number) + " (" + device + ")";
  }
  std::string reason;
  if (device.empty()) {
    link_.port().Close();
    reason = "no port chosen";
  } else if (link_.port().Open(device, hostBaudInUse_, &reason)) {
    portName_ = name;
    link_.ResetReplyCounts();
    return true;
  }
  view_.SetStatus("Error Opening ComPort! " + (name.empty() ? std::string() : name + ": ") + reason);
  view_.Log("Error Opening ComPort! " + (name.empty() ? std::string() : name + ": ") + reason);
  return false;
}

bool Operations::Probe() {
  Reply reply;
  link_.SetCrc(false);
  Send(cmd::GetRange);
  if (link_.ReceiveFrame(false, OstrelLink::kReadTimeoutMs, reply)) return true;
  link_.SetCrc(true);
  Send(cmd::GetRange);
  return link_.ReceiveFrame(true, OstrelLink::kReadTimeoutMs, reply);
}

void Operations::GetSensorData() {
  ReadVersion();
  ReadSetup();
  ReadWane();
  ReadBoardTimeout();
  ReadSerial();
  ReadModelName();
  fields_.sensorBaud = fields_.hostBaud;
  view_.FieldsChanged();
}

void Operations::ReadVersion() {
  Status("");
  Reply r;
  Send(cmd::GetKRV04Version);
  if (!Receive(r, 6)) {
    link_.ProcessErrorMsg(link_.receiveStatus());
    return;
  }
  fields_.firmwarePanel = FormatFirmware(r.Word(0, link_.crc()), r.Data(4));
  fields_.fpgaPanel = FormatFpga(r.Data(5));
}

bool Operations::ReadSetup() {
  Status("");
  Reply r;
  Send(cmd::GetKRV04Setup);
  if (!Receive(r, 28)) {
    link_.ProcessErrorMsg(link_.receiveStatus());
    return false;
  }
  sensor_.maxLaserPower = r.Data(8);
  sensor_.minLaserPower = r.Data(9);
  sensor_.threshold = r.Data(10);
  addressRead_ = std::to_string(r.Data(11));
  unit_ = &UnitSetOfMode(r.Data(27));
  sensor_.mode = unit_->modeEntry;
  Know({"Max. Laser Pwr", "Min. Laser Pwr", "Threshold", "Mode"});
  fields_.maxPwr = std::to_string(sensor_.maxLaserPower);
  fields_.minPwr = std::to_string(sensor_.minLaserPower);
  fields_.threshold = std::to_string(sensor_.threshold);
  fields_.address = addressRead_;
  fields_.mode = unit_->modeEntry;
  rememberedMode_ = unit_->modeEntry;
  fields_.unitText = unit_->text;
  return true;
}

bool Operations::ReadWane() {
  Status("");
  Reply r;
  Send(cmd::ReadWaneParams);
  if (!Receive(r, 12)) return false;  // silent
  const bool crc = link_.crc();
  sensor_.waneHeight = r.Word(0, crc);
  sensor_.waneWidth = r.Word(2, crc);
  sensor_.speed = r.Word(4, crc);
  for (size_t i = 0; i < sensor_.reserved.size(); ++i) sensor_.reserved[i] = r.Data(6 + i);
  sensor_.pulse = r.Word(10, crc);
  Know({"Min. Wane Height", "Min. Wane Width", "Conveyor Speed", "Pulse Duration"});
  fields_.minHt = FormatScaled(sensor_.waneHeight, *unit_);
  fields_.minLen = FormatScaled(sensor_.waneWidth, *unit_);
  fields_.speed = std::to_string(sensor_.speed);
  fields_.pulse = std::to_string(sensor_.pulse);
  return true;
}

bool Operations::ReadBoardTimeout() {
  Status("");
  Reply r;
  Send(cmd::GetBoardTimeout);
  if (!Receive(r, 2)) {
    link_.ProcessErrorMsg(link_.receiveStatus());
    return false;
  }
  sensor_.boardTimeout = r.Word(0, link_.crc());
  Know({"Board Timeout"});
  fields_.timeout = std::to_string(sensor_.boardTimeout);
  return true;
}

void Operations::ReadSerial() {
  Status("");
  Reply r;
  Send(cmd::GetSerialNum);
  if (!Receive(r, 8)) {
    link_.ProcessErrorMsg(link_.receiveStatus());
    return;
  }
  fields_.serialPanel = TextOf(r.DataPointer(), r.DataLength(), 8);
  fields_.serial = fields_.serialPanel;
  lastSerialData_.assign(r.DataPointer(), r.DataPointer() + std::min<size_t>(r.DataLength(), 16));
  lastSerialData_.resize(16, 0);
}

bool Operations::ReadModelName() {
  Status("");
  Reply r;
  Send(cmd::GetModelName);
  if (!Receive(r, 2)) {
    link_.ProcessErrorMsg(link_.receiveStatus());
    return false;
  }
  lastModelName_ = TextOf(r.DataPointer() + 2, r.DataLength() - 2, 16);
  lastModelData_.assign(r.DataPointer(), r.DataPointer() + std::min<size_t>(r.DataLength(), 16));
  lastModelData_.resize(16, 0);
  fields_.modelPanel = lastModelName_;
  fields_.model = ModelEntryOfName(lastModelName_);
  return true;
}

}  // namespace ostrel
