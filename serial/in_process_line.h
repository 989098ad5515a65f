#pragma once
// A serial line inside the process: two byte queues, one each way, behind
// the serial layer's interface. The engine opens it by its name with the
// ordinary calls (sc_OpenDevice, SerialPort::ConnectDevice); the far end,
// a virtual sensor in the same process, takes what the host writes and
// sends what the host reads. No pseudo-terminal is needed, so it works on
// every platform.
//
// The line time of the host's baud rate is applied both ways (10 bits a
// byte): a host write returns once its bytes would have crossed the wire
// (as sc_Write's flush does on a port), and the far end's bytes reach the
// host one byte time after another. Read and write time-outs, purge,
// queue counts and the clear-error call behave as on a port; the line has
// no line errors. When the line is unplugged or destroyed, the host's
// handle reads and writes fail as a port whose adapter was pulled.
//
//   InProcessLine line;                      // registered under line.name()
//   SerialPort port; port.ConnectDevice(line.name(), 57600, ...);
//   // far end, on its own thread:
//   std::vector<uint8_t> in = line.TakeFromHost(deadline);
//   line.SendToHost(reply.data(), reply.size());

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct InProcessLineState;

class InProcessLine {
 public:
  using Clock = std::chrono::steady_clock;

  InProcessLine();
  // Unregisters the name; a host handle still open then sees the line gone.
  ~InProcessLine();
  InProcessLine(const InProcessLine&) = delete;
  InProcessLine& operator=(const InProcessLine&) = delete;

  // The name to open, "virtual-line:N".
  const std::string& name() const { return name_; }
  // True for a name of this form (whether or not such a line exists).
  static bool IsName(const std::string& device);

  // --- The far end. ---
  // The bytes the host has written by now, waiting until `until` for the
  // first when there are none (or until Wake()). Empty when none came.
  std::vector<uint8_t> TakeFromHost(Clock::time_point until);
  // Queues bytes for the host; each becomes readable one byte time after
  // the one before it, at the host's baud rate.
  void SendToHost(const uint8_t* bytes, size_t count);
  // The baud rate the host's handle is set to; 0 while none is open.
  int32_t HostBaudRate() const;
  bool HostOpen() const;
  // Ends a TakeFromHost that is waiting.
  void Wake();
  // The host sees the line gone (reads and writes fail with the I/O
  // error) until Replug.
  void Unplug();
  void Replug();

 private:
  std::shared_ptr<InProcessLineState> state_;
  std::string name_;
};
