#include "ostrel/link/receive_ring.h"

namespace ostrel {

bool ReceiveRing::Push(uint8_t byte) {
  if (unread_ == kCapacity) {
    ++dropped_;
    return false;
  }
  slots_[write_] = byte;
  write_ = (write_ + 1) % kCapacity;
  ++unread_;
  return true;
}

bool ReceiveRing::Take(uint8_t& byte) {
  if (unread_ == 0) return false;
  byte = slots_[read_];
  read_ = (read_ + 1) % kCapacity;
  --unread_;
  return true;
}

void ReceiveRing::Clear() {
  read_ = write_;
  unread_ = 0;
}

}  // namespace ostrel
