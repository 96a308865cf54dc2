#include "toolkit/file_dialog.h"

#include <cctype>

namespace Vy {

std::vector<FileFilter> OpenFileFilters(std::string_view text) {
  std::vector<std::string> patterns;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view p = text.substr(start, end - start);
    while (!p.empty() && p.front() == ' ') p.remove_prefix(1);
    while (!p.empty() && p.back() == ' ') p.remove_suffix(1);
    if (!p.empty()) patterns.emplace_back(p);
    start = end + 1;
  }
  std::vector<FileFilter> filters;
  if (!patterns.empty()) {
    FileFilter all{"Archivos (", ""};
    for (size_t i = 0; i < patterns.size(); ++i) {
      all.label += (i ? ", " : "") + patterns[i];
      all.patterns += (i ? ";" : "") + patterns[i];
    }
    all.label += ")";
    filters.push_back(all);
  }
  // With one pattern its own entry would repeat the first one.
  for (size_t i = 0; patterns.size() > 1 && i < patterns.size(); ++i) {
    const std::string& p = patterns[i];
    if (p.size() < 3 || p.compare(0, 2, "*.") != 0) continue;
    std::string extension = p.substr(2);
    std::string upper;
    for (char c : extension) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    filters.push_back({"Archivos " + upper + " (*." + extension + ")", p});
  }
  filters.push_back({"Todos los archivos (*)", "*"});
  return filters;
}

}  // namespace Vy
