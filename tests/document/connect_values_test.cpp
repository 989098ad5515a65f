#include "tarkon/document/connect_values.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(ConnectValues, PortTextToPortNumber) {
  EXPECT_EQ(PortNumberOfText("COM3"), 3);
  EXPECT_EQ(PortNumberOfText("com3"), 3);
  EXPECT_EQ(PortNumberOfText("Com12"), 12);
  EXPECT_EQ(PortNumberOfText("COM4.7"), 4);
  EXPECT_EQ(PortNumberOfText("xCOM5"), 5);
  EXPECT_EQ(PortNumberOfText("3"), -1);
  EXPECT_EQ(PortNumberOfText("ttyS0"), -1);
  EXPECT_EQ(PortNumberOfText(""), -1);
  // Nothing but the number (and blanks) after COM, within the ports a
  // system numbers; never the number a longer text starts with.
  EXPECT_EQ(PortNumberOfText(" COM256 "), 256);
  for (const char* refused : {"COM1x", "COM2 junk", "COM257", "COM99999999999", "COM0", "COM-3", "COM1e1"})
    EXPECT_EQ(PortNumberOfText(refused), -1) << refused;
}

TEST(ConnectValues, DevicePathIsUsedAsItIs) {
  ConnectValues values;
  values.portText = " /dev/ttyUSB0 ";
  ConnectTarget target = ConnectTargetFromValues(values);
  EXPECT_EQ(target.device, "/dev/ttyUSB0");
  EXPECT_EQ(target.port, -1);
  // Not upper-cased, and "com" inside a path is no port number.
  values.portText = "/dev/serial/by-id/usb-com3";
  target = ConnectTargetFromValues(values);
  EXPECT_EQ(target.device, "/dev/serial/by-id/usb-com3");
  EXPECT_EQ(target.port, -1);
  values.portText = "com3";
  target = ConnectTargetFromValues(values);
  EXPECT_EQ(target.device, "");
  EXPECT_EQ(target.port, 3);
}

TEST(ConnectValues, FilledFromStoredSettings) {
  SettingsFile::SerialValues stored;
  stored.port = 7;
  stored.baudRate = 19200;
  stored.address = 0x1FE;
  stored.readTimeout = 200;
  stored.writeTimeout = 300;
  ConnectValues values = ConnectValuesFromSettings(stored);
  EXPECT_EQ(values.portText, "COM7");
  EXPECT_EQ(values.baudChoice, 1);
  EXPECT_EQ(values.address, 0xFE);
  EXPECT_EQ(values.readTimeout, 200u);
  EXPECT_EQ(values.writeTimeout, 300u);
  EXPECT_FALSE(values.parityEnabled);
  EXPECT_EQ(values.parityChoice, 2);

  EXPECT_EQ(ConnectBaudChoice(9600), 0);
  EXPECT_EQ(ConnectBaudChoice(38400), 2);
  EXPECT_EQ(ConnectBaudChoice(57600), 3);
  EXPECT_EQ(ConnectBaudChoice(115200), 3);
  stored.device = "/dev/pts/4";
  EXPECT_EQ(ConnectValuesFromSettings(stored).portText, "/dev/pts/4");
}

