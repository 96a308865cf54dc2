#include "core/calendar.h"

std::tm UtcCalendar(std::time_t time) {
  std::tm tm{};
  if (gmtime_s(&tm, &time) != 0) tm = std::tm{};
  return tm;
}

std::tm LocalCalendar(std::time_t time) {
  std::tm tm{};
  if (localtime_s(&tm, &time) != 0) tm = std::tm{};
  return tm;
}
