#pragma once

#include <string>
#include <string_view>

namespace Vy {

// MapFontFamily maps a style's font family to a Windows face name.
std::u16string MapFontFamily(std::string_view family);

}  // namespace Vy
