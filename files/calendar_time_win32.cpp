#include "files/calendar_time.h"

#include <time.h>

namespace files {

// The C runtime's secure forms: the same arguments as the C11 ones, in the
// other order, and an error number instead of a pointer.

std::tm LocalCalendarTime(std::time_t moment) {
  std::tm fields{};
  if (localtime_s(&fields, &moment) != 0) return std::tm{};
  return fields;
}

std::tm UtcCalendarTime(std::time_t moment) {
  std::tm fields{};
  if (gmtime_s(&fields, &moment) != 0) return std::tm{};
  return fields;
}

}  // namespace files
