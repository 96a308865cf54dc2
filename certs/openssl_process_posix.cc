#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "certs/openssl_process.h"
#include "core/signal_cleanup.h"

extern char** environ;

namespace {

// Feeds start above the descriptors a child is given, so a dup2 never lands on itself.
constexpr int kFirstParentFd = 10;
// The descriptor a child reads its password or key from.
constexpr int kSecretFd = 3;

// Feed is a byte string written into one of the child's descriptors through a pipe.
struct Feed {
  int childFd;
  std::string_view bytes;
};

// ChildEnvironment keeps only what openssl needs to find itself and speak the user's
// language: a variable named by --password-env or --pin-env never reaches it.
std::vector<char*> ChildEnvironment() {
  std::vector<char*> kept;
  for (char** entry = environ; entry && *entry; ++entry) {
    std::string_view text(*entry);
    std::string_view name = text.substr(0, text.find('='));
    if (name == "PATH" || name == "LANG" || name == "LANGUAGE" || name.substr(0, 3) == "LC_" ||
        name == "TMPDIR" || name == "TMP" || name == "TEMP")
      kept.push_back(*entry);
  }
  kept.push_back(nullptr);
  return kept;
}

int HighCloexec(int fd) {
  int high = fcntl(fd, F_DUPFD_CLOEXEC, kFirstParentFd);
  close(fd);
  return high;
}

// Pipe makes a pipe with both ends above the child's descriptors and close-on-exec.
bool Pipe(int fds[2]) {
  if (pipe(fds) != 0) return false;
  fds[0] = HighCloexec(fds[0]);
  fds[1] = HighCloexec(fds[1]);
  if (fds[0] >= 0 && fds[1] >= 0) return true;
  if (fds[0] >= 0) close(fds[0]);
  if (fds[1] >= 0) close(fds[1]);
  return false;
}

// SigpipeBlocked keeps a child that exits before reading its input from killing us with
// SIGPIPE; the write then fails with EPIPE instead. A SIGPIPE raised meanwhile is consumed.
class SigpipeBlocked {
 public:
  SigpipeBlocked() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe, &saved_);
  }
  ~SigpipeBlocked() {
    sigset_t pending;
    sigpending(&pending);
    if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
      sigset_t pipe;
      sigemptyset(&pipe);
      sigaddset(&pipe, SIGPIPE);
      timespec now{};
      while (sigtimedwait(&pipe, nullptr, &now) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
  }

 private:
  sigset_t saved_;
  bool wasPending_ = false;
};

