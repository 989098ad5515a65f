#pragma once
// Command line of tarkon-cli.

#include <optional>
#include <string>
#include <vector>

struct CliOptions {
  std::optional<std::string> port;  // "COMn" or a device path
  std::optional<int> baud;
  std::optional<int> address;
  std::optional<unsigned> readTimeoutMs;
  std::optional<unsigned> writeTimeoutMs;
  std::optional<std::string> settingsPath;  // tarkon.ini to use instead of the default
  bool manufacturing = false;
  bool json = false;
  bool yes = false;
  bool rs485 = false;  // the driver's RS-485 direction control
  std::optional<std::string> simulate;       // model of an in-process virtual sensor
  std::string simulateCheckMode = "checksum";  // the virtual sensor's check mode
  std::string command;
  std::vector<std::string> arguments;
};

// Parses argv. On a usage error returns false with a message.
bool ParseCliOptions(int argc, char** argv, CliOptions& out, std::string& error);

const char* CliUsage();
