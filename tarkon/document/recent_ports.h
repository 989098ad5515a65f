#pragma once
// The last ports a technician connected through, newest first, for the
// start page's shortcuts: each with the baud rate and address it answered
// at. The window keeps them in the per-user profile store as texts
// (RecentPortText); a text that does not read back as a port the connect
// dialog would take is dropped, never connected to.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tarkon/document/connect_values.h"

struct RecentPort {
  std::string portText;  // "COMn" or a device path
  int32_t baudRate = 57600;
  uint8_t address = 1;   // 0: the global address

  bool operator==(const RecentPort& other) const {
    return portText == other.portText && baudRate == other.baudRate && address == other.address;
  }
};

inline constexpr size_t kRecentPortCount = 4;

// The port a successful connect went through.
RecentPort RecentPortOfConnect(const ConnectValues& values);
// `used` first, then the others without its port, at most kRecentPortCount.
std::vector<RecentPort> RememberRecentPort(const std::vector<RecentPort>& list, const RecentPort& used);
// "57600,1,/dev/ttyUSB0": the port text last, so it may hold any character.
std::string RecentPortText(const RecentPort& port);
// Nothing for a text that is not one (a hand edit, another version).
std::optional<RecentPort> RecentPortOfText(const std::string& text);
// The readable texts, in order, at most kRecentPortCount.
std::vector<RecentPort> RecentPortsOfTexts(const std::vector<std::string>& texts);
// What the start page's button says: "/dev/ttyUSB0, 57600 baud, address 1".
std::string RecentPortLabel(const RecentPort& port);
// The connect values for it: `base` (the stored values, with their
// time-outs and line settings) with its port, rate and address.
ConnectValues ConnectValuesOfRecent(const RecentPort& port, ConnectValues base);
