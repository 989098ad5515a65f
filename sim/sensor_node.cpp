#include "sim/sensor_node.h"

#include <utility>

#include "sim/command_handler.h"
#include "sim/live_data.h"

namespace sim {

SensorNode::SensorNode(const SensorConfig& config)
    : config_(config), state_(InitialState(config)), assembler_(config.silenceTimeout), faults_(config.seed) {
  tracer_ = &noTrace_;
}

void SensorNode::SetTracer(Tracer* tracer, std::string tag) {
  std::lock_guard<std::mutex> lock(mutex_);
  tracer_ = tracer != nullptr ? tracer : &noTrace_;
  tag_ = std::move(tag);
}

SensorState SensorNode::Snapshot() {
  std::lock_guard<std::mutex> lock(mutex_);
  AdvanceLive(state_, Clock::now());
  return state_;
}

void SensorNode::Mutate(const std::function<void(SensorState&)>& change) {
  std::lock_guard<std::mutex> lock(mutex_);
  AdvanceLive(state_, Clock::now());
  change(state_);
}

int32_t SensorNode::BaudRate() {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_.baudRate;
}

void SensorNode::Receive(const uint8_t* bytes, size_t count, int32_t hostBaudRate, TimePoint now,
                         std::vector<OutgoingItem>& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (hostBaudRate != 0 && hostBaudRate != state_.baudRate) {
    // On a real line these bytes arrive as rubbish; nothing of them counts.
    state_.activity.garbledBytes += count;
    char note[64];
    std::snprintf(note, sizeof note, "host at %d bit/s, sensor at %d", static_cast<int>(hostBaudRate),
                  static_cast<int>(state_.baudRate));
    tracer_->Bytes(now, tag_, "rx-garbled", bytes, count, note);
    return;
  }
  input_.insert(input_.end(), bytes, bytes + count);
  while (!input_.empty()) {
    const uint8_t b = input_.front();
    input_.pop_front();
    HandleByte(b, now, out);
  }
}

void SensorNode::HandleByte(uint8_t byte, TimePoint now, std::vector<OutgoingItem>& out) {
  if (now < silentUntil_) {
    ++state_.activity.ignoredWhileReset;
    return;
  }
  if (xmodem_.Active()) {
    std::vector<uint8_t> answer;
    xmodem_.Feed(byte, now, state_.upload, answer);
    XmodemStep(now, out, answer);
    return;
  }
  FrameAssembler::Result r = assembler_.Push(byte, state_.checkMode, now, input_);
  HandleAssembled(r, now, out);
}

void SensorNode::HandleAssembled(FrameAssembler::Result& r, TimePoint now, std::vector<OutgoingItem>& out) {
  const Activity& a = state_.activity;
  if (r.event != FrameAssembler::Event::kNone && state_.faults.hangUpAtFrame != 0 &&
      a.framesReceived + a.framesForOthers + a.badFrames + 1 == state_.faults.hangUpAtFrame) {
    // Fault "hangup@N": the adapter is pulled as this frame arrives.
    hangUp_ = true;
    tracer_->Note(now, tag_, "hangup", "the line hangs up");
    return;
  }
  switch (r.event) {
    case FrameAssembler::Event::kNone:
      return;
    case FrameAssembler::Event::kFrame:
      HandleFrame(r.bytes, now, out);
      return;
    case FrameAssembler::Event::kBadCheck:
    case FrameAssembler::Event::kBadLength:
    case FrameAssembler::Event::kIncomplete: {
      ++state_.errors.checkErrors;
      ++state_.activity.badFrames;
      const char* why = r.event == FrameAssembler::Event::kBadCheck
                            ? (state_.checkMode == 1 ? "CRC error" : "checksum error")
                            : r.event == FrameAssembler::Event::kBadLength ? "impossible length" : "incomplete";
      tracer_->Bytes(now, tag_, "rx-bad", r.bytes.data(), r.bytes.size(), why);
      return;
    }
  }
}

void SensorNode::HandleFrame(const std::vector<uint8_t>& frameBytes, TimePoint now, std::vector<OutgoingItem>& out) {
  const uint8_t address = frameBytes[1];
  if (address != state_.address && address != 0) {
    ++state_.activity.framesForOthers;
    tracer_->Bytes(now, tag_, "rx", frameBytes.data(), frameBytes.size(), "for another address");
    return;
  }
  ++state_.activity.framesReceived;
  tracer_->Bytes(now, tag_, "rx", frameBytes.data(), frameBytes.size());
  size_t dataLength = 0;
  frame::DataLength(state_.checkMode, frameBytes[2], dataLength);
  AdvanceLive(state_, now);
  CommandContext c(state_, config_, now, frameBytes[3], frameBytes.data() + frame::kHeaderSize, dataLength);
  Dispatch(c);
  for (ReplyFrame& reply : c.replies) Send(std::move(reply), now, out);
  if (c.reset) {
    ++state_.errors.resets;
    silentUntil_ = now + config_.resetSilence;
    assembler_.Clear();
    input_.clear();
    StopScanning(state_, now);
    state_.flashProtect1 = 0;
    state_.flashProtect2 = 0;
    tracer_->Note(now, tag_, "reset", "silent while restarting");
  }
  if (c.uploadCommand != 0) {
    XmodemReceiver::Timing timing;
    timing.requestInterval = config_.xmodemRequestInterval;
    timing.requestTries = config_.xmodemRequestTries;
    timing.byteTimeout = config_.xmodemByteTimeout;
    timing.silenceTimeout = config_.xmodemSilenceTimeout;
    XmodemReceiver::Quirks quirks;
    quirks.nakEot = state_.faults.nakEot;
    quirks.cancelAfterBlock = state_.faults.cancelAfterBlock;
    xmodem_.Begin(now + config_.eraseTime + config_.xmodemStartDelay, timing, state_.upload, c.uploadCommand,
                  quirks);
    assembler_.Clear();
    tracer_->Note(now, tag_, "xmodem", "receiver started");
  }
}

void SensorNode::Send(ReplyFrame reply, TimePoint now, std::vector<OutgoingItem>& out) {
  const uint64_t number = ++state_.activity.repliesSent;
  if (reply.ack) ++state_.activity.acksSent;
  // The serial number of the next sensor counts from the reply after.
  if (config_.serialChangesAtReply != 0 && number == config_.serialChangesAtReply)
    state_.serialNumber = IdentityField(config_.changedSerial);
  if (state_.faults.silentAfterReply != 0 && number > state_.faults.silentAfterReply) {
    tracer_->Note(now, tag_, "tx-drop", "silent");
    return;
  }
  FaultInjector::Outcome o = faults_.Apply(std::move(reply.bytes), number, state_.faults, state_.injected);
  if (o.dropped) {
    tracer_->Note(now, tag_, "tx-drop", o.note);
    return;
  }
  OutgoingItem item;
  item.bytes = std::move(o.bytes);
  item.notBefore = now + reply.delay + o.delay;
  item.baudRate = reply.baudRate;
  item.tag = tag_;
  item.note = std::move(o.note);
  out.push_back(std::move(item));
}

void SensorNode::SendXmodem(const std::vector<uint8_t>& bytes, TimePoint now, std::vector<OutgoingItem>& out) {
  if (bytes.empty()) return;
  OutgoingItem item;
  item.bytes = bytes;
  item.notBefore = now;
  item.baudRate = state_.baudRate;
  item.tag = tag_;
  out.push_back(std::move(item));
}

void SensorNode::XmodemStep(TimePoint now, std::vector<OutgoingItem>& out, const std::vector<uint8_t>& answer) {
  SendXmodem(answer, now, out);
  if (!xmodem_.Active()) {
    if (state_.upload.outcome == UploadOutcome::kCompleted && state_.faults.defaultsAfterUpload) {
      state_.settings = DefaultSettings(state_.model);
    }
    char note[96];
    std::snprintf(note, sizeof note, "%s, %u blocks, %zu bytes", UploadOutcomeName(state_.upload.outcome),
                  state_.upload.blocks, state_.upload.image.size());
    tracer_->Note(now, tag_, "xmodem", note);
  }
}

void SensorNode::Tick(TimePoint now, std::vector<OutgoingItem>& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (xmodem_.Active()) {
    std::vector<uint8_t> answer;
    xmodem_.Tick(now, state_.upload, answer);
    XmodemStep(now, out, answer);
    return;
  }
  FrameAssembler::Result r = assembler_.Tick(now);
  HandleAssembled(r, now, out);
}

std::optional<TimePoint> SensorNode::Deadline() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (xmodem_.Active()) return xmodem_.Deadline();
  return assembler_.Deadline();
}

bool SensorNode::TakeHangUp() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(hangUp_, false);
}

void SensorNode::LineLost(TimePoint now) {
  std::lock_guard<std::mutex> lock(mutex_);
  assembler_.Clear();
  input_.clear();
  if (xmodem_.Active()) {
    xmodem_.Abort(state_.upload, UploadOutcome::kTimedOut);
    tracer_->Note(now, tag_, "xmodem", "line lost");
  }
}

}  // namespace sim
