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

// A port named by text, as --port and the port box's typed text name it:
// "COMn" (COM1 to COM4 the list's entries, others through the port map),
// a device path, or a serial device server's line (rfc2217://HOST:PORT,
// tcp://HOST:PORT). Empty and `fields` updated, or what the text is not.
std::string ApplyPortText(const std::string& text, WindowFields& fields);

}  // namespace ostrel
