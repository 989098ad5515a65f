#pragma once
// How often and how many times a watch run polls the connected sensor: the
// texts of --interval and --count checked once here for every front end.
// The interval cannot be shorter than the poll tick (PollWorker::kIntervalMs),
// since polls only run on a tick.

#include <cstdint>
#include <string>

// Milliseconds from the poll tick (250) to one day. Empty and `ms` set, or
// the refusal.
std::string CheckWatchIntervalText(const std::string& text, int64_t* ms);
// A positive whole number of polls. Empty and `count` set, or the refusal.
std::string CheckWatchCountText(const std::string& text, int64_t* count);
