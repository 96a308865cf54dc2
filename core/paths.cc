#include "core/paths.h"

#ifdef _WIN32
#include <windows.h>

#include "core/text.h"
#else
#include <unistd.h>
#endif

std::string DirectoryOf(const std::string& path) {
  size_t cut = path.find_last_of("/\\");
  if (cut == std::string::npos) return ".";
  if (cut == 0) return path.substr(0, 1);
  return path.substr(0, cut);
}

std::string ExecutableDirectory() {
#ifdef _WIN32
  wchar_t buf[2048];
  DWORD n = GetModuleFileNameW(nullptr, buf, 2047);
  if (n == 0 || n >= 2047) return DirectoryOf("");
  return DirectoryOf(Utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(buf), n)));
#else
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0 || n >= ssize_t(sizeof buf - 1)) return DirectoryOf("");
  return DirectoryOf(std::string(buf, size_t(n)));
#endif
}
