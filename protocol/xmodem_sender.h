#pragma once
// Sends a firmware image to the sensor's XMODEM receiver: 128-byte blocks
// with the 16-bit CRC, each answered by ACK or NAK, ended by EOT. The upload
// procedure feeds it one byte at a time; a block goes out whenever 128 bytes
// have gathered, and the final block is padded with copies of the last byte.
//
// Bytes are written and read directly through the connection's serial port,
// outside the packet layer: each block (SOH, number, complement, 128 data
// bytes, CRC) in one write, each answer by a wait that blocks until the
// first byte arrives or its 2 seconds are up. All retries of one Put call share one try
// counter; the first failure sticks until Reset.

#include <cstddef>
#include <cstdint>

#include "protocol/protocol_trace.h"
#include "protocol/xmodem_block.h"
#include "serial/serial_port.h"

class XmodemSender {
 public:
  // Result of Put: the transfer's state.
  enum State : int32_t {
    kRunning = 0,
    kNoStartRequest = 1,   // the receiver never asked for blocks
    kBlockNotAcknowledged = 2,
    kEndNotAcknowledged = 3,
    kCancelled = 4,  // the sender stopped the transfer (Cancel)
    kReceiverCancelled = 5,  // the receiver sent CAN: it has left receive mode
  };
  // Result of ReadByte.
  enum ReadResult : int32_t {
    kReadOk = 0,
    kReadPortClosed = 1,
    kReadTimeout = 2,  // nothing arrived within 2 seconds
    kReadFailed = 3,
  };

  static constexpr uint8_t kSoh = xmodem::kSoh;
  static constexpr uint8_t kEot = xmodem::kEot;
  static constexpr uint8_t kAck = xmodem::kAck;
  static constexpr uint8_t kNak = xmodem::kNak;
  static constexpr uint8_t kCrcRequest = xmodem::kCrcRequest;
  static constexpr uint8_t kCan = xmodem::kCan;
  static constexpr int32_t kBlockSize = static_cast<int32_t>(xmodem::kDataSize);
  static constexpr size_t kPacketSize = xmodem::kBlockSize;
  static constexpr int32_t kMaxTries = 20;
  static constexpr uint32_t kAnswerWaitMs = 2000;
  static constexpr uint32_t kByteBudgetMs = 1000;

  // `port` is the connection's port; it is not owned and may be null until
  // Attach.
  explicit XmodemSender(SerialPort* port = nullptr) : port_(port) {}
  void Attach(SerialPort* port) { port_ = port; }
  // Blocks, EOT and the receiver's answers go to `trace` as well (null: none).
  void SetTrace(ProtocolTrace* trace) { trace_ = trace; }

  // Prepares a new transfer.
  void Reset();
  // Feeds one byte of the image; `last` marks the image's final byte.
  // Returns the state after the call (see State).
  int32_t Put(uint8_t byte, bool last);
  // Stops the transfer between blocks the way XMODEM does: CAN bytes on
  // the line, after which the receiver drops what it gathered. The state
  // becomes kCancelled and further Puts do nothing.
  void Cancel();
  // True when the transfer has ended without the receiver hearing an end:
  // it may still be in receive mode, taking commands for block data, until
  // Cancel tells it otherwise.
  bool ReceiverMayBeReceiving() const {
    return state_ != kRunning && state_ != kCancelled && state_ != kReceiverCancelled;
  }
  // Waits up to 2 seconds for one byte from the receiver (see ReadResult).
  // A line that reports itself gone ends the wait at once (kReadFailed).
  int32_t ReadByte(uint8_t* byte);

  int32_t state() const { return state_; }
  int32_t lastReadOk() const { return lastReadOk_; }
  int32_t bytesInBlock() const { return bytesInBlock_; }
  int32_t blockCounter() const { return blockCounter_; }
  // Whole blocks the receiver acknowledged since Reset: the block counter
  // less the block a transfer ended in unacknowledged (cancelled, or not
  // acknowledged at all).
  int32_t blocksAcknowledged() const { return blockCounter_ - (bytesInBlock_ == kBlockSize ? 1 : 0); }
  uint16_t crc() const { return crc_; }
  // Blocks and EOTs sent again after an answer other than ACK (or none),
  // since Reset: what a technician reads as the line's retries.
  int32_t resends() const { return resends_; }
  SerialPort* port() const { return port_; }

 private:
  void WriteBytes(const uint8_t* bytes, size_t count);
  void SendBlock();
  // Reads what the receiver sent unasked since its last answer, without
  // waiting; true (state kReceiverCancelled) when a CAN is among it.
  bool CancelledMeanwhile();
  // `answer` came from the receiver: a CAN ends the transfer at once.
  bool CancelledBy(uint8_t answer);

  int32_t state_ = kRunning;
  int32_t lastReadOk_ = 0;
  int32_t bytesInBlock_ = 0;
  int32_t blockCounter_ = 0;
  int32_t resends_ = 0;
  uint16_t crc_ = 0;
  uint8_t block_[kBlockSize] = {};
  SerialPort* port_ = nullptr;
  ProtocolTrace* trace_ = nullptr;
};
