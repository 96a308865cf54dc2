// vyrender.dll as it ships beside a program, reached through the programs' client: it loads,
// its exports bind by name, and its own messages come back. Wine has none of the Windows
// Runtime classes the page renderer activates, so an existing file gets the platform's own
// refusal (after the DLL's UTF-8 path check) instead of a page; so does a non-PDF on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/text.h"
#include "render/client/document.h"

namespace {

std::wstring Wide(const std::string& utf8) {
  std::u16string text = Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

TEST(RenderEngineWin32, ClientReachesTheDllAndItsMessages) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  std::string folder = Utf16ToUtf8(std::u16string(temp, temp + wcslen(temp)));
  // A name outside every ANSI code page: it reaches the DLL's file check only if UTF-8 is
  // converted there, not left to the narrow C runtime.
  std::string existing = folder + "motor año Ω.pdf";
  FILE* f = _wfopen(Wide(existing).c_str(), L"wb");
  ASSERT_NE(f, nullptr);
  std::fputs("%PDF-1.4\n%%EOF\n", f);
  std::fclose(f);

  struct Case {
    std::string path;
    const char* message;  // null: the platform's text, neither empty nor the generic one
  } cases[] = {
      {folder + "no existe ñ.pdf", "No se encuentra el archivo PDF."},
      {existing, nullptr},
      {existing, nullptr},  // the engine stays bound
  };
  for (const Case& c : cases) {
    std::string message;
    EXPECT_EQ(Vy::Pdf::OpenDocument(c.path, &message), nullptr) << c.path;
    if (c.message) {
      EXPECT_EQ(message, c.message) << c.path;
    } else {
      EXPECT_NE(message, "") << c.path;
      EXPECT_NE(message, "No se pudo abrir el PDF.") << c.path;
    }
  }
  DeleteFileW(Wide(existing).c_str());
}

}  // namespace
