// The watch run's --interval and --count, checked once for every front end.

#include "tarkon/document/watch_limits.h"

#include <gtest/gtest.h>

namespace {

TEST(WatchLimits, IntervalFromThePollTickAndPositiveCounts) {
  const std::string interval = "--interval needs a whole number of milliseconds from 250 (the poll period) up, not ";
  const struct {
    std::string text;
    std::string refusal;
    int64_t value;
  } intervals[] = {
      {"250", "", 250}, {"86400000", "", 86400000}, {"249", interval + "\"249\"", 0},
      {"86400001", interval + "\"86400001\"", 0}, {"1s", interval + "\"1s\"", 0},
  };
  for (const auto& c : intervals) {
    int64_t ms = 0;
    EXPECT_EQ(CheckWatchIntervalText(c.text, &ms), c.refusal) << c.text;
    EXPECT_EQ(ms, c.value) << c.text;
  }
  const struct {
    std::string text;
    std::string refusal;
    int64_t value;
  } counts[] = {
      {"1", "", 1}, {"0", "--count needs a positive whole number, not \"0\"", 0},
      {"-3", "--count needs a positive whole number, not \"-3\"", 0},
      {"two", "--count needs a positive whole number, not \"two\"", 0},
  };
  for (const auto& c : counts) {
    int64_t count = 0;
    EXPECT_EQ(CheckWatchCountText(c.text, &count), c.refusal) << c.text;
    EXPECT_EQ(count, c.value) << c.text;
  }
}

}  // namespace
