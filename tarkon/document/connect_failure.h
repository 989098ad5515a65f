#pragma once
// Why a connect failed, in one line that says what to do about it. The
// document logs it after its "Cannot connect to the sensor..." lines and
// keeps it for the front ends' message boxes.

#include <cstdint>
#include <string>

#include "serial/serial_error.h"

enum class ConnectFailureCause {
  kNone,
  kNoSuchDevice,
  kPermissionDenied,
  kInUse,
  kCannotOpen,        // any other reason the device would not open or take its settings
  kNoPort,            // the port text names no port
  kRs485Unsupported,  // RS-485 mode asked for, the driver has none
  kNoAnswer,          // the port opened, no sensor answered
  kUnknownModel,      // a sensor answered with a model string no row knows
  kMisfitReply,       // a sensor answered the model query, but its reply did not fit
};

struct ConnectFailure {
  ConnectFailureCause cause = ConnectFailureCause::kNone;
  std::string text;  // empty when cause is kNone
};

// From the serial layer's error record after the port would not open.
ConnectFailure OpenFailure(const std::string& device, const SerialError& error);
ConnectFailure NoPortFailure(const std::string& portText);
ConnectFailure Rs485Failure(const std::string& device, const SerialError& error);
ConnectFailure NoAnswerFailure(int address, int32_t baudRate);
// The sensor answered the model query in `checkMode`, but `why` its reply
// was refused (see PacketLink::failureText).
ConnectFailure MisfitReplyFailure(int address, int32_t baudRate, int32_t checkMode, const std::string& why);
