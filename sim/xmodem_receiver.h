#pragma once
// The sensor's side of an XMODEM-CRC transfer, fed one received byte at a
// time.
//
//   - asks for CRC blocks with "C" (first at the start time, then every
//     request interval) until the first block header arrives; gives up after
//     the configured number of requests;
//   - takes 128-byte blocks after SOH (and 1024-byte blocks after STX);
//   - a block with a wrong complement, a wrong CRC-16/XMODEM, or one left
//     unfinished for the byte timeout, is answered with NAK;
//   - the expected block is kept and answered with ACK; a repeat of the
//     block before it is answered with ACK and ignored; any other block
//     number ends the transfer with three CAN;
//   - EOT is answered with ACK and ends the transfer (unless a quirk has it
//     answered with NAK); two CAN in a row end
//     it as cancelled; the silence timeout ends it as timed out.
// Bytes between blocks that are none of these are ignored.

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/sensor_state.h"

namespace sim {

class XmodemReceiver {
 public:
  static constexpr uint8_t kSoh = 0x01;
  static constexpr uint8_t kStx = 0x02;
  static constexpr uint8_t kEot = 0x04;
  static constexpr uint8_t kAck = 0x06;
  static constexpr uint8_t kNak = 0x15;
  static constexpr uint8_t kCan = 0x18;
  static constexpr uint8_t kCrcRequest = 'C';

  struct Timing {
    std::chrono::milliseconds requestInterval{3000};
    unsigned requestTries = 10;
    std::chrono::milliseconds byteTimeout{1000};
    std::chrono::milliseconds silenceTimeout{10000};
  };
  // A broken receiver, for tests of the sender (see FaultPlan).
  struct Quirks {
    bool nakEot = false;            // EOT answered with NAK; the transfer goes on
    uint32_t cancelAfterBlock = 0;  // after acknowledging this block: CAN CAN CAN, transfer over
  };

  // Starts a transfer; the first "C" is due at `firstRequest`. The record
  // is reset and then kept up to date as blocks arrive.
  void Begin(TimePoint firstRequest, const Timing& timing, UploadRecord& record, uint8_t command) {
    Begin(firstRequest, timing, record, command, Quirks());
  }
  void Begin(TimePoint firstRequest, const Timing& timing, UploadRecord& record, uint8_t command,
             const Quirks& quirks);

  // One received byte; what to send back is appended to `out`.
  void Feed(uint8_t byte, TimePoint now, UploadRecord& record, std::vector<uint8_t>& out);
  // Time-driven steps: start requests, unfinished blocks, silence.
  void Tick(TimePoint now, UploadRecord& record, std::vector<uint8_t>& out);
  std::optional<TimePoint> Deadline() const;

  bool Active() const { return phase_ != Phase::kDone; }
  // Ends a running transfer from outside (e.g. the line was unplugged).
  void Abort(UploadRecord& record, UploadOutcome outcome);

 private:
  enum class Phase { kDone, kWaitingFirst, kBetweenBlocks, kInBlock };

  void Finish(UploadRecord& record, UploadOutcome outcome);
  void CheckBlock(UploadRecord& record, std::vector<uint8_t>& out);

  Phase phase_ = Phase::kDone;
  Timing timing_;
  Quirks quirks_;
  TimePoint nextRequest_{};
  TimePoint lastByte_{};
  unsigned requestsSent_ = 0;
  std::vector<uint8_t> block_;
  size_t blockSize_ = 0;
  uint8_t expected_ = 1;  // next block number
  bool sawCan_ = false;
};

// CRC-16/XMODEM of a block (the shift-in register fed the data and then two
// zero bytes).
uint16_t XmodemCrc(const uint8_t* data, size_t count);

}  // namespace sim
