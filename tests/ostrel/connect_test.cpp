// Connect against the virtual board flipper: the probe, the six reads and
// the values they give, failed connects, addresses and the busy flag.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <QElapsedTimer>
#include <QTimer>

#include "ostrel_sim_fixture.h"
#include "support/pty_peer.h"

namespace {

using ostreltest::OstrelSimTest;

TEST_F(OstrelSimTest, ConnectProbesAndReadsTheSensorInEachModeAndUnitSet) {
  struct Row {
    bool crc;
    uint8_t modeByte;
    int modeEntry;
    const char* unit;
    const char* height;  // raw 250
    const char* width;   // raw 500
  };
  const Row rows[] = {
      {false, 0, 0, "inch", "0.250", "0.500"},
      {true, 1, 1, "mm", "2.50", "5.00"},
      {false, 2, 1, "mm", "2.50", "5.00"},  // any non-zero mode byte is metric
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.modeByte);
    sim::SensorConfig config;
    config.checkMode = row.crc ? 1 : 0;
    StartSensor(config);
    sensor_->Mutate([&](sim::SensorState& s) { s.settings.rangeMode = row.modeByte; });
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(ops_.Connect());
    const qint64 took = clock.elapsed();

    const std::vector<int> reads = {12, 39, 19, 47, 49, 128, 127};
    EXPECT_EQ(trace_.Commands(), reads);
    if (row.crc) {
      // The checksum probe went unanswered; the CRC probe followed 500 ms later.
      ASSERT_FALSE(trace_.Frames().empty());
      EXPECT_EQ(trace_.Frames()[0].bytes, (std::vector<uint8_t>{0x02, 0x01, 0x01, 0x0C, 0xF0}));
      EXPECT_GE(took, 500);
    }
    EXPECT_TRUE(ops_.connected());
    EXPECT_EQ(view_.connectedStates.back(), true);
    EXPECT_EQ(fields_.checkMode, row.crc ? 1 : 0);
    EXPECT_EQ(fields_.firmwarePanel, "4.20C");
    EXPECT_EQ(fields_.fpgaPanel, "3.2");
    EXPECT_EQ(fields_.serialPanel, "BF039618");
    EXPECT_EQ(fields_.serial, "BF039618");
    EXPECT_EQ(fields_.modelPanel, "M3-9-6BF");
    EXPECT_EQ(fields_.model, 3);  // "Other": no H, N or 4 in it
    EXPECT_EQ(fields_.maxPwr, "200");
    EXPECT_EQ(fields_.minPwr, "10");
    EXPECT_EQ(fields_.threshold, "50");  // the board flipper's factory threshold
    EXPECT_EQ(fields_.address, "1");
    EXPECT_EQ(fields_.mode, row.modeEntry);
    EXPECT_EQ(fields_.unitText, row.unit);
    EXPECT_EQ(fields_.minHt, row.height);
    EXPECT_EQ(fields_.minLen, row.width);
    EXPECT_EQ(fields_.speed, "600");
    EXPECT_EQ(fields_.pulse, "20");
    EXPECT_EQ(fields_.timeout, "1000");
    EXPECT_EQ(fields_.sensorBaud, fields_.hostBaud);
    EXPECT_EQ(view_.comErrors, 0u);
    EXPECT_EQ(view_.storedConnections.back(), std::make_pair(1, 57600));
    EXPECT_FALSE(ops_.busy());
  }
}

TEST_F(OstrelSimTest, FailedConnectsSayWhy) {
  // No such device: said in the status line, no COM error, tabs untouched.
  PortResolver::SetPortMap({{1, "/dev/ostrel-no-such-port"}});
  ASSERT_TRUE(ops_.Connect());
  EXPECT_EQ(view_.LastStatus(), "Error Opening ComPort! COM1 (/dev/ostrel-no-such-port): no such device");
  EXPECT_EQ(view_.comErrors, 0u);
  EXPECT_TRUE(view_.connectedStates.empty());

  // No port chosen and the choice cancelled.
  fields_.port = -1;
  ASSERT_TRUE(ops_.Connect());
  EXPECT_EQ(view_.portChoices, 1u);
  EXPECT_EQ(view_.LastStatus(), "Error Opening ComPort! no port chosen");

  // A line without a sensor: both probes unanswered.
  PtyPeer silent;
  view_.portToChoose = silent.path();
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(ops_.Connect());
  EXPECT_GE(clock.elapsed(), 1000);
  EXPECT_EQ(view_.LastStatus(), "Error : No Response");
  EXPECT_EQ(view_.comErrors, 1u);
  EXPECT_EQ(view_.connectedStates.back(), false);
  EXPECT_FALSE(ops_.busy());
}

