// The line poller over a virtual bus of four sensors of different models:
// one goes silent, one is replaced by another sensor (a new serial number)
// while it runs. What each reading says, the order the sensors are asked
// in, how often a silent one is asked again, and that nothing is sent once
// Stop() returned.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "protocol/command_ids.h"
#include "sim/virtual_line.h"
#include "support/line_sensor.h"
#include "support/sim_trace.h"
#include "tarkon/fleet/line_poller.h"
#include "tarkon/fleet/line_readings_text.h"

namespace {

using fleet::LineSensorReading;
using fleet::LineSensorState;

using testsupport::LineSensor;

class LinePollerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    line_ = std::make_unique<sim::VirtualLine>(trace_.Line());
    line_->Attach(LineSensor("KRV02", 3, "A0000003"));
    sim::SensorConfig silent = LineSensor("KRV04", 5, "B0000005");
    silent.faults.silentAfterReply = 12;
    line_->Attach(silent);
    sim::SensorConfig swapped = LineSensor("Qmt Short", 7, "C0000007", 1);
    swapped.serialChangesAtReply = 15;
    swapped.changedSerial = "D0000007";
    line_->Attach(swapped);
    line_->Attach(LineSensor("KRV04 Board Flipper", 9, "E0000009"));
    ASSERT_TRUE(line_->Start()) << line_->LastError();
  }

  // Waits (woken by the watch after each poll) until `done` holds for the
  // readings, or 20 s passed; the readings then.
  std::vector<LineSensorReading> WaitFor(const std::function<bool(const std::vector<LineSensorReading>&)>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::unique_lock<std::mutex> lock(mutex_);
    while (std::chrono::steady_clock::now() < deadline) {
      lock.unlock();
      std::vector<LineSensorReading> readings = watch_.Snapshot();
      if (done(readings) || !watch_.running()) return readings;
      lock.lock();
      woken_.wait_for(lock, std::chrono::milliseconds(50));
    }
    return watch_.Snapshot();
  }

  void Start(const std::vector<fleet::PolledSensor>& sensors) {
    fleet::LineWatch::Setup setup;
    setup.device = line_->SlavePath();
    setup.sensors = sensors;
    setup.scan.to = 10;
    setup.timing.silentRetryMs = 400;
    setup.timing.serialEvery = 5;
    std::string error;
    ASSERT_TRUE(watch_.Start(setup, nullptr, [this] { woken_.notify_all(); }, error)) << error;
  }

  testsupport::SimTrace trace_;
  std::unique_ptr<sim::VirtualLine> line_;
  fleet::LineWatch watch_;
  std::mutex mutex_;
  std::condition_variable woken_;
};

const LineSensorReading* At(const std::vector<LineSensorReading>& readings, int address) {
  for (const LineSensorReading& r : readings)
    if (r.sensor.address == address) return &r;
  return nullptr;
}

TEST_F(LinePollerTest, FindsPollsAndMarksEachSensorAsItBehaves) {
  Start({});  // the bus scan finds them
  const std::vector<LineSensorReading> readings = WaitFor([](const std::vector<LineSensorReading>& r) {
    const LineSensorReading* silent = At(r, 5);
    const LineSensorReading* swapped = At(r, 7);
    const LineSensorReading* board = At(r, 9);
    return r.size() == 4 && silent != nullptr && silent->state == LineSensorState::kSilent && swapped != nullptr &&
           swapped->state == LineSensorState::kChanged && board != nullptr && board->history.size() >= 3;
  });
  ASSERT_TRUE(watch_.error().empty()) << watch_.error();
  ASSERT_EQ(readings.size(), 4u);
  struct Expected {
    int address;
    const char* model;
    const char* serial;
    LineSensorState state;
    const char* stateText;
  };
  const Expected expected[] = {
      {3, "KRV02", "A0000003", LineSensorState::kAnswering, "answering"},
      {5, "KRV04", "B0000005", LineSensorState::kSilent, "silent (last answer "},
      {7, "Qmt Short", "C0000007", LineSensorState::kChanged, "changed: S/N D0000007 answers now"},
      {9, "KRV04 Board Flipper", "E0000009", LineSensorState::kAnswering, "answering"},
  };
  for (const Expected& e : expected) {
    const LineSensorReading* r = At(readings, e.address);
    ASSERT_NE(r, nullptr) << e.address;
    EXPECT_EQ(r->model, e.model);
    EXPECT_EQ(r->sensor.serialNumber, e.serial) << "the first serial number stays the row's";
    EXPECT_EQ(r->state, e.state) << e.address << ": " << r->StateText();
    EXPECT_EQ(r->StateText().rfind(e.stateText, 0), 0u) << r->StateText();
    EXPECT_GT(r->good, 0) << e.address;
    // Every sensor has answered at least once: a range in its units, and
    // the panel's values (the KRV02's laser power and peak from their own
    // commands).
    EXPECT_NE(r->rangeText.find("inch"), std::string::npos) << e.address << ": " << r->rangeText;
    ASSERT_TRUE(r->range.has_value()) << e.address;
    EXPECT_EQ(r->unit, "inch");
    EXPECT_FALSE(r->laserPower.empty()) << e.address;
    EXPECT_FALSE(r->peak.empty()) << e.address;
    for (const fleet::RangePoint& p : r->history) {
      EXPECT_GE(p.secondsAgo, 0);
      EXPECT_LE(p.secondsAgo, 60);
    }
  }
  EXPECT_GT(At(readings, 5)->failed, 0);
  // The CSV line carries the same facts.
  const std::string csv = fleet::LineCsvLine("T", 1, *At(readings, 7));
  EXPECT_EQ(csv.rfind("T,1,7,Qmt Short,C0000007,changed: S/N D0000007 answers now,", 0), 0u) << csv;

  // Order and rates: the answering sensors take their turns one after the
  // other; the silent one is asked no more than once per retry period;
  // the changed one is asked no more at all.
  const size_t framesBefore = trace_.Received().size();
  const auto from = std::chrono::steady_clock::now();
  WaitFor([&](const std::vector<LineSensorReading>&) {
    return std::chrono::steady_clock::now() - from > std::chrono::milliseconds(1000);
  });
  watch_.Stop();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
  const std::vector<testsupport::TracedFrame> frames = trace_.Received();
  std::map<int, size_t> asked;
  int previous = 0;
  size_t turns = 0;
  for (size_t i = framesBefore; i < frames.size(); ++i) {
    const int address = frames[i].address();
    ++asked[address];
    const bool stateCommand =
        frames[i].command() == cmd::GetKRV02State || frames[i].command() == cmd::GetSensorState;
    if (!stateCommand) continue;
    ++turns;
    EXPECT_NE(address, previous) << "frame " << i << ": a sensor polled twice while the other waits";
    previous = address;
  }
  EXPECT_GE(turns, 10u);
  EXPECT_EQ(asked[7], 0u) << "a changed sensor is polled no more";
  EXPECT_LE(static_cast<double>(asked[5]), seconds / 0.4 + 1) << "silent, asked every 400 ms at most";

  // Nothing is sent once Stop() returned.
  const size_t afterStop = trace_.Received().size();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(trace_.Received().size(), afterStop);
  EXPECT_FALSE(watch_.running());
}

