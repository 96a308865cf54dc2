#include "pades/output_name.h"

#include <cstdio>

namespace {

bool Exists(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

}  // namespace

bool SignedOutputPath(const std::string& input, std::string* output) {
  std::string stem = input;
  size_t slash = stem.find_last_of("/\\");
  size_t dot = stem.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.erase(dot);
  if (stem.empty()) stem = "documento";
  std::string candidate = stem + "_firmao.pdf";
  for (int n = 2; Exists(candidate); ++n) {
    if (n > 999) return false;
    candidate = stem + "_firmao" + std::to_string(n) + ".pdf";
  }
  *output = candidate;
  return true;
}
