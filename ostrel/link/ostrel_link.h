#pragma once
// Ostrel's link to one sensor: building and sending request frames,
// assembling and checking replies from the ReceiveRing within a deadline,
// the pumping delay, and the count of receive failures.
//
// Everything runs on the window thread. A wait never blocks the window and
// never spins: it sleeps in the event loop until the next event arrives
// (a received byte, the deadline timer, a user's click) and looks again.
// That is also why a second operation can start in the middle of a wait;
// the operations keep it out with their busy flag.

#include <QElapsedTimer>
#include <QTimer>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ostrel/link/ostrel_port.h"
#include "ostrel/link/receive_ring.h"
#include "ostrel/link/receive_status.h"

namespace ostrel {

// A reply as ReceiveFrame keeps it: STX, address, length, command id and
// the data, without the check bytes.
struct Reply {
  std::vector<uint8_t> bytes;

  size_t DataLength() const { return bytes.size() > 4 ? bytes.size() - 4 : 0; }
  // data[i]; 0 beyond the end of the reply.
  uint8_t Data(size_t i) const { return 4 + i < bytes.size() ? bytes[4 + i] : 0; }
  const uint8_t* DataPointer() const { return bytes.data() + 4; }
  // 16-bit field at data[i] in the byte order of the check mode.
  uint16_t Word(size_t i, bool crc) const;
};

// A 16-bit value in the byte order of the check mode: high byte first in
// CRC mode, low byte first in checksum mode.
void PutWord(std::vector<uint8_t>& data, uint16_t value, bool crc);

class OstrelLink {
 public:
  static constexpr int kReadTimeoutMs = 500;
  static constexpr int kAckTimeoutMs = 300;
  static constexpr int kChecksumSettleMs = 200;
  // Beyond the line time of a frame, how long sending may stall.
  static constexpr qint64 kSendSlackMs = 1000;
  // Bytes taken from the ring between two looks at the window's events.
  static constexpr size_t kBytesPerPump = 64;

  OstrelLink();
  OstrelLink(const OstrelLink&) = delete;
  OstrelLink& operator=(const OstrelLink&) = delete;

  OstrelPort& port() { return port_; }
  const OstrelPort& port() const { return port_; }
  ReceiveRing& ring() { return ring_; }

  // Address put into every request, and the check mode (true: CRC-16).
  uint8_t address() const { return address_; }
  void SetAddress(uint8_t address) { address_ = address; }
  bool crc() const { return crc_; }
  void SetCrc(bool crc) { crc_ = crc; }
  uint16_t lastSentCrc() const { return lastSentCrc_; }
  int receiveStatus() const { return receiveStatus_; }
  void SetReceiveStatus(int status) { receiveStatus_ = status; }

  // Builds the frame, empties the ring (stale bytes of earlier exchanges go)
  // and writes it, then waits until the port has taken all of it.
  void SendFrame(uint8_t command, uint8_t address, const std::vector<uint8_t>& data, bool crc);
  // Assembles one reply within `timeoutMs` (for the whole frame) and checks
  // it: with seed 0, and in CRC mode also with the last sent CRC as seed.
  // False with receiveStatus() set and whatever arrived in `reply`.
  // `expectedData`: the data bytes the reply should carry, if known; the
  // wait takes a reply of that size in one go (see ReadBytes).
  bool ReceiveFrame(bool crc, int timeoutMs, Reply& reply, size_t expectedData = 0);
  // Appends `count` bytes from the ring; false when the deadline timer
  // stopped first. While bytes arrive, a wait for several more lets the
  // window work through their line time with the port's reads resting,
  // so that a line paced byte by byte wakes it once for all of them.
  bool ReadBytes(std::vector<uint8_t>& destination, size_t count);
  // Lets `ms` milliseconds pass while the window keeps working.
  void WaitMs(int ms);
  // A setting change: send, then the acknowledgement in CRC mode (300 ms,
  // its content and a failure ignored), or 200 ms in checksum mode.
  void SendSetting(uint8_t command, const std::vector<uint8_t>& data);
  // Writes bytes unchanged (XMODEM blocks and control bytes): the ring is
  // not emptied.
  void WriteRaw(const uint8_t* bytes, size_t count);

  // Starts the deadline timer anew with `ms`.
  void RestartDeadline(int ms);
  void StopDeadline() { deadline_.stop(); }
  bool DeadlineRunning() const { return deadline_.isActive(); }

  // Shows the status text and counts one COM error (also for a status
  // without text).
  void ProcessErrorMsg(int status);
  uint64_t comErrors() const { return comErrors_; }
  // Replies that passed and failed ReceiveFrame since ResetReplyCounts
  // (the link text's counts since connect).
  uint64_t goodReplies() const { return goodReplies_; }
  uint64_t failedReplies() const { return failedReplies_; }
  void ResetReplyCounts() { goodReplies_ = failedReplies_ = 0; }
  // Where ProcessErrorMsg shows its text and the new count.
  void SetErrorDisplay(std::function<void(const std::string& text, uint64_t comErrors)> display) {
    errorDisplay_ = std::move(display);
  }

  // Called when the port hung up (the device went away) and was closed.
  // Until it is opened again, reads end at once and ProcessErrorMsg shows
  // and counts nothing.
  void SetLineLostHandler(std::function<void()> handler) { lineLost_ = std::move(handler); }

  // Handles the events waiting, or sleeps until one arrives when `wait`.
  static void Pump(bool wait);

 private:
  bool AssembleFrame(bool crc, int timeoutMs, Reply& reply, size_t expectedData);
  // Lets the window work until the port has taken `count` queued bytes.
  void WaitUntilSent(size_t count);
  // How long `bytes` bytes take on the line (ten bits each), microseconds.
  qint64 LineMicros(size_t bytes) const;
  // Lets the window work for `micros` with the port's reads resting, then
  // takes what came. False (nothing done) when that spares no wake-up: a
  // wait under the timer's millisecond, or reads that cannot rest.
  bool RestForLine(qint64 micros);

  ReceiveRing ring_;
  OstrelPort port_;
  QTimer deadline_;  // the one-shot deadline timer; firing only stops it
  QTimer rest_;  // ends a rest of the port's reads
  QElapsedTimer clock_;
  qint64 lineFreeAt_ = 0;  // clock_ microseconds: the last request has crossed the line
  bool mayRest_ = true;    // bytes are on their way: a wait may rest the reads
  uint8_t address_ = 1;
  bool crc_ = false;
  uint16_t lastSentCrc_ = 0;
  int receiveStatus_ = kReceiveOk;
  uint64_t comErrors_ = 0;
  uint64_t goodReplies_ = 0;
  uint64_t failedReplies_ = 0;
  std::function<void(const std::string&, uint64_t)> errorDisplay_;
  std::function<void()> lineLost_;
};

}  // namespace ostrel
