#pragma once

// What must not outlive the process when it is stopped by Ctrl-C, SIGTERM or SIGHUP: named
// temporary files, a terminal left without echo, a child still holding a secret. The handler
// only makes async-signal-safe calls (unlink, kill, the registered hook), then lets the
// signal take its usual course. Signals the process ignores (nohup) stay ignored.

// CleanupPath removes `path` if the process is stopped by one of those signals while the
// object lives. Paths longer than the slot (4 KiB) or beyond the slot count are not guarded.
class CleanupPath {
 public:
  CleanupPath() = default;
  explicit CleanupPath(const char* path) { Guard(path); }
  ~CleanupPath() { Release(); }
  CleanupPath(const CleanupPath&) = delete;
  CleanupPath& operator=(const CleanupPath&) = delete;

  void Guard(const char* path);
  // GuardWhileEmpty removes `path` only while it is an empty file: a name claimed with an
  // empty file stays once a finished file has been moved over it, even if the signal comes
  // before the guard is released.
  void GuardWhileEmpty(const char* path);
  // Release stops guarding (the file was renamed into place or already removed).
  void Release();

 private:
  void GuardSlot(const char* path, bool whileEmpty);
  int slot_ = -1;
};

// CleanupChild sends SIGTERM to `pid` if the process is stopped while the object lives, so a
// child that holds a secret does not outlive its parent.
class CleanupChild {
 public:
  explicit CleanupChild(long pid);
  ~CleanupChild();
  CleanupChild(const CleanupChild&) = delete;
  CleanupChild& operator=(const CleanupChild&) = delete;

 private:
  int slot_ = -1;
};

// SetSignalHook installs a function the handler runs first (it must be async-signal-safe),
// or none with nullptr. The terminal prompt uses it to give the echo back.
using SignalHook = void (*)();
void SetSignalHook(SignalHook hook);
