// A reply that comes later than its exchange's budget and recovery pause
// lands in the next exchange. The link must get back in step: the exchange
// that meets the stale reply fails (wrong id) and the one after it gets its
// own reply, instead of every later exchange reading its predecessor's.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "protocol/frame.h"
#include "protocol/packet_link.h"
#include "reliability/reliability_support.h"
#include "support/pty_peer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using reliability::MsSince;

constexpr uint8_t kAddress = 1;
constexpr uint8_t kFirst = 0x81;   // the request whose reply comes late
constexpr uint8_t kSecond = 0x82;
constexpr uint8_t kThird = 0x7F;

class LateReplyTest : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer_.ok());
    ASSERT_TRUE(link_.ConnectDevice(peer_.path(), 57600, kParityNone, kStopOne, 8, 100, 100))
        << link_.errorText();
  }
  int32_t Mode() const { return GetParam(); }
  Bytes Reply(uint8_t command, const Bytes& data) const { return frame::Build(kAddress, Mode(), command, data); }
  size_t RequestSize() const { return frame::Build(kAddress, Mode(), kFirst).size(); }

  PtyPeer peer_;
  PacketLink link_;
};

TEST_P(LateReplyTest, LinkIsBackInStepTwoExchangesAfterALateReply) {
  reliability::Watchdog watchdog(30, "late reply test");
  // The sensor: takes the first request and answers nothing in time; takes
  // the second and sends the first's late answer followed by the second's.
  auto sensor = std::async(std::launch::async, [this] {
    const Bytes first = peer_.Read(RequestSize(), 3000);
    const Bytes second = peer_.Read(RequestSize(), 5000);
    Bytes out = Reply(kFirst, {11});
    const Bytes own = Reply(kSecond, {22});
    out.insert(out.end(), own.begin(), own.end());
    peer_.Write(out);
    const Bytes third = peer_.Read(RequestSize(), 5000);
    peer_.Write(Reply(kThird, {33}));
    return first.size() + second.size() + third.size();
  });

  uint8_t data = 0;
  EXPECT_FALSE(link_.dcs_Query(kAddress, Mode(), kFirst, nullptr, 0, &data, 1));
  EXPECT_EQ(link_.errorCode(), kPacketNoStx);

  // The stale answer comes first: a wrong id, reported at once (no pause).
  const auto start = reliability::Clock::now();
  EXPECT_FALSE(link_.dcs_Query(kAddress, Mode(), kSecond, nullptr, 0, &data, 1));
  EXPECT_LT(MsSince(start), 200);
  EXPECT_EQ(link_.errorCode(), kPacketWrongId);
  EXPECT_EQ(data, 0);

  // The next exchange reads its own reply, not the second's left behind.
  ASSERT_TRUE(link_.dcs_Query(kAddress, Mode(), kThird, nullptr, 0, &data, 1)) << link_.errorText();
  EXPECT_EQ(data, 33);
  EXPECT_EQ(sensor.get(), 3 * RequestSize());
}

INSTANTIATE_TEST_SUITE_P(BothModes, LateReplyTest, ::testing::Values(frame::kChecksum, frame::kCrc),
                         [](const ::testing::TestParamInfo<int32_t>& p) { return std::string(p.param == frame::kCrc ? "Crc" : "Checksum"); });

}  // namespace
