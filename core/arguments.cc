#include "core/arguments.h"

#ifdef _WIN32
#include <windows.h>
// windows.h first: shellapi.h uses its types.
#include <shellapi.h>

#include "core/text.h"
#endif

Utf8Arguments::Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 0; i < count; ++i) {
      std::wstring_view arg(wide[i]);
      texts_.push_back(
          Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(arg.data()), arg.size())));
    }
    LocalFree(wide);
  }
  if (texts_.empty())  // the wide command line cannot be had: keep what the runtime gave
#endif
    for (int i = 0; i < argc; ++i) texts_.emplace_back(argv[i]);
  for (std::string& text : texts_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
}

void AttachParentConsole() {
#ifdef _WIN32
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out && out != INVALID_HANDLE_VALUE) return;  // already a file, a pipe or a console
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  SetConsoleOutputCP(CP_UTF8);
  FILE* stream = nullptr;
  freopen_s(&stream, "CONOUT$", "w", stdout);
  freopen_s(&stream, "CONOUT$", "w", stderr);
#endif
}
