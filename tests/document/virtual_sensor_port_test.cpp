// Connecting to a virtual sensor: which addresses and baud rates start one,
// what the connection then uses, the one text of a refusal, and its line
// pulled.

#include "tarkon/document/virtual_sensor_port.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/sim_document.h"
#include "tarkon/document/link_loss.h"

namespace {

using testsupport::SimDocumentTest;

struct VirtualCase {
  std::string model;
  std::optional<int> address;
  std::optional<int32_t> baudRate;
  int32_t checkMode;
  std::string failure;  // empty: starts, and the document connects
  int32_t addressUsed;  // 0: the global address
  int32_t baudUsed;
};

const char* const kStart = "The virtual sensor did not start: ";

TEST_F(SimDocumentTest, VirtualSensorRulesThroughTheConnect) {
  const std::string badAddress = " is not 1 to 255 (or 0, the global address)";
  const VirtualCase cases[] = {
      // Nothing named: the factory address and rate, not the stored ones.
      {"KRV04", std::nullopt, std::nullopt, 0, "", 1, 57600},
      {"Qmt Short", 17, 9600, 1, "", 17, 9600},
      {"KRV02", 255, 19200, 0, "", 255, 19200},
      // The global address: the sensor stays at 1 and answers address 0.
      {"KRV04 Board Flipper", 0, 38400, 0, "", 0, 38400},
      {"KRV04", 256, std::nullopt, 0, std::string(kStart) + "address 256" + badAddress, 0, 0},
      {"KRV04", -1, 57600, 0, std::string(kStart) + "address -1" + badAddress, 0, 0},
      {"KRV04", 1, 115200, 0, std::string(kStart) + "115200 bit/s is not 9600, 19200, 38400 or 57600", 0, 0},
      {"KRV04", 1, 0, 0, std::string(kStart) + "0 bit/s is not 9600, 19200, 38400 or 57600", 0, 0},
      {"KRV04", 1, 9600, 2, std::string(kStart) + "check mode 2 is not 0 (checksum) or 1 (CRC)", 0, 0},
  };
  for (const VirtualCase& c : cases) {
    SCOPED_TRACE(c.model + " address " + (c.address ? std::to_string(*c.address) : "-") + " baud " +
                 (c.baudRate ? std::to_string(*c.baudRate) : "-"));
    VirtualSensorPort sensor;
    ConnectValues values;
    values.portText = "COM2";  // as stored for an earlier real sensor
    values.address = 9;
    values.baudChoice = 0;
    VirtualSensorRequest request;
    request.model = c.model;
    request.address = c.address;
    request.baudRate = c.baudRate;
    request.checkMode = c.checkMode;
    const bool started = sensor.Start(request, values);
    EXPECT_EQ(sensor.failure(), c.failure);
    EXPECT_EQ(started, c.failure.empty());
    EXPECT_EQ(sensor.running(), started);
    if (!started) {
      EXPECT_EQ(sensor.device(), "");
      EXPECT_EQ(values.portText, "COM2");
      EXPECT_EQ(values.address, 9);
      EXPECT_EQ(values.baudChoice, 0);
      continue;
    }
    EXPECT_EQ(values.portText, sensor.device());
    EXPECT_EQ(values.globalAddress, c.addressUsed == 0);
    EXPECT_EQ(values.address, c.addressUsed);
    ASSERT_TRUE(Doc().Connect(values, c.checkMode));
    // The settings read puts the sensor's own address in use: asked at the
    // global address, the sensor is still at 1.
    EXPECT_EQ(Doc().sensor().address(), c.addressUsed == 0 ? 1 : c.addressUsed);
    EXPECT_EQ(Doc().sensor().baudRate(), c.baudUsed);
    EXPECT_EQ(Doc().sensor().checkMode(), c.checkMode);
    EXPECT_EQ(Doc().sensor().modelText(), c.model);
    Doc().Disconnect();
  }
}

// Unplugging the virtual sensor's line is a lost link as a pulled adapter
// makes it: the next command fails and the notice offers a reconnect.
TEST_F(SimDocumentTest, AnUnpluggedVirtualSensorIsALostLink) {
  VirtualSensorPort sensor;
  EXPECT_FALSE(sensor.Unplug()) << "no sensor runs";
  ConnectValues values;
  VirtualSensorRequest request;
  request.model = "KRV04";
  ASSERT_TRUE(sensor.Start(request, values)) << sensor.failure();
  ASSERT_TRUE(Doc().Connect(values, 0));
  ASSERT_TRUE(Doc().operations().RereadSettings());
  EXPECT_EQ(Doc().connection().linkNotice().kind, LinkNoticeKind::kNone);

  EXPECT_TRUE(sensor.Unplug());
  EXPECT_TRUE(sensor.running()) << "the sensor runs on; only its line is gone";
  EXPECT_FALSE(Doc().operations().RereadSettings());
  EXPECT_FALSE(Doc().connected());
  EXPECT_EQ(Doc().connection().linkNotice().kind, LinkNoticeKind::kPortGone);
  EXPECT_TRUE(Doc().connection().linkNotice().offersReconnect);
  EXPECT_NE(Doc().connection().linkNotice().text.find(" was lost: the port " + sensor.device() + " went away"),
            std::string::npos)
      << Doc().connection().linkNotice().text;
}

TEST(VirtualSensorOfDialog, TheDialogNamesItsAddressAndRate) {
  ConnectValues chosen;
  chosen.address = 12;
  chosen.baudChoice = 1;
  VirtualSensorRequest request = VirtualSensorOfDialog("KRV04", chosen);
  EXPECT_EQ(request.model, "KRV04");
  EXPECT_EQ(request.address, 12);
  EXPECT_EQ(request.baudRate, 19200);
  chosen.globalAddress = true;
  EXPECT_EQ(VirtualSensorOfDialog("KRV04", chosen).address, 0);
}

}  // namespace
