// The sensor's receiver: hunting the start byte, length by mode, re-hunting
// after a bad frame, and giving up on an incomplete one after silence.

#include <gtest/gtest.h>

#include "sim/frame_assembler.h"
#include "sim_test_support.h"

namespace {

using namespace simtest;
using sim::FrameAssembler;
using Event = FrameAssembler::Event;

struct Fed {
  std::vector<FrameAssembler::Result> results;
};

Fed Feed(FrameAssembler& a, const Bytes& bytes, int32_t mode, sim::TimePoint t = {}) {
  Fed fed;
  std::deque<uint8_t> input(bytes.begin(), bytes.end());
  while (!input.empty()) {
    const uint8_t b = input.front();
    input.pop_front();
    auto r = a.Push(b, mode, t, input);
    if (r.event != Event::kNone) fed.results.push_back(std::move(r));
  }
  return fed;
}

TEST(SimFrameAssembler, FramesInBothModes) {
  FrameAssembler a;
  auto fed = Feed(a, {0x02, 0x01, 0x01, 0x7F, 0x7D}, 0);
  ASSERT_EQ(fed.results.size(), 1u);
  EXPECT_EQ(fed.results[0].event, Event::kFrame);
  EXPECT_EQ(fed.results[0].bytes, (Bytes{0x02, 0x01, 0x01, 0x7F, 0x7D}));
  fed = Feed(a, {0x02, 0x01, 0x00, 0x7F, 0x76, 0x3C}, 1);
  ASSERT_EQ(fed.results.size(), 1u);
  EXPECT_EQ(fed.results[0].event, Event::kFrame);
  EXPECT_TRUE(a.Idle());
}

TEST(SimFrameAssembler, LongestCrcFrame) {
  FrameAssembler a;
  const Bytes f = frame::Build(9, 1, 0x42, Bytes(255, 0x02));
  ASSERT_EQ(f.size(), 261u);
  auto fed = Feed(a, f, 1);
  ASSERT_EQ(fed.results.size(), 1u);
  EXPECT_EQ(fed.results[0].event, Event::kFrame);
  EXPECT_EQ(fed.results[0].bytes, f);
}

TEST(SimFrameAssembler, ImpossibleLengthInChecksumMode) {
  FrameAssembler a;
  auto fed = Feed(a, {0x02, 0x01, 0x00, 0x7F, 0x76, 0x3C}, 0);
  ASSERT_EQ(fed.results.size(), 1u);
  EXPECT_EQ(fed.results[0].event, Event::kBadLength);
  EXPECT_TRUE(a.Idle());
}

TEST(SimFrameAssembler, BadFrameHidingAGoodOne) {
  FrameAssembler a;
  // A lone start byte swallows the real frame's first bytes; after the bad
  // check the real frame is found behind it.
  auto fed = Feed(a, {0x02, 0x02, 0x01, 0x01, 0x7F, 0x7D}, 0);
  ASSERT_EQ(fed.results.size(), 2u);
  EXPECT_EQ(fed.results[0].event, Event::kBadCheck);
  EXPECT_EQ(fed.results[1].event, Event::kFrame);
  EXPECT_EQ(fed.results[1].bytes, (Bytes{0x02, 0x01, 0x01, 0x7F, 0x7D}));
}

TEST(SimFrameAssembler, IncompleteFrameDroppedAfterSilence) {
  FrameAssembler a(std::chrono::milliseconds(50));
  const sim::TimePoint t0{};
  auto fed = Feed(a, {0x02, 0x01, 0x01, 0x7F, 0x7D}, 1, t0);  // checksum frame to a CRC receiver
  EXPECT_TRUE(fed.results.empty());
  ASSERT_TRUE(a.Deadline());
  EXPECT_EQ(*a.Deadline(), t0 + std::chrono::milliseconds(50));
  EXPECT_EQ(a.Tick(t0 + std::chrono::milliseconds(49)).event, Event::kNone);
  auto r = a.Tick(t0 + std::chrono::milliseconds(50));
  EXPECT_EQ(r.event, Event::kIncomplete);
  EXPECT_EQ(r.bytes, (Bytes{0x02, 0x01, 0x01, 0x7F, 0x7D}));
  EXPECT_TRUE(a.Idle());
  EXPECT_FALSE(a.Deadline());
}

}  // namespace
