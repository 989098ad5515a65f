#pragma once
// A serial line reached through a serial device server (a gateway) over
// TCP, opened with the ordinary calls by its port name (sc_OpenDevice,
// SerialPort::ConnectDevice with "rfc2217://HOST:PORT" or
// "tcp://HOST:PORT"; serial/network_port_name.h). Every sc_ call works on
// it as on a port:
//
// - open: a non-blocking connect within kConnectTimeoutMs, TCP_NODELAY,
//   keep-alive; over RFC 2217 the telnet negotiation, which the gateway
//   must answer with com port control within kAnswerTimeoutMs; then a few
//   round trips are timed (the allowance below).
// - settings: over RFC 2217 baud rate, data bits, parity and stop bits go
//   out together and each acknowledgement is compared with what was asked;
//   a value answered otherwise, or not answered within kAnswerTimeoutMs,
//   fails the call with a text that names the gateway. The modem lines
//   are set without waiting: gateways on a pseudo-terminal do not
//   acknowledge them. Over raw TCP the settings are the gateway's own:
//   only the time-outs are taken.
// - purge: PURGE-DATA to the gateway, and every byte that arrived before
//   its acknowledgement is dropped.
// - read/write: 0xFF doubled both ways over RFC 2217; line errors the
//   gateway notifies come out of the clear-error call.
// - a connection the gateway closed or reset is a line that has gone, as
//   an unplugged adapter: reads and writes fail with the I/O error and
//   sc_LineGone says so.

#include <cstdint>
#include <string>

#include "serial/network_port_name.h"
#include "serial/serial_comm.h"

constexpr uint32_t kConnectTimeoutMs = 3000;
constexpr uint32_t kAnswerTimeoutMs = 2000;
// What a gateway adds to a reply beyond the network's round trips: it
// gathers the device's bytes for a few character times before it sends
// them on (ser2net waits up to 20 ms by default).
constexpr uint32_t kGatewayDelayMs = 20;

// What the serial layer knows of an open network line.
struct NetworkLineFacts {
  NetworkProtocol protocol = NetworkProtocol::kRfc2217;
  std::string gateway;          // "host:port"
  uint32_t roundTripUs = 0;     // the longest of the round trips timed at the open
  uint32_t allowanceMs = 0;     // what every reply deadline on the line gets on top
  bool settingsAtGateway() const { return protocol == NetworkProtocol::kRawTcp; }
};

// The allowance for a round trip: kGatewayDelayMs plus four round trips,
// rounded up to whole milliseconds.
uint32_t NetworkAllowanceMs(uint32_t roundTripUs);

// The facts of `handle` when it is a network line; false for any other.
bool sc_NetworkFacts(SerialHandle handle, NetworkLineFacts* facts);
