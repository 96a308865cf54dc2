#include "core/signal_cleanup.h"

#include <atomic>
#include <cstring>

#include "core/signal_cleanup_platform.h"

namespace {

constexpr int kPathSlots = 8;
constexpr size_t kPathLength = 4096;
constexpr int kChildSlots = 4;

// Slots are claimed with an atomic flag; the handler reads only slots marked ready.
struct PathSlot {
  std::atomic<int> state{0};  // 0 free, 1 being written, 2 ready
  bool whileEmpty = false;    // written before the slot is marked ready
  char path[kPathLength];
};
PathSlot g_paths[kPathSlots];
std::atomic<long> g_children[kChildSlots];
std::atomic<SignalHook> g_hook{nullptr};
std::atomic<bool> g_installed{false};

void Install() {
  if (!g_installed.exchange(true)) signal_cleanup_internal::InstallHandlers();
}

}  // namespace

namespace signal_cleanup_internal {

void RunCleanup() {
  if (SignalHook hook = g_hook.load()) hook();
  for (std::atomic<long>& child : g_children)
    if (long pid = child.load(); pid > 0) StopChild(pid);
  for (PathSlot& slot : g_paths)
    if (slot.state.load() == 2) (slot.whileEmpty ? RemoveEmptyPath : RemovePath)(slot.path);
}

}  // namespace signal_cleanup_internal

void CleanupPath::Guard(const char* path) {
  GuardSlot(path, false);
}

void CleanupPath::GuardWhileEmpty(const char* path) {
  GuardSlot(path, true);
}

void CleanupPath::GuardSlot(const char* path, bool whileEmpty) {
  Release();
  Install();
  size_t len = std::strlen(path);
  if (len >= kPathLength) return;
  for (int i = 0; i < kPathSlots; ++i) {
    int expected = 0;
    if (!g_paths[i].state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(g_paths[i].path, path, len + 1);
    g_paths[i].whileEmpty = whileEmpty;
    g_paths[i].state.store(2);
    slot_ = i;
    return;
  }
}

void CleanupPath::Release() {
  if (slot_ < 0) return;
  g_paths[slot_].state.store(0);
  slot_ = -1;
}

CleanupChild::CleanupChild(long pid) {
  Install();
  for (int i = 0; i < kChildSlots; ++i) {
    long expected = 0;
    if (g_children[i].compare_exchange_strong(expected, pid)) {
      slot_ = i;
      return;
    }
  }
}

CleanupChild::~CleanupChild() {
  if (slot_ >= 0) g_children[slot_].store(0);
}

void SetSignalHook(SignalHook hook) {
  if (hook) Install();
  g_hook.store(hook);
}
