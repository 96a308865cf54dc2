// The URL scheme's registry keys, written into the Wine prefix's own user hive and read back.
// scripts/wine-services reads them once more with `wine reg query`.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "examples/TalvenNet/url_scheme.h"

namespace {

std::wstring Value(const wchar_t* key, const wchar_t* name) {
  wchar_t buffer[4096];
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
    return L"(no existe)";
  return buffer;
}

TEST(UrlScheme, RegistersTheSchemeForThisProgram) {
  EXPECT_FALSE(RegisterUrlScheme(""));
  ASSERT_TRUE(RegisterUrlScheme("firmatalven"));
  wchar_t program[2048];
  ASSERT_GT(GetModuleFileNameW(nullptr, program, 2048), 0u);
  EXPECT_EQ(Value(L"Software\\Classes\\firmatalven", nullptr), L"URL:firmatalven Identidad Digital");
  EXPECT_EQ(Value(L"Software\\Classes\\firmatalven", L"URL Protocol"), L"");
  EXPECT_EQ(Value(L"Software\\Classes\\firmatalven\\shell\\open\\command", nullptr),
            L"\"" + std::wstring(program) + L"\" \"%1\"");
}

}  // namespace
