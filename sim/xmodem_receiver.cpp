#include "sim/xmodem_receiver.h"

#include "protocol/frame.h"

namespace sim {

uint16_t XmodemCrc(const uint8_t* data, size_t count) {
  uint16_t crc = 0;
  for (size_t i = 0; i < count; ++i) crc = frame::ShiftInCrcByte(crc, data[i]);
  crc = frame::ShiftInCrcByte(crc, 0);
  return frame::ShiftInCrcByte(crc, 0);
}

void XmodemReceiver::Begin(TimePoint firstRequest, const Timing& timing, UploadRecord& record,
                           uint8_t command, const Quirks& quirks) {
  timing_ = timing;
  quirks_ = quirks;
  phase_ = Phase::kWaitingFirst;
  nextRequest_ = firstRequest;
  lastByte_ = firstRequest;
  requestsSent_ = 0;
  block_.clear();
  blockSize_ = 0;
  expected_ = 1;
  sawCan_ = false;
  const uint32_t completed = record.completedUploads;
  record = UploadRecord{};
  record.completedUploads = completed;
  record.command = command;
  record.outcome = UploadOutcome::kReceiving;
}

void XmodemReceiver::Finish(UploadRecord& record, UploadOutcome outcome) {
  phase_ = Phase::kDone;
  record.outcome = outcome;
  if (outcome == UploadOutcome::kCompleted) ++record.completedUploads;
  block_.clear();
}

void XmodemReceiver::Abort(UploadRecord& record, UploadOutcome outcome) {
  if (Active()) Finish(record, outcome);
}

void XmodemReceiver::CheckBlock(UploadRecord& record, std::vector<uint8_t>& out) {
  phase_ = Phase::kBetweenBlocks;
  const uint8_t number = block_[1];
  const uint8_t complement = block_[2];
  const uint8_t* data = block_.data() + 3;
  const uint16_t crc = static_cast<uint16_t>((block_[3 + blockSize_] << 8) | block_[4 + blockSize_]);
  const bool intact = static_cast<uint8_t>(number + complement) == 0xFF && XmodemCrc(data, blockSize_) == crc;
  block_.clear();
  if (!intact) {
    ++record.naks;
    out.push_back(kNak);
    return;
  }
  if (number == expected_) {
    record.image.insert(record.image.end(), data, data + blockSize_);
    ++record.blocks;
    ++expected_;
    out.push_back(kAck);
    if (quirks_.cancelAfterBlock != 0 && record.blocks == quirks_.cancelAfterBlock) {
      // The receiver gives up: it cancels and goes back to taking commands.
      out.insert(out.end(), {kCan, kCan, kCan});
      Finish(record, UploadOutcome::kReceiverCancelled);
    }
    return;
  }
  if (number == static_cast<uint8_t>(expected_ - 1) && record.blocks > 0) {
    ++record.repeats;
    out.push_back(kAck);
    return;
  }
  out.insert(out.end(), {kCan, kCan, kCan});
  Finish(record, UploadOutcome::kOutOfSync);
}

void XmodemReceiver::Feed(uint8_t byte, TimePoint now, UploadRecord& record, std::vector<uint8_t>& out) {
  if (phase_ == Phase::kDone) return;
  lastByte_ = now;
  if (phase_ == Phase::kInBlock) {
    block_.push_back(byte);
    if (block_.size() == blockSize_ + 5) CheckBlock(record, out);
    return;
  }
  if (byte == kCan) {
    if (sawCan_) Finish(record, UploadOutcome::kCancelled);
    sawCan_ = true;
    return;
  }
  sawCan_ = false;
  if (byte == kSoh || byte == kStx) {
    phase_ = Phase::kInBlock;
    blockSize_ = byte == kSoh ? 128 : 1024;
    block_.assign(1, byte);
    return;
  }
  if (byte == kEot) {
    if (quirks_.nakEot) {
      ++record.naks;
      out.push_back(kNak);
      return;
    }
    out.push_back(kAck);
    Finish(record, UploadOutcome::kCompleted);
  }
}

void XmodemReceiver::Tick(TimePoint now, UploadRecord& record, std::vector<uint8_t>& out) {
  switch (phase_) {
    case Phase::kDone:
      return;
    case Phase::kWaitingFirst:
      if (now < nextRequest_) return;
      if (requestsSent_ >= timing_.requestTries) {
        Finish(record, UploadOutcome::kNoSender);
        return;
      }
      out.push_back(kCrcRequest);
      ++requestsSent_;
      ++record.requests;
      nextRequest_ = now + timing_.requestInterval;
      return;
    case Phase::kInBlock:
      if (now - lastByte_ < timing_.byteTimeout) return;
      // An unfinished block: ask for it again.
      block_.clear();
      phase_ = Phase::kBetweenBlocks;
      lastByte_ = now;
      ++record.naks;
      out.push_back(kNak);
      return;
    case Phase::kBetweenBlocks:
      if (now - lastByte_ >= timing_.silenceTimeout) Finish(record, UploadOutcome::kTimedOut);
      return;
  }
}

std::optional<TimePoint> XmodemReceiver::Deadline() const {
  switch (phase_) {
    case Phase::kDone: return std::nullopt;
    case Phase::kWaitingFirst: return nextRequest_;
    case Phase::kInBlock: return lastByte_ + timing_.byteTimeout;
    case Phase::kBetweenBlocks: return lastByte_ + timing_.silenceTimeout;
  }
  return std::nullopt;
}

}  // namespace sim
