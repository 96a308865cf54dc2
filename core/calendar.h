#pragma once

#include <ctime>

// UtcCalendar and LocalCalendar break a time down on the platform's reentrant C runtime call
// (one file per platform). A time the runtime cannot break down gives a zeroed record.
std::tm UtcCalendar(std::time_t time);
std::tm LocalCalendar(std::time_t time);
