#pragma once

// Running a peer program as a whole process and measuring it, for the benchmarks.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

extern char** environ;

struct Run {
  double seconds = 0;
  double cpuSeconds = 0;  // user and system time of the process and its children
  double peakMiB = 0;
  bool ok = false;
};

// Spawn runs a program and reports its wall time and the peak RSS of it and its children.
inline Run Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  Run run;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return run;
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.peakMiB = double(usage.ru_maxrss) / 1024.0;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

// Best is the fastest of `times` runs (wall and CPU time each at its least), with the highest
// peak RSS seen.
inline Run Best(const std::vector<std::string>& args, int times = 3) {
  Run best;
  for (int i = 0; i < times; ++i) {
    Run r = Spawn(args);
    if (!r.ok) return r;
    if (!best.ok || r.seconds < best.seconds) best.seconds = r.seconds;
    if (!best.ok || r.cpuSeconds < best.cpuSeconds) best.cpuSeconds = r.cpuSeconds;
    best.peakMiB = std::max(best.peakMiB, r.peakMiB);
    best.ok = true;
  }
  return best;
}
