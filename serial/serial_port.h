#pragma once
// One open serial device with its settings and its error record.

#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/network_line.h"
#include "serial/serial_comm.h"
#include "serial/serial_error.h"
#include "serial/serial_settings.h"

class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Closes any open handle, stores the settings, opens, configures, purges,
  // then sleeps 250 ms. True on success.
  bool Connect(unsigned port, int32_t baudRate, int32_t parity, int32_t stopBits, int32_t dataBits,
               int32_t writeTimeoutMs, int32_t readTimeoutMs);
  // The same for an explicit device path (USB adapter, pseudo-terminal).
  bool ConnectDevice(const std::string& device, int32_t baudRate, int32_t parity, int32_t stopBits,
                     int32_t dataBits, int32_t writeTimeoutMs, int32_t readTimeoutMs);
  bool Disconnect();
  bool IsOpen() const { return handle_ != kInvalidSerialHandle; }
  bool ApplyBaudRate(int32_t baudRate);
  void GetSettings(SerialSettings& out) const { out = settings_; }

  bool Write(const void* buffer, size_t count, size_t* done, uint32_t budgetMs);
  bool Read(void* buffer, size_t count, size_t* done, uint32_t budgetMs);
  bool GetLineStatus(uint32_t* errors, LineStatus* status);
  // Blocks until a received byte is waiting, the line has gone, or `ms`
  // milliseconds have passed (see sc_WaitInput).
  InputWait WaitForInput(uint32_t ms) { return sc_WaitInput(handle_, ms); }
  // True when the open port's device has gone (unplugged, hung up).
  bool LineGone() const { return IsOpen() && sc_LineGone(handle_); }
  // The driver's RS-485 direction control on the open port (sc_SetRs485).
  bool SetRs485(bool on) { return sc_SetRs485(handle_, on, &error_); }
  // Sleep 100 ms, purge, then read and discard what the driver reports
  // waiting (at most 2048 bytes). Always true.
  bool Drain();

  // What every reply deadline on this line gets on top of its own: a
  // network line's allowance, timed when it opened (0 for a local port).
  uint32_t allowanceMs() const { return network_ ? networkFacts_.allowanceMs : 0; }
  // A network line's facts (gateway, round trip, protocol); false while
  // the open line is a local port or nothing is open.
  bool networkFacts(NetworkLineFacts* facts) const {
    if (network_ && facts != nullptr) *facts = networkFacts_;
    return network_;
  }
  // The line settings belong to a gateway reached over raw TCP: baud rate
  // and framing are its own, and a change here does not reach the sensor's
  // wire.
  bool settingsAtGateway() const { return network_ && networkFacts_.settingsAtGateway(); }
  // A network line whose connection was closed or reset is opened again,
  // same name and settings, trying for at most `withinMs` (a gateway that
  // restarts). True when the line works; false for a local port, whose
  // return is the port watch's business.
  bool ReopenNetworkLine(uint32_t withinMs);

  int32_t errorCode() const { return error_.code; }
  const char* errorText() const { return error_.text; }
  SerialError& error() { return error_; }
  SerialHandle handle() const { return handle_; }
  // Device path of the open port (empty when closed).
  const std::string& device() const { return device_; }

 protected:
  // Closes an open handle (false if that fails) and stores the settings.
  bool BeginConnect(int32_t baudRate, int32_t parity, int32_t stopBits, int32_t dataBits,
                    int32_t writeTimeoutMs, int32_t readTimeoutMs);
  // Takes the opened handle, configures and purges it, lets the line settle.
  bool FinishConnect(SerialHandle handle, const std::string& device);

  SerialError error_{};
  SerialHandle handle_ = kInvalidSerialHandle;
  SerialSettings settings_{};
  std::string device_;
  bool network_ = false;
  NetworkLineFacts networkFacts_;
};