TEST(ConnectValues, ChoicesToLineSettings) {
  EXPECT_EQ(BaudRateOfChoice(0), 9600);
  EXPECT_EQ(BaudRateOfChoice(3), 57600);
  EXPECT_EQ(BaudRateOfChoice(4), 9600);
  EXPECT_EQ(BaudRateOfChoice(-1), 9600);
  // Parity list order: "Even", "Mark", "No Parity", "Odd".
  EXPECT_EQ(ParityOfChoice(true, 0), kParityEven);
  EXPECT_EQ(ParityOfChoice(true, 1), kParityMark);
  EXPECT_EQ(ParityOfChoice(true, 2), kParityNone);
  EXPECT_EQ(ParityOfChoice(true, 3), kParityOdd);
  EXPECT_EQ(ParityOfChoice(false, 0), kParityNone);
  EXPECT_EQ(ParityOfChoice(false, 3), kParityNone);
  EXPECT_EQ(StopBitsOfChoice(0), kStopOne);
  EXPECT_EQ(StopBitsOfChoice(1), kStopOneAndHalf);
  EXPECT_EQ(StopBitsOfChoice(2), kStopTwo);
  EXPECT_EQ(DataBitsOfChoice(0), 8);
  EXPECT_EQ(DataBitsOfChoice(1), 7);
  EXPECT_EQ(DataBitsOfChoice(4), 4);

  ConnectValues values;
  values.portText = "COM2";
  values.baudChoice = 2;
  values.parityEnabled = true;
  values.parityChoice = 3;
  values.stopBitChoice = 2;
  values.dataBitChoice = 1;
  values.address = 9;
  values.readTimeout = 200;
  values.writeTimeout = 300;
  ConnectTarget target = ConnectTargetFromValues(values);
  EXPECT_EQ(target.port, 2);
  EXPECT_EQ(target.baudRate, 38400);
  EXPECT_EQ(target.parity, kParityOdd);
  EXPECT_EQ(target.stopBits, kStopTwo);
  EXPECT_EQ(target.dataBits, 7);
  EXPECT_EQ(target.address, 9);
  EXPECT_EQ(target.readTimeout, 200u);
  EXPECT_EQ(target.writeTimeout, 300u);
}

TEST(ConnectValues, StoredAfterConnect) {
  SettingsFile::SerialValues stored;
  stored.port = 4;
  ConnectTarget target;
  target.port = 3;
  target.baudRate = 19200;
  target.address = 12;
  target.readTimeout = 200;
  target.writeTimeout = 300;
  SettingsFile::SerialValues kept = SerialValuesOfConnection(target, stored);
  EXPECT_EQ(kept.port, 3);
  EXPECT_EQ(kept.baudRate, 19200);
  EXPECT_EQ(kept.address, 12);
  EXPECT_EQ(kept.readTimeout, 200u);
  EXPECT_EQ(kept.writeTimeout, 300u);
  EXPECT_EQ(kept.device, "");
  target.device = "/dev/ttyUSB1";
  kept = SerialValuesOfConnection(target, stored);
  EXPECT_EQ(kept.port, 4);
  EXPECT_EQ(kept.device, "/dev/ttyUSB1");

  target.device.clear();
  target.port = 5;
  kept = SerialValuesOfConnection(TargetAfterChange(target, 38400, 33), stored);
  EXPECT_EQ(kept.port, 5);
  EXPECT_EQ(kept.baudRate, 38400);
  EXPECT_EQ(kept.address, 33);
  EXPECT_EQ(kept.readTimeout, 200u);
  EXPECT_EQ(kept.writeTimeout, 300u);
}

TEST(ConnectDialog, TypingZeroSwitchesTheGlobalAddressOn) {
  ConnectValues filled;
  filled.address = 5;
  ConnectDialogState dialog(filled);
  EXPECT_EQ(dialog.addressText, "5");
  EXPECT_TRUE(dialog.addressFieldEnabled());
  EXPECT_EQ(dialog.spinLow(), 1);
  EXPECT_EQ(dialog.spinHigh(), 255);
  dialog.addressText = "0";
  dialog.LeaveAddressField();
  EXPECT_TRUE(dialog.globalAddress());
  EXPECT_TRUE(dialog.warningVisible());
  EXPECT_FALSE(dialog.addressFieldEnabled());
  EXPECT_EQ(dialog.spinLow(), 0);
  EXPECT_EQ(dialog.spinHigh(), 0);
  ConnectValues out;
  EXPECT_EQ(dialog.Accept(&out), "");
  EXPECT_EQ(out.address, 0);
  EXPECT_TRUE(out.globalAddress);
  EXPECT_EQ(ConnectTargetFromValues(out).address, 0);
}

TEST(ConnectDialog, SwitchingGlobalOffRestoresAddressOne) {
  ConnectValues filled;
  filled.address = 5;
  ConnectDialogState dialog(filled);
  dialog.ClickGlobalAddress();
  EXPECT_EQ(dialog.addressText, "0");
  EXPECT_TRUE(dialog.warningVisible());
  dialog.ClickGlobalAddress();
  EXPECT_FALSE(dialog.globalAddress());
  EXPECT_FALSE(dialog.warningVisible());
  EXPECT_TRUE(dialog.addressFieldEnabled());
  EXPECT_EQ(dialog.addressText, "1");
  EXPECT_EQ(dialog.spinLow(), 1);
}

