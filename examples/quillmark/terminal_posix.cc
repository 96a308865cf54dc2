#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "core/bytes.h"
#include "examples/quillmark/secrets.h"

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
    secret->push_back(c);
  }
  if (!secret->empty() && secret->back() == '\r') secret->pop_back();
  if (restore) tcsetattr(fd, TCSAFLUSH, &saved);
  close(fd);
  return true;
}
