#include "sim/fault_plan.h"

#include <array>
#include <cerrno>
#include <cstdlib>

namespace sim {
namespace {
constexpr std::array<const char*, kFaultKindCount> kNames = {"noise", "drop", "corrupt", "truncate",
                                                             "delay"};

// A number from 1 up, for "cancel@", "silent@" and "hangup@".
bool ParseCount(const std::string& value, const char* what, uint64_t& n, std::string& error) {
  char* end = nullptr;
  errno = 0;
  n = value.empty() || value[0] == '-' ? 0 : std::strtoull(value.c_str(), &end, 10);
  if (value.empty() || value[0] == '-' || errno != 0 || *end != '\0' || n == 0) {
    error = std::string(what) + " must be 1 or more: " + value;
    return false;
  }
  return true;
}

// The broken sensors; false when `text` names none of them.
bool ParseBrokenSensor(std::string_view text, FaultPlan& plan, bool& ok, std::string& error) {
  ok = true;
  if (text == "nak-eot") {
    plan.nakEot = true;
    return true;
  }
  if (text == "double-portion") {
    plan.doublePortions = true;
    return true;
  }
  if (text == "defaults-after-upload") {
    plan.defaultsAfterUpload = true;
    return true;
  }
  const size_t at = text.find('@');
  if (at == std::string_view::npos) return false;
  const std::string_view name = text.substr(0, at);
  const std::string value(text.substr(at + 1));
  uint64_t n = 0;
  if (name == "cancel") {
    ok = ParseCount(value, "block number", n, error) && n <= UINT32_MAX;
    if (ok) plan.cancelAfterBlock = static_cast<uint32_t>(n);
    return true;
  }
  if (name == "short") {
    ok = ParseCount(value, "reply number", n, error);
    if (ok) plan.shortReplies.push_back(n);
    return true;
  }
  if (name == "silent") {
    ok = ParseCount(value, "reply number", n, error);
    if (ok) plan.silentAfterReply = n;
    return true;
  }
  if (name == "hangup") {
    ok = ParseCount(value, "frame number", n, error);
    if (ok) plan.hangUpAtFrame = n;
    return true;
  }
  return false;
}

}  // namespace

const char* FaultKindName(FaultKind kind) {
  const auto i = static_cast<size_t>(kind);
  return i < kNames.size() ? kNames[i] : "?";
}

std::optional<FaultKind> ParseFaultKind(std::string_view name) {
  for (size_t i = 0; i < kNames.size(); ++i)
    if (name == kNames[i]) return static_cast<FaultKind>(i);
  return std::nullopt;
}

bool ParseFaultOption(std::string_view text, FaultPlan& plan, std::string& error) {
  if (bool ok = true; ParseBrokenSensor(text, plan, ok, error)) return ok;
  const size_t at = text.find_first_of("=@");
  if (at == std::string_view::npos) {
    error = "fault must be KIND=PROBABILITY, KIND@REPLY, short@REPLY, nak-eot, cancel@BLOCK, double-portion, "
            "defaults-after-upload, silent@REPLY or hangup@FRAME: " + std::string(text);
    return false;
  }
  const auto kind = ParseFaultKind(text.substr(0, at));
  if (!kind) {
    error = "unknown fault kind '" + std::string(text.substr(0, at)) +
            "' (noise, drop, corrupt, truncate, delay)";
    return false;
  }
  const std::string value(text.substr(at + 1));
  if (value.empty()) {
    error = "missing value in fault " + std::string(text);
    return false;
  }
  char* end = nullptr;
  errno = 0;
  if (text[at] == '=') {
    const double p = std::strtod(value.c_str(), &end);
    if (errno != 0 || *end != '\0' || !(p >= 0.0 && p <= 1.0)) {
      error = "fault probability must be a number from 0 to 1: " + value;
      return false;
    }
    plan.rule(*kind).probability = p;
    return true;
  }
  if (value[0] == '-') {
    error = "fault reply number must be 1 or more: " + value;
    return false;
  }
  const unsigned long long n = std::strtoull(value.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || n == 0) {
    error = "fault reply number must be 1 or more: " + value;
    return false;
  }
  plan.rule(*kind).atReplies.push_back(n);
  return true;
}

}  // namespace sim
