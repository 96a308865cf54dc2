#include "toolkit/win32/font_map.h"

#include "toolkit/win32/wide.h"

namespace Vy {

std::wstring MapFontFamily(std::string_view family) {
  if (family.empty() || family == "system" || family == "default" || family == "sans-serif")
    return L"Segoe UI";
  if (family == "monospace" || family == "mono" || family == "Courier New") return L"Consolas";
  if (family == "serif") return L"Times New Roman";
  return Wide(family);
}

}  // namespace Vy
