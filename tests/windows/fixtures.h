#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "core/bytes.h"

// The Wine suites' fixtures (keys, certificates, the HTTPS servers' folders) are made on the
// Linux side by scripts/wine-services, which names their folder in VY_WINE_FIXTURES.
namespace wine_fixtures {

inline std::string Path(const std::string& name) {
  const char* folder = std::getenv("VY_WINE_FIXTURES");
  return std::string(folder ? folder : ".") + "\\" + name;
}

inline Bytes Read(const std::string& name) {
  std::ifstream in(Path(name), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string ReadText(const std::string& name) {
  Bytes bytes = Read(name);
  std::string text = ToText(bytes);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace wine_fixtures
