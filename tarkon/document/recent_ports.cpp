#include "tarkon/document/recent_ports.h"

#include <algorithm>


RecentPort RecentPortOfConnect(const ConnectValues& values) {
  RecentPort port;
  port.portText = values.portText;
  port.baudRate = BaudRateOfChoice(values.baudChoice);
  port.address = values.globalAddress ? 0 : values.address;
  return port;
}

std::vector<RecentPort> RememberRecentPort(const std::vector<RecentPort>& list, const RecentPort& used) {
  std::vector<RecentPort> out{used};
  for (const RecentPort& p : list) {
    if (out.size() == kRecentPortCount) break;
    if (p.portText != used.portText) out.push_back(p);
  }
  return out;
}

std::string RecentPortText(const RecentPort& port) {
  return std::to_string(port.baudRate) + "," + std::to_string(port.address) + "," + port.portText;
}

namespace {
// A whole decimal number of digits only, at most `most`.
std::optional<int64_t> Digits(const std::string& text, int64_t most) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > most) return std::nullopt;
  return value;
}
}  // namespace

std::optional<RecentPort> RecentPortOfText(const std::string& text) {
  const size_t first = text.find(',');
  if (first == std::string::npos) return std::nullopt;
  const size_t second = text.find(',', first + 1);
  if (second == std::string::npos) return std::nullopt;
  const auto baud = Digits(text.substr(0, first), 999999);
  const auto address = Digits(text.substr(first + 1, second - first - 1), 255);
  RecentPort port;
  port.portText = text.substr(second + 1);
  if (!baud || !IsSensorBaudRate(static_cast<int32_t>(*baud)) || !address) return std::nullopt;
  // Only what the connect dialog's port box names: a port or a device.
  if (PortNumberOfText(port.portText) < 0 && DevicePathOfText(port.portText).empty()) return std::nullopt;
  port.baudRate = static_cast<int32_t>(*baud);
  port.address = static_cast<uint8_t>(*address);
  return port;
}

std::vector<RecentPort> RecentPortsOfTexts(const std::vector<std::string>& texts) {
  std::vector<RecentPort> out;
  for (const std::string& text : texts) {
    if (out.size() == kRecentPortCount) break;
    const auto port = RecentPortOfText(text);
    if (!port) continue;
    const bool seen = std::any_of(out.begin(), out.end(), [&](const RecentPort& p) { return p.portText == port->portText; });
    if (!seen) out.push_back(*port);
  }
  return out;
}

std::string RecentPortLabel(const RecentPort& port) {
  return port.portText + ", " + std::to_string(port.baudRate) + " baud, " +
         (port.address == 0 ? std::string("global address") : "address " + std::to_string(port.address));
}

ConnectValues ConnectValuesOfRecent(const RecentPort& port, ConnectValues base) {
  base.portText = port.portText;
  base.baudChoice = ConnectBaudChoice(port.baudRate);
  base.address = port.address == 0 ? 1 : port.address;
  base.globalAddress = port.address == 0;
  return base;
}
