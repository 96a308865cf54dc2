#pragma once

#include <string>

// AssetPath finds an image of the program: the first of D/assets/N, assets/N,
// D/../examples/TalvenNet/assets/N and examples/TalvenNet/assets/N that can be opened, where D
// is the program's folder; the first candidate when none can.
std::string AssetPath(const std::string& name);
// AssetPathFrom is AssetPath for a given program folder.
std::string AssetPathFrom(const std::string& programFolder, const std::string& name);
