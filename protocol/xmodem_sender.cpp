#include "protocol/xmodem_sender.h"

#include "protocol/frame.h"
#include "protocol/xmodem_block.h"

void XmodemSender::Reset() {
  state_ = kRunning;
  bytesInBlock_ = 0;
  blockCounter_ = 0;
  resends_ = 0;
  crc_ = 0;
}

int32_t XmodemSender::ReadByte(uint8_t* byte) {
  uint8_t scratch = 0;
  if (byte == nullptr) byte = &scratch;
  lastReadOk_ = 0;
  if (port_ == nullptr || !port_->IsOpen()) return kReadPortClosed;

  // Blocks until the answer's first byte is there or the 2 seconds are up:
  // the thread sleeps in the driver instead of checking the line over and
  // over. A gateway's line waits its allowance longer.
  switch (port_->WaitForInput(kAnswerWaitMs + port_->allowanceMs())) {
    case InputWait::kInput: break;
    case InputWait::kTimeout: return kReadTimeout;
    // A line that has gone (adapter pulled, handle no longer usable) brings
    // no answer: waiting out the 2 seconds of every try would hold a failing
    // upload for most of a minute.
    case InputWait::kGone: return kReadFailed;
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

bool XmodemSender::CancelledBy(uint8_t answer) {
  if (answer != kCan) return false;
  state_ = kReceiverCancelled;
  return true;
}

bool XmodemSender::CancelledMeanwhile() {
  // A receiver that gave up may have sent its CAN right after its last ACK;
  // the next block must not reach it, as it takes commands again and would
  // read the image as frames.
  while (port_ != nullptr && port_->IsOpen() && port_->WaitForInput(0) == InputWait::kInput) {
    uint8_t byte = 0;
    size_t done = 0;
    if (!port_->Read(&byte, 1, &done, kByteBudgetMs) || done != 1) return false;
    if (trace_ != nullptr) trace_->Xmodem(ProtocolTrace::kReceived, &byte, 1);
    if (CancelledBy(byte)) return true;
    // Anything else (a late start request, a repeated ACK) answers nothing.
  }
  return false;
}

void XmodemSender::Cancel() {
  // Two CAN in a row cancel; a third guards against one lost on the line.
  static constexpr uint8_t kCans[3] = {kCan, kCan, kCan};
  WriteBytes(kCans, sizeof kCans);
  state_ = kCancelled;
}

void XmodemSender::WriteBytes(const uint8_t* bytes, size_t count) {
  if (port_ == nullptr || !port_->IsOpen()) return;
  size_t done = 0;
  // One write and one drain for the lot; the budget is what the bytes would
  // have had one by one.
  port_->Write(bytes, count, &done, static_cast<uint32_t>(count) * kByteBudgetMs);
}

void XmodemSender::SendBlock() {
  const xmodem::Block packet = xmodem::BuildBlock(static_cast<uint32_t>(blockCounter_), block_);
  WriteBytes(packet.data(), packet.size());
  if (trace_ != nullptr) trace_->Xmodem(ProtocolTrace::kSent, packet.data(), packet.size());
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
    for (bool again = false;; again = true) {
      ++tries;
      if (tries >= kMaxTries) {
        state_ = kBlockNotAcknowledged;
        return state_;
      }
      if (CancelledMeanwhile()) return state_;
      if (again) ++resends_;
      SendBlock();
      uint8_t answer = 0;
      const bool answered = ReadByte(&answer) == kReadOk;
      if (answered && CancelledBy(answer)) return state_;
      if (answered && answer == kAck) break;
    }
    bytesInBlock_ = 0;
    crc_ = 0;
  }

  if (last) {
    for (bool again = false;; again = true) {
      if (CancelledMeanwhile()) return state_;
      if (again) ++resends_;
      WriteBytes(&kEot, 1);
      if (trace_ != nullptr) trace_->Xmodem(ProtocolTrace::kSent, &kEot, 1);
      uint8_t answer = 0;
      const bool answered = ReadByte(&answer) == kReadOk;
      if (answered && CancelledBy(answer)) return state_;
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
