// The setting buttons of the Settings tab: each checks its field, sends
// the setting and shows what the sensor reports afterwards.

#include <algorithm>
#include <string>

#include "ostrel/operations/busy.h"
#include "ostrel/operations/ostrel_commands.h"

namespace ostrel {
namespace {

constexpr const char* kValueError254 = "Invalid Value Entered!\r\n(Valid values 0-254)";
constexpr const char* kValueError255 = "Invalid Value Entered!\r\n(Valid values 0-255)";
constexpr const char* kAddressError = "Invalid Address Entered!\r\n(Valid values 1-255)";

}  // namespace

bool Operations::SetByteSetting(Field field, std::string& text, long most, const char* message,
                                uint8_t setCommand, uint8_t getCommand, bool clearStatus) {
  Busy busy(busy_);
  if (!busy.held()) return false;
  if (clearStatus) Status("");
  const long value = ParseNumber(text);
  const char* name = field == Field::kMinPwr ? "Min. Laser Pwr" : field == Field::kMaxPwr ? "Max. Laser Pwr" : "Threshold";
  if (value < 0 || value > most) {
    RecordWrite(name, "", text, history::Outcome::kRefused);
    view_.ShowInputError(message, field);
    return true;
  }
  const auto sent = static_cast<uint8_t>(value);
  link_.SendSetting(setCommand, {sent});
  Send(getCommand);
  Reply r;
  const bool readBack = Receive(r, 1);
  RecordWrite(name, "", std::to_string(sent),
              !readBack ? history::Outcome::kNotVerified
                        : r.Data(0) == sent ? history::Outcome::kVerified : history::Outcome::kFailed);
  if (readBack) {  // a failed read-back is silent
    text = std::to_string(r.Data(0));
    if (r.Data(0) != sent) Status("Error!");
    view_.FieldsChanged();
  }
  return true;
}

bool Operations::SetMinLaserPower() {
  return SetByteSetting(Field::kMinPwr, fields_.minPwr, 254, kValueError254, command::SetMinLP, command::GetMinLP,
                        true);
}

bool Operations::SetMaxLaserPower() {
  if (busy_) return false;
  if (fields_.maxPwr.empty()) fields_.maxPwr = "0";
  return SetByteSetting(Field::kMaxPwr, fields_.maxPwr, 254, kValueError254, command::SetMaxLP, command::GetMaxLP,
                        true);
}

bool Operations::SetThreshold() {
  return SetByteSetting(Field::kThreshold, fields_.threshold, 255, kValueError255, command::SetThreshold,
                        command::GetThreshold, false);
}

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
  link_.SendSetting(command::SetSerialNum, data);
  Send(command::GetSerialNum);
  Reply r;
  if (Receive(r, 1)) {
    bool same = r.DataLength() >= data.size();
    for (size_t i = 0; same && i < data.size() && i < 16; ++i) same = r.Data(i) == data[i];
    if (!same) Status("Error!");
    RecordWrite("Serial number", fields_.serialPanel, fields_.serial,
                same ? history::Outcome::kVerified : history::Outcome::kFailed);
    fields_.serialPanel = TextOf(r.DataPointer(), r.DataLength(), 8);
    lastSerialData_.assign(r.DataPointer(), r.DataPointer() + std::min<size_t>(r.DataLength(), 16));
    lastSerialData_.resize(16, 0);
    view_.FieldsChanged();
  }
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
  link_.SendSetting(command::SetModelName, untouched ? lastModelData_ : ModelNameData(entry));
  const std::string before = lastModelName_;
  ReadModelName();
  RecordWrite("Model", before, kModelEntries[entry], history::Outcome::kNotVerified);
  view_.FieldsChanged();
  return true;
}

