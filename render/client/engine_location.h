#pragma once

#include <string>
#include <vector>

// Where and how each platform looks for the render engine (engine_location_<platform>.cc).
namespace Vy::Pdf {

// EngineCandidates lists the names to load, in order. Windows' own search already starts in
// the program's folder; elsewhere the program's folder is tried first explicitly, so a built
// or installed program finds the engine beside it before any other copy.
std::vector<std::string> EngineCandidates();

// kEngineMissingEnd ends "No se encontro <library>" when no candidate loads.
extern const char* const kEngineMissingEnd;

}  // namespace Vy::Pdf
