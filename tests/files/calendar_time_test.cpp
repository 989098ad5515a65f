// The calendar fields of a moment, in UTC and in the local time zone, as
// the platform's thread-safe conversions give them (POSIX and Windows).

#include <gtest/gtest.h>

#include <ctime>
#include <limits>

#include "files/calendar_time.h"

namespace {

struct UtcCase {
  std::time_t moment;
  int year, month, day, hour, minute, second, weekday, yearDay;
};

TEST(CalendarTime, UtcFieldsOfKnownMoments) {
  const UtcCase cases[] = {
      {0, 1970, 1, 1, 0, 0, 0, 4, 0},                  // the epoch, a Thursday
      {951782400, 2000, 2, 29, 0, 0, 0, 2, 59},        // a leap day of a century's leap year
      {1807401599, 2027, 4, 10, 23, 59, 59, 6, 99},    // the last second of a day
      {4102444799, 2099, 12, 31, 23, 59, 59, 4, 364},  // past 2038 (a 64-bit time_t)
  };
  for (const UtcCase& c : cases) {
    SCOPED_TRACE(static_cast<long long>(c.moment));
    const std::tm utc = files::UtcCalendarTime(c.moment);
    EXPECT_EQ(utc.tm_year + 1900, c.year);
    EXPECT_EQ(utc.tm_mon + 1, c.month);
    EXPECT_EQ(utc.tm_mday, c.day);
    EXPECT_EQ(utc.tm_hour, c.hour);
    EXPECT_EQ(utc.tm_min, c.minute);
    EXPECT_EQ(utc.tm_sec, c.second);
    EXPECT_EQ(utc.tm_wday, c.weekday);
    EXPECT_EQ(utc.tm_yday, c.yearDay);
    EXPECT_EQ(utc.tm_isdst, 0);
  }
}

TEST(CalendarTime, UtcFieldsFormatAsTheRecordsWriteThem) {
  const std::tm utc = files::UtcCalendarTime(1796744400);
  char text[32];
  ASSERT_GT(std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc), 0u);
  EXPECT_STREQ(text, "2026-12-08T15:40:00Z");
}

TEST(CalendarTime, LocalFieldsAreTheSameMomentInTheLocalZone) {
  // Whatever the zone of the machine, the local fields name the moment they
  // were made from: the C library's own inverse (mktime) gives it back.
  for (const std::time_t moment : {std::time_t{86400}, std::time_t{951782400}, std::time_t{1796688000},
                                   std::time_t{1807401599}, std::time(nullptr)}) {
    SCOPED_TRACE(static_cast<long long>(moment));
    std::tm local = files::LocalCalendarTime(moment);
    EXPECT_GE(local.tm_year + 1900, 1970);
    EXPECT_GE(local.tm_mon, 0);
    EXPECT_LE(local.tm_mon, 11);
    EXPECT_GE(local.tm_mday, 1);
    EXPECT_EQ(std::mktime(&local), moment);
  }
}

TEST(CalendarTime, LocalAndUtcDifferByTheZoneOffsetOnly) {
  // Minutes and seconds agree in every zone of whole quarter hours.
  const std::time_t moment = 1796744400 + 7;
  const std::tm local = files::LocalCalendarTime(moment);
  const std::tm utc = files::UtcCalendarTime(moment);
  EXPECT_EQ(local.tm_sec, utc.tm_sec);
  EXPECT_EQ(local.tm_min % 15, utc.tm_min % 15);
}

TEST(CalendarTime, AMomentBeyondTheCalendarGivesEmptyFields) {
  // Far past any year the platform converts (POSIX: past a year an int
  // holds; Windows: past 3000): no fields of another moment.
  const std::time_t beyond = std::numeric_limits<std::time_t>::max();
  for (const std::tm& fields : {files::UtcCalendarTime(beyond), files::LocalCalendarTime(beyond)}) {
    EXPECT_EQ(fields.tm_year, 0);
    EXPECT_EQ(fields.tm_mon, 0);
    EXPECT_EQ(fields.tm_mday, 0);
    EXPECT_EQ(fields.tm_hour, 0);
  }
}

}  // namespace
