#pragma once
// The error record every serial and packet operation writes on failure:
// the last failure's code and text. Success never clears it.

#include <cstdint>

struct SerialError {
  int32_t code = 0;
  char text[256] = {};
  // errno of the system call behind the last failure, 0 when the failure
  // came from no system call. Lets a caller say why in plain words (no such
  // device, permission denied, in use) without parsing the text.
  int32_t osError = 0;
};

// Error codes of the serial layer.
enum SerialErrorCode : int32_t {
  kSerialUnknownLineError = 1,   // failed read/write, no line-error flag set
  kSerialInvalidArgument = 2,
  kSerialNoCounter = 6,
  kSerialCannotOpen = 7,
  kSerialBreak = 8,
  kSerialFrameError = 9,
  kSerialParityError = 10,
  kSerialIoError = 11,
  kSerialOverrun = 12,
  kSerialModeOrHandle = 13,
  kSerialRxOverflow = 14,
  kSerialTxFull = 15,
  kSerialPlatformCall = 16,
};

// Sets code and text (text cut to fit the record); clears osError.
void SetSerialError(SerialError* err, int32_t code, const char* text);
// Appends " (detail)" when the text so far is shorter than 252 characters;
// the detail is cut so that the whole text stays within the record.
void AppendSerialErrorDetail(SerialError* err, const char* detail);
// Appends the system's text for errno value `errnum` as a detail and
// records `errnum` as osError.
void AppendSystemErrorText(SerialError* err, int errnum);
