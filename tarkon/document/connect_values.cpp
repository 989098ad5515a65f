#include "tarkon/document/connect_values.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "serial/port_resolver.h"
#include "tarkon/models/model_table.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/document/port_text.h"

namespace {

constexpr int32_t kRates[] = {9600, 19200, 38400, 57600};

}  // namespace

int ConnectBaudChoice(int32_t baudRate) {
  switch (baudRate) {
    case 9600:
      return 0;
    case 19200:
      return 1;
    case 38400:
      return 2;
    default:
      return 3;
  }
}

int32_t BaudRateOfChoice(int choice) {
  if (choice < 0 || choice > 3) return 9600;
  return kRates[choice];
}

int32_t ParityOfChoice(bool enabled, int choice) {
  if (!enabled) return kParityNone;
  switch (choice) {
    case 0:
      return kParityEven;
    case 1:
      return kParityMark;
    case 3:
      return kParityOdd;
    default:
      return kParityNone;
  }
}

int32_t StopBitsOfChoice(int choice) {
  switch (choice) {
    case 1:
      return kStopOneAndHalf;
    case 2:
      return kStopTwo;
    default:
      return kStopOne;
  }
}

int32_t DataBitsOfChoice(int choice) {
  if (choice < 0 || choice > 4) return 8;
  return 8 - choice;
}

int PortNumberOfText(const std::string& portText) { return ParsePortText(portText).number; }

std::string DevicePathOfText(const std::string& portText) { return ParsePortText(portText).device; }

ConnectValues ConnectValuesFromSettings(const SettingsFile::SerialValues& stored) {
  ConnectValues values;
  values.portText = stored.device.empty() ? "COM" + std::to_string(stored.port) : stored.device;
  values.baudChoice = ConnectBaudChoice(stored.baudRate);
  values.address = static_cast<uint8_t>(stored.address & 0xFF);
  values.readTimeout = stored.readTimeout;
  values.writeTimeout = stored.writeTimeout;
  values.rs485 = stored.rs485;
  return values;
}

ConnectTarget ConnectTargetFromValues(const ConnectValues& values) {
  ConnectTarget target;
  target.device = DevicePathOfText(values.portText);
  target.port = target.device.empty() ? PortNumberOfText(values.portText) : -1;
  target.baudRate = BaudRateOfChoice(values.baudChoice);
  target.parity = ParityOfChoice(values.parityEnabled, values.parityChoice);
  target.stopBits = StopBitsOfChoice(values.stopBitChoice);
  target.dataBits = DataBitsOfChoice(values.dataBitChoice);
  target.address = values.globalAddress ? 0 : values.address;
  target.readTimeout = values.readTimeout;
  target.writeTimeout = values.writeTimeout;
  target.rs485 = values.rs485;
  return target;
}

SettingsFile::SerialValues SerialValuesOfConnection(const ConnectTarget& target,
                                                    const SettingsFile::SerialValues& stored) {
  SettingsFile::SerialValues values;
  values.port = target.device.empty() ? target.port : stored.port;
  values.device = target.device;
  values.baudRate = target.baudRate;
  values.address = target.address;
  values.readTimeout = target.readTimeout;
  values.writeTimeout = target.writeTimeout;
  values.rs485 = target.rs485;
  return values;
}

bool StoredAddressFits(const std::string& text) {
  int64_t address = 0;
  return IsWholeNumber(text, &address) && address >= 0 && address <= 255;
}

std::string StoredAddressRefusedLine(const std::string& text, const std::string& path) {
  const std::string shown = text.size() > 40 ? text.substr(0, 40) + "..." : text;
  return "Address=" + shown + " in " + path +
         " is not 1 to 255 (or 0, the global address): address 1 is used, and the file keeps its value";
}

ConnectTarget TargetAfterChange(ConnectTarget connection, int32_t baudRate, int32_t address) {
  connection.baudRate = baudRate;
  connection.address = static_cast<uint8_t>(address & 0xFF);
  return connection;
}

int32_t PortTimeoutMs(uint32_t stored) {
  return stored > static_cast<uint32_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(stored);
}

ConnectDialogState::ConnectDialogState(const ConnectValues& filled)
    : portText(filled.portText),
      baudChoice(filled.baudChoice),
      stopBitChoice(filled.stopBitChoice),
      parityChoice(filled.parityChoice),
      dataBitChoice(filled.dataBitChoice),
      readTimeoutText(std::to_string(filled.readTimeout)),
      writeTimeoutText(std::to_string(filled.writeTimeout)),
      rs485(filled.rs485),
      parityEnabled_(filled.parityEnabled),
      address_(filled.address) {
  if (filled.address == 0 || filled.globalAddress) {
    // Global address from the start: the warning appears only when the
    // user switches it on.
    global_ = true;
    address_ = 0;
    addressText = "0";
  } else {
    addressText = std::to_string(filled.address);
  }
}

