#include "toolkit/file_dialog.h"

namespace Vy {

// The desktop's own chooser is not wired up yet; callers show the text.
OpenFileResult ShowOpenFileDialog(const OpenFileRequest&) {
  OpenFileResult result;
  result.error = "El dialogo de archivos no esta disponible en este sistema.";
  return result;
}

}  // namespace Vy
