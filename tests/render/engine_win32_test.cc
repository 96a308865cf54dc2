// vyrender.dll as it ships beside a program, reached through the programs' client: it loads,
// its exports bind by name, and its own messages come back. The build has no page renderer
// yet, so an existing file gets that refusal, after the DLL's own UTF-8 path check.
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
    const char* message;
  } cases[] = {
      {folder + "no existe ñ.pdf", "No se encuentra el archivo PDF."},
      {existing, "Este motor PDF no tiene renderizador de paginas."},
      {existing, "Este motor PDF no tiene renderizador de paginas."},  // the engine stays bound
  };
  for (const Case& c : cases) {
    std::string message;
    EXPECT_EQ(Vy::Pdf::OpenDocument(c.path, &message), nullptr) << c.path;
    EXPECT_EQ(message, c.message) << c.path;
  }
  DeleteFileW(Wide(existing).c_str());
}

}  // namespace