void ConnectDialogState::ClickParity() { parityEnabled_ = !parityEnabled_; }

void ConnectDialogState::ClickGlobalAddress() {
  if (global_) {
    SwitchGlobalOff();
  } else {
    SwitchGlobalOn();
  }
}

void ConnectDialogState::SwitchGlobalOn() {
  warning_ = true;
  addressText = "0";
  address_ = 0;
  global_ = true;
}

void ConnectDialogState::SwitchGlobalOff() {
  if (address_ == 0) address_ = 1;
  addressText = std::to_string(address_);
  warning_ = false;
  global_ = false;
}

void ConnectDialogState::LeaveAddressField() {
  int32_t value = ReadWholeNumber(addressText);
  if (value != 0) {
    address_ = static_cast<uint8_t>(value & 0xFF);
  } else if (!global_) {
    SwitchGlobalOn();
  }
}

std::string ConnectDialogState::Accept(ConnectValues* out) const {
  int64_t address = 0;
  if (!IsWholeNumber(addressText, &address) || address < 0 || address > 255) {
    return kAddressRangeMessage;
  }
  uint32_t readTimeout = 0;
  uint32_t writeTimeout = 0;
  if (std::string m = CheckTimeoutText(readTimeoutText, &readTimeout); !m.empty()) return m;
  if (std::string m = CheckTimeoutText(writeTimeoutText, &writeTimeout); !m.empty()) return m;
  if (out != nullptr) {
    out->portText = portText;
    out->baudChoice = baudChoice;
    out->stopBitChoice = stopBitChoice;
    out->parityEnabled = parityEnabled_;
    out->parityChoice = parityChoice;
    out->dataBitChoice = dataBitChoice;
    out->address = static_cast<uint8_t>(address);
    out->globalAddress = global_;
    out->readTimeout = readTimeout;
    out->writeTimeout = writeTimeout;
    out->rs485 = rs485;
  }
  return std::string();
}

std::string CheckTimeoutText(const std::string& text, uint32_t* timeout) {
  int64_t value = 0;
  if (!IsWholeNumber(text, &value) || value < 0 || value > static_cast<int64_t>(UINT32_MAX)) {
    return kPositiveIntegerMessage;
  }
  if (timeout != nullptr) *timeout = static_cast<uint32_t>(value);
  return std::string();
}

std::vector<int32_t> SensorBaudRates() { return {std::begin(kRates), std::end(kRates)}; }

std::vector<std::string> BaudRateTexts() {
  std::vector<std::string> texts;
  for (int32_t rate : kRates) texts.push_back(std::to_string(rate));
  return texts;
}

std::string BaudRatesPhrase() {
  const std::vector<std::string> texts = BaudRateTexts();
  std::string phrase;
  for (size_t i = 0; i < texts.size(); ++i) {
    phrase += (i == 0 ? "" : i + 1 == texts.size() ? " or " : ", ") + texts[i];
  }
  return phrase;
}

std::string CheckAddressText(const std::string& text, uint8_t* address) {
  int64_t value = 0;
  if (!IsWholeNumber(text, &value) || value < 0 || value > 255) return kAddressRangeMessage;
  if (address != nullptr) *address = static_cast<uint8_t>(value);
  return std::string();
}

std::string AddressDialogSerial(const uint8_t serialNumber[16]) {
  return ReplyText(serialNumber, 16, 8);
}

void BuildAddressPayload(const std::string& serialText, uint8_t address, uint8_t payload[9]) {
  std::memset(payload, 0, 9);
  for (size_t i = 0; i < serialText.size() && i < 8 && serialText[i] != 0; ++i) {
    payload[i] = static_cast<uint8_t>(serialText[i]);
  }
  payload[8] = address;
}

int BaudDialogChoice(int32_t baudRate) {
  switch (baudRate) {
    case 19200:
      return 1;
    case 38400:
      return 2;
    case 57600:
      return 3;
    default:
      return 0;
  }
}

int32_t BaudDialogRate(int choice) { return BaudRateOfChoice(choice); }

bool IsSensorBaudRate(int32_t baudRate) { return BaudRateOfChoice(ConnectBaudChoice(baudRate)) == baudRate; }