// Run starts openssl from the search path with `args`, writes each feed into its descriptor
// and collects standard output into `output` (discarded when null). Standard input is
// /dev/null unless a feed goes to descriptor 0. Returns the exit status, or -1.
int Run(const std::vector<std::string>& args, const std::vector<Feed>& feeds, std::string* output,
        bool discardStderr) {
  std::vector<std::string> words = args;
  words.insert(words.begin(), "openssl");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  struct Pump {
    int fd;  // parent's end
    std::string_view rest;
  };
  std::vector<Pump> writers;
  int reader = -1;
  auto closeAll = [&] {
    for (Pump& p : writers)
      if (p.fd >= 0) close(p.fd);
    writers.clear();
    if (reader >= 0) close(reader);
    reader = -1;
  };

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  bool stdinFed = false;
  std::vector<int> childEnds;
  bool ok = true;
  for (const Feed& feed : feeds) {
    int fds[2];
    if (!Pipe(fds)) {
      ok = false;
      break;
    }
    childEnds.push_back(fds[0]);
    writers.push_back({fds[1], feed.bytes});
    posix_spawn_file_actions_adddup2(&actions, fds[0], feed.childFd);
    if (feed.childFd == 0) stdinFed = true;
  }
  if (!stdinFed) posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (ok && output) {
    int fds[2];
    if (Pipe(fds)) {
      reader = fds[0];
      childEnds.push_back(fds[1]);
      posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    } else {
      ok = false;
    }
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  if (discardStderr) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

  pid_t pid = -1;
  if (ok) {
    std::vector<char*> env = ChildEnvironment();
    if (posix_spawnp(&pid, "openssl", &actions, nullptr, argv.data(), env.data()) != 0) pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  for (int fd : childEnds) close(fd);
  if (pid < 0) {
    closeAll();
    return -1;
  }
  CleanupChild guard(pid);

  {
    SigpipeBlocked quiet;
    for (Pump& p : writers) fcntl(p.fd, F_SETFL, fcntl(p.fd, F_GETFL) | O_NONBLOCK);
    // Inputs and output move together: a child that writes before it has read everything
    // never waits on a full pipe.
    char buf[4096];
    while (true) {
      std::vector<pollfd> watched;
      for (Pump& p : writers)
        if (p.fd >= 0) {
          if (p.rest.empty()) {
            close(p.fd);
            p.fd = -1;
          } else {
            watched.push_back({p.fd, POLLOUT, 0});
          }
        }
      if (reader >= 0) watched.push_back({reader, POLLIN, 0});
      if (watched.empty()) break;
      if (poll(watched.data(), watched.size(), -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      for (const pollfd& w : watched) {
        if (!w.revents) continue;
        if (w.fd == reader) {
          ssize_t n = read(reader, buf, sizeof buf);
          if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
          if (n <= 0) {
            close(reader);
            reader = -1;
          } else {
            output->append(buf, size_t(n));
          }
          continue;
        }
        for (Pump& p : writers) {
          if (p.fd != w.fd) continue;
          ssize_t n = write(p.fd, p.rest.data(), p.rest.size());
          if (n < 0 && (errno == EINTR || errno == EAGAIN)) break;
          if (n < 0) {
            // The child will not read the rest (EPIPE): it has exited or closed it.
            close(p.fd);
            p.fd = -1;
          } else {
            p.rest.remove_prefix(size_t(n));
          }
          break;
        }
      }
    }
    // The buffer may have held key material.
    std::memset(buf, 0, sizeof buf);
    closeAll();
  }

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string PasswordLine(const std::string& password) {
  std::string line;
  line.reserve(password.size() + 1);
  line = password;
  line += '\n';
  return line;
}

const std::string kPassFd = "fd:" + std::to_string(kSecretFd);
const std::string kKeyFd = "/dev/fd/" + std::to_string(kSecretFd);

}  // namespace

PrivateKey::~PrivateKey() {
  Reset();
}

PrivateKey::PrivateKey(PrivateKey&& other) noexcept : material(std::move(other.material)) {
  other.Reset();
}

PrivateKey& PrivateKey::operator=(PrivateKey&& other) noexcept {
  if (this != &other) {
    Reset();
    material = std::move(other.material);
    other.Reset();
  }
  return *this;
}

void PrivateKey::Reset() {
  SecureClear(&material);
}

int RunOpenssl(const std::vector<OpensslArg>& args) {
  std::vector<std::string> words;
  for (const OpensslArg& arg : args) words.push_back(arg.text + arg.path);
  return Run(words, {}, nullptr, true);
}

OpensslOutcome ExportPkcs12Certificates(const std::string& pkcs12Path, const std::string& password,
                                        std::string* pem) {
  pem->clear();
  std::string line = PasswordLine(password);
  int status = Run({"pkcs12", "-in", pkcs12Path, "-passin", kPassFd, "-nokeys", "-clcerts"},
                   {{kSecretFd, line}}, pem, false);
  SecureClear(&line);
  return status == 0 ? OpensslOutcome::Ok : OpensslOutcome::Failed;
}

OpensslOutcome ExportPkcs12Key(const std::string& pkcs12Path, const std::string& password, PrivateKey* key) {
  key->Reset();
  std::string line = PasswordLine(password);
  // Room for a large RSA key, so the PEM is never copied while it grows.
  key->material.reserve(64 << 10);
  int status = Run({"pkcs12", "-in", pkcs12Path, "-passin", kPassFd, "-nocerts", "-nodes"},
                   {{kSecretFd, line}}, &key->material, true);
  SecureClear(&line);
  if (status != 0) {
    key->Reset();
    return OpensslOutcome::Failed;
  }
  // openssl succeeds with nothing to write when the file carries certificates only.
  if (key->material.find("PRIVATE KEY-----") == std::string::npos) key->Reset();
  return OpensslOutcome::Ok;
}

OpensslOutcome SignWithKey(const PrivateKey& key, const Bytes& data, Bytes* signature) {
  signature->clear();
  std::string out;
  std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
  int status = Run({"dgst", "-sha256", "-sign", kKeyFd}, {{kSecretFd, key.material}, {0, bytes}}, &out, true);
  if (status != 0) return OpensslOutcome::Failed;
  signature->assign(out.begin(), out.end());
  return OpensslOutcome::Ok;
}

InputKind CheckInputFile(const std::string& path) {
  // O_NONBLOCK: opening a FIFO with no writer would wait forever.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return InputKind::Missing;
  struct stat st;
  bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return regular ? InputKind::Regular : InputKind::NotRegular;
}

char TempPathSeparator() {
  return '/';
}

long CurrentProcessId() {
  return long(getpid());
}