TEST(ConnectDialog, OpeningWithAddressZeroKeepsTheWarningHidden) {
  ConnectValues filled;
  filled.address = 0;
  ConnectDialogState dialog(filled);
  EXPECT_TRUE(dialog.globalAddress());
  EXPECT_FALSE(dialog.addressFieldEnabled());
  EXPECT_EQ(dialog.addressText, "0");
  EXPECT_EQ(dialog.spinHigh(), 0);
  EXPECT_FALSE(dialog.warningVisible());
}

TEST(ConnectDialog, NonZeroAddressTakesItsLowByte) {
  ConnectValues filled;
  ConnectDialogState dialog(filled);
  dialog.addressText = "300";
  dialog.LeaveAddressField();
  EXPECT_EQ(dialog.address(), 44);
  EXPECT_FALSE(dialog.globalAddress());
  // The OK check reads the field and refuses it.
  EXPECT_EQ(dialog.Accept(nullptr), "Please enter an integer between 0 and 255.");
  dialog.addressText = "abc";
  dialog.LeaveAddressField();
  EXPECT_TRUE(dialog.globalAddress());
}

TEST(ConnectDialog, OkChecksAddressAndTimeouts) {
  ConnectValues filled;
  filled.readTimeout = 100;
  filled.writeTimeout = 100;
  ConnectDialogState dialog(filled);
  ConnectValues out;
  dialog.addressText = "256";
  EXPECT_EQ(dialog.Accept(&out), "Please enter an integer between 0 and 255.");
  dialog.addressText = "-1";
  EXPECT_EQ(dialog.Accept(&out), "Please enter an integer between 0 and 255.");
  dialog.addressText = "";
  EXPECT_EQ(dialog.Accept(&out), "Please enter an integer between 0 and 255.");
  // A typed 0 passes although the spin control stops at 1.
  dialog.addressText = "0";
  EXPECT_EQ(dialog.Accept(&out), "");
  EXPECT_EQ(out.address, 0);
  dialog.addressText = "255";
  dialog.readTimeoutText = "-5";
  EXPECT_EQ(dialog.Accept(&out), "Please enter a positive integer.");
  dialog.readTimeoutText = "200";
  dialog.writeTimeoutText = "3x";
  EXPECT_EQ(dialog.Accept(&out), "Please enter a positive integer.");
  dialog.writeTimeoutText = "4294967296";
  EXPECT_EQ(dialog.Accept(&out), "Please enter a positive integer.");
  dialog.writeTimeoutText = "300";
  ASSERT_EQ(dialog.Accept(&out), "");
  EXPECT_EQ(out.address, 255);
  EXPECT_EQ(out.readTimeout, 200u);
  EXPECT_EQ(out.writeTimeout, 300u);
}

TEST(ConnectDialog, ParityBoxDecidesWhetherTheListCounts) {
  ConnectValues filled;
  ConnectDialogState dialog(filled);
  EXPECT_FALSE(dialog.parityListEnabled());
  dialog.parityChoice = 0;
  ConnectValues out;
  ASSERT_EQ(dialog.Accept(&out), "");
  EXPECT_EQ(ConnectTargetFromValues(out).parity, kParityNone);
  dialog.ClickParity();
  EXPECT_TRUE(dialog.parityListEnabled());
  ASSERT_EQ(dialog.Accept(&out), "");
  EXPECT_EQ(ConnectTargetFromValues(out).parity, kParityEven);
}

TEST(AddressDialog, ChecksAndPayload) {
  uint8_t address = 99;
  EXPECT_EQ(CheckAddressText("0", &address), "");
  EXPECT_EQ(address, 0);
  EXPECT_EQ(CheckAddressText(" 17 ", &address), "");
  EXPECT_EQ(address, 17);
  EXPECT_EQ(CheckAddressText("256", &address), "Please enter an integer between 0 and 255.");
  EXPECT_EQ(CheckAddressText("1a", &address), "Please enter an integer between 0 and 255.");
  EXPECT_EQ(address, 17);

  uint8_t serial[16] = {};
  std::memcpy(serial, "AB123456789", 11);
  EXPECT_EQ(AddressDialogSerial(serial), "AB123456");
  uint8_t payload[9];
  std::memset(payload, 0xAA, sizeof payload);
  BuildAddressPayload("AB12", 42, payload);
  const uint8_t expected[9] = {'A', 'B', '1', '2', 0, 0, 0, 0, 42};
  EXPECT_EQ(std::memcmp(payload, expected, 9), 0);
  BuildAddressPayload("ABCDEFGHIJ", 7, payload);
  const uint8_t cut[9] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 7};
  EXPECT_EQ(std::memcmp(payload, cut, 9), 0);
}

