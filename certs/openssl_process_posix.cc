#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "certs/openssl_process.h"

extern char** environ;

namespace {

// Spawn starts openssl from the search path with an argument vector: paths reach it
// verbatim, whatever characters they hold. Standard input is always /dev/null so openssl
// never waits on a terminal; standard output goes to `stdoutFd` (or /dev/null when -1);
// standard error is discarded when `discardStderr` is set.
pid_t Spawn(const std::vector<OpensslArg>& args, int stdoutFd, bool discardStderr) {
  std::vector<std::string> words;
  words.reserve(args.size() + 1);
  words.push_back("openssl");
  for (const OpensslArg& arg : args) words.push_back(arg.text + arg.path);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (stdoutFd >= 0)
    posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (discardStderr) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int failed = posix_spawnp(&pid, "openssl", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

int Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int RunOpenssl(const std::vector<OpensslArg>& args) {
  pid_t pid = Spawn(args, -1, true);
  return pid < 0 ? -1 : Wait(pid);
}

std::string RunOpensslCapture(const std::vector<OpensslArg>& args) {
  std::string output;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return output;
  pid_t pid = Spawn(args, fds[1], false);
  close(fds[1]);
  if (pid >= 0) {
    char buf[4096];
    while (true) {
      ssize_t n = read(fds[0], buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      output.append(buf, size_t(n));
    }
  }
  close(fds[0]);
  if (pid >= 0) Wait(pid);
  return output;
}

TempCreate CreateTempFile(const std::string& path, const uint8_t* data, size_t len) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return errno == EEXIST ? TempCreate::Exists : TempCreate::Failed;
  bool ok = true;
  while (len > 0) {
    ssize_t n = write(fd, data, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    data += n;
    len -= size_t(n);
  }
  if (close(fd) != 0) ok = false;
  if (!ok) {
    unlink(path.c_str());
    return TempCreate::Failed;
  }
  return TempCreate::Created;
}

char TempPathSeparator() {
  return '/';
}

long CurrentProcessId() {
  return long(getpid());
}
