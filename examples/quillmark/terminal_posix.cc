#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "core/bytes.h"
#include "core/signal_cleanup.h"
#include "examples/quillmark/progress.h"
#include "examples/quillmark/secrets.h"

namespace {

// The terminal's settings while the echo is off, for the signal handler to give back.
int g_ttyFd = -1;
termios g_saved{};

void RestoreTerminal() {
  if (g_ttyFd >= 0) tcsetattr(g_ttyFd, TCSANOW, &g_saved);
}

}  // namespace

bool AskSecret(const std::string& prompt, std::string* secret, std::string* error) {
  SecureClear(secret);
  int fd = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    *error =
        "no hay un terminal donde pedir la contraseña o el PIN; use --password-file, --password-env, "
        "--pin-file o --pin-env.";
    return false;
  }
  termios saved{};
  bool restore = tcgetattr(fd, &saved) == 0;
  if (restore) {
    // Ctrl-C, SIGTERM or a closed terminal at the prompt must not leave the echo off.
    g_saved = saved;
    g_ttyFd = fd;
    SetSignalHook(RestoreTerminal);
    termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  (void)!write(fd, prompt.data(), prompt.size());
  char c;
  ssize_t n;
  while ((n = read(fd, &c, 1)) != 0) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (c == '\n') break;
    AppendSecret(secret, c);
  }
  c = 0;
  if (!secret->empty() && secret->back() == '\r') secret->pop_back();
  if (restore) {
    tcsetattr(fd, TCSAFLUSH, &saved);
    SetSignalHook(nullptr);
    g_ttyFd = -1;
  }
  close(fd);
  return true;
}

void ForgetVariable(const std::string& variable) {
  unsetenv(variable.c_str());
}

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}
