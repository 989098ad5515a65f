#pragma once
// Port names of network lines, read in this one place for every front end:
// a serial device server (gateway) reached over TCP, either speaking the
// telnet com port control of RFC 2217 or passing the bytes raw.
//
//   rfc2217://HOST:PORT    telnet with com port control: the line settings
//                          travel to the gateway's serial port
//   tcp://HOST:PORT        the bytes as they are; the line settings belong
//   socket://HOST:PORT     to the gateway's own configuration
//
// HOST is a name, an IPv4 address or an IPv6 address in brackets
// ("rfc2217://[fe80::1]:4001"); PORT is 1..65535. The scheme is read in
// any case; nothing may follow the port (no path, no options).

#include <cstdint>
#include <string>

enum class NetworkProtocol { kRfc2217, kRawTcp };

struct NetworkPortName {
  NetworkProtocol protocol = NetworkProtocol::kRfc2217;
  std::string host;  // without the brackets of an IPv6 address
  uint16_t port = 0;

  // "rfc2217://host:port" or "tcp://host:port" (brackets kept for IPv6).
  std::string Canonical() const;
  // "host:port" ("[v6]:port"), as messages name the gateway.
  std::string Gateway() const;
};

// True when `text` starts with one of the schemes above, whether or not
// the rest is well formed: such a text is a network line's name, never a
// device path or a COM port.
bool IsNetworkPortName(const std::string& text);

// Reads a network port name. False with `why` (a sentence naming what is
// wrong and the forms taken) when it is not one of the forms above.
bool ParseNetworkPortName(const std::string& text, NetworkPortName* out, std::string* why);

// The forms, for help texts and refusals.
constexpr const char* kNetworkPortForms = "rfc2217://HOST:PORT, tcp://HOST:PORT or socket://HOST:PORT";
