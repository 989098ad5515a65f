// The command line's connect at start: the texts checked as the connect
// dialog checks them, laid over the dialog's values.

#include "tarkon/document/start_connect.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  StartConnectTexts texts;
  std::string refusal;  // empty: taken
  std::string portText;
  int baudChoice;
  int address;
  bool global;
};

TEST(StartConnect, TakesWhatTheDialogTakesAndRefusesTheRest) {
  ConnectValues filled;
  filled.baudChoice = 2;  // 38400 from the settings file
  filled.address = 9;
  const std::optional<std::string> none;
  const Case cases[] = {
      {{"COM3", none, none}, "", "COM3", 2, 9, false},
      {{"/dev/ttyUSB0", std::string("19200"), std::string("7")}, "", "/dev/ttyUSB0", 1, 7, false},
      {{"com2", std::string("57600"), std::string("0")}, "", "com2", 3, 0, true},
      {{"ttyS0", none, none}, "--port takes COMn or a device path such as /dev/ttyUSB0, not \"ttyS0\"", "", 0, 0, false},
      {{"COM1", std::string("115200"), none}, "--baud takes 9600, 19200, 38400 or 57600, not \"115200\"", "", 0, 0, false},
      {{"COM1", std::string("9600x"), none}, "--baud takes 9600, 19200, 38400 or 57600, not \"9600x\"", "", 0, 0, false},
      {{"COM1", std::string("-9600"), none}, "--baud takes 9600, 19200, 38400 or 57600, not \"-9600\"", "", 0, 0, false},
      {{"COM1", none, std::string("256")}, "--address \"256\": Please enter an integer between 0 and 255.", "", 0, 0, false},
      {{"COM1", none, std::string("one")}, "--address \"one\": Please enter an integer between 0 and 255.", "", 0, 0, false},
  };
  for (const Case& c : cases) {
    ConnectValues values = filled;
    const std::string refusal = ApplyStartConnect(c.texts, &values);
    EXPECT_EQ(refusal, c.refusal) << c.texts.port;
    if (!c.refusal.empty()) {
      EXPECT_EQ(values.portText, filled.portText) << "a refusal changes nothing";
      continue;
    }
    EXPECT_EQ(values.portText, c.portText);
    EXPECT_EQ(values.baudChoice, c.baudChoice) << c.texts.port;
    EXPECT_EQ(values.address, c.address) << c.texts.port;
    EXPECT_EQ(values.globalAddress, c.global) << c.texts.port;
  }
}

// The same option checks for tarkon-cli, with the value they take.
TEST(StartConnect, OptionChecksGiveTheValue) {
  int32_t rate = 0;
  EXPECT_EQ(CheckBaudOption("19200", &rate), "");
  EXPECT_EQ(rate, 19200);
  EXPECT_EQ(CheckBaudOption("1200", &rate), "--baud takes 9600, 19200, 38400 or 57600, not \"1200\"");
  uint8_t address = 9;
  EXPECT_EQ(CheckAddressOption("0", &address), "");
  EXPECT_EQ(address, 0);
  EXPECT_EQ(CheckAddressOption("-1", &address), "--address \"-1\": Please enter an integer between 0 and 255.");
}

}  // namespace
