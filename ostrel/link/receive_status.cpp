#include "ostrel/link/receive_status.h"

namespace ostrel {

std::string ReceiveStatusText(int status) {
  switch (status) {
    case kNoResponse: return "Error : No Response";
    case kInvalidResponse: return "Error : Invalid Response";
    case kTimeOut: return "Error : Time out";
    case kBadCheck: return "Error : Invalid CRC/Chksum";
    default: return std::string();
  }
}

}  // namespace ostrel
