#include "tarkon/document/iso_time.h"

#include <cstdio>

std::string IsoUtcTime(std::chrono::system_clock::time_point when) {
  // The calendar of the standard library: the same on every platform, with
  // no C library time call (gmtime_r is POSIX only).
  using namespace std::chrono;
  const auto day = floor<days>(when);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> time{floor<milliseconds>(when - day)};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
  return text;
}
