#include <io.h>
#include <signal.h>
#include <sys/stat.h>

#include "core/signal_cleanup_platform.h"

// The C runtime's SIGINT (Ctrl-C) and SIGTERM. The children run under the command
// interpreter, which gets Ctrl-C itself.
namespace signal_cleanup_internal {

namespace {

void OnSignal(int sig) {
  RunCleanup();
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace

void InstallHandlers() {
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
}

void RemovePath(const char* path) {
  _unlink(path);
}

void RemoveEmptyPath(const char* path) {
  struct _stat64 st;
  if (_stat64(path, &st) == 0 && (st.st_mode & _S_IFREG) && st.st_size == 0) _unlink(path);
}

void StopChild(long) {}

}  // namespace signal_cleanup_internal
