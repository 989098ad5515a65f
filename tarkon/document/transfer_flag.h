#pragma once
// "A block transfer is running": owned by the document, held by the
// firmware upload from its first command (draining the port) to its last
// (locking the flash again).
//
// While it is held nothing else may talk to the sensor: the single bytes of
// the block transfer travel outside the packet layer, so any request sent
// in between would land in the sensor's receiver as file data. The upload
// lets the user interface run every 128 bytes, so a poll tick can arrive
// in the middle of a transfer; the document's poll path must skip the tick
// while InProgress() is true:
//
//   void CKRV02Doc::OnPollTick() {
//     if (transfer_.InProgress()) return;  // no query during an upload
//     ...
//   }
//
// The flag is also the upload's busy flag: a second upload while one runs
// is refused (TryBegin fails).

#include <atomic>

class TransferFlag {
 public:
  bool InProgress() const noexcept { return active_.load(std::memory_order_acquire); }

  // Takes the flag; false if it is already held.
  bool TryBegin() noexcept {
    bool expected = false;
    return active_.compare_exchange_strong(expected, true, std::memory_order_acq_rel);
  }
  void End() noexcept { active_.store(false, std::memory_order_release); }

  // Holds the flag for a scope if it was free.
  class Scope {
   public:
    explicit Scope(TransferFlag& flag) : flag_(flag), held_(flag.TryBegin()) {}
    ~Scope() {
      if (held_) flag_.End();
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    bool held() const { return held_; }

   private:
    TransferFlag& flag_;
    bool held_;
  };

 private:
  std::atomic<bool> active_{false};
};
