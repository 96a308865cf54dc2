// openssl.exe for the Windows programs' smoke tests under Wine, where no Windows openssl is
// installed: it runs the host's openssl with every Windows path among its arguments turned
// into the host's path, relays the host program's output to its own standard output and
// error, and exits with its status.
//
// Wine can start a host program itself (CreateProcess on a Z: path, `start /unix`), but it
// hands back no process handle, so the exit status is lost, and the host program writes to
// Wine's own descriptors, so a _popen reader sees nothing. The PKCS#12 path relies on both,
// so the stub forks and execs the host program with raw Linux system calls, which Wine lets
// through, and copies its output through host pipes.
#include <windows.h>
// windows.h first: shellapi.h uses its types.
#include <shellapi.h>

#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#ifndef VY_HOST_OPENSSL
#error "VY_HOST_OPENSSL names the host's openssl program"
#endif

namespace {

// Linux x86-64 system calls.
enum : long long {
  kRead = 0,
  kOpen = 2,
  kClose = 3,
  kPoll = 7,
  kDup2 = 33,
  kFork = 57,
  kExecve = 59,
  kExit = 60,
  kWait4 = 61,
  kPipe2 = 293
};
constexpr long long kEintr = -4;

long long Sys(long long number, long long a = 0, long long b = 0, long long c = 0, long long d = 0) {
  long long result;
  register long long r10 __asm__("r10") = d;
  __asm__ volatile("syscall"
                   : "=a"(result)
                   : "a"(number), "D"(a), "S"(b), "d"(c), "r"(r10)
                   : "rcx", "r11", "memory");
  return result;
}

long long Addr(const void* p) {
  return static_cast<long long>(reinterpret_cast<uintptr_t>(p));
}

std::string Utf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

// HostPath turns "X:\..." into the host's path through Wine's own mapping; other words stay.
std::string HostPath(const wchar_t* word) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  static auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  bool drivePath = iswalpha(word[0]) && word[1] == L':' && (word[2] == L'\\' || word[2] == L'/');
  if (!drivePath || !unixName) return Utf8(word);
  char* name = unixName(word);
  if (!name) return Utf8(word);
  std::string out = name;
  HeapFree(GetProcessHeap(), 0, name);
  return out;
}

// HostWord converts one argument: a path, or "file:" and a path (openssl's -passin form).
std::string HostWord(const wchar_t* word) {
  if (wcsncmp(word, L"file:", 5) == 0) return "file:" + HostPath(word + 5);
  return HostPath(word);
}

// Relay copies whatever the host program writes to its two pipes into this program's standard
// handles until both are closed.
void Relay(int out, int err) {
  struct PollFd {
    int fd;
    short events, revents;
  } fds[2] = {{out, 1, 0}, {err, 1, 0}};  // POLLIN
  HANDLE targets[2] = {GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE)};
  int open = 2;
  char buffer[4096];
  while (open > 0) {
    long long ready = Sys(kPoll, Addr(fds), 2, -1);
    if (ready == kEintr) continue;
    if (ready < 0) return;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !fds[i].revents) continue;
      long long n = Sys(kRead, fds[i].fd, Addr(buffer), sizeof buffer);
      if (n == kEintr) continue;
      if (n <= 0) {
        Sys(kClose, fds[i].fd);
        fds[i].fd = -1;
        --open;
        continue;
      }
      DWORD written;  // a closed or NUL handle only drops the text
      WriteFile(targets[i], buffer, static_cast<DWORD>(n), &written, nullptr);
    }
  }
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return 127;
  std::vector<std::string> words = {VY_HOST_OPENSSL};
  for (int i = 1; i < count; ++i) words.push_back(HostWord(wide[i]));
  LocalFree(wide);
  // Everything the child needs is made before the fork: it may only make system calls.
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  argv.push_back(nullptr);
  const char* envp[] = {"PATH=/usr/bin:/bin", "LC_ALL=C", nullptr};
  int out[2], err[2];
  if (Sys(kPipe2, Addr(out), 02000000) < 0 || Sys(kPipe2, Addr(err), 02000000) < 0) return 127;  // O_CLOEXEC

  long long pid = Sys(kFork);
  if (pid == 0) {
    long long null = Sys(kOpen, Addr("/dev/null"), 0);
    if (null >= 0) Sys(kDup2, null, 0);
    Sys(kDup2, out[1], 1);
    Sys(kDup2, err[1], 2);
    Sys(kExecve, Addr(argv[0]), Addr(argv.data()), Addr(envp));
    Sys(kExit, 127);
  }
  Sys(kClose, out[1]);
  Sys(kClose, err[1]);
  if (pid < 0) return 127;
  Relay(out[0], err[0]);
  int status = 0;
  long long waited;
  do {
    waited = Sys(kWait4, pid, Addr(&status), 0);
  } while (waited == kEintr);
  if (waited != pid) return 127;
  if ((status & 0x7f) == 0) return (status >> 8) & 0xff;  // exited
  return 128 + (status & 0x7f);                           // killed by a signal
}
