#include "tarkon/document/watch_limits.h"

#include "tarkon/document/number_reading.h"
#include "tarkon/document/poll_worker.h"

namespace {

constexpr int64_t kDayMs = 86400000;

}  // namespace

std::string CheckWatchIntervalText(const std::string& text, int64_t* ms) {
  int64_t value = 0;
  if (!IsWholeNumber(text, &value) || value < PollWorker::kIntervalMs || value > kDayMs)
    return "--interval needs a whole number of milliseconds from 250 (the poll period) up, not \"" + text + "\"";
  if (ms != nullptr) *ms = value;
  return std::string();
}

std::string CheckWatchCountText(const std::string& text, int64_t* count) {
  int64_t value = 0;
  if (!IsWholeNumber(text, &value) || value < 1) return "--count needs a positive whole number, not \"" + text + "\"";
  if (count != nullptr) *count = value;
  return std::string();
}
