#pragma once
// What the connection dialogs collect and how the document turns it into
// port settings: the connect dialog's values and rules, the address dialog
// and the baud-rate dialog. A dialog only binds its controls to these.
//
// Port text: "COMn" in any case names port n, which the port resolver maps
// to a device (by default /dev/ttyS(n-1), or through the settings file's
// port map). On Linux a text starting with "/" is also accepted and used as
// the device path itself, e.g. "/dev/ttyUSB0" or a virtual sensor's
// pseudo-terminal; such a connection is stored under the settings file's
// "Device" key.

#include <cstdint>
#include <string>
#include <vector>

#include "serial/serial_settings.h"
#include "tarkon/document/settings_file.h"

// The connect dialog's values, with the dialog's initial contents.
struct ConnectValues {
  std::string portText = "COM1";
  int baudChoice = 3;         // "9600", "19200", "38400", "57600"
  int stopBitChoice = 0;      // "1", "1.5", "2"
  bool parityEnabled = false;
  int parityChoice = 2;       // "Even", "Mark", "No Parity", "Odd"
  int dataBitChoice = 0;      // "8", "7", "6", "5", "4"
  uint8_t address = 1;
  bool globalAddress = false;
  uint32_t readTimeout = 0;   // "Read multiplier:"
  uint32_t writeTimeout = 0;  // "Write multiplier:"
  // Advanced: the driver's RS-485 direction control (RTS drives the
  // transmitter). Off for RS-232 and for adapters that switch by themselves.
  bool rs485 = false;
  // A line that ends with the program (a virtual sensor's): the document
  // does not store it as the next connect's port.
  bool lineEndsWithProgram = false;
};

// What the document opens and remembers after the dialog.
struct ConnectTarget {
  int port = -1;       // n of "COMn"; -1 when the text names no port
  std::string device;  // explicit device path (text starting with "/"), else empty
  int32_t baudRate = 9600;
  int32_t parity = 0;    // SerialParity
  int32_t stopBits = 0;  // SerialStopBits
  int32_t dataBits = 8;
  uint8_t address = 1;
  uint32_t readTimeout = 0;
  uint32_t writeTimeout = 0;
  bool rs485 = false;
};

// Baud rate and dialog choice index of the connect dialog:
// 9600 -> 0, 19200 -> 1, 38400 -> 2, any other -> 3; 0..3 -> the rates,
// any other index -> 9600.
int ConnectBaudChoice(int32_t baudRate);
// One of the four rates a sensor runs at: 9600, 19200, 38400, 57600.
bool IsSensorBaudRate(int32_t baudRate);
int32_t BaudRateOfChoice(int choice);
// Parity of the dialog: none unless enabled; then "Even", "Mark",
// "No Parity", "Odd" by the choice (an unknown choice: none).
int32_t ParityOfChoice(bool enabled, int choice);
// "1", "1.5", "2" (an unknown choice: one).
int32_t StopBitsOfChoice(int choice);
// "8", "7", "6", "5", "4" (an unknown choice: 8).
int32_t DataBitsOfChoice(int choice);
// Port number of a port text (see ParsePortText, port_text.h): upper-cased,
// the text after the first "COM" read as a decimal number with its fraction
// cut off; -1 without "COM", and for a text that holds more than the number.
int PortNumberOfText(const std::string& portText);
// The device path of a port text starting with "/" (blanks around
// ignored); empty for any other text.
std::string DevicePathOfText(const std::string& portText);

// Fills the dialog from the stored serial settings: port text "COM%d" (or
// the stored device path), baud choice, the address's low byte, time-outs.
ConnectValues ConnectValuesFromSettings(const SettingsFile::SerialValues& stored);
// Takes the dialog's values back.
ConnectTarget ConnectTargetFromValues(const ConnectValues& values);
// What the settings file keeps of a connection: after the connect, and
// after an address or baud-rate change alike (the caller passes the
// connection's target with the new rate and address). A connection by
// "COMn" keeps only the port number, whatever device the port map resolved
// it to, so a later change of the map takes effect; a connection by device
// path keeps the stored port number and records the path. The time-outs are
// kept as the user gave them, not as the port could use them.
SettingsFile::SerialValues SerialValuesOfConnection(const ConnectTarget& target,
                                                    const SettingsFile::SerialValues& stored);
