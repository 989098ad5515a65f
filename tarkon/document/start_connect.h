#pragma once
// The connect that `tarkon --port PORT [--baud N] [--address N]` asks for
// at start: the texts given on the command line, checked as the connect
// dialog checks its fields, laid over the dialog's values from the
// settings file. The connect itself is the dialog's (CKRV02Doc::Connect).

#include <cstdint>
#include <optional>
#include <string>

#include "tarkon/document/connect_values.h"

struct StartConnectTexts {
  std::string port;                    // "COMn" or a device path
  std::optional<std::string> baud;     // one of the sensor rates
  std::optional<std::string> address;  // 1 to 255, or 0 for the global address
};

// The --baud and --address texts as every program's command line takes
// them (the connect at start and tarkon-cli alike): empty and the value
// set, or the refusal.
std::string CheckBaudOption(const std::string& text, int32_t* rate);
std::string CheckAddressOption(const std::string& text, uint8_t* address);

// Empty and `values` updated, or the refusal (and `values` untouched).
std::string ApplyStartConnect(const StartConnectTexts& texts, ConnectValues* values);
