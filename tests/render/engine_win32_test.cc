// vyrender.dll as it ships beside a program, reached through the programs' client: it loads,
// its exports bind by name, and the DLL's own UTF-8 path check lets an existing file through
// to its page renderer, which refuses this one (not a whole PDF, and Wine has no PDF renderer).
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

  std::string message;
  EXPECT_EQ(Vy::Pdf::OpenDocument(folder + "no existe ñ.pdf", &message), nullptr);
  EXPECT_EQ(message, "No se encuentra el archivo PDF.");
  for (int attempt = 0; attempt < 2; ++attempt) {  // the engine stays bound
    EXPECT_EQ(Vy::Pdf::OpenDocument(existing, &message), nullptr);
    EXPECT_FALSE(message.empty());
    EXPECT_NE(message, "No se encuentra el archivo PDF.");
    EXPECT_EQ(message.find("vyrender.dll"), std::string::npos) << message;  // not a load failure
  }
  DeleteFileW(Wide(existing).c_str());
}

}  // namespace
