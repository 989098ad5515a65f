#include "tarkon/document/start_connect.h"

#include <climits>
#include <cstdint>

#include "tarkon/document/number_reading.h"

std::string CheckBaudOption(const std::string& text, int32_t* rate) {
  int64_t value = 0;
  if (!IsWholeNumber(text, &value) || value < 0 || value > INT32_MAX || !IsSensorBaudRate(static_cast<int32_t>(value)))
    return "--baud takes " + BaudRatesPhrase() + ", not \"" + text + "\"";
  if (rate != nullptr) *rate = static_cast<int32_t>(value);
  return std::string();
}

std::string CheckAddressOption(const std::string& text, uint8_t* address) {
  // The address dialog's own check and message.
  const std::string refusal = CheckAddressText(text, address);
  return refusal.empty() ? refusal : "--address \"" + text + "\": " + refusal;
}

std::string ApplyStartConnect(const StartConnectTexts& texts, ConnectValues* values) {
  ConnectValues out = *values;
  if (PortNumberOfText(texts.port) < 0 && DevicePathOfText(texts.port).empty())
    return "--port takes COMn or a device path such as /dev/ttyUSB0, not \"" + texts.port + "\"";
  out.portText = texts.port;
  if (texts.baud) {
    int32_t rate = 0;
    if (std::string refusal = CheckBaudOption(*texts.baud, &rate); !refusal.empty()) return refusal;
    out.baudChoice = ConnectBaudChoice(rate);
  }
  if (texts.address) {
    uint8_t address = 0;
    if (std::string refusal = CheckAddressOption(*texts.address, &address); !refusal.empty()) return refusal;
    out.address = address;
    out.globalAddress = address == 0;
  }
  *values = out;
  return std::string();
}
