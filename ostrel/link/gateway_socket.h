#pragma once
// Ostrel's line through a serial device server (rfc2217://HOST:PORT or
// tcp://HOST:PORT): a QTcpSocket on the window thread that speaks the
// serial layer's protocol code (serial/rfc2217_session.h: telnet with RFC
// 2217 com port control, or raw TCP), so the protocol is written once for
// both programs. Received data goes into the ReceiveRing as the socket
// announces it, as the serial port's does.
//
// The waits of the open (the connection, the gateway's answers) let the
// window work, as every wait of Ostrel does.

#include <QTcpSocket>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ostrel/link/receive_ring.h"
#include "serial/network_port_name.h"
#include "serial/rfc2217_session.h"

namespace ostrel {

class GatewaySocket {
 public:
  explicit GatewaySocket(ReceiveRing& ring);
  ~GatewaySocket();
  GatewaySocket(const GatewaySocket&) = delete;
  GatewaySocket& operator=(const GatewaySocket&) = delete;

  // Connects to `name` and, over RFC 2217, takes com port control and sets
  // the line to `baudRate`, 8 data bits, no parity, one stop bit (each
  // acknowledgement compared with what was asked), DTR on and RTS off;
  // over raw TCP the line settings stay the gateway's. A gateway that
  // still serves the client before is asked again for a moment. False
  // with `reason`, which names the gateway.
  bool Open(const std::string& name, int32_t baudRate, std::string* reason);
  // DTR and RTS off, then closed. Harmless when closed.
  void Close();
  bool IsOpen() const { return socket_.state() == QAbstractSocket::ConnectedState && session_ != nullptr; }

  // Data bytes for the sensor (0xFF doubled over RFC 2217); false when the
  // connection is not open or took them not.
  bool Write(const uint8_t* bytes, size_t count);
  qint64 BytesToWrite() const { return socket_.bytesToWrite(); }
  // Over raw TCP the gateway's own configuration sets the line.
  bool SettingsAtGateway() const { return name_.protocol == NetworkProtocol::kRawTcp; }

  // Called once, on the window thread, when the gateway closed or reset an
  // open connection (the socket is closed by then), with why.
  void SetLostHandler(std::function<void(const std::string& why)> handler) { onLost_ = std::move(handler); }

 private:
  bool OpenOnce(int32_t baudRate, std::string* reason, bool* gatewayClosed);
  void TakeReceived();
  void Send(const std::vector<uint8_t>& bytes);
  // Lets the window work until `done` holds, `ms` have passed, or (with
  // `whileConnected`) the connection is down; whether `done` holds.
  bool WaitFor(const std::function<bool()>& done, int ms, bool whileConnected = true);
  void Dropped();

  ReceiveRing& ring_;
  QTcpSocket socket_;
  NetworkPortName name_;
  std::unique_ptr<Rfc2217Session> session_;
  std::vector<uint8_t> beforeOpen_;  // what the gateway said while opening (a refusal)
  bool opening_ = false;
  bool closing_ = false;
  bool lostTold_ = false;
  std::function<void(const std::string&)> onLost_;
};

}  // namespace ostrel
