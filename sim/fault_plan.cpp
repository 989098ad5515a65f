#include "sim/fault_plan.h"

#include <array>
#include <cerrno>
#include <cstdlib>

namespace sim {
namespace {
constexpr std::array<const char*, kFaultKindCount> kNames = {"noise", "drop", "corrupt", "truncate",
                                                             "delay"};
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
  const size_t at = text.find_first_of("=@");
  if (at == std::string_view::npos) {
    error = "fault must be KIND=PROBABILITY or KIND@REPLY: " + std::string(text);
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
