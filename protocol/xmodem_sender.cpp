#include "protocol/xmodem_sender.h"

#include "protocol/frame.h"
#include "serial/counter.h"
#include "serial/deadline_timer.h"

void XmodemSender::Reset() {
  state_ = kRunning;
  bytesInBlock_ = 0;
  blockCounter_ = 0;
  crc_ = 0;
}

int32_t XmodemSender::ReadByte(uint8_t* byte) {
  uint8_t scratch = 0;
  if (byte == nullptr) byte = &scratch;
  lastReadOk_ = 0;
  if (port_ == nullptr || !port_->IsOpen()) return kReadPortClosed;

  DeadlineTimer deadline;
  deadline.Start(uint64_t{kAnswerWaitMs} * 1000);
  for (;;) {
    if (deadline.Remaining() == 0) return kReadTimeout;
    uint32_t errors = 0;
    LineStatus status;
    const bool known = port_->GetLineStatus(&errors, &status);
    if (known && status.inQueue > 0) break;
    // A line that has gone (adapter pulled, handle no longer usable) brings
    // no answer: waiting out the 2 seconds of every try would hold a failing
    // upload for most of a minute.
    if (!known || (errors & kLineIo) != 0) return kReadFailed;
    BusyWait(kPollIntervalMs);
  }

  size_t done = 0;
  if (port_->Read(byte, 1, &done, kByteBudgetMs) && done == 1) {
    lastReadOk_ = 1;
    if (trace_ != nullptr) trace_->Xmodem(ProtocolTrace::kReceived, byte, 1);
    return kReadOk;
  }
  // Fetching the status clears the line error the failed read left behind.
  uint32_t errors = 0;
  LineStatus status;
  port_->GetLineStatus(&errors, &status);
  return kReadFailed;
}

void XmodemSender::Cancel() {
  // Two CAN in a row cancel; a third guards against one lost on the line.
  for (int i = 0; i < 3; ++i) WriteByte(kCan);
  state_ = kCancelled;
}

void XmodemSender::WriteByte(uint8_t byte) {
  if (port_ == nullptr || !port_->IsOpen()) return;
  size_t done = 0;
  port_->Write(&byte, 1, &done, kByteBudgetMs);
}

void XmodemSender::SendBlock() {
  const auto number = static_cast<uint8_t>(blockCounter_ & 0xFF);
  WriteByte(kSoh);
  WriteByte(number);
  WriteByte(static_cast<uint8_t>(~number));
  for (uint8_t b : block_) WriteByte(b);
  WriteByte(static_cast<uint8_t>(crc_ >> 8));
  WriteByte(static_cast<uint8_t>(crc_ & 0xFF));
  if (trace_ != nullptr) {
    uint8_t group[kBlockSize + 5] = {kSoh, number, static_cast<uint8_t>(~number)};
    for (int32_t i = 0; i < kBlockSize; ++i) group[3 + i] = block_[i];
    group[kBlockSize + 3] = static_cast<uint8_t>(crc_ >> 8);
    group[kBlockSize + 4] = static_cast<uint8_t>(crc_ & 0xFF);
    trace_->Xmodem(ProtocolTrace::kSent, group, sizeof group);
  }
}

int32_t XmodemSender::Put(uint8_t byte, bool last) {
  if (state_ != kRunning) return state_;
  int32_t tries = 0;

  // Before the first block the receiver must ask for it: NAK or "C". Blocks
  // always carry the 16-bit CRC either way.
  if (blockCounter_ == 0 && bytesInBlock_ == 0) {
    for (;;) {
      uint8_t answer = 0;
      if (ReadByte(&answer) != kReadOk) answer = 0;
      ++tries;
      if (tries >= kMaxTries) {
        state_ = kNoStartRequest;
        return state_;
      }
      if (answer == kNak || answer == kCrcRequest) break;
    }
  }

  // Gather; the final block is filled up with copies of the last byte.
  if (bytesInBlock_ == 0) crc_ = 0;
  do {
    block_[bytesInBlock_++] = byte;
    crc_ = frame::ShiftInCrcByte(crc_, byte);
  } while (last && bytesInBlock_ < kBlockSize);

  if (bytesInBlock_ == kBlockSize) {
    ++blockCounter_;
    // Two zero bytes complete the shift-in division to the usual XMODEM CRC.
    crc_ = frame::ShiftInCrcByte(crc_, 0);
    crc_ = frame::ShiftInCrcByte(crc_, 0);
    for (;;) {
      ++tries;
      if (tries >= kMaxTries) {
        state_ = kBlockNotAcknowledged;
        return state_;
      }
      SendBlock();
      uint8_t answer = 0;
      if (ReadByte(&answer) == kReadOk && answer == kAck) break;
    }
    bytesInBlock_ = 0;
    crc_ = 0;
  }

  if (last) {
    for (;;) {
      WriteByte(kEot);
      if (trace_ != nullptr) trace_->Xmodem(ProtocolTrace::kSent, &kEot, 1);
      uint8_t answer = 0;
      const bool answered = ReadByte(&answer) == kReadOk;
      ++tries;
      if (tries >= kMaxTries) {
        state_ = kEndNotAcknowledged;
        return state_;
      }
      if (answered && answer == kAck) break;
    }
  }
  return kRunning;
}
