#pragma once
// Ostrel's one serial port: 8 data bits, no parity, one stop bit, no flow
// control, RTS off, DTR on while open. Received bytes go into the
// ReceiveRing as soon as the port announces them (QSerialPort's readyRead,
// delivered on the window thread between other events).
//
// A port named rfc2217://HOST:PORT or tcp://HOST:PORT is a serial device
// server's line, reached through a socket (gateway_socket.h) that behaves
// the same towards the link: the same ring, writes, hang-up.

#include <QPointer>
#include <QSerialPort>
#include <QSocketNotifier>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "ostrel/link/gateway_socket.h"
#include "ostrel/link/receive_ring.h"
#include "serial/device_lock.h"

namespace ostrel {

class OstrelPort {
 public:
  static constexpr qint64 kInputBufferSize = 4096;

  explicit OstrelPort(ReceiveRing& ring);
  ~OstrelPort();
  OstrelPort(const OstrelPort&) = delete;
  OstrelPort& operator=(const OstrelPort&) = delete;

  // Closes the port, sets device and baud rate, opens it again. False with
  // `reason` saying why ("no such device", "permission denied ...",
  // "in use by another program", or the system's text). The device is locked as every program of the suite
  // locks it (serial/device_lock.h) before the port opens.
  bool Open(const std::string& device, int32_t baudRate, std::string* reason);
  // RTS and DTR off, then closed. Harmless when closed.
  void Close();
  bool IsOpen() const { return port_.isOpen() || gateway_.IsOpen(); }
  const std::string& device() const { return device_; }
  int32_t baudRate() const { return baudRate_; }

  // Queues bytes for sending; false when the port is closed or refused them.
  bool Write(const uint8_t* bytes, size_t count);
  // Bytes queued but not yet handed to the driver.
  qint64 BytesToWrite() const { return network_ ? gateway_.BytesToWrite() : port_.bytesToWrite(); }
  // The port can no longer send (closed, or the device went away).
  bool Broken() const;
  // The device went away (adapter pulled, far end closed) and the port was
  // closed; cleared by the next Open.
  bool HungUp() const { return hungUp_; }
  // Called once, on the window thread, after a hang-up closed the port.
  void SetHangUpHandler(std::function<void()> handler) { onHangUp_ = std::move(handler); }

  // A serial device server's line over raw TCP: its baud rate is the
  // gateway's own, whatever was asked.
  bool SettingsAtGateway() const { return network_ && gateway_.SettingsAtGateway(); }
  // Why the gateway's line went away ("the gateway HOST:PORT closed the
  // connection"), after a hang-up of one; else empty.
  const std::string& lostReason() const { return lostReason_; }

  // A line paced byte by byte wakes the window once per byte. While the
  // bytes a reply still lacks cannot all have come (their line time), the
  // port's read notification may rest: RestReads stops it (false when the
  // port has none to stop, as on Windows, where bytes come in chunks
  // anyway); ResumeReads starts it again, and the next look at the events
  // takes what came meanwhile in one go.
  bool RestReads();
  void ResumeReads();

  QSerialPort& serial() { return port_; }

 private:
  void TakeReceivedBytes();
  // Closes the line once the notification that found it gone is over, not
  // inside it; unless it was closed or opened anew meanwhile.
  void CloseAfterHangUp();
  // A read that failed: a hung-up line reads 0 bytes for ever and would
  // keep the window busy; it is closed instead.
  void ReadFailed(QSerialPort::SerialPortError error);

  ReceiveRing& ring_;
  QSerialPort port_;
  GatewaySocket gateway_;
  bool network_ = false;  // the line opened last is the gateway's
  std::string lostReason_;
  SerialDeviceLock lock_;  // held while the port is open
  std::string device_;
  int32_t baudRate_ = 57600;
  bool hungUp_ = false;
  bool closing_ = false;  // a hang-up's close is queued
  uint64_t session_ = 0;  // counts opens and closes: a queued close is for one session
  std::function<void()> onHangUp_;
  // QSerialPort's own notifier of received bytes (a child it makes at open
  // on POSIX), and whether RestReads stopped it.
  QPointer<QSocketNotifier> readNotifier_;
  bool resting_ = false;
};

// Why `device` could not be opened, from what the system says about the
// device itself and QSerialPort's error.
std::string OpenFailureReason(const std::string& device, QSerialPort::SerialPortError error,
                              const std::string& errorText);

}  // namespace ostrel
