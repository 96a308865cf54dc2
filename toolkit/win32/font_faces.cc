#include "toolkit/win32/font_faces.h"

#include "core/text.h"

namespace Vy {

std::u16string MapFontFamily(std::string_view family) {
  if (family.empty() || family == "system" || family == "default" || family == "sans-serif")
    return u"Segoe UI";
  if (family == "monospace" || family == "mono" || family == "Courier New") return u"Consolas";
  if (family == "serif") return u"Times New Roman";
  return Utf8ToUtf16(family);
}

}  // namespace Vy
