// Faults injected on purpose: each kind at a chosen reply, by chance with a
// seeded generator, and the program's fault option.

#include <gtest/gtest.h>

#include "protocol/command_ids.h"
#include "protocol/frame.h"
#include "sim/fault_injector.h"
#include "sim_test_support.h"

namespace {

using namespace simtest;
using sim::FaultKind;

sim::VirtualSensor* Faulty(std::unique_ptr<sim::VirtualSensor>& holder, FaultKind kind, uint64_t reply,
                           int32_t mode = 0) {
  sim::SensorConfig c = Config("KRV04", mode);
  c.faults.rule(kind).atReplies.push_back(reply);
  holder = std::make_unique<sim::VirtualSensor>(c);
  return holder->Start() ? holder.get() : nullptr;
}

TEST(SimFaults, NoiseBeforeTheChosenReply) {
  std::unique_ptr<sim::VirtualSensor> holder;
  auto* sensor = Faulty(holder, FaultKind::kNoise, 2);
  ASSERT_TRUE(sensor);
  Port port(sensor->SlavePath());
  ASSERT_TRUE(Query(port, 1, 0, cmd::GetModelName));
  EXPECT_TRUE(port.skipped().empty());
  auto reply = Query(port, 1, 0, cmd::GetModelName);
  ASSERT_TRUE(reply);  // the frame itself is intact
  ASSERT_FALSE(port.skipped().empty());
  EXPECT_LE(port.skipped().size(), 8u);
  for (uint8_t b : port.skipped()) EXPECT_NE(b, frame::kStx);
  EXPECT_EQ(sensor->Snapshot().injected.of(FaultKind::kNoise), 1u);
}

TEST(SimFaults, DroppedReply) {
  std::unique_ptr<sim::VirtualSensor> holder;
  auto* sensor = Faulty(holder, FaultKind::kDrop, 2);
  ASSERT_TRUE(sensor);
  Port port(sensor->SlavePath());
  EXPECT_TRUE(Query(port, 1, 0, cmd::GetRange));
  EXPECT_FALSE(Query(port, 1, 0, cmd::GetRange, {}, 300ms));
  EXPECT_TRUE(Query(port, 1, 0, cmd::GetRange));
  const sim::SensorState s = sensor->Snapshot();
  EXPECT_EQ(s.injected.of(FaultKind::kDrop), 1u);
  EXPECT_EQ(s.activity.repliesSent, 3u);
}

TEST(SimFaults, CorruptedCheckByte) {
  for (int32_t mode : {0, 1}) {
    std::unique_ptr<sim::VirtualSensor> holder;
    auto* sensor = Faulty(holder, FaultKind::kCorrupt, 1, mode);
    ASSERT_TRUE(sensor);
    Port port(sensor->SlavePath());
    port.Write(frame::Build(1, mode, cmd::GetSerialNum));
    auto f = port.ReadFrame(mode);
    ASSERT_TRUE(f);
    EXPECT_FALSE(frame::Verify(f->data(), mode));
    EXPECT_EQ(f->size(), mode == 0 ? 21u : 22u);
    EXPECT_TRUE(Query(port, 1, mode, cmd::GetSerialNum));
    EXPECT_EQ(sensor->Snapshot().injected.of(FaultKind::kCorrupt), 1u);
  }
}

TEST(SimFaults, TruncatedReplyKeepsItsHeader) {
  std::unique_ptr<sim::VirtualSensor> holder;
  auto* sensor = Faulty(holder, FaultKind::kTruncate, 1);
  ASSERT_TRUE(sensor);
  Port port(sensor->SlavePath());
  port.Write(frame::Build(1, 0, cmd::GetSerialNum));
  const Bytes got = port.Read(64, 300ms);
  const sim::SensorState s = sensor->Snapshot();
  const Bytes full = frame::Build(1, 0, cmd::GetSerialNum, Bytes(s.serialNumber.begin(), s.serialNumber.end()));
  ASSERT_GE(got.size(), 4u);
  EXPECT_LT(got.size(), full.size());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), full.begin()));
  EXPECT_EQ(s.injected.of(FaultKind::kTruncate), 1u);
}

TEST(SimFaults, DelayedReply) {
  sim::SensorConfig c = Config("KRV04", 0);
  c.faults.rule(FaultKind::kDelay).atReplies = {1};
  c.faults.delay = std::chrono::milliseconds(300);
  sim::VirtualSensor sensor(c);
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  const auto sent = Clock::now();
  auto reply = Query(port, 1, 0, cmd::GetRange, {}, 2000ms);
  const auto took = Clock::now() - sent;
  ASSERT_TRUE(reply);
  EXPECT_GE(took, 300ms);
  EXPECT_LT(took, 1000ms);
  EXPECT_EQ(sensor.Snapshot().injected.of(FaultKind::kDelay), 1u);
  // The default delay outlasts a host's one-second budget.
  EXPECT_GT(sim::FaultPlan{}.delay, std::chrono::milliseconds(1000));
}

