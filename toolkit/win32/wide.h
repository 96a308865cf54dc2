#pragma once

#include <string>
#include <string_view>

#include "core/text.h"

namespace Vy {

// Texts are UTF-8 inside the toolkit; the Win32 calls take UTF-16 (wchar_t is 16-bit there).
inline std::wstring Wide(std::string_view utf8) {
  std::u16string units = Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

inline std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

}  // namespace Vy