TEST_F(LinePollerTest, NamedAddressesArePolledInTheirCheckModeAndAStrangerIsSilent) {
  // Address 7 answers in CRC only and address 11 holds nobody.
  Start({{3, 0, -1, ""}, {7, 0, -1, ""}, {11, 1, -1, ""}});
  const std::vector<LineSensorReading> readings = WaitFor([](const std::vector<LineSensorReading>& r) {
    return r.size() == 3 && r[0].good >= 3 && r[1].state == LineSensorState::kSilent &&
           r[2].state == LineSensorState::kSilent;
  });
  watch_.Stop();
  ASSERT_EQ(readings.size(), 3u);
  EXPECT_EQ(readings[0].model, "KRV02");
  EXPECT_EQ(readings[0].sensor.serialNumber, "A0000003") << "taken from its first answer";
  EXPECT_EQ(readings[1].StateText(), "silent (never answered)");
  EXPECT_EQ(readings[2].StateText(), "silent (never answered)");
  EXPECT_EQ(fleet::PollingRateText(readings, 0.3125, 4), "3 sensors (2 silent), each every 0.31 s");
}

TEST_F(LinePollerTest, SensorsOfBothCheckModesAllAnswerInTurn) {
  // Given in mixed order: a frame of one mode must not cost the next
  // sensor of the other mode its request.
  Start({{7, 1, -1, ""}, {3, 0, -1, ""}, {9, 0, -1, ""}});
  const std::vector<LineSensorReading> readings = WaitFor([](const std::vector<LineSensorReading>& r) {
    return std::all_of(r.begin(), r.end(), [](const LineSensorReading& x) { return x.good >= 6; }) && r.size() == 3;
  });
  watch_.Stop();
  ASSERT_EQ(readings.size(), 3u);
  const int order[] = {3, 9, 7};  // those in checksum mode first
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(readings[i].sensor.address, order[i]);
    EXPECT_EQ(readings[i].state, LineSensorState::kAnswering) << readings[i].StateText();
    EXPECT_EQ(readings[i].failed, 0) << readings[i].sensor.address;
  }
}

TEST(LineAddressList, TakesListsAndRangesAndRefusesTheRest) {
  const struct {
    const char* text;
    std::vector<int> addresses;
    const char* refusal;
  } cases[] = {
      {"3", {3}, ""},
      {"3,5,7-9", {3, 5, 7, 8, 9}, ""},
      {"1-3,255", {1, 2, 3, 255}, ""},
      {"0", {}, "--addresses needs addresses from 1 to 255"},
      {"256", {}, "--addresses needs addresses from 1 to 255"},
      {"9-7", {}, "--addresses needs addresses from 1 to 255"},
      {"3,,5", {}, "--addresses needs addresses from 1 to 255"},
      {"3,x", {}, "--addresses needs addresses from 1 to 255"},
      {"3,2-4", {}, "--addresses names address 3 twice"},
  };
  for (const auto& c : cases) {
    std::vector<int> addresses;
    const std::string refusal = fleet::ParseAddressList(c.text, addresses);
    EXPECT_EQ(refusal.rfind(c.refusal, 0), 0u) << c.text << ": " << refusal;
    EXPECT_EQ(refusal.empty(), std::string(c.refusal).empty()) << c.text << ": " << refusal;
    if (refusal.empty()) {
      EXPECT_EQ(addresses, c.addresses) << c.text;
    }
  }
}

}  // namespace