bool Operations::SetAddress() {
  Busy busy(busy_);
  if (!busy.held()) return false;
  const long address = ParseNumber(fields_.address);
  if (address < 1 || address > 255) {
    RecordWrite("Address", fields_.connAddr, fields_.address, history::Outcome::kRefused);
    view_.ShowInputError(kAddressError, Field::kAddress);
    return true;
  }
  // The serial number names the sensor whose address changes.
  std::vector<uint8_t> data(fields_.serial.begin(), fields_.serial.end());
  data.push_back(static_cast<uint8_t>(address));
  link_.SendSetting(command::SetSensorAddress, data);
  // With the global address every request goes to address 0, this one too.
  const uint8_t check = fields_.useGlobalAddress ? 0 : static_cast<uint8_t>(address);
  link_.SendFrame(command::GetRange, check, {}, link_.crc());
  Reply r;
  const bool answered = Receive(r, 0);
  RecordWrite("Address", fields_.connAddr, std::to_string(address),
              answered ? history::Outcome::kVerified : history::Outcome::kFailed);
  if (!answered) {
    Status("Error!");
    return true;
  }
  if (!fields_.useGlobalAddress) {
    link_.SetAddress(static_cast<uint8_t>(address));
    fields_.connAddr = std::to_string(address);
    view_.FieldsChanged();
  }
  return true;
}

bool Operations::SetSensorBaudRate() {
  const int32_t before = hostBaudInUse_;
  {
    Busy busy(busy_);
    if (!busy.held()) return false;
    int entry = fields_.sensorBaud;
    if (entry < 0 || entry > 3) entry = fields_.hostBaud;
    if (entry < 0 || entry > 3) return true;  // no rate to choose from
    link_.SendSetting(command::SetBaudRate, {static_cast<uint8_t>(entry)});
    fields_.hostBaud = entry;
    view_.FieldsChanged();
  }
  const bool result = Connect();
  RecordWrite("Baud rate", std::to_string(before), std::to_string(kBaudRates[fields_.hostBaud]),
              connected_ ? history::Outcome::kVerified : history::Outcome::kNotVerified);
  return result;
}

bool Operations::SetCheckMode() {
  {
    Busy busy(busy_);
    if (!busy.held()) return false;
    const int entry = fields_.checkMode >= 0 ? fields_.checkMode : (link_.crc() ? 1 : 0);
    link_.SendSetting(command::SetSensorCheckMode, {static_cast<uint8_t>(entry == 0 ? 0x01 : 0x00)});
    RecordWrite("Check mode", kCheckModeEntries[link_.crc() ? 1 : 0], kCheckModeEntries[entry],
                history::Outcome::kNotVerified);
  }
  return Connect();
}

bool Operations::SetMode() {
  int noted = 0;
  int entry = 0;
  {
    Busy busy(busy_);
    if (!busy.held()) return false;
    noted = rememberedMode_;
    entry = fields_.mode >= 0 ? fields_.mode : rememberedMode_;
    link_.SendSetting(command::SetKRV04Mode, {static_cast<uint8_t>(entry)});
  }
  Connect();
  RecordWrite("Mode", kModeEntries[noted != 0 ? 1 : 0], kModeEntries[entry != 0 ? 1 : 0],
              !connected_ ? history::Outcome::kNotVerified
                          : rememberedMode_ == entry ? history::Outcome::kVerified : history::Outcome::kFailed);
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
    Send(command::SetDefaults);
    RecordWrite("Set To Default", "", "factory defaults", history::Outcome::kNotVerified);
    link_.WaitMs(200);
    fields_.connAddr = "1";
    view_.FieldsChanged();
  }
  return Connect();
}

bool Operations::LaserOn() {
  Busy busy(busy_);
  if (!busy.held()) return false;
  Status("");
  Send(command::SetLaserOn);
  link_.WaitMs(10);
  return true;
}

bool Operations::LaserOff() {
  Busy busy(busy_);
  if (!busy.held()) return false;
  Status("");
  Send(command::SetLaserOff);
  link_.WaitMs(10);
  return true;
}

}  // namespace ostrel
