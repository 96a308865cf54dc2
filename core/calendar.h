#pragma once

#include <cstdint>
#include <ctime>

// UtcCalendar and LocalCalendar break a time down on the platform's reentrant C runtime call
// (one file per platform). A time the runtime cannot break down gives a zeroed record.
std::tm UtcCalendar(std::time_t time);
std::tm LocalCalendar(std::time_t time);

// DaysSince1970 counts days since 1970-01-01 in the proleptic Gregorian calendar.
inline int64_t DaysSince1970(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}
