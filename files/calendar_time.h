#pragma once
// A moment as calendar fields, in the local time zone or in UTC: the
// thread-safe conversions of the platform (localtime_r and gmtime_r on
// POSIX, localtime_s and gmtime_s on Windows) behind one interface, so the
// code above needs no platform call to put a date in a name or a record.

#include <ctime>

namespace files {

// The calendar fields of `moment` in the local time zone; all fields zero
// (as std::tm{}) when the platform cannot convert it.
std::tm LocalCalendarTime(std::time_t moment);

// The calendar fields of `moment` in UTC; all fields zero when the platform
// cannot convert it.
std::tm UtcCalendarTime(std::time_t moment);

}  // namespace files
