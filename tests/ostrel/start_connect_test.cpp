// The command line's connect at start: the texts checked against what the
// Connect tab offers, laid over the window's record.

#include "ostrel/operations/start_connect.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  ostrel::StartConnectTexts texts;
  std::string refusal;  // empty: taken
  int port;
  std::string device;
  int hostBaud;
  std::string connAddr;
  bool global;
};

TEST(OstrelStartConnect, TakesWhatTheConnectTabOffersAndRefusesTheRest) {
  ostrel::WindowFields filled;
  filled.port = 1;
  filled.hostBaud = 2;
  filled.connAddr = "9";
  const std::optional<std::string> none;
  const Case cases[] = {
      {{"com3", none, none}, "", 2, "", 2, "9", false},
      {{"/dev/ttyUSB0", std::string("19200"), std::string("7")}, "", -1, "/dev/ttyUSB0", 1, "7", false},
      {{"COM4", std::string("9600"), std::string("0")}, "", 3, "", 0, "9", true},
      {{"rfc2217://127.0.0.1:4001", none, none}, "", -1, "rfc2217://127.0.0.1:4001", 2, "9", false},
      {{"TCP://[::1]:4002", none, none}, "", -1, "TCP://[::1]:4002", 2, "9", false},
      {{"ttyS0", none, none}, "--port takes COMn or a device path such as /dev/ttyUSB0, not \"ttyS0\"", 0, "", 0, "", false},
      {{"COM1", std::string("115200"), none}, "--baud takes 9600, 19200, 38400 or 57600, not \"115200\"", 0, "", 0, "", false},
      {{"COM1", none, std::string("256")}, "--address takes 1 to 255, or 0 for the global address, not \"256\"", 0, "", 0, "", false},
      {{"COM1", none, std::string("7 ")}, "--address takes 1 to 255, or 0 for the global address, not \"7 \"", 0, "", 0, "", false},
  };
  for (const Case& c : cases) {
    ostrel::WindowFields fields = filled;
    EXPECT_EQ(ostrel::ApplyStartConnect(c.texts, fields), c.refusal) << c.texts.port;
    if (!c.refusal.empty()) {
      EXPECT_EQ(fields.port, filled.port) << "a refusal changes nothing";
      continue;
    }
    EXPECT_EQ(fields.port, c.port) << c.texts.port;
    EXPECT_EQ(fields.device, c.device) << c.texts.port;
    EXPECT_EQ(fields.hostBaud, c.hostBaud) << c.texts.port;
    EXPECT_EQ(fields.connAddr, c.connAddr) << c.texts.port;
    EXPECT_EQ(fields.useGlobalAddress, c.global) << c.texts.port;
  }
}

}  // namespace
