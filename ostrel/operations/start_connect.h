#pragma once
// The connect that `ostrel --port PORT [--baud N] [--address N]` asks for
// at start: the texts given on the command line, checked against what the
// Connect tab offers, laid over the window's record. The connect itself is
// the Connect button's (Operations::Connect).

#include <optional>
#include <string>

#include "ostrel/operations/window_fields.h"

namespace ostrel {

struct StartConnectTexts {
  std::string port;                    // "COMn" or a device path
  std::optional<std::string> baud;     // one of the host baud list's rates
  std::optional<std::string> address;  // 1 to 255, or 0 for the global address
};

// Empty and `fields` updated, or the refusal (and `fields` untouched).
std::string ApplyStartConnect(const StartConnectTexts& texts, WindowFields& fields);

}  // namespace ostrel
