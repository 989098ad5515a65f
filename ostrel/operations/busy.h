#pragma once
// The busy flag of one operation: taken when the operation starts (or
// found taken, and the operation turned away), given back on every exit.

#include "ostrel/operations/operations.h"

namespace ostrel {

class Operations::Busy {
 public:
  explicit Busy(bool& flag) : flag_(flag), held_(!flag) {
    if (held_) flag_ = true;
  }
  ~Busy() { Release(); }
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;

  bool held() const { return held_; }
  // Gives the flag back early (before an operation connects again).
  void Release() {
    if (held_) flag_ = false;
    held_ = false;
  }

 private:
  bool& flag_;
  bool held_;
};

}  // namespace ostrel
