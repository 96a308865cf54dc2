#include "core/calendar.h"

std::tm UtcCalendar(std::time_t time) {
  std::tm tm{};
  if (!gmtime_r(&time, &tm)) tm = std::tm{};
  return tm;
}

std::tm LocalCalendar(std::time_t time) {
  std::tm tm{};
  if (!localtime_r(&time, &tm)) tm = std::tm{};
  return tm;
}
