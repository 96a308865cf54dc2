#pragma once

#include <string>
#include <string_view>

namespace Vy {

// MapFontFamily maps a style's font family to a Windows face name: the generic names to the
// faces every Windows has, anything else to itself.
std::wstring MapFontFamily(std::string_view family);

}  // namespace Vy
