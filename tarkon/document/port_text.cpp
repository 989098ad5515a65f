#include "tarkon/document/port_text.h"

#include <cctype>

#include "serial/port_resolver.h"

namespace {

constexpr const char* kWhatToGive = "give COMn or a device path such as /dev/ttyUSB0.";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

std::string Trimmed(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

PortText Refused(const std::string& text, const std::string& why) {
  PortText out;
  out.refusal = "\"" + text + "\" names no serial port: " + (why.empty() ? std::string() : why + "; ") + kWhatToGive;
  return out;
}

}  // namespace

PortText ParsePortText(const std::string& text) {
  const std::string path = Trimmed(text);
  if (PortResolver::IsDeviceName(path)) {
    PortText out;
    out.device = path;
    return out;
  }
  std::string upper = text;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const size_t com = upper.find("COM");
  if (com == std::string::npos) return Refused(text, "");

  size_t at = com + 3;
  while (at < upper.size() && IsBlank(upper[at])) ++at;
  const size_t digitsFrom = at;
  while (at < upper.size() && IsDigit(upper[at])) ++at;
  const std::string digits = upper.substr(digitsFrom, at - digitsFrom);
  if (digits.empty()) return Refused(text, "no port number follows COM");
  // A decimal fraction is cut off, as the port box always read it.
  if (at < upper.size() && upper[at] == '.') {
    ++at;
    while (at < upper.size() && IsDigit(upper[at])) ++at;
  }
  size_t rest = at;
  while (rest < upper.size() && IsBlank(upper[rest])) ++rest;
  if (rest < upper.size()) return Refused(text, "\"" + text.substr(at) + "\" follows the port number");

  size_t first = digits.find_first_not_of('0');
  const std::string significant = first == std::string::npos ? std::string() : digits.substr(first);
  const int number = significant.empty() ? 0 : significant.size() > 4 ? kHighestPortNumber + 1 : std::stoi(significant);
  if (number < 1 || number > kHighestPortNumber)
    return Refused(text, "port numbers run from 1 to " + std::to_string(kHighestPortNumber));
  PortText out;
  out.number = number;
  return out;
}
