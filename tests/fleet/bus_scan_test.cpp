// The bus scan against several virtual sensors sharing one line, in mixed
// check modes, through the real port and probe.

#include <gtest/gtest.h>

#include <algorithm>

#include "protocol/packet_link.h"
#include "sim/virtual_line.h"
#include "tarkon/fleet/bus_scan.h"

namespace {

sim::SensorConfig On(const char* model, uint8_t address, int32_t checkMode) {
  sim::SensorConfig config;
  config.model = model;
  config.address = address;
  config.checkMode = checkMode;
  return config;
}

TEST(BusScan, FindsEverySensorOfAMixedLineOnce) {
  sim::VirtualLine line;
  line.Attach(On("KRV02", 1, 0));
  line.Attach(On("KRV04", 17, 1));
  line.Attach(On("KRV04 Board Flipper", 254, 1));
  ASSERT_TRUE(line.Start()) << line.LastError();
  PacketLink link;
  ASSERT_TRUE(link.ConnectDevice(line.SlavePath(), 57600, kParityNone, kStopOne, 8, 100, 2)) << link.errorText();

  std::vector<fleet::FoundSensor> found;
  std::string error;
  long lastDone = -1;
  long total = 0;
  ASSERT_TRUE(fleet::BusScanner(link).Scan(
      {},
      [&](long done, long all) {
        EXPECT_GE(done, lastDone);
        lastDone = done;
        total = all;
        return true;
      },
      found, error))
      << error;
  EXPECT_EQ(total, 510);
  EXPECT_EQ(lastDone, 510);

  const struct {
    int address;
    int checkMode;
    const char* model;
    const char* serialPrefix;
  } expected[] = {{1, 0, "KRV02", "K2"}, {17, 1, "KRV04", "K4"}, {254, 1, "KRV04 Board Flipper", "BF"}};
  ASSERT_EQ(found.size(), std::size(expected));
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.address < b.address; });
  for (size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(found[i].address, expected[i].address);
    EXPECT_EQ(found[i].checkMode, expected[i].checkMode) << found[i].address;
    EXPECT_EQ(found[i].baudRate, 57600);
    EXPECT_EQ(found[i].model, expected[i].model);
    EXPECT_EQ(found[i].serialNumber.size(), 8u);
    EXPECT_EQ(found[i].serialNumber.rfind(expected[i].serialPrefix, 0), 0u) << found[i].serialNumber;
  }
}

TEST(BusScan, StopsWhenProgressSaysSo) {
  sim::VirtualLine line;
  line.Attach(On("KRV02", 200, 0));
  ASSERT_TRUE(line.Start()) << line.LastError();
  PacketLink link;
  ASSERT_TRUE(link.ConnectDevice(line.SlavePath(), 57600, kParityNone, kStopOne, 8, 100, 2));
  std::vector<fleet::FoundSensor> found;
  std::string error;
  long probes = 0;
  EXPECT_TRUE(fleet::BusScanner(link).Scan({}, [&](long done, long) { return (probes = done) < 10; }, found, error));
  EXPECT_EQ(probes, 10);
  EXPECT_TRUE(found.empty());
}

TEST(BusScan, SensorsFoundBeforeAStopStillGetTheirSerialNumbers) {
  sim::VirtualLine line;
  line.Attach(On("KRV04", 2, 0));  // found within the first probes
  line.Attach(On("KRV02", 200, 0));
  ASSERT_TRUE(line.Start()) << line.LastError();
  PacketLink link;
  ASSERT_TRUE(link.ConnectDevice(line.SlavePath(), 57600, kParityNone, kStopOne, 8, 100, 2));
  std::vector<fleet::FoundSensor> found;
  std::string error;
  long probes = 0;
  EXPECT_TRUE(fleet::BusScanner(link).Scan({}, [&](long done, long) { return (probes = done) < 10; }, found, error));
  EXPECT_EQ(probes, 10);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].address, 2);
  EXPECT_EQ(found[0].serialNumber.size(), 8u);
  EXPECT_EQ(found[0].serialNumber.rfind("K4", 0), 0u) << found[0].serialNumber;
}

}  // namespace

namespace {

// The bus scan window and `tarkon-cli bus-scan` take their options through
// this one check, with its texts.
TEST(BusScanOptionsCheck, RangeAndRates) {
  struct Case {
    int from;
    int to;
    std::vector<int> rates;
    const char* message;
  };
  const Case cases[] = {
      {1, 255, {57600}, ""},
      {7, 7, {9600, 19200, 38400, 57600}, ""},
      {8, 7, {57600}, "the first address must not be above the last"},
      {0, 7, {57600}, "the addresses run from 1 to 255"},
      {1, 256, {57600}, "the addresses run from 1 to 255"},
      {1, 255, {}, "choose at least one baud rate"},
      {1, 255, {57600, 1200}, "a sensor runs at 9600, 19200, 38400 or 57600 bit/s, not 1200"},
  };
  for (const Case& c : cases) {
    fleet::BusScanOptions options;
    options.from = c.from;
    options.to = c.to;
    options.baudRates = c.rates;
    EXPECT_EQ(fleet::CheckScanOptions(options), c.message) << c.from << ".." << c.to;
    // A refused scan opens no port.
    std::vector<fleet::FoundSensor> found;
    std::string error;
    if (*c.message != '\0') {
      EXPECT_FALSE(fleet::ScanBusOnDevice("/nonexistent/line", options, nullptr, {}, found, error));
      EXPECT_EQ(error, c.message);
    }
  }
}

}  // namespace

// The time left before the pace is known: every silent probe waits out
// its budget, and each check mode begins with a quiet line.
TEST(BusScan, TimeLeftFromTheProbeBudgets) {
  fleet::BusScanOptions all;
  all.baudRates = {9600, 19200, 38400, 57600};
  fleet::BusScanOptions slow;
  slow.budgetMs = 1000;
  fleet::BusScanOptions few;
  few.from = 1;
  few.to = 2;
  const struct {
    fleet::BusScanOptions options;
    long done;
    const char* text;
  } cases[] = {
      {{}, 0, "about 9 s left"},  // 2 × (255 × 17 ms + 100 ms)
      {all, 0, "about 58 s left"},
      {slow, 0, "about 8 min 32 s left"},
      {slow, 255, "about 4 min 16 s left"},
      {few, 0, "less than a second left"},
      {{}, 510, "less than a second left"},
  };
  for (const auto& c : cases) {
    const fleet::ScanClock clock(c.options);
    EXPECT_EQ(clock.LeftText(c.done, fleet::ProbeCount(c.options)), c.text) << c.text;
  }
}
