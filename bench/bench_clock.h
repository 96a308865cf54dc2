#pragma once

// Wall and CPU time of the benchmark's own process.
#include <sys/resource.h>

#include <chrono>

// Clock reads wall and CPU time of this process (all its threads), in milliseconds.
struct Clock {
  double wall, cpu;
  static Clock Now() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    auto us = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
                .count(),
            us(usage.ru_utime) + us(usage.ru_stime)};
  }
  Clock Since() const {
    Clock now = Now();
    return {now.wall - wall, now.cpu - cpu};
  }
};
