#pragma once
// What a port text names, as every front end takes it (the connect dialog,
// `tarkon --port`, tarkon-cli's --port, the bus scan, the list of recent
// ports): a port number ("COMn"), a device path used as it is, or nothing,
// with the reason. This is the one place a port text is read; a new kind of
// port name is added here.
//
// "COMn": the text upper-cased, the text after the first "COM" is blanks,
// the decimal port number, optionally a decimal fraction (cut off), and
// blanks; nothing else. "COM1x", "COM2 junk" or a number beyond the ports a
// system numbers are refused, never read as some other port.

#include <string>

// Port numbers run from 1 ("COM1") to this, the highest a COM port can be
// given on the platforms that number them.
constexpr int kHighestPortNumber = 256;

struct PortText {
  int number = -1;      // n of "COMn"; -1 when the text names no numbered port
  std::string device;   // a device path (text starting with "/"), blanks around removed
  std::string refusal;  // why the text names no port; empty when it names one
  bool ok() const { return refusal.empty(); }
};

PortText ParsePortText(const std::string& text);