TEST(SimFaults, CertainDropSilencesEveryReply) {
  sim::SensorConfig c = Config("KRV04", 0);
  c.faults.rule(FaultKind::kDrop).probability = 1.0;
  sim::VirtualSensor sensor(c);
  ASSERT_TRUE(sensor.Start());
  Port port(sensor.SlavePath());
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(Query(port, 1, 0, cmd::GetRange, {}, 100ms));
  EXPECT_EQ(sensor.Snapshot().injected.of(FaultKind::kDrop), 3u);
  sensor.Mutate([](sim::SensorState& s) { s.faults = {}; });
  EXPECT_TRUE(Query(port, 1, 0, cmd::GetRange));
}

TEST(SimFaults, ProbabilityIsRoughlyKeptAndRepeatableBySeed) {
  sim::FaultPlan plan;
  plan.rule(FaultKind::kCorrupt).probability = 0.3;
  auto run = [&](uint64_t seed) {
    sim::FaultInjector injector(seed);
    sim::FaultCounts counts;
    std::vector<bool> hits;
    const Bytes f = frame::Build(1, 0, cmd::GetRange, Bytes{1, 2});
    for (uint64_t n = 1; n <= 1000; ++n) {
      auto o = injector.Apply(f, n, plan, counts);
      hits.push_back(o.bytes != f);
    }
    EXPECT_EQ(counts.of(FaultKind::kCorrupt), static_cast<uint64_t>(std::count(hits.begin(), hits.end(), true)));
    return hits;
  };
  const auto a = run(7);
  const auto hitCount = std::count(a.begin(), a.end(), true);
  EXPECT_GT(hitCount, 230);
  EXPECT_LT(hitCount, 370);
  EXPECT_EQ(run(7), a);
  EXPECT_NE(run(8), a);
}

TEST(SimFaults, ParseFaultOption) {
  sim::FaultPlan plan;
  std::string error;
  EXPECT_TRUE(sim::ParseFaultOption("drop=0.25", plan, error));
  EXPECT_DOUBLE_EQ(plan.rule(FaultKind::kDrop).probability, 0.25);
  EXPECT_TRUE(sim::ParseFaultOption("noise@3", plan, error));
  EXPECT_TRUE(sim::ParseFaultOption("noise@12", plan, error));
  EXPECT_EQ(plan.rule(FaultKind::kNoise).atReplies, (std::vector<uint64_t>{3, 12}));
  EXPECT_TRUE(sim::ParseFaultOption("truncate=1", plan, error));
  EXPECT_TRUE(sim::ParseFaultOption("corrupt@1", plan, error));
  EXPECT_TRUE(sim::ParseFaultOption("delay=0", plan, error));
  for (const char* bad : {"drop", "drop=", "drop=1.5", "drop=-0.1", "drop=x", "delay@0", "delay@-2", "noise@1x",
                          "jitter=0.5", "=0.5"}) {
    error.clear();
    EXPECT_FALSE(sim::ParseFaultOption(bad, plan, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(SimFaults, ParseBrokenSensors) {
  sim::FaultPlan plan;
  std::string error;
  for (const char* good : {"nak-eot", "cancel@10", "double-portion", "silent@7", "hangup@30", "short@2",
                           "defaults-after-upload"})
    EXPECT_TRUE(sim::ParseFaultOption(good, plan, error)) << good << ": " << error;
  EXPECT_TRUE(plan.nakEot);
  EXPECT_EQ(plan.cancelAfterBlock, 10u);
  EXPECT_TRUE(plan.doublePortions);
  EXPECT_TRUE(plan.defaultsAfterUpload);
  EXPECT_EQ(plan.silentAfterReply, 7u);
  EXPECT_EQ(plan.hangUpAtFrame, 30u);
  EXPECT_EQ(plan.shortReplies, (std::vector<uint64_t>{2}));
  for (const char* bad : {"nak-eot=1", "cancel@0", "cancel@", "silent@-1", "hangup@x", "double-portions", "short=1"}) {
    error.clear();
    EXPECT_FALSE(sim::ParseFaultOption(bad, plan, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

// A short reply keeps its check right: only its length is wrong.
TEST(SimFaults, ShortReplyFitsItsCheck) {
  sim::FaultPlan plan;
  plan.shortReplies = {1};
  sim::FaultCounts counts;
  sim::FaultInjector injector(1);
  for (int32_t mode : {frame::kChecksum, frame::kCrc}) {
    const auto out = injector.Apply(frame::Build(1, mode, 127, {1, 2, 3}), 1, plan, counts);
    EXPECT_EQ(out.bytes, frame::Build(1, mode, 127, {1, 2})) << mode;
  }
}

}  // namespace
