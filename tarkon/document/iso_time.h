#pragma once
// Times written into files that may be read far from where they were made:
// UTC in ISO 8601 with milliseconds, "2026-12-08T02:40:00.123Z".

#include <chrono>
#include <string>

std::string IsoUtcTime(std::chrono::system_clock::time_point when);
