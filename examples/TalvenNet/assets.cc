#include "examples/TalvenNet/assets.h"

#include <cstdio>

#include "core/paths.h"

std::string AssetPathFrom(const std::string& programFolder, const std::string& name) {
  const std::string candidates[] = {programFolder + "/assets/" + name, "assets/" + name,
                                    programFolder + "/../examples/TalvenNet/assets/" + name,
                                    "examples/TalvenNet/assets/" + name};
  for (const std::string& path : candidates) {
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
      std::fclose(file);
      return path;
    }
  }
  return candidates[0];
}

std::string AssetPath(const std::string& name) {
  return AssetPathFrom(ExecutableDirectory(), name);
}
