// The setting buttons of the Settings tab: each checks its field, sends
// the setting and shows what the sensor reports afterwards.

#include <algorithm>
#include <string>

#include "ostrel/operations/busy.h"
#include "protocol/command_ids.h"

namespace ostrel {
namespace {

constexpr const char* kValueError254 = "Invalid Value Entered!\r\n(Valid values 0-254)";
constexpr const char* kValueError255 = "Invalid Value Entered!\r\n(Valid values 0-255)";
constexpr const char* kAddressError = "Invalid Address Entered!\r\n(Valid values 1-255)";

}  // namespace

// One of the byte settings of the laser and threshold buttons.
struct ByteSetting {
  const char* name;  // the button's caption, as SettingValues names it
  Field field;
  std::string WindowFields::*text;
  uint8_t SensorSettings::*value;
  long most;
  const char* message;
  uint8_t setCommand;
  uint8_t getCommand;
  bool clearStatus;  // the two power buttons clear the status line first
};

namespace {

const ByteSetting kMinLaserPower{"Min. Laser Pwr", Field::kMinPwr, &WindowFields::minPwr,
                                 &SensorSettings::minLaserPower, 254, kValueError254, cmd::SetMinLP, cmd::GetMinLP,
                                 true};
const ByteSetting kMaxLaserPower{"Max. Laser Pwr", Field::kMaxPwr, &WindowFields::maxPwr,
                                 &SensorSettings::maxLaserPower, 254, kValueError254, cmd::SetMaxLP, cmd::GetMaxLP,
                                 true};
const ByteSetting kThreshold{"Threshold", Field::kThreshold, &WindowFields::threshold, &SensorSettings::threshold,
                             255, kValueError255, cmd::SetThreshold, cmd::GetThreshold, false};

// Why a write could not be read back, with the receive status.
std::string ReadBackFailed(int status) { return "reading it back failed (" + ReceiveStatusText(status) + ")"; }

}  // namespace

bool Operations::SetByteSetting(const ByteSetting& setting) {
  Busy busy(busy_);
  if (!busy.held()) return false;
  if (setting.clearStatus) Status("");
  std::string& text = fields_.*setting.text;
  const long value = ParseNumber(text);
  SettingWrite write{setting.name, Before(setting.name)};
  if (value < 0 || value > setting.most) {
    RecordWrite(setting.name, write.before, text, history::Outcome::kRefused);
    view_.ShowInputError(setting.message, setting.field);
    return true;
  }
  SensorSettings sent = sensor_;
  sent.*setting.value = static_cast<uint8_t>(value);
  write.sent = ShownValue(sent, setting.name);
  link_.SendSetting(setting.setCommand, {sent.*setting.value});
  Send(setting.getCommand);
  Reply r;
  write.readBack = Receive(r, 1);
  if (write.readBack) {
    // The field shows what the sensor holds, also when it differs.
    sensor_.*setting.value = r.Data(0);
    Know({setting.name});
    text = std::to_string(r.Data(0));
    write.asSent = r.Data(0) == sent.*setting.value;
    write.now = ShownValue(sensor_, setting.name);
    view_.FieldsChanged();
  } else {
    write.why = ReadBackFailed(link_.receiveStatus());
  }
  Status(ReportWrites({write}));
  return true;
}

bool Operations::SetMinLaserPower() { return SetByteSetting(kMinLaserPower); }

bool Operations::SetMaxLaserPower() {
  if (busy_) return false;
  if (fields_.maxPwr.empty()) fields_.maxPwr = "0";
  return SetByteSetting(kMaxLaserPower);
}

bool Operations::SetThreshold() { return SetByteSetting(kThreshold); }

int Operations::ModelEntryWhenNoneChosen() const {
  return lastModelName_.find('D') != std::string::npos ? 0 : 1;
}

bool Operations::SetSerialNumber() {
  Busy busy(busy_);
  if (!busy.held()) return false;
  std::vector<uint8_t> data(fields_.serial.begin(), fields_.serial.end());
  data.resize(data.size() + 8, 0);
  // The field shows only the first 8 of the 16 bytes read: while it still
  // shows what was read, all 16 go back as they were read.
  if (!lastSerialData_.empty() && fields_.serial == TextOf(lastSerialData_.data(), lastSerialData_.size(), 8))
    data = lastSerialData_;
  link_.SendSetting(cmd::SetSerialNum, data);
  Send(cmd::GetSerialNum);
  SettingWrite write{"Serial number", fields_.serialPanel, fields_.serial};
  Reply r;
  write.readBack = Receive(r, 1);
  if (write.readBack) {
    write.asSent = r.DataLength() >= data.size();
    for (size_t i = 0; write.asSent && i < data.size() && i < 16; ++i) write.asSent = r.Data(i) == data[i];
    fields_.serialPanel = TextOf(r.DataPointer(), r.DataLength(), 8);
    write.now = fields_.serialPanel;
    lastSerialData_.assign(r.DataPointer(), r.DataPointer() + std::min<size_t>(r.DataLength(), 16));
    lastSerialData_.resize(16, 0);
    view_.FieldsChanged();
  } else {
    write.why = ReadBackFailed(link_.receiveStatus());
  }
  Status(ReportWrites({write}));
  return true;
}

bool Operations::SetModel() {
  Busy busy(busy_);
  if (!busy.held()) return false;
  int entry = fields_.model;
  if (entry < 0 || entry > 3) entry = ModelEntryWhenNoneChosen();
  // The list cannot show every name a sensor reports ("M3-9-6BF" shows as
  // "Other"): while it still shows the entry of the name read, the name
  // goes back as it was read instead of the entry's fixed text.
  const bool untouched = !lastModelData_.empty() && entry == ModelEntryOfName(lastModelName_);
  const std::vector<uint8_t> data = untouched ? lastModelData_ : ModelNameData(entry);
  link_.SendSetting(cmd::SetModelName, data);
  SettingWrite write{"Model", lastModelName_, untouched ? lastModelName_ : kModelEntries[entry]};
  write.readBack = ReadModelName();
  if (write.readBack) {
    write.asSent = lastModelData_ == data;
    write.now = lastModelName_;
  } else {
    write.why = ReadBackFailed(link_.receiveStatus());
  }
  view_.FieldsChanged();
  Status(ReportWrites({write}));
  return true;
}

bool Operations::SetAddress() {
  Busy busy(busy_);
  if (!busy.held()) return false;
  const long address = ParseNumber(fields_.address);
  SettingWrite write{"Address", addressRead_};
  if (address < 1 || address > 255) {
    RecordWrite("Address", write.before, fields_.address, history::Outcome::kRefused);
    view_.ShowInputError(kAddressError, Field::kAddress);
    return true;
  }
  // The serial number names the sensor whose address changes.
  std::vector<uint8_t> data(fields_.serial.begin(), fields_.serial.end());
  data.push_back(static_cast<uint8_t>(address));
  link_.SendSetting(cmd::SetSensorAddress, data);
  // With the global address every request goes to address 0, this one too.
  const uint8_t check = fields_.useGlobalAddress ? 0 : static_cast<uint8_t>(address);
  link_.SendFrame(cmd::GetRange, check, {}, link_.crc());
  Reply r;
  write.sent = std::to_string(address);
  write.readBack = true;  // an answer at the new address is the read-back
  write.asSent = Receive(r, 0);
  if (write.asSent) {
    write.now = write.sent;
    addressRead_ = write.sent;
  } else {
    write.why = "no answer at address " + write.sent + " (" + ReceiveStatusText(link_.receiveStatus()) + ")";
  }
  Status(ReportWrites({write}));
  if (!write.asSent) return true;
  if (!fields_.useGlobalAddress) {
    link_.SetAddress(static_cast<uint8_t>(address));
    fields_.connAddr = std::to_string(address);
    view_.FieldsChanged();
  }
  return true;
}

// The changes that end in a new connect: the connect's probe and reads
// are their read-back. A connect that failed keeps its own status line.
void Operations::ReconnectedWrite(SettingWrite write, const std::string& now, bool asSent) {
  write.readBack = connected_;
  write.asSent = connected_ && asSent;
  write.now = now;
  if (!connected_) write.why = "no connection after it (see the status line)";
  const std::string summary = ReportWrites({write});
  if (connected_) Status(summary);
}

bool Operations::SetSensorBaudRate() {
  SettingWrite write{"Baud rate", std::to_string(hostBaudInUse_)};
  {
    Busy busy(busy_);
    if (!busy.held()) return false;
    int entry = fields_.sensorBaud;
    if (entry < 0 || entry > 3) entry = fields_.hostBaud;
    if (entry < 0 || entry > 3) return true;  // no rate to choose from
    link_.SendSetting(cmd::SetBaudRate, {static_cast<uint8_t>(entry)});
    fields_.hostBaud = entry;
    write.sent = std::to_string(kBaudRates[entry]);
    view_.FieldsChanged();
  }
  const bool result = Connect();
  // Answering at the new rate is having taken it.
  ReconnectedWrite(write, std::to_string(hostBaudInUse_), true);
  return result;
}

bool Operations::SetCheckMode() {
  SettingWrite write{"Check mode", kCheckModeEntries[link_.crc() ? 1 : 0]};
  int entry = 0;
  {
    Busy busy(busy_);
    if (!busy.held()) return false;
    entry = fields_.checkMode >= 0 ? fields_.checkMode : (link_.crc() ? 1 : 0);
    link_.SendSetting(cmd::SetSensorCheckMode, {static_cast<uint8_t>(entry == 0 ? 0x01 : 0x00)});
    write.sent = kCheckModeEntries[entry];
  }
  const bool result = Connect();
  ReconnectedWrite(write, kCheckModeEntries[link_.crc() ? 1 : 0], link_.crc() == (entry == 1));
  return result;
}

bool Operations::SetMode() {
  int noted = 0;
  int entry = 0;
  {
    Busy busy(busy_);
    if (!busy.held()) return false;
    noted = rememberedMode_;
    entry = fields_.mode >= 0 ? fields_.mode : rememberedMode_;
    link_.SendSetting(cmd::SetKRV04Mode, {static_cast<uint8_t>(entry)});
  }
  SettingWrite write{"Mode", Before("Mode"), kModeEntries[entry != 0 ? 1 : 0]};
  Connect();
  ReconnectedWrite(write, kModeEntries[rememberedMode_ != 0 ? 1 : 0], rememberedMode_ == (entry != 0 ? 1 : 0));
  if (connected_ && rememberedMode_ != noted) {
    view_.ShowInformation(
        "Sensor Mode (Metric/Imperial) has changed.\r\nWane Settings may need to be Reconfigured!");
  }
  return true;
}

bool Operations::SetToDefault() {
  {
    Busy busy(busy_);
    if (!busy.held()) return false;
    Send(cmd::SetDefaults);
    // The factory values are the sensor's own: there is nothing to compare
    // the settings read afterwards with.
    RecordWrite("Set To Default", "", "factory defaults", history::Outcome::kNotVerified);
    link_.WaitMs(200);
    fields_.connAddr = "1";
    view_.FieldsChanged();
  }
  const bool result = Connect();
  if (connected_) Status("Set To Default sent: the fields show the settings the sensor holds now");
  return result;
}

bool Operations::LaserOn() {
  Busy busy(busy_);
  if (!busy.held()) return false;
  Status("");
  Send(cmd::SetLaserOn);
  link_.WaitMs(10);
  return true;
}

bool Operations::LaserOff() {
  Busy busy(busy_);
  if (!busy.held()) return false;
  Status("");
  Send(cmd::SetLaserOff);
  link_.WaitMs(10);
  return true;
}

}  // namespace ostrel
