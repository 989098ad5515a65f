#include "ostrel/operations/start_connect.h"

#include <cctype>
#include <charconv>
#include <iterator>

#include "serial/network_port_name.h"
#include "serial/port_resolver.h"

namespace ostrel {
namespace {

// The whole text one decimal number, nothing before or after it.
bool WholeNumber(const std::string& text, long* value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, *value);
  return !text.empty() && error == std::errc() && stop == end;
}

// n of "COMn" in any case; 0 for any other text.
long PortNumber(const std::string& text) {
  if (text.size() < 4) return 0;
  for (size_t i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i]) return 0;
  long number = 0;
  return WholeNumber(text.substr(3), &number) && number > 0 ? number : 0;
}

}  // namespace

std::string ApplyPortText(const std::string& text, WindowFields& fields) {
  const long number = PortNumber(text);
  if (number >= 1 && number <= static_cast<long>(std::size(kPortEntries))) {
    fields.port = static_cast<int>(number - 1);
    fields.device.clear();
  } else if (number > 0) {
    // Beyond the list's COM1..COM4: the port's device, as the port map has it.
    fields.port = -1;
    fields.device = PortResolver::ResolveName(text);
  } else if ((!text.empty() && text[0] == '/') || IsNetworkPortName(text)) {
    // A gateway's name that is not well formed is refused by the open, in
    // the parser's words.
    fields.port = -1;
    fields.device = text;
  } else {
    return "takes COMn or a device path such as /dev/ttyUSB0, not \"" + text + "\"";
  }
  return std::string();
}

std::string ApplyStartConnect(const StartConnectTexts& texts, WindowFields& fields) {
  WindowFields out = fields;
  if (std::string refusal = ApplyPortText(texts.port, out); !refusal.empty()) return "--port " + refusal;
  if (texts.baud) {
    long rate = 0;
    int entry = -1;
    if (WholeNumber(*texts.baud, &rate)) {
      for (size_t i = 0; i < std::size(kBaudRates); ++i)
        if (kBaudRates[i] == rate) entry = static_cast<int>(i);
    }
    if (entry < 0) return "--baud takes 9600, 19200, 38400 or 57600, not \"" + *texts.baud + "\"";
    out.hostBaud = entry;
  }
  if (texts.address) {
    long address = 0;
    if (!WholeNumber(*texts.address, &address) || address < 0 || address > 255)
      return "--address takes 1 to 255, or 0 for the global address, not \"" + *texts.address + "\"";
    out.useGlobalAddress = address == 0;
    if (address != 0) out.connAddr = std::to_string(address);
  }
  fields = out;
  return std::string();
}

}  // namespace ostrel
