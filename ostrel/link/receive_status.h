#pragma once
// Outcome of the last ReceiveFrame and the status line text of each.

#include <string>

namespace ostrel {

enum ReceiveStatus : int {
  kReceiveOk = 0,         // frame received and checked
  kNoResponse = 1,        // no first byte before the deadline
  kInvalidResponse = 2,   // first byte was not STX (or the reply lacks fields the caller reads)
  kTimeOut = 3,           // deadline passed after STX, before the last check byte
  kBadCheck = 4,          // check bytes did not match
};

// "Error : No Response" and so on; empty for 0 and for unknown codes.
std::string ReceiveStatusText(int status);

}  // namespace ostrel
