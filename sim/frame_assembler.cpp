#include "sim/frame_assembler.h"

#include "protocol/frame.h"

namespace sim {

FrameAssembler::Result FrameAssembler::Reject(Event event, std::deque<uint8_t>& requeue) {
  Result r{event, std::move(buffer_)};
  buffer_.clear();
  frameSize_ = 0;
  requeue.insert(requeue.begin(), r.bytes.begin() + 1, r.bytes.end());
  return r;
}

FrameAssembler::Result FrameAssembler::Push(uint8_t byte, int32_t mode, TimePoint now,
                                            std::deque<uint8_t>& requeue) {
  if (buffer_.empty()) {
    if (byte != frame::kStx) return {};
    frameSize_ = 0;
  }
  buffer_.push_back(byte);
  lastByte_ = now;
  if (buffer_.size() == frame::kHeaderSize) {
    size_t dataLength = 0;
    if (!frame::DataLength(mode, buffer_[2], dataLength)) return Reject(Event::kBadLength, requeue);
    frameSize_ = frame::FrameSize(mode, buffer_[2]);
  }
  if (frameSize_ == 0 || buffer_.size() < frameSize_) return {};
  if (!frame::Verify(buffer_.data(), mode)) return Reject(Event::kBadCheck, requeue);
  Result r{Event::kFrame, std::move(buffer_)};
  buffer_.clear();
  frameSize_ = 0;
  return r;
}

FrameAssembler::Result FrameAssembler::Tick(TimePoint now) {
  if (buffer_.empty() || now - lastByte_ < silence_) return {};
  Result r{Event::kIncomplete, std::move(buffer_)};
  buffer_.clear();
  frameSize_ = 0;
  return r;
}

std::optional<TimePoint> FrameAssembler::Deadline() const {
  if (buffer_.empty()) return std::nullopt;
  return lastByte_ + silence_;
}

}  // namespace sim
