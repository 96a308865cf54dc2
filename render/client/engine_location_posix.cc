#include "core/paths.h"
#include "core/platform_names.h"
#include "render/client/engine_location.h"

namespace Vy::Pdf {

std::vector<std::string> EngineCandidates() {
  return {ExecutableDirectory() + "/" + platform::kRenderLibrary, platform::kRenderLibrary};
}

const char* const kEngineMissingEnd = " junto al ejecutable.";

}  // namespace Vy::Pdf
