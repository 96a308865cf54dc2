// A program's arguments on Windows arrive as UTF-8 whatever the ANSI code page: the probe is
// started with a wide command line and checks what Utf8Arguments gives it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/text.h"
#include "tests/core/arguments_words.h"

namespace {

std::wstring Wide(const std::string& utf8) {
  std::u16string text = Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

// Quoted follows the command-line rules the C runtime and CommandLineToArgvW share (the words
// here end in no backslash).
std::wstring Quoted(const std::string& word) {
  std::wstring out = L"\"";
  for (wchar_t c : Wide(word)) {
    if (c == L'"') out += L'\\';
    out += c;
  }
  return out + L"\"";
}

TEST(Utf8ArgumentsWin32, WideCommandLineArrivesWhole) {
  wchar_t self[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  ASSERT_GT(n, 0u);
  std::wstring probe(self, n);
  probe = probe.substr(0, probe.find_last_of(L'\\') + 1) + L"arguments_probe.exe";
  std::wstring line = L"\"" + probe + L"\"";
  for (const char* word : kArgumentWords) line += L" " + Quoted(word);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessW(probe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(code, 0u);
}

}  // namespace