TEST(BaudDialog, PreselectionAndRates) {
  EXPECT_EQ(BaudDialogChoice(9600), 0);
  EXPECT_EQ(BaudDialogChoice(19200), 1);
  EXPECT_EQ(BaudDialogChoice(38400), 2);
  EXPECT_EQ(BaudDialogChoice(57600), 3);
  EXPECT_EQ(BaudDialogChoice(115200), 0);
  EXPECT_EQ(BaudDialogRate(0), 9600);
  EXPECT_EQ(BaudDialogRate(1), 19200);
  EXPECT_EQ(BaudDialogRate(2), 38400);
  EXPECT_EQ(BaudDialogRate(3), 57600);
  EXPECT_EQ(BaudDialogRate(7), 9600);
}

TEST(ConnectValues, OnlyTheFourSensorRatesAreSensorRates) {
  for (int32_t rate : {9600, 19200, 38400, 57600}) EXPECT_TRUE(IsSensorBaudRate(rate)) << rate;
  for (int32_t rate : {0, -9600, 4800, 115200, 57601}) EXPECT_FALSE(IsSensorBaudRate(rate)) << rate;
}

}  // namespace

// The rules the connect dialog and the command-line tool take from one
// place: the address (0 is the global address, taken as the dialogs take
// it) and the time-outs (any unsigned 32-bit number of milliseconds).
TEST(SharedConnectRules, AddressAndTimeOutTexts) {
  struct Case {
    const char* text;
    bool addressTaken;
    int address;
    bool timeoutTaken;
    uint32_t timeout;
  };
  const Case cases[] = {
      {"0", true, 0, true, 0},
      {"1", true, 1, true, 1},
      {"255", true, 255, true, 255},
      {"256", false, 0, true, 256},
      {"-1", false, 0, false, 0},
      {"4294967295", false, 0, true, 4294967295u},
      {"4294967296", false, 0, false, 0},
      {"", false, 0, false, 0},
      {"12a", false, 0, false, 0},
  };
  for (const Case& c : cases) {
    uint8_t address = 77;
    const std::string addressMessage = CheckAddressText(c.text, &address);
    EXPECT_EQ(addressMessage, c.addressTaken ? "" : kAddressRangeMessage) << c.text;
    if (c.addressTaken) {
      EXPECT_EQ(address, c.address) << c.text;
    }
    uint32_t timeout = 77;
    const std::string timeoutMessage = CheckTimeoutText(c.text, &timeout);
    EXPECT_EQ(timeoutMessage, c.timeoutTaken ? "" : kPositiveIntegerMessage) << c.text;
    if (c.timeoutTaken) {
      EXPECT_EQ(timeout, c.timeout) << c.text;
    }
    // The connect dialog's OK takes the same time-outs.
    ConnectValues filled;
    ConnectDialogState dialog(filled);
    dialog.addressText = "1";
    dialog.readTimeoutText = c.text;
    dialog.writeTimeoutText = "100";
    EXPECT_EQ(dialog.Accept(nullptr), timeoutMessage) << c.text;
    dialog.readTimeoutText = "100";
    dialog.writeTimeoutText = c.text;
    EXPECT_EQ(dialog.Accept(nullptr), timeoutMessage) << c.text;
  }
}

TEST(SharedConnectRules, TheBaudRateListsAndTheirPhrase) {
  EXPECT_EQ(BaudRateTexts(), (std::vector<std::string>{"9600", "19200", "38400", "57600"}));
  EXPECT_EQ(BaudRatesPhrase(), "9600, 19200, 38400 or 57600");
  for (int choice = 0; choice < 4; ++choice) EXPECT_EQ(SensorBaudRates()[choice], BaudRateOfChoice(choice));
}
