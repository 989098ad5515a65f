#pragma once
// Applies the fault plan to one outgoing reply frame.

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "sim/fault_plan.h"

namespace sim {

class FaultInjector {
 public:
  explicit FaultInjector(uint64_t seed) : rng_(seed) {}

  struct Outcome {
    std::vector<uint8_t> bytes;  // what goes on the line; empty when dropped
    std::chrono::milliseconds delay{0};
    bool dropped = false;
    std::string note;            // fault kinds applied, for the trace ("" if none)
  };

  // `frame` is a whole, correct frame; `replyNumber` counts from 1.
  Outcome Apply(std::vector<uint8_t> frame, uint64_t replyNumber, const FaultPlan& plan, FaultCounts& counts);

  std::mt19937_64& rng() { return rng_; }

 private:
  bool Hits(const FaultRule& rule, uint64_t replyNumber);

  std::mt19937_64 rng_;
};

}  // namespace sim
