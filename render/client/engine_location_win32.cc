#include "core/platform_names.h"
#include "render/client/engine_location.h"

namespace Vy::Pdf {

std::vector<std::string> EngineCandidates() {
  return {platform::kRenderLibrary};
}

const char* const kEngineMissingEnd = " junto al ejecutable (motor PDF de Windows).";

}  // namespace Vy::Pdf