// Whether the text of "Address" in the settings file is one whole number
// the connect dialog takes (1 to 255, or 0 for the global address).
// Another number is not cut to its low byte, which would be some other
// address, and a text that is no number is not read as 0 (global).
bool StoredAddressFits(const std::string& text);
// "Address=256 in /path/tarkon.ini is not 1 to 255 (or 0, the global
// address): address 1 is used, and the file keeps its value"
std::string StoredAddressRefusedLine(const std::string& text, const std::string& path);

// The target after an address or baud-rate change of the connection.
ConnectTarget TargetAfterChange(ConnectTarget connection, int32_t baudRate, int32_t address);

// The time-out handed to the port for a stored time-out: the serial layer
// takes at most 2^31 - 1 ms (about 24.8 days), so larger stored values
// (also "-1", which reads as 4294967295) are clamped to that, rather than
// making every connect fail. The stored text stays as it is.
int32_t PortTimeoutMs(uint32_t stored);

// Sensor addresses: one sensor each from the first to the last; the
// global address reaches every sensor on the line.
constexpr int kFirstSensorAddress = 1;
constexpr int kLastSensorAddress = 255;
constexpr int kGlobalAddress = 0;

// Messages of the dialogs' OK checks.
constexpr const char* kAddressRangeMessage = "Please enter an integer between 0 and 255.";
constexpr const char* kPositiveIntegerMessage = "Please enter a positive integer.";

// A time-out as the connect dialog and the command-line tool take it: an
// unsigned whole number of milliseconds (0 to 4294967295; the port gets at
// most PortTimeoutMs of it). Empty when taken, else kPositiveIntegerMessage.
std::string CheckTimeoutText(const std::string& text, uint32_t* timeout);

// The four rates of the baud-rate lists, in choice order, and as one
// phrase ("9600, 19200, 38400 or 57600").
std::vector<int32_t> SensorBaudRates();
std::vector<std::string> BaudRateTexts();
std::string BaudRatesPhrase();

// The connect dialog: the controls' contents and the rules that tie them.
class ConnectDialogState {
 public:
  // Opening: an address of 0 (or the global flag) opens with the field
  // disabled and showing "0", the spin range 0..0 and the box checked, the
  // warning still hidden.
  explicit ConnectDialogState(const ConnectValues& filled);

  // Control contents the dialog binds.
  std::string portText;
  int baudChoice = 3;
  int stopBitChoice = 0;
  int parityChoice = 2;
  int dataBitChoice = 0;
  std::string addressText;
  std::string readTimeoutText;
  std::string writeTimeoutText;
  bool rs485 = false;  // the advanced part's RS-485 check box

  bool parityEnabled() const { return parityEnabled_; }
  bool parityListEnabled() const { return parityEnabled_; }
  bool globalAddress() const { return global_; }
  bool addressFieldEnabled() const { return !global_; }
  bool warningVisible() const { return warning_; }
  int spinLow() const { return global_ ? 0 : 1; }
  int spinHigh() const { return global_ ? 0 : 255; }
  uint8_t address() const { return address_; }

  // "Parity": flips the flag; the parity list follows it.
  void ClickParity();
  // "Use global address": switches the global address on or off.
  void ClickGlobalAddress();
  // Leaving the address field: a non-zero number becomes the address (its
  // low byte); zero or no number switches the global address on.
  void LeaveAddressField();
  // "Ok": empty text and `out` filled, or the message to show (the dialog
  // then stays open).
  std::string Accept(ConnectValues* out) const;

 private:
  void SwitchGlobalOn();
  void SwitchGlobalOff();

  bool parityEnabled_ = false;
  bool global_ = false;
  bool warning_ = false;
  uint8_t address_ = 1;
};

// The address dialog's OK check: empty and `address` set, or the message.
std::string CheckAddressText(const std::string& text, uint8_t* address);
// The serial number the address dialog shows: the first 8 characters of the
// serial number reply (up to its NUL).
std::string AddressDialogSerial(const uint8_t serialNumber[16]);
// SetSensorAddress payload: the serial text in 8 NUL-filled bytes (at most 8
// characters), then the new address.
void BuildAddressPayload(const std::string& serialText, uint8_t address, uint8_t payload[9]);

// The baud-rate dialog: the port's rate pre-selects 19200 -> 1,
// 38400 -> 2, 57600 -> 3, any other -> 0; the chosen index gives the rate
// (0..3 -> 9600, 19200, 38400, 57600; out of range -> 9600).
int BaudDialogChoice(int32_t baudRate);
int32_t BaudDialogRate(int choice);