TEST_F(OstrelSimTest, AnInvalidConnectAddressIsRefusedAndThePreviousOneUsed) {
  StartSensor();
  fields_.connAddr = "256";
  ASSERT_TRUE(ops_.Connect());
  ASSERT_EQ(view_.inputErrors.size(), 1u);
  EXPECT_EQ(view_.inputErrors[0].first, "Invalid Address Entered!\r\n(Valid values 1-255)");
  EXPECT_EQ(view_.inputErrors[0].second, ostrel::Field::kConnAddr);
  EXPECT_TRUE(ops_.connected());
  EXPECT_EQ(link_.address(), 1);
}

TEST_F(OstrelSimTest, AddressChangeWithAndWithoutTheGlobalAddress) {
  Connected();
  fields_.address = "0";
  ASSERT_TRUE(ops_.SetAddress());
  EXPECT_EQ(view_.inputErrors.back().second, ostrel::Field::kAddress);
  EXPECT_TRUE(trace_.Received().empty()) << "a refused address sends nothing";

  fields_.address = "7";
  ASSERT_TRUE(ops_.SetAddress());
  EXPECT_EQ(State().address, 7);
  EXPECT_EQ(link_.address(), 7);
  EXPECT_EQ(fields_.connAddr, "7");
  EXPECT_EQ(trace_.Received().back().address(), 7) << "the check goes to the new address";

  fields_.useGlobalAddress = true;
  trace_.Clear();
  ASSERT_TRUE(ops_.Connect());
  fields_.address = "9";
  ASSERT_TRUE(ops_.SetAddress());
  EXPECT_EQ(State().address, 9);
  EXPECT_EQ(link_.address(), 0) << "the address in use stays the global one";
  EXPECT_EQ(fields_.connAddr, "7");
  for (const auto& f : trace_.Received()) EXPECT_EQ(f.address(), 0) << f.command();
}

TEST_F(OstrelSimTest, TheBusyFlagTurnsASecondOperationAway) {
  sim::SensorConfig config;
  config.checkMode = 1;  // the connect waits 500 ms for its first probe
  StartSensor(config);
  bool laserTurnedAway = false;
  bool connectTurnedAway = false;
  QTimer::singleShot(100, [&] {
    laserTurnedAway = !ops_.LaserOff();
    connectTurnedAway = !ops_.Connect();
  });
  ASSERT_TRUE(ops_.Connect());
  EXPECT_TRUE(laserTurnedAway);
  EXPECT_TRUE(connectTurnedAway);
  EXPECT_EQ(trace_.CountCommand(2), 0u) << "nothing of the refused operation was sent";
  EXPECT_TRUE(ops_.connected());
  EXPECT_FALSE(ops_.busy());
  // The laser commands await no reply: the sensor's thread takes them in
  // its own time.
  const auto laserBecomes = [this](bool on) {
    for (int i = 0; i < 2500 && State().settings.laserOn != on; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return State().settings.laserOn == on;
  };
  EXPECT_TRUE(ops_.LaserOff());
  EXPECT_TRUE(laserBecomes(false));
  EXPECT_TRUE(ops_.LaserOn());
  EXPECT_TRUE(laserBecomes(true));
}

TEST_F(OstrelSimTest, TheVirtualSensorEntryConnectsToOneSensorKeptForTheRun) {
  const std::vector<ostrel::PortChoice> choices = ostrel::PortChoicesAfterCom4();
  ASSERT_FALSE(choices.empty());
  EXPECT_EQ(choices.back().text, "Virtual sensor (KRV04 Board Flipper)");
  EXPECT_EQ(choices.back().device, ostrel::kVirtualSensorDevice);

  fields_.device = choices.back().device;
  ASSERT_TRUE(ops_.Connect());
  ASSERT_TRUE(ops_.connected()) << view_.LastStatus();
  EXPECT_EQ(fields_.modelPanel, "M3-9-6BF");
  EXPECT_EQ(fields_.device, ostrel::kVirtualSensorDevice);
  // A change made in it is still there after a reconnect: the same sensor.
  fields_.threshold = "77";
  ASSERT_TRUE(ops_.SetThreshold());
  fields_.threshold.clear();
  ASSERT_TRUE(ops_.Connect());
  ASSERT_TRUE(ops_.connected()) << view_.LastStatus();
  EXPECT_EQ(fields_.threshold, "77");
}

}  // namespace
