// The URL scheme's registration for the current user: HKCU\Software\Classes\<scheme> makes the
// browser start this program with the whole URL as its argument.
#include <windows.h>

#include <string>

#include "examples/TalvenNet/url_scheme.h"

namespace {

std::wstring Wide(const std::string& text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

// SetText writes a REG_SZ value, its terminating NUL counted in the size.
bool SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

bool RegisterUrlScheme(const std::string& scheme) {
  const std::wstring name = Wide(scheme);
  if (name.empty()) return false;
  wchar_t path[2047];
  const DWORD length = GetModuleFileNameW(nullptr, path, 2047);
  if (length == 0 || length >= 2047) return false;

  HKEY schemeKey = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + name).c_str(), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &schemeKey, nullptr) != ERROR_SUCCESS)
    return false;
  const bool described = SetText(schemeKey, nullptr, L"URL:" + name + L" Identidad Digital");
  const bool marked = SetText(schemeKey, L"URL Protocol", L"");
  bool commanded = false;
  HKEY commandKey = nullptr;
  if (RegCreateKeyExW(schemeKey, L"shell\\open\\command", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                      nullptr, &commandKey, nullptr) == ERROR_SUCCESS) {
    if (described && marked)
      commanded = SetText(commandKey, nullptr, L"\"" + std::wstring(path, length) + L"\" \"%1\"");
    RegCloseKey(commandKey);
  }
  RegCloseKey(schemeKey);
  return described && marked && commanded;
}
