#include "files/calendar_time.h"

#include <time.h>

namespace files {

std::tm LocalCalendarTime(std::time_t moment) {
  std::tm fields{};
  if (localtime_r(&moment, &fields) == nullptr) return std::tm{};
  return fields;
}

std::tm UtcCalendarTime(std::time_t moment) {
  std::tm fields{};
  if (gmtime_r(&moment, &fields) == nullptr) return std::tm{};
  return fields;
}

}  // namespace files
