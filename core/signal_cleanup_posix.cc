#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/signal_cleanup_platform.h"

namespace signal_cleanup_internal {

namespace {

void OnSignal(int sig) {
  const int saved = errno;
  RunCleanup();
  // The usual action, so whoever waits for the process sees the signal it died of.
  signal(sig, SIG_DFL);
  errno = saved;
  raise(sig);
}

}  // namespace

void InstallHandlers() {
  static constexpr int kStops[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  for (int sig : kStops) {
    struct sigaction old {};
    // An ignored signal (nohup) stays ignored.
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigfillset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
  }
}

void RemovePath(const char* path) {
  unlink(path);
}

void RemoveEmptyPath(const char* path) {
  struct stat st;
  if (lstat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) unlink(path);
}

void StopChild(long pid) {
  kill(pid_t(pid), SIGTERM);
}

}  // namespace signal_cleanup_internal
