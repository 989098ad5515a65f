#include "tarkon/document/start_connect.h"

#include <cstdint>

#include "tarkon/document/number_reading.h"

std::string ApplyStartConnect(const StartConnectTexts& texts, ConnectValues* values) {
  ConnectValues out = *values;
  if (PortNumberOfText(texts.port) < 0 && DevicePathOfText(texts.port).empty())
    return "--port takes COMn or a device path such as /dev/ttyUSB0, not \"" + texts.port + "\"";
  out.portText = texts.port;
  if (texts.baud) {
    int64_t rate = 0;
    if (!IsWholeNumber(*texts.baud, &rate) || rate < 0 || rate > INT32_MAX || !IsSensorBaudRate(static_cast<int32_t>(rate)))
      return "--baud takes 9600, 19200, 38400 or 57600, not \"" + *texts.baud + "\"";
    out.baudChoice = ConnectBaudChoice(static_cast<int32_t>(rate));
  }
  if (texts.address) {
    uint8_t address = 0;
    // The address dialog's own check and message.
    const std::string refusal = CheckAddressText(*texts.address, &address);
    if (!refusal.empty()) return "--address \"" + *texts.address + "\": " + refusal;
    out.address = address;
    out.globalAddress = address == 0;
  }
  *values = out;
  return std::string();
}
