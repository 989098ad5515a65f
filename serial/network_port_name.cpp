#include "serial/network_port_name.h"

#include <algorithm>
#include <cctype>

namespace {

struct Scheme {
  const char* prefix;
  NetworkProtocol protocol;
};
constexpr Scheme kSchemes[] = {
    {"rfc2217://", NetworkProtocol::kRfc2217},
    {"tcp://", NetworkProtocol::kRawTcp},
    {"socket://", NetworkProtocol::kRawTcp},
};

bool StartsWithFolded(const std::string& text, const char* prefix) {
  size_t i = 0;
  for (; prefix[i] != '\0'; ++i) {
    if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

const Scheme* SchemeOf(const std::string& text) {
  for (const Scheme& scheme : kSchemes)
    if (StartsWithFolded(text, scheme.prefix)) return &scheme;
  return nullptr;
}

bool Refuse(std::string* why, const std::string& text, const std::string& reason) {
  if (why != nullptr) *why = "\"" + text + "\" is no network port: " + reason + " (" + kNetworkPortForms + ")";
  return false;
}

// A host name or IPv4 address: letters, digits, '-', '.', '_'.
bool PlainHost(const std::string& host) {
  return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_';
  });
}

bool Ipv6Host(const std::string& host) {
  return host.find(':') != std::string::npos && std::all_of(host.begin(), host.end(), [](char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.' || c == '%' ||
           std::isalnum(static_cast<unsigned char>(c)) != 0;
  });
}

}  // namespace

std::string NetworkPortName::Gateway() const {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string NetworkPortName::Canonical() const {
  return std::string(protocol == NetworkProtocol::kRfc2217 ? "rfc2217://" : "tcp://") + Gateway();
}

bool IsNetworkPortName(const std::string& text) { return SchemeOf(text) != nullptr; }

bool ParseNetworkPortName(const std::string& text, NetworkPortName* out, std::string* why) {
  const Scheme* scheme = SchemeOf(text);
  if (scheme == nullptr) return Refuse(why, text, "unknown scheme");
  const std::string rest = text.substr(std::char_traits<char>::length(scheme->prefix));
  std::string host;
  std::string portText;
  if (!rest.empty() && rest[0] == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos) return Refuse(why, text, "the IPv6 address has no closing bracket");
    host = rest.substr(1, close - 1);
    if (!Ipv6Host(host)) return Refuse(why, text, "the host in brackets is no IPv6 address");
    if (close + 1 >= rest.size() || rest[close + 1] != ':') return Refuse(why, text, "the port number is missing");
    portText = rest.substr(close + 2);
  } else {
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos) return Refuse(why, text, "the port number is missing");
    host = rest.substr(0, colon);
    portText = rest.substr(colon + 1);
    if (host.find(':') != std::string::npos) return Refuse(why, text, "an IPv6 address goes in brackets");
    if (!PlainHost(host)) return Refuse(why, text, host.empty() ? "the host is missing" : "the host name is not valid");
  }
  const bool digits = !portText.empty() && portText.size() <= 5 &&
                      std::all_of(portText.begin(), portText.end(),
                                  [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
  const long port = digits ? std::stol(portText) : 0;
  if (!digits || port < 1 || port > 65535) return Refuse(why, text, "the port must be a number from 1 to 65535");
  if (out != nullptr) {
    out->protocol = scheme->protocol;
    out->host = host;
    out->port = static_cast<uint16_t>(port);
  }
  return true;
}
