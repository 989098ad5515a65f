#include "sim/fault_injector.h"

#include <algorithm>

#include "protocol/frame.h"

namespace sim {
namespace {

// The same reply one data byte shorter and with a check that fits, so that
// only its length is wrong; empty for a reply without data. The check mode
// shows in the frame's size against its length byte.
std::vector<uint8_t> WithoutLastDataByte(const std::vector<uint8_t>& whole) {
  if (whole.size() < frame::kHeaderSize) return {};
  const int32_t mode = whole.size() == frame::FrameSize(frame::kCrc, whole[2]) ? frame::kCrc : frame::kChecksum;
  size_t dataLength = 0;
  if (whole.size() != frame::FrameSize(mode, whole[2]) || !frame::DataLength(mode, whole[2], dataLength) ||
      dataLength == 0)
    return {};
  const auto data = whole.begin() + static_cast<std::ptrdiff_t>(frame::kHeaderSize);
  return frame::Build(whole[1], mode, whole[3], std::vector<uint8_t>(data, data + static_cast<std::ptrdiff_t>(dataLength - 1)));
}

}  // namespace

bool FaultInjector::Hits(const FaultRule& rule, uint64_t replyNumber) {
  const bool listed = std::find(rule.atReplies.begin(), rule.atReplies.end(), replyNumber) != rule.atReplies.end();
  // Draw only for kinds that have a probability, so that adding a listed
  // fault does not change which replies the random ones hit.
  bool drawn = false;
  if (rule.probability > 0.0) drawn = std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < rule.probability;
  return listed || drawn;
}

FaultInjector::Outcome FaultInjector::Apply(std::vector<uint8_t> frame, uint64_t replyNumber,
                                            const FaultPlan& plan, FaultCounts& counts) {
  bool hit[kFaultKindCount];
  for (int k = 0; k < kFaultKindCount; ++k)
    hit[k] = Hits(plan.rules[static_cast<size_t>(k)], replyNumber);
  auto count = [&](FaultKind kind, Outcome& o) {
    ++counts.count[static_cast<size_t>(kind)];
    if (!o.note.empty()) o.note += ",";
    o.note += FaultKindName(kind);
  };

  Outcome out;
  if (hit[static_cast<int>(FaultKind::kDrop)]) {
    out.dropped = true;
    count(FaultKind::kDrop, out);
    return out;
  }
  if (std::find(plan.shortReplies.begin(), plan.shortReplies.end(), replyNumber) != plan.shortReplies.end()) {
    if (std::vector<uint8_t> shorter = WithoutLastDataByte(frame); !shorter.empty()) {
      frame = std::move(shorter);
      out.note += out.note.empty() ? "short" : ",short";
    }
  }
  if (hit[static_cast<int>(FaultKind::kCorrupt)] && !frame.empty()) {
    const auto flip = static_cast<uint8_t>(std::uniform_int_distribution<int>(1, 255)(rng_));
    frame.back() = static_cast<uint8_t>(frame.back() ^ flip);
    count(FaultKind::kCorrupt, out);
  }
  if (hit[static_cast<int>(FaultKind::kTruncate)] && frame.size() > frame::kHeaderSize) {
    const size_t body = frame.size() - frame::kHeaderSize;
    const size_t keep = std::uniform_int_distribution<size_t>(0, body - 1)(rng_);
    frame.resize(frame::kHeaderSize + keep);
    count(FaultKind::kTruncate, out);
  }
  if (hit[static_cast<int>(FaultKind::kNoise)]) {
    const unsigned most = std::max(1u, plan.maxNoiseBytes);
    const unsigned n = std::uniform_int_distribution<unsigned>(1, most)(rng_);
    std::vector<uint8_t> noise;
    for (unsigned i = 0; i < n; ++i) {
      uint8_t b;
      do {
        b = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng_));
      } while (b == frame::kStx);
      noise.push_back(b);
    }
    frame.insert(frame.begin(), noise.begin(), noise.end());
    count(FaultKind::kNoise, out);
  }
  if (hit[static_cast<int>(FaultKind::kDelay)]) {
    out.delay = plan.delay;
    count(FaultKind::kDelay, out);
  }
  out.bytes = std::move(frame);
  return out;
}

}  // namespace sim
