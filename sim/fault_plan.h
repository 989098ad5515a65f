#pragma once
// What the virtual sensor does wrong on purpose, and how often it did.
//
// Faults apply to reply frames: every frame the sensor sends (answers,
// acknowledgements, upload replies, each reply of a scan buffer portion)
// is one reply, numbered from 1 in the order they are sent. Each fault kind
// fires on a reply either by chance (probability from 0 to 1, drawn from
// the sensor's seeded random generator) or because the reply's number is
// listed. Several kinds may hit the same reply; a dropped reply is simply
// not sent and no other kind is counted for it.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class FaultKind : int {
  kNoise = 0,     // 1..maxNoiseBytes random bytes (never 0x02) before the reply
  kDrop = 1,      // the reply is not sent
  kCorrupt = 2,   // the last check byte is changed
  kTruncate = 3,  // the reply is cut after its header, somewhere in its body
  kDelay = 4,     // the reply leaves `delay` later than it would have
};
constexpr int kFaultKindCount = 5;

// "noise", "drop", "corrupt", "truncate", "delay".
const char* FaultKindName(FaultKind kind);
std::optional<FaultKind> ParseFaultKind(std::string_view name);

struct FaultRule {
  double probability = 0.0;           // chance per reply
  std::vector<uint64_t> atReplies;    // reply numbers (1-based) that always get it
};

struct FaultPlan {
  std::array<FaultRule, kFaultKindCount> rules{};
  // Longer than the host's 1000 ms budget, so a delayed reply is a missed one.
  std::chrono::milliseconds delay{1500};
  unsigned maxNoiseBytes = 8;

  // A broken sensor rather than a bad reply; 0 or false: behaves.
  // "short@N": reply N leaves out its last data byte, its check made to fit
  // (only its length is wrong).
  std::vector<uint64_t> shortReplies;
  bool nakEot = false;              // "nak-eot": EOT answered with NAK, the receiver stays in receive mode
  uint32_t cancelAfterBlock = 0;    // "cancel@N": after acknowledging block N, CAN CAN CAN and back to commands
  bool doublePortions = false;      // "double-portion": every scan buffer portion is answered twice
  // "defaults-after-upload": a transfer that ends by EOT puts the model's
  // factory settings back, as a firmware that reformats its settings would.
  bool defaultsAfterUpload = false;
  uint64_t silentAfterReply = 0;    // "silent@N": no reply after the N-th (Activity::repliesSent)
  // "hangup@N": the line hangs up when the N-th frame arrives, counting
  // every frame the sensor has seen (Activity: received, for others, bad).
  uint64_t hangUpAtFrame = 0;

  FaultRule& rule(FaultKind kind) { return rules[static_cast<size_t>(kind)]; }
  const FaultRule& rule(FaultKind kind) const { return rules[static_cast<size_t>(kind)]; }
};

// How many replies each fault kind has hit.
struct FaultCounts {
  std::array<uint64_t, kFaultKindCount> count{};
  uint64_t of(FaultKind kind) const { return count[static_cast<size_t>(kind)]; }
};

// Parses the program's fault option: "KIND=PROBABILITY" or "KIND@REPLY" for
// a fault on replies, or one of the broken sensors "short@REPLY", "nak-eot",
// "cancel@BLOCK", "double-portion", "defaults-after-upload", "silent@REPLY",
// "hangup@FRAME".
// Returns false (with a reason) on a malformed text.
bool ParseFaultOption(std::string_view text, FaultPlan& plan, std::string& error);

}  // namespace sim
